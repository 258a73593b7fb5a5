#include "ReportData.h"
#include "SetReport.h"

#include "DiffText.h"
#include "ItemPlaces.h"
#include "Progress.h"

#include <Appointment_Item.h>
#include <ImpExp_SetDiff.h>
#include <ImpExp_XMLParser.h>

#include <QDateTime>
#include <QFileInfo>

namespace
{

const char *problemKindName(ImpExp_SetCheck::ProblemKind kind)
{
    using Kind = ImpExp_SetCheck::ProblemKind;
    switch (kind) {
    case Kind::MissingPage:
        return "missing page";
    case Kind::PageAfterGap:
        return "page after a gap";
    case Kind::LeftOverPage:
        return "left-over page";
    case Kind::Unreadable:
        return "unreadable";
    case Kind::NotWellFormed:
        return "not well-formed";
    case Kind::RootRefused:
        return "root refused";
    case Kind::BadHeader:
        return "bad header";
    case Kind::HeaderMismatch:
        return "header mismatch";
    case Kind::PageNumber:
        return "page number";
    case Kind::PageOverfull:
        return "page overfull";
    case Kind::ForeignKind:
        return "foreign kind";
    case Kind::MissingDuid:
        return "missing duid";
    case Kind::BadLastModified:
        return "bad lastModified";
    case Kind::BadAppointmentDate:
        return "bad appointment date";
    case Kind::DuplicateDuid:
        return "duplicate duid";
    case Kind::NestedItem:
        return "nested item";
    }
    return "problem";
}

bool setHolds(const ImpExp_SetCheck &check, const QString &kind)
{
    for (const ImpExp_SetCheck::Page &page : check.pages()) {
        for (const ImpExp_SetCheck::KindCount &count : page.kinds) {
            if (count.itemName == kind)
                return true;
        }
    }
    return false;
}

// The repetition end as the instant it was written: the page finds its date
// in the zone it shows, as the accessor does in the system's zone.
qint64 repetitionEnd(const ImpExp_Item &item)
{
    QDateTime end = QDateTime::fromString(item.getElement(QStringLiteral("repetitiveEndDate")),
                                          QStringLiteral("yyyyMMdd'T'hhmmss'Z'"));
    if (!end.isValid())
        return -1;
    end.setTimeSpec(Qt::UTC);
    return end.toMSecsSinceEpoch();
}

void writeAppointmentTimes(ScriptJson &json, const ImpExp_Item &item)
{
    // The accessors read the texts back as the receiving host would.
    const Appointment_Item appointment(item);
    QString error;
    qint64 begin = 0, end = 0;
    try {
        begin = appointment.getBeginDate().toMSecsSinceEpoch();
        end = appointment.getEndDate().toMSecsSinceEpoch();
    } catch (const ImpExp_Exception &e) {
        error = QString::fromLatin1(e.what());
    }
    if (error.isEmpty())
        json.number(begin).number(end);
    else
        json.null().null();
    json.stringOrNull(appointment.getRepetitionPeriod());
    const qint64 until = repetitionEnd(item);
    if (until >= 0)
        json.number(until);
    else
        json.null();
    json.stringOrNull(error.isEmpty() ? QString() : error);
}

} // namespace

ReportData::ReportData(const QString &pathTemplate, const QString &zone)
    : pathTemplate(pathTemplate)
    , zone(zone)
{
}

QByteArray ReportData::build(Progress &progress)
{
    ImpExp_SetCheck check(pathTemplate);
    progress.setStage(QStringLiteral("check"));
    int pages = 0;
    while (check.checkNextPage())
        progress.update(++pages, check.itemCount());
    pagesFound = check.pages().size();
    items = check.itemCount();
    problems = check.problemCount();
    incomplete = whyIncomplete(pathTemplate, check);

    json.beginObject();
    json.key("template").string(pathTemplate);
    json.key("title").string(QFileInfo(pathTemplate).fileName());
    json.key("zone").stringOrNull(zone);
    writeSet(check);
    const struct {
        const char *key;
        const char *kind;
    } lists[] = { { "contacts", "contact" }, { "appointments", "appointment" } };
    for (const auto &list : lists) {
        json.key(list.key).beginArray();
        if (setHolds(check, QLatin1String(list.kind)))
            writeItems(check, QLatin1String(list.kind), progress);
        json.endArray();
    }
    json.key("readError").stringOrNull(stop.isEmpty() ? QString() : stop);
    if (!since.isNull())
        writeSince(progress);
    json.endObject();
    progress.clear();
    return json.text();
}

void ReportData::writeSet(const ImpExp_SetCheck &check)
{
    json.key("set").beginObject();
    json.key("items").number(check.itemCount());
    json.key("announcedPages").number(check.announcedPages());
    json.key("complete").boolean(check.isComplete());
    json.key("clean").boolean(check.isClean());
    json.key("problemCount").number(check.problemCount());
    json.endObject();

    json.key("pages").beginArray();
    for (const ImpExp_SetCheck::Page &page : check.pages()) {
        json.beginObject();
        json.key("n").number(page.fileNumber);
        json.key("file").string(QFileInfo(page.fileName).fileName());
        json.key("opened").boolean(page.opened);
        json.key("rootAccepted").boolean(page.rootAccepted);
        json.key("wellFormed").boolean(page.wellFormed);
        json.key("created").stringOrNull(page.created);
        json.key("schemaVersion").stringOrNull(page.schemaVersion);
        json.key("id").stringOrNull(page.id);
        json.key("deviceId").stringOrNull(page.deviceId);
        json.key("application").stringOrNull(page.application);
        json.key("max").stringOrNull(page.max);
        json.key("pageSize").stringOrNull(page.pageSize);
        json.key("page").stringOrNull(page.page);
        json.key("totalPage").stringOrNull(page.totalPage);
        json.key("items").number(page.items);
        json.key("kinds").beginArray();
        for (const ImpExp_SetCheck::KindCount &count : page.kinds)
            json.beginArray()
                .string(count.itemName)
                .number(count.items)
                .number(count.withElements)
                .endArray();
        json.endArray();
        json.endObject();
    }
    json.endArray();

    // [kind, file number, file, line, column, item kind, item index, duid, message]
    json.key("problems").beginArray();
    for (const ImpExp_SetCheck::Problem &problem : check.problems()) {
        json.beginArray()
            .string(QLatin1String(problemKindName(problem.kind)))
            .number(problem.fileNumber)
            .string(QFileInfo(problem.fileName).fileName())
            .number(problem.line)
            .number(problem.column)
            .stringOrNull(problem.itemName)
            .number(problem.itemIndex)
            .stringOrNull(problem.duid)
            .string(problem.message)
            .endArray();
    }
    json.endArray();
}

