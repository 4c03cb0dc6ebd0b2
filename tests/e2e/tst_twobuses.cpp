#include "connectdialog.h"
#include "e2ebench.h"

#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

// Two buses at once, each behind its own simulator: what the window shows and erases belongs to the
// endpoint it was read from.
class tst_twobuses : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void eraseReachesOnlyTheScannedBus_data()
    {
        QTest::addColumn<QString>("way"); // how B becomes current after A was scanned
        QTest::newRow("B chosen in the list") << "list";
        QTest::newRow("B reached with Connect to...") << "dialog";
        QTest::newRow("F5 after B's link was lost") << "refresh";
    }

    void eraseReachesOnlyTheScannedBus()
    {
        QFETCH(QString, way);
        const QStringList common{"--scan-ms", "0", "--module", "LUX42:0x12D687:3"};
        SimProcess a, b, bAgain; // bAgain: B restarted on its port
        const QString urlA =
            a.start(QStringList{"--udp", "127.0.0.1:0"} + common + QStringList{"--module", "LUX42:0x777:5"});
        const QString urlB =
            b.start(QStringList{"--tcp", "127.0.0.1:0"} + common + QStringList{"--module", "REL08:66:1"});
        QVERIFY(!urlA.isEmpty() && !urlB.isEmpty());
        WindowBench toolbox;
        toolbox.open(way == QLatin1String("dialog") ? QList<QUrl>{QUrl(urlA)}
                                                    : QList<QUrl>{QUrl(urlA), QUrl(urlB)});
        toolbox.window->setEthWaits(2000, 100); // each switch of bus logs out: briefly here
        QCOMPARE(toolbox.status(), "Connected to " + urlA);
        auto *erase = toolbox.widget<QPushButton>("butEraseShort");

        toolbox.click("butScan");
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(), QStringLiteral("2 cards found."), 10000);
        QTRY_VERIFY(erase->isEnabled());
        toolbox.widget("comboScan")->setCurrentIndex(1);
        QCOMPARE(toolbox.widget("comboScan")->currentText(), "LUX42 s/n:1911 v5");

        if (way == QLatin1String("dialog")) {
            WindowBench::onNext<ConnectDialog>([&](ConnectDialog *dialog) {
                dialog->findChild<QLineEdit *>("host")->setText("127.0.0.1");
                dialog->findChild<QSpinBox *>("port")->setValue(QUrl(urlB).port());
                dialog->findChild<QRadioButton *>("tcp")->setChecked(true);
                dialog->accept();
            });
            toolbox.window->connectTo();
        } else {
            toolbox.widget("comboPort")->setCurrentIndex(1);
        }
        QCOMPARE(toolbox.status(), "Connected to " + urlB);
        // B's own table: nothing until B is scanned, and nothing to erase.
        QCOMPARE(toolbox.texts("comboScan"), QStringList());
        QCOMPARE(toolbox.widget<QTableWidget>("tableModules")->rowCount(), 0);
        QVERIFY(!erase->isEnabled());
        erase->click();

        if (way == QLatin1String("refresh")) {
            toolbox.click("butScan");
            QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(), QStringLiteral("1 cards found."), 10000);
            const int port = QUrl(urlB).port();
            b.kill();
            QTRY_VERIFY(toolbox.status().startsWith("Not connected to " + urlB));
            QCOMPARE(bAgain.start({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "--scan-ms", "0"}),
                     urlB);
            toolbox.window->show();
            QVERIFY(QTest::qWaitForWindowActive(toolbox.window.get()));
            QTest::keyClick(toolbox.window.get(), Qt::Key_F5);
            QCOMPARE(toolbox.status(), "Connected to " + urlB);
            QCOMPARE(toolbox.widget("comboPort")->currentIndex(), 1);
            // B's table is still B's: its one DALI interface module is the target, erased through B.
            QCOMPARE(toolbox.texts("comboScan"), QStringList{"LUX42 s/n:1234567 v3"});
            QTRY_VERIFY(erase->isEnabled());
            toolbox.answer(QMessageBox::Yes);
            erase->click();
            QCOMPARE(toolbox.question, "Erase the short addresses and groups of every DALI slave behind "
                                       "LUX42\u00A0s/n:1234567\u00A0v3 on " +
                                           urlB + "? This cannot be undone.");
            QTRY_COMPARE_WITH_TIMEOUT(bAgain.linesWith("PC->BUS COSETDATA").size(), 1, 5000);
            QCOMPARE(a.linesWith("PC->BUS COSETDATA"), QStringList());
            return;
        }
        // Back to A: its scan is shown again, its target kept, and the erase goes to A alone.
        toolbox.widget("comboPort")->setCurrentIndex(0);
        QCOMPARE(toolbox.status(), "Connected to " + urlA);
        QCOMPARE(toolbox.widget("comboScan")->currentText(), "LUX42 s/n:1911 v5");
        toolbox.answer(QMessageBox::Yes);
        erase->click();
        QCOMPARE(toolbox.question, "Erase the short addresses and groups of every DALI slave behind "
                                   "LUX42\u00A0s/n:1911\u00A0v5 on " +
                                       urlA + "? This cannot be undone.");
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(),
                                  QStringLiteral("LUX42 s/n:1911 v5 accepted the erase of its DALI short "
                                                 "addresses and groups."),
                                  5000);
        QCOMPARE(a.linesWith("PC->BUS COSETDATA").size(), 1);
        QVERIFY(a.linesWith("PC->BUS COSETDATA").constFirst().contains("3F000777"));
        QCOMPARE(b.linesWith("PC->BUS COSETDATA"), QStringList());
    }
};

QTEST_MAIN(tst_twobuses)
#include "tst_twobuses.moc"
