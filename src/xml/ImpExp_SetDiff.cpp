#include <ImpExp_SetDiff.h>
#include <ImpExp_XMLBuilder.h>

#include "xml/ImpExp_Format.h"
#include "xml/ImpExp_PageScanner.h"
#include "xml/ImpExp_SetIndex.h"

#include <QHash>

#include <algorithm>

using Entry = ImpExp_SetIndex::Entry;

class ImpExp_SetDiff::Private
{
public:
    QString oldTemplate;
    QString newTemplate;
    bool prepared = false;
    bool accepted = false;
    QList<ImpExp_SetCheck::Problem> problems;
    ImpExp_SetCheck::Page newHeader {};
    qint64 newItems = 0;
    ImpExp_SetIndex index;
    QList<KindCount> counts; // one per kind id
    QHash<QString, quint16> kindIds;
    bool reportUnchanged = false;

    // The walk of next(): the new set's pages, then the removed items.
    ImpExp_PageScanner newPage;
    ImpExp_PageScanner newWalk; // for a new item whose place is not known
    quint32 newOrdinal = 0;
    bool newDone = false;
    std::vector<quint32> removed; // index entries, in the old set's order
    size_t removedAt = 0;
    // The old page that items are read again from.
    ImpExp_PageScanner oldPage;

    bool check(const QString &pathTemplate, ImpExp_SetCheck::Page *header, qint64 *items);
    void buildIndex();
    quint16 kindId(const QString &itemName);
    bool nextNewItem(ImpExp_PageScanner &scanner, ImpExp_Item *item);
    bool nextNewPrint(ImpExp_ItemPrint *print, quint32 *offset);
    void readOld(const Entry &entry, ImpExp_Item *item);
    void readNew(const ImpExp_ItemPrint &print, quint32 offset, ImpExp_Item *item);
    void readAgain(ImpExp_PageScanner &page, ImpExp_PageScanner &walk, const QString &pathTemplate,
                   int fileNumber, quint32 offset, quint32 ordinal, const QString &kind,
                   const QString &duid, ImpExp_Item *item);
    bool judge(const ImpExp_ItemPrint &print, quint32 offset, Difference &difference);
    void collectRemoved();
    void count(quint16 kind, const Difference &difference);
    static void compareElements(const ImpExp_Item &before, const ImpExp_Item &after,
                                QList<ElementChange> *changes);
};

namespace
{

const QString duidName = QStringLiteral("duid");
const QString puidName = QStringLiteral("puid");
const QString lastModifiedName = QStringLiteral("lastModified");

// The first page a reader accepts, whose header the set stands by.
const ImpExp_SetCheck::Page *headerPage(const ImpExp_SetCheck &check)
{
    for (const ImpExp_SetCheck::Page &page : check.pages())
        if (page.rootAccepted)
            return &page;
    return nullptr;
}

} // namespace

bool ImpExp_SetDiff::Private::check(const QString &pathTemplate, ImpExp_SetCheck::Page *header,
                                    qint64 *items)
{
    ImpExp_SetCheck check(pathTemplate);
    // The index finds duids used twice itself; the gate needs no duid in memory.
    check.setFindsDuplicateDuids(false);
    check.run();
    const ImpExp_SetCheck::Page *page = headerPage(check);
    if (!check.isComplete() || !page) {
        // Only what makes the set no whole export: item-level problems
        // do not stop a comparison.
        const QList<ImpExp_SetCheck::Problem> &found = check.problems();
        for (int i = 0; i < found.size(); ++i) {
            if (check.breaksSet(i))
                problems.append(found.at(i));
        }
        return false;
    }
    *header = *page;
    *items = check.itemCount();
    return true;
}

quint16 ImpExp_SetDiff::Private::kindId(const QString &itemName)
{
    auto at = kindIds.constFind(itemName);
    if (at != kindIds.constEnd())
        return *at;
    if (counts.size() > std::numeric_limits<quint16>::max())
        throw ImpExp_FatalException(QStringLiteral("Too many item kinds to compare"));
    const quint16 id = quint16(counts.size());
    kindIds.insert(itemName, id);
    KindCount kind;
    kind.itemName = itemName;
    counts.append(kind);
    return id;
}

bool ImpExp_SetDiff::Private::nextNewItem(ImpExp_PageScanner &scanner, ImpExp_Item *item)
{
    quint32 offset;
    if (scanner.fileNumber() < 0 && !scanner.load(ImpExp_Format::pageFileName(newTemplate, 0), 0))
        throw ImpExp_FatalException(QStringLiteral("No file to read"));
    while (!scanner.nextItem(item, &offset)) {
        const int next = scanner.fileNumber() + 1;
        if (!scanner.load(ImpExp_Format::pageFileName(newTemplate, next), next))
            return false;
    }
    return true;
}

