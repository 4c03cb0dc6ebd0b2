// The window's module-table step, through its frame slot. Input: a byte choosing the command
// (COTRANSTABLE, COSENDTASK or COGIVENBRMOD), then the payload.

#include "faked2xxdriver.h"
#include "fuzzsupport.h"
#include "qtelvorandalitoolbox.h"

#include <QApplication>
#include <QComboBox>
#include <QStatusBar>
#include <QtEndian>

namespace {

// The module list, one "text|id" line per item, then the status line.
QStringList deliver(qtelvorandalitoolbox *window, const MyFrameDec &frame)
{
    FUZZ_CHECK(QMetaObject::invokeMethod(window, "kvmxport_newframe_cb", Q_ARG(MyFrameDec, frame)));
    const auto *list = window->findChild<QComboBox *>(QStringLiteral("comboScan"));
    QStringList shown;
    for (int i = 0; i < list->count(); ++i)
        shown << list->itemText(i) + '|' + QString::number(list->itemData(i).toUInt());
    return shown << window->statusBar()->currentMessage();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    [[maybe_unused]] static const bool ready = setUpProcess<QApplication>();
    // No device: the window lists no endpoint and builds no manager.
    static FakeD2xxScope noDevices;
    static auto *window = new qtelvorandalitoolbox;
    if (size == 0)
        return 0;
    const int command = QList<int>{0x16, 0x63, 0x37}.at(data[0] % 3);
    const QByteArray payload = bytesOf(data + 1, size - 1);
    MyFrameDec frame;
    frame.setFrame(1, 0, 0x18, 0x20, 0, 2, 0, 0, command, payload);
    window->findChild<QComboBox *>(QStringLiteral("comboScan"))->clear();
    window->statusBar()->clearMessage();

    const QStringList shown = deliver(window, frame);
    // A frame that passes the answer test while the window listens arrives twice; the second is a no-op.
    FUZZ_CHECK(deliver(window, frame) == shown);
    if (command == 0x37 || payload.size() < 6 || uchar(payload[1]) != 0xF0)
        return FUZZ_CHECK(shown.size() == 1), 0;
    // The first DALI interface module (type 63) among the whole records that the length field announces.
    QString listed;
    const int announced = (uchar(payload[4]) << 8 | uchar(payload[5])) / 8;
    for (int at = 6; at < 6 + 8 * announced && at + 8 <= payload.size() && listed.isEmpty(); at += 8) {
        const quint32 id = qFromBigEndian<quint32>(payload.constData() + at);
        if (id >> 24 == 63)
            listed =
                QStringLiteral("LUX42 s/n:%1 v%2|%3").arg(id & 0xFFFFFF).arg(uchar(payload[at + 6])).arg(id);
    }
    const int count = listed.isEmpty() ? 0 : 1;
    FUZZ_CHECK(shown == (QStringList(listed).mid(0, count) << QString::number(count) + " cards found."));
    return 0;
}
