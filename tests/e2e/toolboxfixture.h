#ifndef TOOLBOXFIXTURE_H
#define TOOLBOXFIXTURE_H

#include "faked2xxdriver.h"
#include "qtelvorandalitoolbox.h"

#include <QComboBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <memory>

// The real window, built with one extra endpoint, on a USB driver that lists no device: the
// endpoint given is the only entry and no real USB device is touched.
class ToolboxFixture
{
public:
    explicit ToolboxFixture(const QUrl &endpoint)
        : window(std::make_unique<qtelvorandalitoolbox>(QList<QUrl>{endpoint}))
    {}

    QPushButton *button(const char *name) const { return window->findChild<QPushButton *>(name); }
    QComboBox *modules() const { return window->findChild<QComboBox *>(QStringLiteral("comboScan")); }
    QString status() const { return window->statusBar()->currentMessage(); }
    void click(const char *name) const { QTest::mouseClick(button(name), Qt::LeftButton); }

    FakeD2xxScope usb;
    std::unique_ptr<qtelvorandalitoolbox> window;
};

#endif // TOOLBOXFIXTURE_H