void ImpExp_SetDiff::Private::buildIndex()
{
    ImpExp_PageScanner scanner;
    ImpExp_ItemPrint print;
    for (int fileNumber = 0;
         scanner.load(ImpExp_Format::pageFileName(oldTemplate, fileNumber), fileNumber);
         ++fileNumber) {
        quint32 offset;
        for (quint32 ordinal = 0; scanner.nextPrint(&print, &offset); ++ordinal)
            index.add(kindId(print.kind), print, quint32(fileNumber), offset, ordinal);
    }
    index.finish();
}

bool ImpExp_SetDiff::Private::nextNewPrint(ImpExp_ItemPrint *print, quint32 *offset)
{
    if (newPage.fileNumber() < 0) {
        if (!newPage.load(ImpExp_Format::pageFileName(newTemplate, 0), 0))
            throw ImpExp_FatalException(QStringLiteral("No file to read"));
        newOrdinal = 0;
    }
    while (!newPage.nextPrint(print, offset)) {
        const int next = newPage.fileNumber() + 1;
        if (!newPage.load(ImpExp_Format::pageFileName(newTemplate, next), next))
            return false;
        newOrdinal = 0;
    }
    ++newOrdinal;
    return true;
}

void ImpExp_SetDiff::Private::readOld(const Entry &entry, ImpExp_Item *item)
{
    readAgain(oldPage, oldPage, oldTemplate, int(entry.fileNumber), entry.byteOffset, entry.ordinal,
              counts.at(entry.kind).itemName, index.duidOf(entry), item);
}

void ImpExp_SetDiff::Private::readNew(const ImpExp_ItemPrint &print, quint32 offset,
                                      ImpExp_Item *item)
{
    readAgain(newPage, newWalk, newTemplate, newPage.fileNumber(), offset, newOrdinal - 1,
              print.kind, print.duid, item);
}

// Reads an item again from @p page, where it stands at @p offset, or, when
// that fails, by walking @p walk through the page to the item's place.
void ImpExp_SetDiff::Private::readAgain(ImpExp_PageScanner &page, ImpExp_PageScanner &walk,
                                        const QString &pathTemplate, int fileNumber, quint32 offset,
                                        quint32 ordinal, const QString &kind, const QString &duid,
                                        ImpExp_Item *item)
{
    const QString fileName = ImpExp_Format::pageFileName(pathTemplate, fileNumber);
    if (page.fileNumber() != fileNumber && !page.load(fileName, fileNumber))
        throw ImpExp_FatalException(QStringLiteral("%1: cannot be read again").arg(fileName));
    const auto isIt
        = [&] { return item->getItemName() == kind && item->getAttribute(duidName) == duid; };
    if (offset != ImpExp_PageScanner::noOffset && page.itemAt(offset, item) && isIt())
        return;
    if (walk.fileNumber() != fileNumber && !walk.load(fileName, fileNumber))
        throw ImpExp_FatalException(QStringLiteral("%1: cannot be read again").arg(fileName));
    walk.rewind();
    quint32 at;
    for (quint32 n = 0; walk.nextItem(item, &at); ++n)
        if (n == ordinal && isIt())
            return;
    throw ImpExp_FatalException(
        QStringLiteral("%1: changed while the sets were compared").arg(fileName));
}

void ImpExp_SetDiff::Private::compareElements(const ImpExp_Item &before, const ImpExp_Item &after,
                                              QList<ElementChange> *changes)
{
    const ImpExp_PairList &old = before.getItemElements();
    const ImpExp_PairList &now = after.getItemElements();
    // The k-th element of a name pairs with the k-th of that name; lists are
    // short (a contact has at most fourteen), so a quadratic match is cheapest.
    std::vector<bool> matched(size_t(old.size()), false);
    for (int i = 0; i < now.size(); ++i) {
        const QString &name = now.at(i).first;
        int occurrence = 0;
        for (int j = 0; j < i; ++j)
            occurrence += now.at(j).first == name;
        int found = -1;
        for (int j = 0; j < old.size(); ++j) {
            if (old.at(j).first == name && occurrence-- == 0) {
                found = j;
                break;
            }
        }
        if (found < 0) {
            changes->append({ name, QString(), now.at(i).second, false, true });
            continue;
        }
        matched[size_t(found)] = true;
        if (old.at(found).second != now.at(i).second)
            changes->append({ name, old.at(found).second, now.at(i).second, true, true });
    }
    for (int j = 0; j < old.size(); ++j)
        if (!matched[size_t(j)])
            changes->append({ old.at(j).first, old.at(j).second, QString(), true, false });
}

