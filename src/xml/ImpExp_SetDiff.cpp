#include <ImpExp_SetDiff.h>
#include <ImpExp_XMLBuilder.h>

#include "xml/ImpExp_Format.h"
#include "xml/ImpExp_ItemPrinter.h"
#include "xml/ImpExp_PageScanner.h"
#include "xml/ImpExp_SetChecker.h"
#include "xml/ImpExp_SetIndex.h"

#include <QHash>

#include <algorithm>
#include <functional>
#include <limits>

using Entry = ImpExp_SetIndex::Entry;

// One outcome that next() hands out, known by where its item stands in the
// new set: only its kind and fingerprints were read in the comparison pass.
struct Outcome {
    enum Problem : quint8 { None, NoDuid, FieldsUnknown, DuidTwice, LaterLastModified };
    static constexpr quint32 noEntry = 0xffffffffu;

    quint64 duidHash;
    quint32 fileNumber;
    quint32 byteOffset;
    quint32 ordinal;
    quint32 entry; // into the old set's index, or noEntry
    quint16 kind;
    quint8 status; // an ImpExp_SetDiff::Status
    Problem problem;
    bool attributesChanged;
};
static_assert(sizeof(Outcome) == 32, "the size ImpExp_SetDiff.h gives");

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

    // What next() hands out: the new set's outcomes in its order, then the
    // removed items of the old set in its order.
    std::vector<Outcome> outcomes;
    size_t outcomeAt = 0;
    std::vector<quint32> removed; // index entries
    size_t removedAt = 0;
    // The pages that items are read again from.
    ImpExp_PageScanner newPage;
    ImpExp_PageScanner newWalk; // for a new item whose place is not known
    ImpExp_PageScanner oldPage;

    bool check(const QString &pathTemplate, ImpExp_PageListener *listener, bool sizesIndex,
               ImpExp_SetCheck::Page *header, qint64 *items);
    quint16 kindId(const QString &itemName);
    void judge(const ImpExp_ItemPrint &print, quint32 fileNumber, quint32 offset, quint32 ordinal);
    bool nextNewItem(ImpExp_PageScanner &scanner, ImpExp_Item *item);
    void readOld(const Entry &entry, ImpExp_Item *item);
    void readAgain(ImpExp_PageScanner &page, ImpExp_PageScanner &walk, const QString &pathTemplate,
                   int fileNumber, quint32 offset, quint32 ordinal, const QString &kind,
                   const std::function<bool(const QString &)> &isDuid, ImpExp_Item *item);
    void fill(const Outcome &outcome, Difference &difference);
    void collectRemoved();
    void count(quint16 kind, Status status, bool problem);
    static void compareElements(const ImpExp_Item &before, const ImpExp_Item &after,
                                QList<ElementChange> *changes);
};

namespace
{

const QString duidName = QStringLiteral("duid");
const QString puidName = QStringLiteral("puid");
const QString lastModifiedName = QStringLiteral("lastModified");

// The first page a reader accepts, whose header the set stands by.
const ImpExp_SetCheck::Page *headerPage(const ImpExp_SetChecker &check)
{
    for (const ImpExp_SetCheck::Page &page : check.pages)
        if (page.rootAccepted)
            return &page;
    return nullptr;
}

} // namespace

// Runs the set check on one set with @p listener reading its items along.
bool ImpExp_SetDiff::Private::check(const QString &pathTemplate, ImpExp_PageListener *listener,
                                    bool sizesIndex, ImpExp_SetCheck::Page *header, qint64 *items)
{
    ImpExp_SetChecker check(pathTemplate);
    // The index finds duids used twice itself; the gate needs no duid in memory.
    check.findsDuplicates = false;
    check.listener = listener;
    for (bool first = true; check.checkNextPage(); first = false) {
        // Page 00 and its totalPage tell about how many items the set holds.
        if (first && sizesIndex)
            index.reserve(qint64(check.pages.first().items) * std::max(check.announced, 1));
    }
    const ImpExp_SetCheck::Page *page = headerPage(check);
    if (check.broken || !page) {
        // Only what makes the set no whole export: item-level problems
        // do not stop a comparison.
        for (int i = 0; i < check.problems.size(); ++i) {
            if (check.breaking.at(i))
                problems.append(check.problems.at(i));
        }
        if (problems.isEmpty()) // kept problems all item-level: the limit was reached
            problems.append(check.problems.value(0));
        return false;
    }
    *header = *page;
    *items = check.itemCount;
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
    if (scanner.fileNumber() < 0 && !scanner.load(ImpExp_Format::pageFileName(newTemplate, 0), 0))
        throw ImpExp_FatalException(QStringLiteral("No file to read"));
    while (!scanner.nextItem(item)) {
        const int next = scanner.fileNumber() + 1;
        if (!scanner.load(ImpExp_Format::pageFileName(newTemplate, next), next))
            return false;
    }
    return true;
}

