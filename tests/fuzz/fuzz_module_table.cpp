// The scan's report reading, on a scan running over the fake USB master. Input: a byte choosing the
// command (COTRANSTABLE, COSENDTASK or COGIVENBRMOD), then the payload.

#include "busscan.h"
#include "faked2xxdriver.h"
#include "fuzzsupport.h"
#include "mytreatcompc.h"
#include "testbytes.h"

#include <QCoreApplication>
#include <QtEndian>

namespace {

// The statuses shown and the DALI modules listed ("label|id"), the scan's state last.
QStringList deliver(BusScan &scan, const MyFrameDec &frame)
{
    QStringList shown;
    const auto status =
        QObject::connect(&scan, &BusScan::progress, [&shown](const QString &s) { shown << s; });
    const auto table = QObject::connect(&scan, &BusScan::tableRead, [&shown](const ModuleTable &t) {
        for (const ModuleTable::Module &module : t.daliInterfaces())
            shown << module.label() + '|' + QString::number(module.id);
    });
    scan.readReport(frame);
    QObject::disconnect(status);
    QObject::disconnect(table);
    return shown << (scan.isRunning() ? "running" : "ended");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    [[maybe_unused]] static const bool ready = setUpProcess();
    static FakeD2xxScope usb;
    static MyTreatComPc *manager = [] {
        usb.driver().addDevice();
        return new MyTreatComPc(masterUrl);
    }();
    if (size == 0)
        return 0;
    const int command = QList<int>{0x16, 0x63, 0x37}.at(data[0] % 3);
    const QByteArray payload = bytesOf(data + 1, size - 1);
    MyFrameDec frame;
    frame.setFrame(1, 0, 0x18, 0x20, 0, 2, 0, 0, command, payload);
    BusScan scan(manager);
    scan.start();
    // A count report first: an end report before any other report is taken for a leftover.
    MyFrameDec count;
    count.setFrame(1, 0, 0x18, 0x20, 0, 2, 0, 0, 0x37, QByteArray("\x00\x01", 2));
    deliver(scan, count);
    FUZZ_CHECK(scan.isRunning());

    const QStringList shown = deliver(scan, frame);
    const bool ended = command == 0x63 && !payload.isEmpty() && payload[0] == 1;
    FUZZ_CHECK(shown.last() == (ended ? "ended" : "running"));
    // A frame that passes the answer test arrives twice; the second changes nothing, and nothing is read
    // after the end of the scan.
    FUZZ_CHECK(deliver(scan, frame) == (ended ? QStringList{"ended"} : shown));
    if (payload.size() < 6 || uchar(payload[1]) != 0xF0 || command == 0x37)
        return FUZZ_CHECK(!scan.scanResult().tableRead), 0;
    // Every DALI interface module (type 63) among the whole records that the length field announces.
    QStringList listed;
    const int announced = (uchar(payload[4]) << 8 | uchar(payload[5])) / 8;
    int records = 0;
    for (int at = 6; at < 6 + 8 * announced && at + 8 <= payload.size(); at += 8, ++records) {
        const quint32 id = qFromBigEndian<quint32>(payload.constData() + at);
        if (id >> 24 == 63)
            listed << QStringLiteral("LUX42 s/n:%1 v%2|%3")
                          .arg(id & 0xFFFFFF)
                          .arg(uchar(payload[at + 6]))
                          .arg(id);
    }
    FUZZ_CHECK(scan.scanResult().tableRead && scan.scanResult().table.modules.size() == records);
    FUZZ_CHECK(shown.mid(shown.size() - listed.size() - 2, listed.size()) == listed);
    FUZZ_CHECK(shown.at(shown.size() - 2) == QString::number(listed.size()) + " cards found.");
    return 0;
}