bool ImpExp_SetDiff::Private::judge(const ImpExp_ItemPrint &print, quint32 offset,
                                    Difference &difference)
{
    const quint16 kind = kindId(print.kind);
    difference.itemName = print.kind;
    difference.duid = print.duid;
    difference.oldItem = ImpExp_Item(QString());
    difference.newItem = ImpExp_Item(QString());
    difference.elementChanges.clear();
    difference.puidChanged = false;
    difference.lastModifiedChanged = false;
    difference.problem.clear();

    const bool hasFields = print.elements > 0;
    Entry *entry = print.duid.isEmpty() ? nullptr : index.find(kind, print.duid);
    bool sameAttributes = true;
    if (!entry) {
        difference.status = Status::Added;
        if (print.duid.isEmpty())
            difference.problem = QStringLiteral("no duid");
        else if (!hasFields)
            difference.problem = QStringLiteral("sent with its identifiers only, but the old "
                                                "set does not have it: its fields are unknown");
    } else {
        if (entry->flags & ImpExp_SetIndex::Seen)
            difference.problem
                = QStringLiteral("duid also used by an earlier %1 of the new set").arg(print.kind);
        entry->flags |= ImpExp_SetIndex::Seen;
        sameAttributes = print.attributes == entry->attributesHash;
        if (hasFields) {
            difference.status = sameAttributes && print.fields == entry->fieldsHash
                ? Status::Unchanged
                : Status::Changed;
        } else {
            difference.status = Status::Unchanged;
            if (difference.problem.isEmpty() && print.lastModified != ImpExp_ItemPrint::noTime
                && entry->lastModified != ImpExp_ItemPrint::noTime
                && print.lastModified > entry->lastModified)
                difference.problem = QStringLiteral("lastModified is later than in the old set, "
                                                    "but the item came with its identifiers only");
        }
    }
    count(kind, difference);
    // Only what is handed out is read in full.
    if (difference.status == Status::Unchanged && !reportUnchanged && sameAttributes
        && difference.problem.isEmpty())
        return false;
    readNew(print, offset, &difference.newItem);
    if (entry && (difference.status == Status::Changed || !sameAttributes)) {
        const ImpExp_Item &item = difference.newItem;
        readOld(*entry, &difference.oldItem);
        if (hasFields)
            compareElements(difference.oldItem, item, &difference.elementChanges);
        const QString oldPuid = difference.oldItem.getAttribute(puidName);
        const QString newPuid = item.getAttribute(puidName);
        difference.puidChanged = oldPuid != newPuid || oldPuid.isNull() != newPuid.isNull();
        difference.lastModifiedChanged = difference.oldItem.getAttribute(lastModifiedName)
            != item.getAttribute(lastModifiedName);
    }
    return true;
}

void ImpExp_SetDiff::Private::count(quint16 kind, const Difference &difference)
{
    KindCount &counted = counts[kind];
    switch (difference.status) {
    case Status::Added:
        ++counted.added;
        break;
    case Status::Changed:
        ++counted.changed;
        break;
    case Status::Unchanged:
        ++counted.unchanged;
        break;
    case Status::Removed:
        ++counted.removed;
        break;
    }
    if (!difference.problem.isEmpty())
        ++counted.problems;
}

void ImpExp_SetDiff::Private::collectRemoved()
{
    std::vector<Entry> &entries = index.entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (!(entries[i].flags & (ImpExp_SetIndex::Seen | ImpExp_SetIndex::Duplicate)))
            removed.push_back(quint32(i));
    std::sort(removed.begin(), removed.end(), [&](quint32 a, quint32 b) {
        const Entry &x = entries[a];
        const Entry &y = entries[b];
        return x.fileNumber != y.fileNumber ? x.fileNumber < y.fileNumber : x.ordinal < y.ordinal;
    });
}

ImpExp_SetDiff::ImpExp_SetDiff(const QString &oldPathTemplate, const QString &newPathTemplate)
    : d(new Private)
{
    if (!oldPathTemplate.contains(QLatin1String("%1"))
        || !newPathTemplate.contains(QLatin1String("%1")))
        throw ImpExp_FatalException(QStringLiteral("Bad path"));
    d->oldTemplate = oldPathTemplate;
    d->newTemplate = newPathTemplate;
}

ImpExp_SetDiff::~ImpExp_SetDiff() = default;

bool ImpExp_SetDiff::prepare()
{
    if (d->prepared)
        return d->accepted;
    d->prepared = true;
    // The checks go one after the other, so that their duid sets are never
    // in memory together, nor with the index.
    ImpExp_SetCheck::Page oldHeader {};
    qint64 oldItems = 0;
    if (!d->check(d->oldTemplate, &oldHeader, &oldItems)
        || !d->check(d->newTemplate, &d->newHeader, &d->newItems))
        return false;
    if (oldHeader.application != d->newHeader.application) {
        ImpExp_SetCheck::Problem problem {};
        problem.kind = ImpExp_SetCheck::ProblemKind::HeaderMismatch;
        problem.fileNumber = d->newHeader.fileNumber;
        problem.fileName = d->newHeader.fileName;
        problem.itemIndex = -1;
        problem.message = QStringLiteral("application %1, the old set's is %2")
                              .arg(d->newHeader.application, oldHeader.application);
        d->problems.append(problem);
        return false;
    }
    d->newItems = std::max<qint64>(d->newItems, 0);
    d->index.reserve(oldItems);
    d->buildIndex();
    d->accepted = true;
    return true;
}

