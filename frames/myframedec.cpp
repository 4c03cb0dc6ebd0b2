#include "myframedec.h"

#include "buscodes.h"
#include "frameslog.h"
#include "quietdecoding.h"

#include <QDebug>

#include <cstring>

namespace {

constexpr char stx = 0x02;
constexpr char etx = 0x03;

// Codes of a run ascend by one from `first` in the order of `names`.
struct CommandRun
{
    int first;
    int count;
    const char *const *names;
};

constexpr const char *systemNames[] = {"COACKN", "CONACK", "COBUSY", "COREADY", "COCARDAWAY", "CODEBUGFRAME"};

constexpr const char *memoryAndBusNames[] = {
    "COWRITEMEM",     "COREADMEM",      "CODATAMEM",      "COERASEMEM",   "COTRANSSECTMEM",  "COASKTABLE",
    "COTRANSTABLE",   "COTRANSIMG",     "COWRITEMEMEXT",  "COREADMEMEXT", "CODATAMEMEXT",    "COERASEMEMEXT",
    "COCHECKSUMEXT",  "COASKDATA",      "CODATA",         "COSETDATA",    "COTIME",          "COASKTIME",
    "COASKVERSION",   "COVERSION",      "COTESTPROD",     "CORESETSOFT",  "COMODELOADER",    "COMODEPROGRAM",
    "COGIVEMASTERID", "COASKMASTERID",  "COANSMASTERID",  "COMODEMASTER", "COASKMODEMASTER", "COFRAMECOPY",
    "COINITAPP",      "COINITREPORT",   "COSILENCE",      "COSCAN",       "COHELLO",         "COGIVELOCALADR",
    "COREADLOCALADR", "COGIVEABSOLADR", "COREADABSOLADR", "COGIVENBRMOD", "COGIVEGSMIMEI",   "COINFONEWCARDS",
    "CODIDRESET"};

constexpr const char *paramNames[] = {"COREADPARAM",  "COPARAMBUTTONS", "COPARAMTEMPERAT",  "COPARAMDIMMER",
                                      "COPARAMMODEM", "COPARAMUART",    "COPARAMGSM",       "COPARAMADRLOCAL",
                                      "COPARAMTRV",   "COPARAMIRCODE",  "COPARAMBACKLIGHT", "COPARAMMOD10V"};

constexpr const char *taskAndModemNames[] = {
    "COTOGGLEOUTPUT", "COLINKLOOP",     "COGETTASK",     "COSENDTASK",  "COASKTASK",      "COSTRING",
    "COSMS",          "COREADSMS",      "CODELSMS",      "COPINPUK",    "COTIMEOUTPUT",   "CODCF",
    "COPOPUP",        "COINFOSMS",      "COPC",          "COBUZZER",    "COCALLMODEM",    "COINITMODEM",
    "CODATAMODEM",    "COASKMODEMSTAT", "COMODEMSTATUS", "COPASSWORD",  "COSENDPASSWORD", "COASKPASSWORD",
    "COGIVEPASSWORD", "COGSMSTATUS",    "COSOUND",       "CODATAPULSE", "CODYNSTAT",      "CODYNACT"};

constexpr const char *stateAndActionNames[] = {
    "COREADSTATE", "COBUTTONSTATE", "COLCDSTRINGOUT", "COCLRLINE",     "COTORON",    "COTOROFF",
    "COTORSTATUS", "COGIVEVALUE",   "COVALUES",       "COTEMPERATURE", "COACTIONT2", "COSTARTDIM",
    "COSTOPDIM",   "COLCDACTION",   "COACTIONTELECO", "COIRACTION",    "COASKVAR",   "COVARDATA",
    "COPULSE",     "COGRAPH",       "COSHUTDIM",      "COGRBUTTON",    "COSETTOR",   "COETH",
    "COETHSTAT",   "COBLINK",       "COVALUES10V",    "COPHONECALL",   "CODMX",      "CODAIKIN",
    "COVIDEO",     "CORGB"};

template <int N> constexpr CommandRun makeRun(int first, const char *const (&names)[N])
{
    return CommandRun{first, N, names};
}

constexpr CommandRun commandRuns[] = {makeRun(0x01, systemNames), makeRun(0x10, memoryAndBusNames),
                                      makeRun(0x40, paramNames), makeRun(0x60, taskAndModemNames),
                                      makeRun(0x80, stateAndActionNames)};

// The decoder checks every received command byte, so membership is one lookup.
struct KnownCodes
{
    bool known[256]{};
    constexpr KnownCodes()
    {
        for (const CommandRun &commandRun : commandRuns) {
            for (int i = 0; i < commandRun.count; ++i)
                known[commandRun.first + i] = true;
        }
    }
};

constexpr KnownCodes knownCodes;

// One filled table shared by all records: a record's construction does not touch it.
const QMap<int, QString> &sharedCommandTable()
{
    static const QMap<int, QString> table = [] {
        QMap<int, QString> filled;
        MyFrameDec::fillCommandTable(filled);
        return filled;
    }();
    return table;
}

// The transport form carries exactly two hex digits per byte, so anything else in a pair (a sign,
// a blank) is line noise: the pair becomes 0, which the checksum test then normally rejects.
struct HexDigits
{
    qint8 value[256]{};
    constexpr HexDigits()
    {
        for (qint8 &digit : value)
            digit = -1;
        for (int d = 0; d < 10; ++d)
            value['0' + d] = static_cast<qint8>(d);
        for (int d = 0; d < 6; ++d) {
            value['A' + d] = static_cast<qint8>(10 + d);
            value['a' + d] = static_cast<qint8>(10 + d);
        }
    }
};

constexpr HexDigits hexDigits;

// The two transport digits of every byte value, so that writing and checking a byte are one step.
struct HexPairs
{
    char pair[256][2]{};
    constexpr HexPairs()
    {
        constexpr char upperHex[] = "0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) {
            pair[b][0] = upperHex[b >> 4];
            pair[b][1] = upperHex[b & 0x0F];
        }
    }
};

