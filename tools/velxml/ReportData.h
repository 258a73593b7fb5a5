#ifndef VELXML_REPORTDATA_H
#define VELXML_REPORTDATA_H

#include "ScriptJson.h"

#include <ImpExp_SetCheck.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

class Progress;

// What a report page shows of one page file set, gathered through the
// library (its set check and its reader) into the JSON block the page
// embeds. Contacts and appointments go with every pair they carry; an
// appointment also with its begin, end and repetition as the accessors read
// them, so the page needs no parser of its own.
class ReportData
{
public:
    // @p zone: the time zone the page opens in, an IANA name; null for the
    // browser's own.
    ReportData(const QString &pathTemplate, const QString &zone);

    // Also compares the set with the older set @p oldTemplate, so that the
    // page marks what was added and changed since, and lists what is gone.
    void setSince(const QString &oldTemplate) { since = oldTemplate; }

    // Checks and reads the whole set. Never throws: whatever the set holds
    // becomes a problem, or the reader's complaint in "readError".
    QByteArray build(Progress &progress);

    int pageCount() const { return pagesFound; }
    qint64 itemCount() const { return items; }
    qint64 problemCount() const { return problems; }
    // What stopped the library's reader early; empty when nothing did.
    QString readError() const { return stop; }
    // Why the set is incomplete (see whyIncomplete()); empty when it is not.
    QStringList incompleteReasons() const { return incomplete; }
    // Why the comparison with the older set could not be made; empty when it was.
    QString sinceRefusal() const { return sinceRefused; }
    // Of the comparison: items added, changed and removed.
    qint64 addedCount() const { return added; }
    qint64 changedCount() const { return changed; }
    qint64 removedCount() const { return removed; }

private:
    void writeSet(const ImpExp_SetCheck &check);
    void writeItems(const ImpExp_SetCheck &check, const QString &kind, Progress &progress);
    void writeSince(Progress &progress);

    QString pathTemplate;
    QString zone;
    ScriptJson json;
    int pagesFound = 0;
    qint64 items = 0;
    qint64 problems = 0;
    qint64 read = 0;
    QString stop;
    QStringList incomplete;
    QString since;
    QString sinceRefused;
    qint64 added = 0, changed = 0, removed = 0;
};

#endif // VELXML_REPORTDATA_H
