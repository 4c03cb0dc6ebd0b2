#ifndef SIMULATORWINDOW_H
#define SIMULATORWINDOW_H

#include "qtelvorandalitoolbox.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <memory>

// The real window in this process on the bus simulator, a child process on UDP loopback.
struct SimulatorWindow
{
    QProcess sim;
    QTemporaryDir dir;
    QUrl url;
    std::unique_ptr<qtelvorandalitoolbox> window;

    // Starts the simulator with these arguments besides its endpoint, then the window with the
    // simulator chosen; false if the simulator did not start.
    bool start(const QStringList &simArguments)
    {
        url = startSimulator(simArguments);
        if (url.isEmpty())
            return false;
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
        sim.waitForFinished();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private:
    // The simulator's frame log goes to a file: a pipe nobody reads would fill up and stall it.
    QUrl startSimulator(const QStringList &simArguments)
    {
        const QString logPath = dir.filePath(QStringLiteral("bus-sim.log"));
        sim.setStandardOutputFile(logPath);
        sim.start(QStringLiteral(SIM_EXECUTABLE), QStringList{"--udp", "127.0.0.1:0"} + simArguments);
        QFile log(logPath);
        for (int tries = 0; tries < 100; ++tries) {
            if (log.open(QIODevice::ReadOnly)) {
                const QByteArray first = log.readLine();
                if (first.endsWith('\n') && first.startsWith("UDP "))
                    return QUrl(QStringLiteral("udp://") + QString::fromLatin1(first.mid(4).trimmed()));
                log.close();
            }
            QThread::msleep(20);
        }
        return {};
    }
};

#endif // SIMULATORWINDOW_H
