#include "simptyport.h"

#include "framelog.h"
#include "simbus.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

SimPtyPort::SimPtyPort(SimBus *bus, FrameLog *log, QObject *parent)
    : QObject(parent)
    , bus(bus)
    , log(log)
{
    connect(bus, &SimBus::frameOut, this, &SimPtyPort::sendToPc);
}

SimPtyPort::~SimPtyPort()
{
    close();
}

bool SimPtyPort::open(QString &error)
{
    close();
    char name[256] = {};
    if (::openpty(&masterFd, &slaveFd, name, nullptr, nullptr) != 0) {
        error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        masterFd = slaveFd = -1;
        return false;
    }
    // Raw on the slave side: no echo, no line editing, no CR/LF translation of the frames.
    termios settings{};
    if (::tcgetattr(slaveFd, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetispeed(&settings, B38400);
        ::cfsetospeed(&settings, B38400);
        ::tcsetattr(slaveFd, TCSANOW, &settings);
    }
    ::fcntl(masterFd, F_SETFL, ::fcntl(masterFd, F_GETFL) | O_NONBLOCK);
    path = QString::fromLocal8Bit(name);
    notifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SimPtyPort::readMaster);
    return true;
}

void SimPtyPort::close()
{
    if (notifier) {
        notifier->setEnabled(false);
        notifier->deleteLater();
        notifier = nullptr;
    }
    if (masterFd >= 0)
        ::close(masterFd);
    if (slaveFd >= 0)
        ::close(slaveFd);
    masterFd = slaveFd = -1;
}

void SimPtyPort::readMaster()
{
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::read(masterFd, chunk, sizeof chunk);
        if (count <= 0)
            break;
        cutter.append(QByteArray(chunk, int(count)));
    }
    SimStreamCutter::Item item;
    while (cutter.take(item)) {
        if (item.kind == SimStreamCutter::Frame)
            bus->receiveText(item.data);
        else if (log)
            log->event(QStringLiteral("PTY ignored bytes: %1").arg(FrameLog::printable(item.data)));
    }
}

void SimPtyPort::sendToPc(const QByteArray &wire)
{
    if (masterFd < 0)
        return;
    const char *bytes = wire.constData();
    qsizetype left = wire.size();
    // A frame is a few dozen bytes and the pty buffer holds kilobytes; a full buffer means nobody
    // reads the port, and the frame is then lost like on a real line.
    while (left > 0) {
        const ssize_t written = ::write(masterFd, bytes, size_t(left));
        if (written <= 0) {
            if (log)
                log->event(
                    QStringLiteral("PTY write failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        bytes += written;
        left -= written;
    }
}
