#ifndef ENDPOINTLIST_H
#define ENDPOINTLIST_H

#include "portentry.h"

#include <QList>
#include <QString>
#include <QUrl>

// The window's endpoints: where they come from (discovery of the bus master, the command line,
// Connect to..., Search the network, the settings), the order and labels under which they are
// listed, and which of them are remembered for the next start. One entry per endpoint: two URLs
// that differ only in their password are the same endpoint.
class EndpointList
{
public:
    // Reads the remembered endpoints; extra are the command line's, listed on every refresh.
    explicit EndpointList(const QList<QUrl> &extra);

    // Discovery again; the entries in the order listed: vtap device first, then the bus master,
    // the command line's, and the remembered ones, the last used first.
    void refresh();
    const QList<PortEntry> &entries() const { return listed; }
    int indexOf(const QUrl &url) const;
    // Lists a typed or found endpoint (after the others) until the end of the run; it is
    // remembered once it has opened. A password given with it replaces the one listed.
    int add(const QUrl &url);
    // The endpoint opened: an added or remembered one is remembered, first.
    void opened(const QUrl &url);
    // The password for this run only; never written to the settings.
    void setPassword(const QUrl &url, const QString &password);
    // No endpoint is remembered any more; the settings keep no key for them.
    void forget();

    static bool sameEndpoint(const QUrl &a, const QUrl &b);
    static QString label(const PortEntry &entry);
    // The entry's tooltip: its URL without the password.
    static QString toolTip(const PortEntry &entry);

private:
    void relist();
    void save() const;

    QList<PortEntry> discovered;
    QList<PortEntry> extra;
    QList<PortEntry> added;      // typed or found in this run, not opened yet
    QList<PortEntry> remembered; // the last used first
    QList<PortEntry> listed;
};

#endif // ENDPOINTLIST_H