void ImpExp_SetDiff::Private::readOld(const Entry &entry, ImpExp_Item *item)
{
    const QString duid = index.duidOf(entry);
    readAgain(
        oldPage, oldPage, oldTemplate, int(entry.fileNumber), entry.byteOffset, entry.ordinal,
        counts.at(entry.kind).itemName, [&](const QString &found) { return found == duid; }, item);
}

// Reads an item again from @p page, where it stands at @p offset, or, when
// that fails, by walking @p walk through the page to the item's place.
void ImpExp_SetDiff::Private::readAgain(ImpExp_PageScanner &page, ImpExp_PageScanner &walk,
                                        const QString &pathTemplate, int fileNumber, quint32 offset,
                                        quint32 ordinal, const QString &kind,
                                        const std::function<bool(const QString &)> &isDuid,
                                        ImpExp_Item *item)
{
    const QString fileName = ImpExp_Format::pageFileName(pathTemplate, fileNumber);
    if (page.fileNumber() != fileNumber && !page.load(fileName, fileNumber))
        throw ImpExp_FatalException(QStringLiteral("%1: cannot be read again").arg(fileName));
    const auto isIt
        = [&] { return item->getItemName() == kind && isDuid(item->getAttribute(duidName)); };
    if (offset != ImpExp_PageScanner::noOffset && page.itemAt(offset, item) && isIt())
        return;
    if (walk.fileNumber() != fileNumber && !walk.load(fileName, fileNumber))
        throw ImpExp_FatalException(QStringLiteral("%1: cannot be read again").arg(fileName));
    walk.rewind();
    for (quint32 n = 0; walk.nextItem(item); ++n)
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

// Judges an item of the new set by its print alone, and keeps the place of
// each outcome that next() will hand out.
void ImpExp_SetDiff::Private::judge(const ImpExp_ItemPrint &print, quint32 fileNumber,
                                    quint32 offset, quint32 ordinal)
{
    Outcome outcome;
    outcome.duidHash = ImpExp_ItemPrint::hash(print.duid);
    outcome.fileNumber = fileNumber;
    outcome.byteOffset = offset;
    outcome.ordinal = ordinal;
    outcome.entry = Outcome::noEntry;
    outcome.kind = kindId(print.kind);
    outcome.problem = Outcome::None;
    outcome.attributesChanged = false;

    const bool hasFields = print.elements > 0;
    Entry *entry = print.duid.isEmpty() ? nullptr : index.find(outcome.kind, print.duid);
    Status status;
    if (!entry) {
        status = Status::Added;
        if (print.duid.isEmpty())
            outcome.problem = Outcome::NoDuid;
        else if (!hasFields)
            outcome.problem = Outcome::FieldsUnknown;
    } else {
        outcome.entry = quint32(entry - index.entries().data());
        if (entry->flags & ImpExp_SetIndex::Seen)
            outcome.problem = Outcome::DuidTwice;
        entry->flags |= ImpExp_SetIndex::Seen;
        outcome.attributesChanged = print.attributes != entry->attributesHash;
        if (hasFields) {
            status = !outcome.attributesChanged && print.fields == entry->fieldsHash
                ? Status::Unchanged
                : Status::Changed;
        } else {
            status = Status::Unchanged;
            if (outcome.problem == Outcome::None && print.lastModified != ImpExp_ItemPrint::noTime
                && entry->lastModified != ImpExp_ItemPrint::noTime
                && print.lastModified > entry->lastModified)
                outcome.problem = Outcome::LaterLastModified;
        }
    }
    outcome.status = quint8(status);
    count(outcome.kind, status, outcome.problem != Outcome::None);
    if (status != Status::Unchanged || reportUnchanged || outcome.attributesChanged
        || outcome.problem != Outcome::None)
        outcomes.push_back(outcome);
}

// Reads the items of an outcome again and fills @p difference with them.
void ImpExp_SetDiff::Private::fill(const Outcome &outcome, Difference &difference)
{
    const QString &kind = counts.at(outcome.kind).itemName;
    const Status status = Status(outcome.status);
    difference.status = status;
    difference.itemName = kind;
    difference.oldItem = ImpExp_Item(QString());
    difference.elementChanges.clear();
    difference.puidChanged = false;
    difference.lastModifiedChanged = false;
    readAgain(
        newPage, newWalk, newTemplate, int(outcome.fileNumber), outcome.byteOffset, outcome.ordinal,
        kind, [&](const QString &duid) { return ImpExp_ItemPrint::hash(duid) == outcome.duidHash; },
        &difference.newItem);
    const ImpExp_Item &item = difference.newItem;
    difference.duid = item.getAttribute(duidName);
    switch (outcome.problem) {
    case Outcome::None:
        difference.problem.clear();
        break;
    case Outcome::NoDuid:
        difference.problem = QStringLiteral("no duid");
        break;
    case Outcome::FieldsUnknown:
        difference.problem = QStringLiteral("sent with its identifiers only, but the old set "
                                            "does not have it: its fields are unknown");
        break;
    case Outcome::DuidTwice:
        difference.problem
            = QStringLiteral("duid also used by an earlier %1 of the new set").arg(kind);
        break;
    case Outcome::LaterLastModified:
        difference.problem = QStringLiteral("lastModified is later than in the old set, but the "
                                            "item came with its identifiers only");
        break;
    }
    if (outcome.entry == Outcome::noEntry
        || (status != Status::Changed && !outcome.attributesChanged))
        return;
    readOld(index.entries()[outcome.entry], &difference.oldItem);
    if (!item.getItemElements().isEmpty())
        compareElements(difference.oldItem, item, &difference.elementChanges);
    const QString oldPuid = difference.oldItem.getAttribute(puidName);
    const QString newPuid = item.getAttribute(puidName);
    difference.puidChanged = oldPuid != newPuid || oldPuid.isNull() != newPuid.isNull();
    difference.lastModifiedChanged
        = difference.oldItem.getAttribute(lastModifiedName) != item.getAttribute(lastModifiedName);
}

void ImpExp_SetDiff::Private::count(quint16 kind, Status status, bool problem)
{
    KindCount &counted = counts[kind];
    switch (status) {
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
    if (problem)
        ++counted.problems;
}

void ImpExp_SetDiff::Private::collectRemoved()
{
    std::vector<Entry> &entries = index.entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (!(entries[i].flags & (ImpExp_SetIndex::Seen | ImpExp_SetIndex::Duplicate))) {
            removed.push_back(quint32(i));
            count(entries[i].kind, Status::Removed, false);
        }
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
    // Each set is read once: its check and the reading of its items share
    // the pass. The old set's items go into the index; the new set's are
    // judged against it, and the outcomes wait, by their places alone,
    // until the new set has passed its check too.
    ImpExp_SetCheck::Page oldHeader {};
    qint64 oldItems = 0;
    ImpExp_ItemPrinter indexer(
        [this](const ImpExp_ItemPrint &print, quint32 fileNumber, quint32 offset, quint32 ordinal) {
            d->index.add(d->kindId(print.kind), print, fileNumber, offset, ordinal);
        });
    ImpExp_ItemPrinter judge(
        [this](const ImpExp_ItemPrint &print, quint32 fileNumber, quint32 offset, quint32 ordinal) {
            d->judge(print, fileNumber, offset, ordinal);
        });
    if (d->check(d->oldTemplate, &indexer, true, &oldHeader, &oldItems)) {
        d->index.finish();
        if (d->check(d->newTemplate, &judge, false, &d->newHeader, &d->newItems)
            && oldHeader.application != d->newHeader.application) {
            ImpExp_SetCheck::Problem problem {};
            problem.kind = ImpExp_SetCheck::ProblemKind::HeaderMismatch;
            problem.fileNumber = d->newHeader.fileNumber;
            problem.fileName = d->newHeader.fileName;
            problem.itemIndex = -1;
            problem.message = QStringLiteral("application %1, the old set's is %2")
                                  .arg(d->newHeader.application, oldHeader.application);
            d->problems.append(problem);
        }
    }
    if (!d->problems.isEmpty()) {
        // Nothing of a refused comparison is kept, nor counted.
        d->outcomes = std::vector<Outcome>();
        d->index = ImpExp_SetIndex();
        d->counts.clear();
        d->kindIds.clear();
        return false;
    }
    d->outcomes.shrink_to_fit();
    d->newItems = std::max<qint64>(d->newItems, 0);
    d->collectRemoved();
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
    if (d->outcomeAt < d->outcomes.size()) {
        d->fill(d->outcomes[d->outcomeAt++], difference);
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
