#include "simfaultcontrol.h"

#include "framelog.h"
#include "simfaults.h"
#include "simoptions.h"

#include <QList>
#include <QSocketNotifier>

#include <unistd.h>

SimFaultControl::SimFaultControl(SimFaults *faults, FrameLog *log, QObject *parent)
    : QObject(parent)
    , faults(faults)
    , log(log)
{}

void SimFaultControl::listen(int fd)
{
    delete notifier;
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SimFaultControl::readInput);
}

bool SimFaultControl::apply(const QByteArray &line, SimFaults &faults)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    if (words.size() != 2)
        return false;
    bool ok = false;
    const int value = words.at(1).toInt(&ok);
    if (!ok || value < 0)
        return false;
    const QByteArray &name = words.at(0);
    const struct
    {
        const char *name;
        int *setting;
    } percentages[] = {{"drop-rx", &faults.dropRxPct},
                       {"drop-tx", &faults.dropTxPct},
                       {"corrupt", &faults.corruptPct},
                       {"nack", &faults.nackPct}};
    for (const auto &entry : percentages) {
        if (name == entry.name && value <= 100) {
            *entry.setting = value;
            return true;
        }
    }
    if (name == "delay-ms" && value <= SimOptions::longestWaitMs) {
        faults.delayMs = value;
        return true;
    }
    if ((name == "no-ack" || name == "no-end") && value <= 1) {
        (name == "no-ack" ? faults.noAck : faults.noEnd) = value == 1;
        return true;
    }
    return false;
}

void SimFaultControl::readInput()
{
    char chunk[512];
    const ssize_t count = ::read(int(notifier->socket()), chunk, sizeof chunk);
    if (count <= 0) {
        // End of input: the settings stay as they are.
        notifier->setEnabled(false);
        return;
    }
    pending.append(chunk, int(count));
    int end = 0;
    while ((end = pending.indexOf('\n')) >= 0) {
        const QByteArray line = pending.left(end).trimmed();
        pending.remove(0, end + 1);
        if (line.isEmpty())
            continue;
        const bool applied = apply(line, *faults);
        if (log)
            log->event(
                QStringLiteral("faults: %1%2")
                    .arg(QString::fromLatin1(line), applied ? QString() : QStringLiteral(" (refused)")));
    }
}
