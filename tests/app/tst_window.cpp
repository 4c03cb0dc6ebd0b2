#include "qtelvorandalitoolbox.h"

#include <QtTest>
#include <QtWidgets>

namespace {

enum class CloseBy { CtrlQ, QuitButton, CloseCall };

// One word per item of a box layout, so that the order of the form compares as a list.
QStringList itemNames(const QLayout *layout)
{
    QStringList names;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        const QSize hint = item->sizeHint();
        if (item->widget())
            names << item->widget()->objectName();
        else if (item->layout())
            names << item->layout()->objectName();
        else
            names << QStringLiteral("spacer %1x%2").arg(hint.width()).arg(hint.height());
    }
    return names;
}

} // namespace

Q_DECLARE_METATYPE(CloseBy)

class tst_Window : public QObject
{
    Q_OBJECT

private slots:
    void init() { QCoreApplication::setApplicationVersion(QStringLiteral("1.0")); }

    void titleAndLogPattern()
    {
        qtelvorandalitoolbox window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Telvoran2 DALI toolbox (1.0)"));
        const QMessageLogContext context("window.cpp", 42, "f", "default");
        QCOMPARE(qFormatLogMessage(QtDebugMsg, context, QStringLiteral("CONNECT ALLFRAME")),
                 QStringLiteral("window.cpp:42 - CONNECT ALLFRAME"));
    }

    void formObjects_data()
    {
        QTest::addColumn<QByteArray>("className");
        QTest::addColumn<QString>("text"); // null: the class has no text
        QTest::newRow("centralwidget") << QByteArray("QWidget") << QString();
        QTest::newRow("verticalLayout") << QByteArray("QVBoxLayout") << QString();
        QTest::newRow("label") << QByteArray("QLabel") << "";
        QTest::newRow("horizontalLayout_2") << QByteArray("QHBoxLayout") << QString();
        QTest::newRow("butScan") << QByteArray("QPushButton") << "&Scan";
        QTest::newRow("comboScan") << QByteArray("QComboBox") << QString();
        QTest::newRow("line") << QByteArray("QFrame") << QString();
        QTest::newRow("comboPort") << QByteArray("QComboBox") << QString();
        QTest::newRow("butRefresh") << QByteArray("QPushButton") << "Refresh";
        QTest::newRow("butEraseShort") << QByteArray("QPushButton") << "&Erase all short address and group";
        QTest::newRow("butQuit") << QByteArray("QPushButton") << "&Quit";
        QTest::newRow("statusbar") << QByteArray("QStatusBar") << QString();
    }

    void formObjects()
    {
        QFETCH(QByteArray, className);
        QFETCH(QString, text);
        qtelvorandalitoolbox window;
        const QObject *object = window.findChild<QObject *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(object);
        QCOMPARE(QByteArray(object->metaObject()->className()), className);
        if (!text.isNull())
            QCOMPARE(object->property("text").toString(), text);
    }

    void formSettings()
    {
        qtelvorandalitoolbox window;
        QCOMPARE(window.sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding));
        const auto *label = window.findChild<QLabel *>(QStringLiteral("label"));
        QCOMPARE(label->sizePolicy(), QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed));
        QCOMPARE(label->minimumSize(), QSize(201, 31));
        QCOMPARE(label->maximumSize(), QSize(201, 31));
        QVERIFY(label->hasScaledContents());
        const auto *butScan = window.findChild<QPushButton *>(QStringLiteral("butScan"));
        QCOMPARE(butScan->sizePolicy(), QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed));
        QVERIFY(butScan->isEnabled());
        const auto *comboScan = window.findChild<QComboBox *>(QStringLiteral("comboScan"));
        QCOMPARE(comboScan->sizePolicy(), QSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed));
        QCOMPARE(comboScan->sizeAdjustPolicy(), QComboBox::AdjustToContents);
        QCOMPARE(
            comboScan->toolTip(),
            QStringLiteral("<html><head/><body><p>List of modules found on Telvoran2 bus</p></body></html>"));
        QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("comboPort"))->sizeAdjustPolicy(),
                 QComboBox::AdjustToContents);
        const auto *line = window.findChild<QFrame *>(QStringLiteral("line"));
        QCOMPARE(line->frameShape(), QFrame::VLine);
        QCOMPARE(line->frameShadow(), QFrame::Sunken);

        const QStringList column{"label", "horizontalLayout_2", "butEraseShort", "spacer 20x40", "butQuit"};
        const QStringList row{"butScan", "comboScan", "line", "comboPort", "butRefresh", "spacer 40x20"};
        QCOMPARE(itemNames(window.findChild<QLayout *>(QStringLiteral("verticalLayout"))), column);
        QCOMPARE(itemNames(window.findChild<QLayout *>(QStringLiteral("horizontalLayout_2"))), row);
    }

    void resourcesAreLoaded()
    {
        qtelvorandalitoolbox window;
        const QPixmap logo = window.findChild<QLabel *>(QStringLiteral("label"))->pixmap(Qt::ReturnByValue);
        QCOMPARE(logo.size(), QSize(2190, 416));
        const QList<QSize> iconSizes = window.windowIcon().availableSizes();
        QVERIFY2(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)),
                 "16 and 32 pixel icons");
    }

    void closingEndsEventLoop_data()
    {
        QTest::addColumn<CloseBy>("closeBy");
        QTest::newRow("Ctrl+Q") << CloseBy::CtrlQ;
        QTest::newRow("Quit button") << CloseBy::QuitButton;
        QTest::newRow("close()") << CloseBy::CloseCall;
    }

    void closingEndsEventLoop()
    {
        QFETCH(CloseBy, closeBy);
        qtelvorandalitoolbox window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        QTimer::singleShot(0, &window, [&window, closeBy] {
            if (closeBy == CloseBy::CtrlQ)
                QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
            else if (closeBy == CloseBy::QuitButton)
                QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("butQuit")), Qt::LeftButton);
            else
                window.close();
        });
        QTimer guard;
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(5000);

        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!window.isVisible());
    }

    void moduleChoiceFitsWindowToContents()
    {
        qtelvorandalitoolbox window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *comboScan = window.findChild<QComboBox *>(QStringLiteral("comboScan"));
        // Short entries: a window wider than two thirds of the small offscreen screen is not fitted to its
        // hint.
        comboScan->addItems({QStringLiteral("-"), QStringLiteral("LUX42 s/n:1 v3")});
        const QSize large = window.sizeHint() + QSize(300, 200);
        window.resize(large);
        QTRY_COMPARE(window.size(), large);

        comboScan->setCurrentIndex(1);
        QTRY_COMPARE(window.size(), window.sizeHint());
    }
};

QTEST_MAIN(tst_Window)
#include "tst_window.moc"
