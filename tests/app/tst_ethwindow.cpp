// The window opening an Ethernet module given on the command line.
#include "endpointarguments.h"
#include "fakeethmodule.h"
#include "mytreatcompc.h"
#include "windowbench.h"

#include <QtTest>

class TestEthWindow : public QObject
{
    Q_OBJECT

private slots:
    // The window hands the link the URL as text: an encoded password must survive that. A report that
    // comes in the datagram of "Session opened" is handled once the link is up, and acknowledged.
    void windowOpensEncodedPassword()
    {
        FakeEthModule module;
        module.loginReply += transport("BD04630226");
        const auto parsed = parseEndpointArguments({module.url(QStringLiteral("me:p%20ss"))});
        WindowBench bench;
        bench.open(parsed.endpoints);
        bench.window->manager()->setEthWaits(500, 100); // a short logout at the end
        QVERIFY(bench.window->manager()->isConnected());
        QCOMPARE(module.messages.value(0).size(), 22);
        QTRY_COMPARE(module.messages.mid(1), QByteArrayList{transport("F90101FB")});
        // The LOGIN uses the password; nothing a person reads shows it.
        QCOMPARE(bench.status(), "Connected to " + module.url("me"));
        // Refresh keeps the session (no LOGOUT, no new LOGIN) and sends its HELLO, so that a module gone
        // meanwhile shows up.
        bench.click("butRefresh");
        QTRY_COMPARE(module.messages.mid(2), QByteArrayList{"HELLO"});
    }
};

QTEST_MAIN(TestEthWindow)
#include "tst_ethwindow.moc"