constexpr HexPairs hexPairs;

inline uchar parseHexPair(const char *pair)
{
    const int high = hexDigits.value[static_cast<uchar>(pair[0])];
    const int low = hexDigits.value[static_cast<uchar>(pair[1])];
    return (high | low) < 0 ? 0 : static_cast<uchar>(high << 4 | low);
}

quint8 sumOf(const uchar *bytes, int count)
{
    uint sum = 0;
    for (int i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<quint8>(sum);
}

int addressWidth(int addrSize)
{
    switch (addrSize) {
    case addrSize8:
        return 1;
    case addrSize16:
        return 2;
    case addrSize32:
        return 4;
    default:
        return 0;
    }
}

uchar *putAddress(uchar *out, quint32 addr, int width)
{
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
        *out++ = static_cast<uchar>(addr >> shift);
    return out;
}

quint32 readAddress(const uchar *in, int width)
{
    quint32 addr = 0;
    for (int i = 0; i < width; ++i)
        addr = addr << 8 | in[i];
    return addr;
}

// The diagnostics stay out of line so that the decoding steps around them remain small enough to inline.
Q_DECL_COLD_FUNCTION Q_NEVER_INLINE void logStop(const char *text)
{
    if (QuietDecoding::active())
        return;
    qCDebug(lcFrames).noquote() << text;
}

Q_DECL_COLD_FUNCTION Q_NEVER_INLINE void logChecksumMismatch(quint8 rx, quint8 calc)
{
    if (QuietDecoding::active())
        return;
    qCDebug(lcFrames).noquote() << "checksums mismatch. Rx=" << int(rx) << " != Calc=" << int(calc);
}

Q_DECL_COLD_FUNCTION Q_NEVER_INLINE void logOptionByteCount(int count)
{
    if (QuietDecoding::active())
        return;
    if (count < 2)
        qCDebug(lcFrames).noquote() << "Incomplete header. " << count
                                    << " option bytes detected but 2 options bytes are expected.";
    else
        qCDebug(lcFrames).noquote() << "Big header not handled. " << count
                                    << "option bytes detected but 2 options bytes are expected.";
}

Q_DECL_COLD_FUNCTION Q_NEVER_INLINE void logUnknownCode(quint8 code)
{
    if (QuietDecoding::active())
        return;
    qCDebug(lcFrames).noquote() << "Raw Command not handled : " << int(code);
}

Q_DECL_COLD_FUNCTION Q_NEVER_INLINE void logUnhandledCommand(quint8 code)
{
    if (QuietDecoding::active())
        return;
    qCDebug(lcFrames).noquote() << "Unhandled/Invalid command : " << static_cast<char>(code);
}

} // namespace

