#ifndef WINDOWBENCH_H
#define WINDOWBENCH_H

#include "faked2xxdriver.h"
#include "qtelvorandalitoolbox.h"
#include "testbytes.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// The window on fake USB devices; the window (and its manager's device) goes before the fake driver.
struct WindowBench
{
    FakeD2xxScope usb;
    std::unique_ptr<qtelvorandalitoolbox> window;

    // Each window starts with no remembered endpoint, and none reaches the user's own settings.
    WindowBench()
    {
        static QTemporaryDir settingsDir;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings().clear();
    }

    ~WindowBench()
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    FakeUsbDevice &device() { return usb.driver().device(0); }
    void plug(quint32 id = 0x0403EF50) { usb.driver().device(usb.driver().addDevice()).id = id; }
    void open(const QList<QUrl> &extra = {}) { window = std::make_unique<qtelvorandalitoolbox>(extra); }
    template <class T = QComboBox> T *widget(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    void click(const char *button) { widget<QPushButton>(button)->click(); }
    // The status line as the user reads it.
    QString status() const { return widget<QLabel>("statusLine")->text(); }
    QStringList texts(const char *comboName) const
    {
        QStringList items;
        for (int i = 0; i < widget(comboName)->count(); ++i)
            items << widget(comboName)->itemText(i);
        return items;
    }
    // Answers the next question the window asks with `button`; question keeps its text, defaultAnswer
    // the answer that Enter would have given.
    QString question;
    QMessageBox::StandardButton defaultAnswer = QMessageBox::NoButton;
    void answer(QMessageBox::StandardButton button)
    {
        onNext<QMessageBox>([this, button](QMessageBox *box) {
            question = box->text();
            defaultAnswer = box->standardButton(box->defaultButton());
            box->button(button)->click();
        });
    }
    // Saves through the next file dialog the window opens, as path: typed in as a user would, since
    // selectFile is undone by the dialog's own folder listing. dialogFolder: where the dialog started.
    static inline QString dialogFolder;
    static void saveAs(const QString &path)
    {
        // The platform's own dialog (Windows) is not a widget that a test can fill in.
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        onNext<QFileDialog>([path](QFileDialog *dialog) {
            dialogFolder = dialog->directory().path();
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
    }
    // Runs act on the next modal dialog of that class, once it has settled.
    template <class Dialog> static void onNext(const std::function<void(Dialog *)> &act)
    {
        auto *poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, act] {
            if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
                poll->deleteLater();
                poll->stop();
                QTimer::singleShot(100, dialog, [dialog, act] { act(dialog); });
            }
        });
        poll->start(10);
    }
    // True once the link's poll has taken the master's frames, i.e. the window has handled them.
    bool masterSends(const QByteArrayList &frames)
    {
        for (const QByteArray &frame : frames)
            device().rxWaiting += transport(frame);
        return QTest::qWaitFor([this] { return device().rxWaiting.isEmpty(); }, 2000);
    }
};

#endif // WINDOWBENCH_H
