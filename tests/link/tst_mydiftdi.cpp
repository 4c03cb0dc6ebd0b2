// The link object: URL dispatch, close, write with nothing open, and the receive pass.

#include "faked2xxdriver.h"
#include "mydiftdi.h"

#include <QtTest>

#define STX "\x02"
#define ETX "\x03"

namespace {
const QString kvmxUrl = QStringLiteral("usb://localhost?vid=1027&pid=61264");
const QByteArray frame = STX "BD0231F0" ETX;
} // namespace

class TstMyDiFtdi : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void unknownSchemeClosesOpenTransport();
    void usbQuery_data();
    void usbQuery();
    void closeTwiceAndWriteWithNothingOpen();
    void receivePass();
};

void TstMyDiFtdi::unknownSchemeClosesOpenTransport()
{
    FakeD2xxScope fake;
    fake.driver().addDevice();
    MyDiFtdi link;
    QCOMPARE(link.open(kvmxUrl), 1);
    QSignalSpy connectState(&link, &MyDiFtdi::connectStateChanged);

    QTest::ignoreMessage(QtDebugMsg, "unhandled scheme : ftp");
    QCOMPARE(link.open(QStringLiteral("ftp://x")), -1);
    QVERIFY(!fake.driver().device(0).open);
    QCOMPARE(connectState, (QList<QVariantList>{{false}}));
    QCOMPARE(link.transportKind(), MyDiFtdi::TransportNone);
}

void TstMyDiFtdi::usbQuery_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("result");
    QTest::newRow("no query") << "usb://localhost" << -1;
    QTest::newRow("empty query") << "usb://localhost?" << -1;
    // 66563 is 0x10403: cut to 16 bits it is the vendor id 0x0403.
    QTest::newRow("vid cut to 16 bits") << "usb://localhost?vid=66563&pid=61264" << 1;
    QTest::newRow("vid not decimal") << "usb://localhost?vid=0x403&pid=61264" << -2;
}

void TstMyDiFtdi::usbQuery()
{
    QFETCH(QString, url);
    QFETCH(int, result);

    FakeD2xxScope fake;
    fake.driver().addDevice();
    MyDiFtdi link;
    QCOMPARE(link.open(url), result);
    // A query without items is refused before the driver is asked anything.
    QCOMPARE(fake.driver().calls.isEmpty(), result == -1);
}

void TstMyDiFtdi::closeTwiceAndWriteWithNothingOpen()
{
    FakeD2xxScope fake;
    fake.driver().addDevice();
    MyDiFtdi link;
    QCOMPARE(link.write(frame), 0);
    QCOMPARE(link.open(kvmxUrl), 1);
    QSignalSpy connectState(&link, &MyDiFtdi::connectStateChanged);
    link.close();
    link.close();
    QCOMPARE(connectState.count(), 1);
    QCOMPARE(link.write(frame), 0);
    QCOMPARE(fake.driver().calls.filter(QRegularExpression("Close|Write")), QStringList{"Close 0"});
}

void TstMyDiFtdi::receivePass()
{
    MyDiFtdi link;
    QSignalSpy newFrame(&link, &MyDiFtdi::newFrame);
    int queuedAtSessionChange = -1;
    connect(&link, &MyDiFtdi::sessionStateChanged, this, [&] { queuedAtSessionChange = link.itemCount(); });
    link.receivePass(STX "AB");
    QCOMPARE(newFrame.count(), 0);

    // Two items in one pass: one announcement. The line reaches the session before it is queued.
    link.receivePass(ETX "INFO:Session opened\r\n");
    QCOMPARE(newFrame.count(), 1);
    QCOMPARE(newFrame.at(0).at(0).value<MyDiFtdi *>(), &link);
    QCOMPARE(link.currentSessionState(), MyDiFtdi::SessionOpened);
    QCOMPARE(queuedAtSessionChange, 1);
    // Items left untaken are announced again by every pass, even one that brings nothing.
    link.receivePass({});
    QCOMPARE(newFrame.count(), 2);

    QCOMPARE(link.takeItem().kind, RxBusFrame);
    QCOMPARE(link.takeItem().kind, RxTextLine);
    const RxItem none = link.takeItem();
    QVERIFY(none.kind == RxBusFrame && !none.complete && none.data.isEmpty());
    QCOMPARE(link.itemCount(), 0);
}

QTEST_GUILESS_MAIN(TstMyDiFtdi)
#include "tst_mydiftdi.moc"