MyFrameDec::MyFrameDec() = default;

Q_ALWAYS_INLINE const uchar *MyFrameDec::rawBytes() const
{
    return m_rawSize <= inlineFrameBytes ? m_rawInline
                                         : reinterpret_cast<const uchar *>(m_rawHeap.constData());
}

Q_ALWAYS_INLINE uchar *MyFrameDec::resizeRaw(int size)
{
    m_rawSize = size;
    if (size <= inlineFrameBytes) {
        if (!m_rawHeap.isNull())
            m_rawHeap = QByteArray();
        return m_rawInline;
    }
    m_rawHeap.resize(size);
    return reinterpret_cast<uchar *>(m_rawHeap.data());
}

MyFrameDec::MyFrameDec(const QByteArray &raw, bool isBinary)
{
    if (isBinary)
        memcpy(resizeRaw(int(raw.size())), raw.constData(), size_t(raw.size()));
    else if (!unpackTransport(raw))
        return;
    bool checksumMatched = false;
    if (!decodeBinary(checksumMatched))
        return;
    m_hasText = true;
    m_valid = checksumMatched;
}

// The decoding steps are forced inline into the constructor: a bus frame is only a few bytes long, so
// the calls would weigh as much as the work.
Q_ALWAYS_INLINE bool MyFrameDec::unpackTransport(const QByteArray &raw)
{
    if (raw.size() % 2 != 0)
        return false;
    // STX and ETX are dropped unseen: the stream framing has already cut the frame at them.
    const int count = raw.isEmpty() ? 0 : (int(raw.size()) - 2) / 2;
    uchar *out = resizeRaw(count);
    const char *in = raw.constData() + 1;
    for (int i = 0; i < count; ++i, in += 2)
        out[i] = parseHexPair(in);
    return true;
}

Q_ALWAYS_INLINE bool MyFrameDec::decodeBinary(bool &checksumMatched)
{
    // The frame is canonicalised in place below; a heap frame is this record's own copy by then.
    auto *bytes = const_cast<uchar *>(rawBytes());
    int size = m_rawSize;
    if (size > 0)
        m_rxChecksum = bytes[--size];
    const quint8 calc = sumOf(bytes, size);
    checksumMatched = checkRxChecksum(calc);

    int pos = 0;
    if (!readOptionBytes(bytes, size, pos) || !readAddresses(bytes, size, pos)) {
        keepUnread(pos, size);
        return false;
    }
    if (pos == size) {
        logStop("rawFrame is too short. No command !");
        keepUnread(pos, size);
        return false;
    }
    const uchar code = bytes[pos++];
    if (!isKnownCommand(m_command, code))
        logUnhandledCommand(code);
    m_dataPos = pos;
    m_dataSize = size - pos;
    // Every other field is stored exactly as read, so only the reserved bits of the second option
    // byte, an unknown command (kept as 0) and the checksum can make the canonical encoding differ
    // from the received bytes; they are put right where they lie.
    if ((bytes[1] & 0x70) != 0 || m_command != code) {
        bytes[1] &= 0x0F;
        bytes[pos - 1] = static_cast<uchar>(m_command);
        bytes[size] = sumOf(bytes, size);
    } else {
        bytes[size] = calc;
    }
    return true;
}

Q_ALWAYS_INLINE bool MyFrameDec::checkRxChecksum(quint8 calc) const
{
    if (calc == m_rxChecksum)
        return true;
    logChecksumMismatch(m_rxChecksum, calc);
    return false;
}

Q_ALWAYS_INLINE bool MyFrameDec::readOptionBytes(const uchar *bytes, int size, int &pos)
{
    int count = 0;
    while (count < size && (bytes[count] & optionFollows))
        ++count;
    if (count < size)
        ++count; // the byte with bit 7 clear ends the chain and belongs to it
    if (count != 2) {
        logOptionByteCount(count);
        return false;
    }
    const uchar b0 = bytes[0];
    const uchar b1 = bytes[1];
    m_frameType = b0 & 0x03;
    m_ackRequest = b0 & ackRequested;
    m_addrSize = b0 & addrSizeMask;
    m_frameClass = b0 & frameClassMask;
    m_txMode = b1 & addressModeMask;
    m_rxMode = (b1 >> 2) & addressModeMask;
    pos = 2;
    return true;
}

