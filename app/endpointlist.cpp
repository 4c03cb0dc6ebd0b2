#include "endpointlist.h"

#include "endpoint.h"
#include "endpointarguments.h"
#include "mydiftdi.h"
#include "portlabel.h"
#include "shownurl.h"

#include <QSettings>

#include <algorithm>

namespace {

// The settings key of the remembered endpoints, as URL texts without their passwords.
const QString endpointsKey = QStringLiteral("endpoints");

int find(const QList<PortEntry> &entries, const QUrl &url)
{
    for (int i = 0; i < entries.size(); ++i) {
        if (EndpointList::sameEndpoint(entries.at(i).url, url))
            return i;
    }
    return -1;
}

// Appends the entries of more that are not yet in to.
void merge(QList<PortEntry> &to, const QList<PortEntry> &more)
{
    for (const PortEntry &entry : more) {
        if (find(to, entry.url) < 0)
            to.append(entry);
    }
}

} // namespace

EndpointList::EndpointList(const QList<QUrl> &extraEndpoints)
{
    for (const QUrl &url : extraEndpoints)
        extra.append(endpointEntry(url));
    // Whatever the settings hold, only URLs the link could open are offered, each once.
    const EndpointArguments saved = parseEndpointArguments(QSettings().value(endpointsKey).toStringList());
    for (const QUrl &url : saved.endpoints)
        merge(remembered, {endpointEntry(url)});
}

bool EndpointList::sameEndpoint(const QUrl &a, const QUrl &b)
{
    return Endpoint(a).sameEndpoint(Endpoint(b));
}

void EndpointList::refresh()
{
    discovered = MyDiFtdi::discoverPorts(PortUsbKvmx);
    relist();
}

void EndpointList::relist()
{
    QList<PortEntry> all;
    merge(all, discovered);
    merge(all, extra);
    merge(all, remembered);
    merge(all, added);
    listed.clear();
    for (const PortEntry &entry : qAsConst(all)) {
        if (listedAtTop(entry))
            listed.prepend(entry);
        else
            listed.append(entry);
    }
}

int EndpointList::indexOf(const QUrl &url) const
{
    return find(listed, url);
}

int EndpointList::add(const QUrl &url)
{
    const int index = indexOf(url);
    if (index >= 0) {
        if (!url.password().isEmpty())
            setPassword(url, url.password());
        return index;
    }
    added.append(endpointEntry(url));
    relist();
    return indexOf(url);
}

void EndpointList::opened(const QUrl &url)
{
    const int fromAdded = find(added, url);
    const int fromRemembered = find(remembered, url);
    if (fromAdded < 0 && fromRemembered < 0)
        return;
    const PortEntry entry = fromAdded >= 0 ? added.takeAt(fromAdded) : remembered.takeAt(fromRemembered);
    remembered.prepend(entry);
    save();
}

void EndpointList::setPassword(const QUrl &url, const QString &password)
{
    for (QList<PortEntry> *list : {&extra, &added, &remembered, &listed}) {
        const int index = find(*list, url);
        if (index < 0)
            continue;
        QUrl &stored = (*list)[index].url;
        if (!url.userName().isEmpty())
            stored.setUserName(url.userName());
        stored.setPassword(password.isEmpty() ? QString() : password);
    }
}

void EndpointList::forget()
{
    remembered.clear();
    added.clear();
    QSettings().remove(endpointsKey);
    relist();
}

void EndpointList::save() const
{
    QStringList urls;
    for (const PortEntry &entry : remembered)
        urls << entry.url.toString(QUrl::RemovePassword | QUrl::FullyEncoded);
    QSettings().setValue(endpointsKey, urls);
}

QString EndpointList::label(const PortEntry &entry)
{
    return portLabel(entry);
}

QString EndpointList::toolTip(const PortEntry &entry)
{
    return shownUrl(entry.url);
}
