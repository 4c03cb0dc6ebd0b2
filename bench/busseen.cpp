#include "busseen.h"

#include "buscodes.h"
#include "frametext.h"

#include <QString>

namespace {

QString field(const QJsonObject &record, const char *name)
{
    return record.value(QLatin1String(name)).toString();
}

int number(const QJsonObject &record, const char *name)
{
    return record.value(QLatin1String(name)).toInt();
}

} // namespace

BusSeen BusSeen::read(const QList<QJsonObject> &records, int pcMode, quint32 moduleId)
{
    // The frames sent towards the PC, the last taken back when no session was open to carry it.
    QList<QJsonObject> frames;
    // An end report resent from an earlier scan (back to back) is not this job's.
    qsizetype scanFrom = -1;
    for (const QJsonObject &record : records) {
        const QString kind = field(record, "kind");
        if (kind == QLatin1String("event")) {
            if (field(record, "text").startsWith(QLatin1String("scan started:")))
                scanFrom = frames.size();
            if (!frames.isEmpty() &&
                field(record, "text") ==
                    QStringLiteral("no session open: %1 not sent")
                        .arg(FrameText::printable(field(frames.constLast(), "wire").toLatin1())))
                frames.removeLast();
            continue;
        }
        if (kind != QLatin1String("frame") || field(record, "dir") != QLatin1String("bus-to-pc") ||
            field(record, "note").contains(QLatin1String("dropped")))
            continue;
        if (record.value(QLatin1String("valid")).toBool() && number(record, "rxMode") == pcMode)
            frames << record;
    }
    BusSeen seen;
    for (const QJsonObject &frame : qAsConst(frames)) {
        const bool ofThisScan = scanFrom >= 0 && seen.delivered >= scanFrom;
        ++seen.delivered;
        const int command = number(frame, "command");
        // A sender's mode has the same codes as a receiver's.
        if (number(frame, "txMode") == modeMaster) {
            if (command == commandCoackn || command == commandCogivenbrmod ||
                command == commandCotranstable || command == commandCosendtask)
                seen.masterAnswered = true;
            if (ofThisScan && command == commandCosendtask &&
                field(frame, "data").startsWith(QLatin1String("01")))
                seen.endReport = true;
            if (command == commandCotranstable)
                seen.table = true;
        } else if (number(frame, "txMode") == modeAddressed &&
                   quint32(frame.value(QLatin1String("txAddr")).toDouble()) == moduleId &&
                   command == commandCoackn) {
            seen.moduleAck = true;
        }
    }
    return seen;
}