Q_ALWAYS_INLINE bool MyFrameDec::readAddresses(const uchar *bytes, int size, int &pos)
{
    const int width = addressWidth(m_addrSize);
    if (m_txMode == modeAddressed && width > 0) {
        if (size - pos < width) {
            logStop("rawFrame is too short fo TXAddr");
            return false;
        }
        m_txAddr = readAddress(bytes + pos, width);
        setWidthCopy(m_txAddr, m_txAddr16, m_txAddr32);
        pos += width;
    }
    if (m_rxMode == modeAddressed && width > 0) {
        if (size - pos < width) {
            logStop("rawFrame is too short for RXAddr");
            return false;
        }
        m_rxAddr = readAddress(bytes + pos, width);
        setWidthCopy(m_rxAddr, m_rxAddr16, m_rxAddr32);
        pos += width;
    }
    return true;
}

void MyFrameDec::setWidthCopy(quint32 addr, quint16 &addr16, quint32 &addr32) const
{
    if (m_addrSize == addrSize16)
        addr16 = static_cast<quint16>(addr);
    else if (m_addrSize == addrSize32)
        addr32 = addr;
}

void MyFrameDec::keepUnread(int pos, int size)
{
    // The checksum byte has already been taken off the end.
    const int count = size - pos;
    if (count > inlineFrameBytes) {
        m_rawHeap = m_rawHeap.mid(pos, count);
    } else {
        memmove(m_rawInline, rawBytes() + pos, size_t(count));
        m_rawHeap = QByteArray();
    }
    m_rawSize = count;
}

QByteArray MyFrameDec::rawFrame() const
{
    if (m_rawSize > inlineFrameBytes)
        return m_rawHeap;
    return QByteArray(reinterpret_cast<const char *>(m_rawInline), m_rawSize);
}

QByteArray MyFrameDec::data() const
{
    if (m_ownData)
        return m_data;
    return QByteArray(reinterpret_cast<const char *>(rawBytes()) + m_dataPos, m_dataSize);
}

void MyFrameDec::setData(const QByteArray &data)
{
    m_data = data;
    m_ownData = true;
}

void MyFrameDec::appendData(const QByteArray &data)
{
    if (!m_ownData)
        setData(this->data());
    m_data.append(data);
}

bool MyFrameDec::setFrame(int frameType, int ackRequest, int addrSize, int frameClass, int txMode, int rxMode,
                          quint32 txAddr, quint32 rxAddr, int command, const QByteArray &data)
{
    m_frameType = frameType;
    m_ackRequest = ackRequest;
    m_addrSize = addrSize;
    m_frameClass = frameClass;
    m_txMode = txMode;
    m_rxMode = rxMode;
    m_txAddr = txAddr;
    m_rxAddr = rxAddr;
    m_command = command;
    setData(data);
    m_txAddr16 = m_rxAddr16 = 0;
    m_txAddr32 = m_rxAddr32 = 0;
    setWidthCopy(m_txAddr, m_txAddr16, m_txAddr32);
    setWidthCopy(m_rxAddr, m_rxAddr16, m_rxAddr32);
    return encode();
}

bool MyFrameDec::encode()
{
    // The data of a decoded frame lies in its binary form, which the new encoding may shift.
    if (!m_ownData)
        setData(data());
    encodeBinary();
    m_hasText = true;
    m_valid = true;
    return true;
}

Q_ALWAYS_INLINE void MyFrameDec::encodeBinary()
{
    const int width = addressWidth(m_addrSize);
    const int txWidth = m_txMode == modeAddressed ? width : 0;
    const int rxWidth = m_rxMode == modeAddressed ? width : 0;
    const int size = 2 + txWidth + rxWidth + 1 + int(m_data.size()) + 1;

    uchar *const start = resizeRaw(size);
    uchar *out = start;
    // The fields are ORed as they stand: a caller's stray bits travel rather than vanish.
    *out++ = static_cast<uchar>(m_frameType | m_ackRequest | m_addrSize | m_frameClass | optionFollows);
    // Masked before the shift: shifting a negative mode is undefined, and only 8 bits travel.
    *out++ = static_cast<uchar>((m_rxMode & 0xFF) << 2 | m_txMode);
    out = putAddress(out, m_txAddr, txWidth);
    out = putAddress(out, m_rxAddr, rxWidth);
    *out++ = static_cast<uchar>(m_command);
    if (!m_data.isEmpty())
        memcpy(out, m_data.constData(), size_t(m_data.size()));
    out += m_data.size();
    *out = sumOf(start, size - 1);
}