const QList<ImpExp_SetCheck::Problem> &ImpExp_SetDiff::problems() const
{
    return d->problems;
}

void ImpExp_SetDiff::setReportUnchanged(bool report)
{
    d->reportUnchanged = report;
}

namespace
{

void refuse(const QList<ImpExp_SetCheck::Problem> &problems)
{
    throw ImpExp_FatalException(
        problems.isEmpty() ? QStringLiteral("Sets refused")
                           : QStringLiteral("Sets refused: %1: %2")
                                 .arg(problems.first().fileName, problems.first().message));
}

} // namespace

bool ImpExp_SetDiff::next(Difference &difference)
{
    if (!prepare())
        refuse(d->problems);
    ImpExp_ItemPrint print;
    quint32 offset;
    while (!d->newDone) {
        if (!d->nextNewPrint(&print, &offset)) {
            d->newDone = true;
            d->collectRemoved();
            break;
        }
        if (d->judge(print, offset, difference))
            return true;
    }
    if (d->removedAt >= d->removed.size())
        return false;
    const Entry &entry = d->index.entries()[d->removed[d->removedAt++]];
    difference.status = Status::Removed;
    difference.itemName = d->counts.at(entry.kind).itemName;
    difference.duid = d->index.duidOf(entry);
    d->readOld(entry, &difference.oldItem);
    difference.newItem = ImpExp_Item(QString());
    difference.elementChanges.clear();
    difference.puidChanged = false;
    difference.lastModifiedChanged = false;
    difference.problem.clear();
    d->count(entry.kind, difference);
    return true;
}

QList<ImpExp_SetDiff::KindCount> ImpExp_SetDiff::counts() const
{
    return d->counts;
}

qint64 ImpExp_SetDiff::indexBytes() const
{
    return d->index.bytes();
}

qint64 ImpExp_SetDiff::apply(const QString &outPathTemplate, const QDateTime &created)
{
    if (!prepare())
        refuse(d->problems);
    const ImpExp_SetCheck::Page &header = d->newHeader;
    bool pageSizeOk = false, maxOk = false;
    const int pageSize = header.pageSize.toInt(&pageSizeOk);
    const int max = header.max.toInt(&maxOk);
    if (!pageSizeOk || !maxOk)
        throw ImpExp_FatalException(
            QStringLiteral("%1: pageSize or max is not a number").arg(header.fileName));
    if (d->newItems > std::numeric_limits<int>::max())
        throw ImpExp_FatalException(QStringLiteral("Invalid item count"));
    const QString application = header.application == ImpExp_Format::directoryElement
        ? QStringLiteral("VelDirectory")
        : header.application == ImpExp_Format::agendaElement ? QStringLiteral("Agenda")
                                                             : header.application;
    ImpExp_XMLBuilder builder(header.deviceId, header.id, outPathTemplate, pageSize, created,
                              int(d->newItems), max, application, QDateTime::fromSecsSinceEpoch(0));
    ImpExp_PageScanner scanner;
    ImpExp_Item item { QString() };
    ImpExp_Item old { QString() };
    qint64 written = 0;
    qint64 withoutFields = 0;
    while (d->nextNewItem(scanner, &item)) {
        if (++written > d->newItems)
            break; // the set grew since it was checked
        if (!item.getItemElements().isEmpty()) {
            builder.putItem(item);
            continue;
        }
        const QString duid = item.getAttribute(duidName);
        const Entry *entry
            = duid.isEmpty() ? nullptr : d->index.find(d->kindId(item.getItemName()), duid);
        if (!entry) {
            ++withoutFields;
            builder.putItem(item);
            continue;
        }
        d->readOld(*entry, &old);
        ImpExp_Item whole(item.getItemName());
        for (const auto &pair : item.getAttributes())
            whole.addAttribute(pair.first, pair.second);
        for (const auto &pair : old.getItemElements())
            whole.addElement(pair.first, pair.second);
        builder.putItem(whole);
    }
    builder.closeBuilder();
    if (written != d->newItems)
        throw ImpExp_FatalException(QStringLiteral("%1: changed while the sets were compared")
                                        .arg(ImpExp_Format::pageFileName(d->newTemplate, 0)));
    if (builder.hasWriteError())
        throw ImpExp_FatalException(
            QStringLiteral("Cannot write %1: %2")
                .arg(builder.writeErrorFileName(), builder.writeErrorString()));
    return withoutFields;
}
