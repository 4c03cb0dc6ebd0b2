#ifndef WINDOWBENCH_H
#define WINDOWBENCH_H

#include "faked2xxdriver.h"
#include "qtelvorandalitoolbox.h"

#include <QComboBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <memory>

inline const QString masterUrl = QStringLiteral("usb://localhost?vid=1027&pid=61264");
inline const QString vtapUrl = QStringLiteral("usb://localhost?vid=1027&pid=61265");

inline QByteArray transport(const QByteArray &hexDigits)
{
    return '\x02' + hexDigits + '\x03';
}

// The window on fake USB devices, torn down in the order the driver needs: the window's manager
// closes its device before the fake driver goes, and the deferred deletes run in between.
struct WindowBench
{
    FakeD2xxScope usb;
    std::unique_ptr<qtelvorandalitoolbox> window;

    ~WindowBench()
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    FakeD2xxDriver &driver() { return usb.driver(); }
    FakeUsbDevice &device(int index = 0) { return usb.driver().device(index); }
    void plug(quint32 id = 0x0403EF50, bool refuseOpen = false)
    {
        FakeUsbDevice device;
        device.id = id;
        device.refuseOpen = refuseOpen;
        usb.driver().addDevice(device);
    }
    void open(const QList<QUrl> &extra = {}) { window = std::make_unique<qtelvorandalitoolbox>(extra); }

    template <class T = QComboBox> T *widget(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    void click(const char *button) { widget<QPushButton>(button)->click(); }
    QString status() const { return window->statusBar()->currentMessage(); }
    QStringList texts(const char *comboName) const
    {
        QStringList items;
        for (int i = 0; i < widget(comboName)->count(); ++i)
            items << widget(comboName)->itemText(i);
        return items;
    }
    // The master sends these frames (hex digits); true once the link's poll has taken them, which
    // is also when the window has handled them.
    bool masterSends(const QByteArrayList &frames)
    {
        for (const QByteArray &frame : frames)
            device().rxWaiting += transport(frame);
        return QTest::qWaitFor([this] { return device().rxWaiting.isEmpty(); }, 2000);
    }
};

#endif // WINDOWBENCH_H