QByteArray MyFrameDec::text() const
{
    if (!m_hasText)
        return QByteArray();
    QByteArray text(2 * m_rawSize + 2, Qt::Uninitialized);
    const uchar *in = rawBytes();
    char *out = text.data();
    *out++ = stx;
    for (int i = 0; i < m_rawSize; ++i, out += 2)
        memcpy(out, hexPairs.pair[in[i]], 2);
    *out = etx;
    return text;
}

bool MyFrameDec::setAddresses32(int txMode, quint32 txAddr, int rxMode, quint32 rxAddr)
{
    m_addrSize = addrSize32;
    m_txMode = txMode;
    m_rxMode = rxMode;
    m_txAddr = m_txAddr32 = txAddr;
    m_rxAddr = m_rxAddr32 = rxAddr;
    return encode();
}

bool MyFrameDec::setAddresses16(int txMode, quint16 txAddr, int rxMode, quint16 rxAddr)
{
    m_addrSize = addrSize16;
    m_txMode = txMode;
    m_rxMode = rxMode;
    m_txAddr = m_txAddr16 = txAddr;
    m_rxAddr = m_rxAddr16 = rxAddr;
    return encode();
}

bool MyFrameDec::setAddresses8(int txMode, quint8 txAddr, int rxMode, quint8 rxAddr)
{
    m_addrSize = addrSize8;
    m_txMode = txMode;
    m_rxMode = rxMode;
    m_txAddr = txAddr;
    m_rxAddr = rxAddr;
    return encode();
}

bool MyFrameDec::completeTxAddr(quint16 shortAddr, quint32 longAddr)
{
    if (m_txMode != modeAddressed)
        return false;
    if (m_addrSize != addrSize16 && m_addrSize != addrSize32) {
        qCDebug(lcFrames).noquote() << "Unhandled FromAddr" << m_addrSize;
        return false;
    }
    return completeAddr(m_txAddr16, m_txAddr32, shortAddr, longAddr);
}

bool MyFrameDec::completeRxAddr(quint16 shortAddr, quint32 longAddr)
{
    if (m_rxMode != modeAddressed)
        return false;
    return completeAddr(m_rxAddr16, m_rxAddr32, shortAddr, longAddr);
}

// The 2-byte and 4-byte forms name the same module; the form the frame carried identifies it.
bool MyFrameDec::completeAddr(quint16 &addr16, quint32 &addr32, quint16 shortAddr, quint32 longAddr) const
{
    if (m_addrSize == addrSize16 && addr16 == shortAddr) {
        addr32 = longAddr;
        return true;
    }
    if (m_addrSize == addrSize32 && addr32 == longAddr) {
        addr16 = shortAddr;
        return true;
    }
    return false;
}

quint8 MyFrameDec::checksum(const QByteArray &bytes)
{
    return sumOf(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
}

QString MyFrameDec::commandName() const
{
    return nameIn(sharedCommandTable(), m_command);
}

const QMap<int, QString> &MyFrameDec::commandTable() const
{
    return sharedCommandTable();
}

QString MyFrameDec::commandName(const int &code)
{
    return nameIn(sharedCommandTable(), code);
}

QString MyFrameDec::nameIn(const QMap<int, QString> &table, int code)
{
    QString name = table.value(code);
    if (!name.isEmpty())
        return name;
    return QStringLiteral("MyFrameDec:: unknown command : ") + QString::number(code);
}

bool MyFrameDec::isKnownCommand(int &command, quint8 code)
{
    if (knownCodes.known[code]) {
        command = code;
        return true;
    }
    logUnknownCode(code);
    return false;
}

void MyFrameDec::fillCommandTable(QMap<int, QString> &table)
{
    for (const CommandRun &commandRun : commandRuns) {
        for (int i = 0; i < commandRun.count; ++i)
            table.insert(commandRun.first + i, QString::fromLatin1(commandRun.names[i]));
    }
}

quint8 MyFrameDec::hexPair(const char *pair)
{
    return parseHexPair(pair);
}
