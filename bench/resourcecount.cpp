#include "resourcecount.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <dirent.h>
#include <mutex>
#include <unordered_set>

// Qt's hook table for object tracking tools: a function called for every QObject built and destroyed.
extern quintptr Q_CORE_EXPORT qtHookData[];

namespace {

constexpr int hookAddQObject = 3;
constexpr int hookRemoveQObject = 4;

std::mutex objectsMutex;
std::unordered_set<QObject *> *liveObjects = nullptr;

void objectAdded(QObject *object)
{
    const std::lock_guard<std::mutex> lock(objectsMutex);
    liveObjects->insert(object);
}

void objectRemoved(QObject *object)
{
    const std::lock_guard<std::mutex> lock(objectsMutex);
    liveObjects->erase(object);
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

int openDescriptors()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(dir);
    return count - 1; // the listing's own
}

} // namespace

void ResourceCount::trackObjects()
{
    liveObjects = new std::unordered_set<QObject *>;
    qtHookData[hookAddQObject] = reinterpret_cast<quintptr>(&objectAdded);
    qtHookData[hookRemoveQObject] = reinterpret_cast<quintptr>(&objectRemoved);
}

ResourceCount ResourceCount::measure()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ResourceCount now;
    now.rssKb = residentKb();
    now.fds = openDescriptors();
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    const std::lock_guard<std::mutex> lock(objectsMutex);
    now.objects = int(liveObjects->size());
    for (QObject *object : *liveObjects) {
        if (dispatcher && object->thread() == QThread::currentThread())
            now.timers += int(dispatcher->registeredTimers(object).size());
    }
    return now;
}

bool ResourceCount::grewFrom(const ResourceCount &start, long slackKb) const
{
    return objects > start.objects || timers > start.timers || fds > start.fds ||
           rssKb - start.rssKb > slackKb;
}
