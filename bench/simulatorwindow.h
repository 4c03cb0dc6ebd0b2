#ifndef SIMULATORWINDOW_H
#define SIMULATORWINDOW_H

#include "qtelvorandalitoolbox.h"
#include "simulatorprocess.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// The real window in this process on the bus simulator, a child process on UDP loopback.
struct SimulatorWindow
{
    QTemporaryDir dir;
    SimulatorProcess sim{QStringLiteral(SIM_EXECUTABLE)};
    QUrl url;
    std::unique_ptr<qtelvorandalitoolbox> window;

    // Starts the simulator with these arguments besides its endpoint, then the window with the
    // simulator chosen; false if the simulator did not start.
    bool start(const QStringList &simArguments)
    {
        if (!sim.start(QStringList{"--udp", "127.0.0.1:0"} + simArguments, dir.filePath("bus-sim.log")))
            return false;
        url = QUrl(sim.url());
        window = std::make_unique<qtelvorandalitoolbox>(QList<QUrl>{url});
        auto *ports = window->findChild<QComboBox *>(QStringLiteral("comboPort"));
        // A bus master plugged into this machine would be listed first; the simulator is wanted here.
        ports->setCurrentIndex(ports->findData(url));
        return true;
    }

    // The window first, then the simulator, then what they left to be deleted later.
    void stop()
    {
        window.reset();
        sim.kill();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

#endif // SIMULATORWINDOW_H
