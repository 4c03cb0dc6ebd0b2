#include "simsignalwatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Written by the handler, read on the event loop: a write is all a signal handler may safely do.
int signalPipe[2] = {-1, -1};

} // namespace

SimSignalWatcher::SimSignalWatcher(QObject *parent)
    : QObject(parent)
{
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SimSignalWatcher::readSignal);
    struct sigaction action = {};
    action.sa_handler = &SimSignalWatcher::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

SimSignalWatcher::~SimSignalWatcher()
{
    if (!notifier)
        return;
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    delete notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void SimSignalWatcher::onSignal(int signalNumber)
{
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

void SimSignalWatcher::readSignal()
{
    char byte = 0;
    if (::read(signalPipe[1], &byte, 1) == 1)
        emit terminationRequested(int(byte));
}
