#ifndef MYFRAMEDEC_H
#define MYFRAMEDEC_H

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QtGlobal>

// One bus frame: option bytes, optional sender and receiver addresses, command, data and a
// one-byte sum checksum. Sent as STX, uppercase hex digits of the binary frame, ETX.
class MyFrameDec
{
public:
    // Frames up to this many binary bytes are held in the record itself: decoding one allocates
    // nothing. Only module tables and memory transfers are longer.
    static constexpr int inlineFrameBytes = 48;

    MyFrameDec();
    // Decodes a transport form (isBinary false) or a binary frame (isBinary true).
    MyFrameDec(const QByteArray &raw, bool isBinary);

    bool setFrame(int frameType, int ackRequest, int addrSize, int frameClass, int txMode, int rxMode,
                  quint32 txAddr, quint32 rxAddr, int command, const QByteArray &data);
    bool encode();
    bool setAddresses32(int txMode, quint32 txAddr, int rxMode, quint32 rxAddr);
    bool setAddresses16(int txMode, quint16 txAddr, int rxMode, quint16 rxAddr);
    bool setAddresses8(int txMode, quint8 txAddr, int rxMode, quint8 rxAddr);
    bool completeTxAddr(quint16 shortAddr, quint32 longAddr);
    bool completeRxAddr(quint16 shortAddr, quint32 longAddr);

    int command() const { return m_command; }
    QByteArray data() const;
    void setData(const QByteArray &data);
    void appendData(const QByteArray &data);

    int frameType() const { return m_frameType; }
    int ackRequest() const { return m_ackRequest; }
    int addrSize() const { return m_addrSize; }
    int frameClass() const { return m_frameClass; }
    int txMode() const { return m_txMode; }
    int rxMode() const { return m_rxMode; }
    quint32 txAddr() const { return m_txAddr; }
    quint32 txAddr32() const { return m_txAddr32; }
    quint16 txAddr16() const { return m_txAddr16; }
    quint32 rxAddr() const { return m_rxAddr; }
    quint32 rxAddr32() const { return m_rxAddr32; }
    quint16 rxAddr16() const { return m_rxAddr16; }
    quint8 rxChecksum() const { return m_rxChecksum; }
    QByteArray rawFrame() const;
    // The transport form of rawFrame; empty when nothing was decoded or encoded.
    QByteArray text() const;
    bool isValid() const { return m_valid; }

    QString commandName() const;
    static QString commandName(const int &code);
    static bool isKnownCommand(int &command, quint8 code);
    static void fillCommandTable(QMap<int, QString> &table);
    const QMap<int, QString> &commandTable() const;

    static quint8 checksum(const QByteArray &bytes);
    // The byte of two hex digits, in either case; anything else in the pair (a sign, a blank) gives 0.
    static quint8 hexPair(const char *pair);

private:
    bool unpackTransport(const QByteArray &raw);
    bool decodeBinary(bool &checksumMatched);
    bool checkRxChecksum(quint8 calc) const;
    bool readOptionBytes(const uchar *bytes, int size, int &pos);
    bool readAddresses(const uchar *bytes, int size, int &pos);
    void keepUnread(int pos, int size);
    void encodeBinary();
    const uchar *rawBytes() const;
    uchar *resizeRaw(int size);
    void setWidthCopy(quint32 addr, quint16 &addr16, quint32 &addr32) const;
    bool completeAddr(quint16 &addr16, quint32 &addr32, quint16 shortAddr, quint32 longAddr) const;
    static QString nameIn(const QMap<int, QString> &table, int code);

    quint8 m_rxChecksum = 0;
    int m_frameType = 0;
    int m_ackRequest = 0;
    int m_addrSize = 0;
    int m_frameClass = 0;
    int m_txMode = 0;
    quint32 m_txAddr = 0;
    quint32 m_txAddr32 = 0;
    quint16 m_txAddr16 = 0;
    int m_rxMode = 0;
    quint32 m_rxAddr = 0;
    quint32 m_rxAddr32 = 0;
    quint16 m_rxAddr16 = 0;
    int m_command = 0;
    // The binary frame, checksum included: in place up to inlineFrameBytes, else in rawHeap.
    int m_rawSize = 0;
    uchar m_rawInline[inlineFrameBytes]{};
    QByteArray m_rawHeap;
    // The data: where it lies in the binary frame of a decoded frame, or in m_data once given or
    // changed by the caller (setFrame, setData, appendData).
    int m_dataPos = 0;
    int m_dataSize = 0;
    bool m_ownData = false;
    QByteArray m_data;
    bool m_hasText = false;
    bool m_valid = false;
};

#endif // MYFRAMEDEC_H