// One array per item: [file number, index on the page, duid, puid,
// lastModified, elements as [name, value, name, value, ...] or 0 when the
// item carried its identifiers only]; an appointment adds [begin, end (ms
// since the epoch), repetition word, repetition end (ms), accessor error].
void ReportData::writeItems(const ImpExp_SetCheck &check, const QString &kind, Progress &progress)
{
    progress.setStage(kind + QLatin1Char('s'));
    ItemPlaces places(check.pages(), kind);
    const bool appointments = kind == QLatin1String("appointment");
    try {
        ImpExp_XMLParser reader(pathTemplate);
        for (;;) {
            ImpExp_Item item(kind);
            if (!reader.getItem(item, true))
                break;
            int position;
            const int page = places.next(&position);
            json.beginArray()
                .number(page < 0 ? -1 : check.pages().at(page).fileNumber)
                .number(position);
            json.stringOrNull(item.getAttribute(QStringLiteral("duid")));
            json.stringOrNull(item.getAttribute(QStringLiteral("puid")));
            json.stringOrNull(item.getAttribute(QStringLiteral("lastModified")));
            const ImpExp_PairList &elements = item.getItemElements();
            if (elements.isEmpty()) {
                json.number(0);
            } else {
                json.beginArray();
                for (const auto &pair : elements)
                    json.string(pair.first).string(pair.second);
                json.endArray();
                if (appointments)
                    writeAppointmentTimes(json, item);
            }
            json.endArray();
            progress.update(-1, ++read);
        }
    } catch (const ImpExp_Exception &e) {
        stop = QStringLiteral("Reading the %1 items stopped: %2")
                   .arg(kind, QString::fromLatin1(e.what()));
    }
}

// "since": the older set's template, the counts per kind as [kind, added,
// changed, unchanged, removed, problems], one array per difference [status,
// kind, duid, changes, problem, puid], and why the sets could not be compared
// (or null). For a changed item, changes are [name, old text, new text, ...]
// (null where the element is absent) and puid is [old, new] when it changed;
// for a removed one, changes are its elements as the old set has them.
void ReportData::writeSince(Progress &progress)
{
    progress.setStage(QStringLiteral("compare"));
    json.key("since").beginObject();
    json.key("template").string(since);
    ImpExp_SetDiff diff(since, pathTemplate);
    try {
        if (!diff.prepare()) {
            const QStringList reasons = refusalReasons(diff, since, pathTemplate);
            sinceRefused = reasons.isEmpty() ? QStringLiteral("the sets cannot be compared")
                                             : reasons.join(QLatin1Char('\n'));
        }
    } catch (const ImpExp_Exception &e) {
        sinceRefused = QString::fromLatin1(e.what());
    }
    json.key("counts").beginArray();
    for (const ImpExp_SetDiff::KindCount &count : diff.counts()) {
        json.beginArray()
            .string(count.itemName)
            .number(count.added)
            .number(count.changed)
            .number(count.unchanged)
            .number(count.removed)
            .number(count.problems)
            .endArray();
        added += count.added;
        changed += count.changed;
        removed += count.removed;
    }
    json.endArray();
    json.key("differences").beginArray();
    if (sinceRefused.isEmpty()) {
        ImpExp_SetDiff::Difference difference;
        try {
            while (diff.next(difference)) {
                json.beginArray()
                    .string(QLatin1String(statusWord(difference.status)))
                    .string(difference.itemName)
                    .stringOrNull(difference.duid)
                    .beginArray();
                if (difference.status == ImpExp_SetDiff::Status::Removed) {
                    for (const auto &pair : difference.oldItem.getItemElements())
                        json.string(pair.first).string(pair.second);
                } else {
                    for (const ImpExp_SetDiff::ElementChange &change : difference.elementChanges)
                        json.string(change.name)
                            .stringOrNull(change.inOld ? change.oldText : QString())
                            .stringOrNull(change.inNew ? change.newText : QString());
                }
                json.endArray().stringOrNull(difference.problem.isEmpty() ? QString()
                                                                          : difference.problem);
                if (difference.puidChanged) {
                    const QString puid = QStringLiteral("puid");
                    json.beginArray()
                        .stringOrNull(difference.oldItem.getAttribute(puid))
                        .stringOrNull(difference.newItem.getAttribute(puid))
                        .endArray();
                } else {
                    json.stringOrNull(QString());
                }
                json.endArray();
            }
        } catch (const ImpExp_Exception &e) {
            sinceRefused = QString::fromLatin1(e.what());
        }
    }
    json.endArray();
    // Last: reading the differences can still fail.
    json.key("refused").stringOrNull(sinceRefused.isEmpty() ? QString() : sinceRefused);
    json.endObject();
}
