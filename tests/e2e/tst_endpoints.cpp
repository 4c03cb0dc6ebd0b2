#include "connectdialog.h"
#include "e2ebench.h"

#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

const QString noEndpointLine = QStringLiteral(
    "No bus master found. Plug it in and press Refresh, or use Connection > Connect to... for an Ethernet "
    "module or a serial port.");

class tst_endpoints : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // With nothing plugged in, every endpoint is reached from the window alone: typed in Connect to...
    // or found by Search the network (its probe sent to the simulator on loopback only), then scanned.
    // An endpoint that cannot open and input that makes no URL say why.
    void reachedFromTheWindow_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QString>("way");  // udp, tcp, serial: Connect to...; search; argument: command line
        QTest::addColumn<QString>("host"); // typed in the dialog
        QTest::addColumn<bool>("killFirst");
        QTest::addColumn<QString>("status"); // URL stands for the endpoint; empty: connected, then scanned
        const QStringList udp{"--udp", "127.0.0.1:0", "--scan-ms", "0"};
        const QStringList tcp{"--tcp", "127.0.0.1:0", "--scan-ms", "0"};
        const QStringList pty{"--pty", "--scan-ms", "0"};
        QTest::newRow("udp") << udp << "udp"
                             << "127.0.0.1" << false << QString();
        QTest::newRow("tcp") << tcp << "tcp"
                             << "localhost" << false << QString();
        QTest::newRow("pty, by its path") << pty << "serial" << QString() << false << QString();
        QTest::newRow("udp, found by the search") << udp << "search" << QString() << false << QString();
        // The simulator at the module port of this host, found without being told where.
        QTest::newRow("udp at the module port, found by a plain search")
            << QStringList{"--udp", "127.0.0.1:17481", "--scan-ms", "0"} << "plain search" << QString()
            << false << QString();
        QTest::newRow("tcp, refused")
            << tcp << "tcp"
            << "127.0.0.1" << true
            << "Not connected to URL: connection refused. Check the connection, then press Refresh.";
        QTest::newRow("pty without a baud rate")
            << pty << "argument" << QString() << false
            << "Not connected to URL: the baud rate is missing (add ?baud=38400, or use Connection > "
               "Connect to...). Check the connection, then press Refresh.";
        QTest::newRow("no host name")
            << udp << "udp"
            << "no host!" << false << "\"no host!\" is neither a host name nor an IP address.";
        QTest::newRow("empty host") << udp << "udp"
                                    << "  " << false << "Enter the module's host name or IP address.";
    }

    void reachedFromTheWindow()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QString, way);
        QFETCH(QString, host);
        QFETCH(QString, status);
        SimProcess sim;
        QString url = sim.start(simOptions, false);
        if (url.isEmpty() && simOptions.contains("127.0.0.1:17481"))
            QSKIP("The module port of 127.0.0.1 is taken by another program.");
        QVERIFY(!url.isEmpty());
        QFETCH(bool, killFirst);
        if (killFirst)
            sim.kill();
        const int port = QUrl(url).port();
        WindowBench toolbox;
        toolbox.open(way == QLatin1String("argument") ? QList<QUrl>{QUrl(url)} : QList<QUrl>{});
        toolbox.window->setEthWaits(2000, 100); // the logouts here are not what a row is about
        if (way != QLatin1String("argument")) {
            QCOMPARE(toolbox.status(), noEndpointLine);
            QVERIFY(!toolbox.widget<QPushButton>("butScan")->isEnabled());
            QVERIFY(!toolbox.widget<QPushButton>("butEraseShort")->isEnabled());
        }

        QString refusal;
        int portOffered = 0;
        if (way.endsWith(QLatin1String("search"))) {
            if (way == QLatin1String("search"))
                toolbox.window->setProbeTargets({{QHostAddress(QHostAddress::LocalHost), quint16(port)}}, 0);
            toolbox.window->searchNetwork();
        } else if (way != QLatin1String("argument")) {
            WindowBench::onNext<ConnectDialog>([&](ConnectDialog *dialog) {
                const bool serial = way == QLatin1String("serial");
                dialog->findChild<QTabWidget *>("kinds")->setCurrentIndex(serial ? 1 : 0);
                if (serial) {
                    dialog->findChild<QComboBox *>("device")->setCurrentText(QUrl(url).path());
                } else {
                    portOffered = dialog->findChild<QSpinBox *>("port")->value();
                    dialog->findChild<QLineEdit *>("host")->setText(host);
                    dialog->findChild<QSpinBox *>("port")->setValue(port);
                    dialog->findChild<QRadioButton *>(way)->setChecked(true);
                }
                dialog->accept();
                if (dialog->isVisible()) {
                    refusal = dialog->findChild<QLabel *>("problem")->text();
                    dialog->reject();
                }
            });
            toolbox.window->connectTo();
        }
        if (way == QLatin1String("serial"))
            url += QStringLiteral("?baud=38400");
        else if (way == QLatin1String("tcp"))
            url.replace(QStringLiteral("127.0.0.1"), host);
        if (way == QLatin1String("udp") || way == QLatin1String("tcp"))
            QCOMPARE(portOffered, 17481); // the module port
        if (!refusal.isEmpty()) {
            QCOMPARE(refusal, status);
            QCOMPARE(toolbox.texts("comboPort"), QStringList());
            return;
        }
        if (!status.isEmpty()) {
            QCOMPARE(toolbox.status(), status.replace("URL", url));
            QVERIFY(!toolbox.widget<QPushButton>("butScan")->isEnabled());
            return;
        }
        QCOMPARE(toolbox.status(), "Connected to " + url);
        toolbox.click("butScan");
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(), QStringLiteral("1 cards found."), 10000);
        QTRY_VERIFY(toolbox.widget<QPushButton>("butEraseShort")->isEnabled());

        // Offered again at the next start until forgotten.
        qtelvorandalitoolbox again;
        again.setEthWaits(2000, 100);
        QCOMPARE(again.findChild<QComboBox *>("comboPort")->itemData(0).toUrl(), QUrl(url));
        again.forgetEndpoints();
        QCOMPARE(again.findChild<QLabel *>("statusLine")->text(), noEndpointLine);
    }
};

QTEST_MAIN(tst_endpoints)
#include "tst_endpoints.moc"
