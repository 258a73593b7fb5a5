#include "xml/ImpExp_SetChecker.h"

#include "model/ImpExp_Timestamp.h"
#include "xml/ImpExp_Excerpt.h"
#include "xml/ImpExp_Format.h"
#include "xml/ImpExp_PageFile.h"
#include "xml/ImpExp_PageListener.h"
#include "xml/ImpExp_RunLimitDevice.h"

#include <QFile>
#include <QFileInfo>

#include <climits>

namespace
{

using Kind = ImpExp_SetCheck::ProblemKind;

// Beyond this many missing page files in a row one problem stands for all.
constexpr int listedGap = ImpExp_Format::pageGapLimit;

// A value in a message: quoted, and cut short, so that a huge value read
// from a page costs a message no more than a line.
QString quoted(const QString &text)
{
    return ImpExp_Excerpt::quoted(text);
}

QString items(int count)
{
    return count == 1 ? QStringLiteral("1 item") : QStringLiteral("%1 items").arg(count);
}

// The header attribute @p name (no prefix): null when absent, never null when present.
QString headerAttribute(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    for (const QXmlStreamAttribute &attribute : attributes) {
        if (attribute.qualifiedName() == name) {
            const QString value = attribute.value().toString();
            return value.isNull() ? QStringLiteral("") : value;
        }
    }
    return QString();
}

// Decimal digits only, as the writer writes them: no sign (but a '-' where
// @p minimum is below 0), no space, no '+'.
bool toNumber(const QString &text, int minimum, int *value)
{
    const int start = minimum < 0 && text.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (text.size() == start)
        return false;
    for (int i = start; i < text.size(); ++i) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    *value = text.toInt(&ok, 10);
    return ok && *value >= minimum;
}

QString overLimitMessage()
{
    return QStringLiteral("more than %1 MiB between one '<' and the next, the most a page may "
                          "hold; the page is read no further")
        .arg(ImpExp_Format::runLimitBytes / (1024 * 1024));
}

} // namespace

ImpExp_SetChecker::Place ImpExp_SetChecker::here() const
{
    Place place;
    place.line = reader.lineNumber();
    place.column = reader.columnNumber();
    return place;
}

void ImpExp_SetChecker::report(Kind kind, const QString &message, const Place &place,
                               const QString &itemName, const QString &duid, bool breaks)
{
    ++problemCount;
    if (breaks)
        broken = true;
    if (problems.size() < problemLimit) {
        problems.append({ kind, page.fileNumber, page.fileName, place.line, place.column, itemName,
                          place.itemIndex, duid, message });
        breaking.append(breaks);
    }
}

void ImpExp_SetChecker::reportBreak(Kind kind, const QString &message, const Place &place)
{
    report(kind, message, place, QString(), QString(), true);
}

void ImpExp_SetChecker::reportItem(Kind kind, const QString &message)
{
    const ItemReading &item = state.item;
    const QString &itemName = page.kinds.at(item.kindIndex).itemName;
    QString label = QStringLiteral("%1 #%2").arg(ImpExp_Excerpt::cut(itemName)).arg(item.number);
    if (!item.duid.isEmpty())
        label += QStringLiteral(" (duid %1)").arg(ImpExp_Excerpt::cut(item.duid));
    report(kind, label + QStringLiteral(": ") + message, item.place, itemName, item.duid);
}

bool ImpExp_SetChecker::checkNextPage()
{
    while (!finished) {
        const int number = nextFile++;
        page = Page {};
        page.fileNumber = number;
        page.fileName = ImpExp_Format::pageFileName(pathTemplate, number);
        QFile file(page.fileName);
        QString whyNot;
        const ImpExp_PageFile::Outcome opening = ImpExp_PageFile::open(file, &whyNot);
        if (opening == ImpExp_PageFile::Missing) {
            missingPage();
            continue;
        }
        page.opened = opening == ImpExp_PageFile::Opened;
        // After the announced last page, a reader ends the set at a file it cannot open.
        const bool afterLast = announced >= 0 && number >= announced;

        if (gapBehind)
            reportBreak(Kind::PageAfterGap,
                        QStringLiteral("comes after a missing or unreadable page file; a reader "
                                       "stops before it"));
        else if (afterLast && page.opened)
            reportBreak(Kind::LeftOverPage,
                        QStringLiteral("unexpected file after the announced last page (totalPage "
                                       "%1): a reader reads it as part of the set")
                            .arg(announced));

        if (page.opened) {
            readPage(file);
        } else if (afterLast) {
            report(Kind::Unreadable, QStringLiteral("cannot be opened: %1").arg(whyNot));
            finished = true;
        } else {
            reportBreak(Kind::Unreadable, QStringLiteral("cannot be opened: %1").arg(whyNot));
            gapBehind = true;
        }
        itemCount += page.items;
        pages.append(page);
        if (page.rootAccepted && reference < 0)
            reference = pages.size() - 1;
        return true;
    }
    return false;
}

void ImpExp_SetChecker::missingPage()
{
    const int number = page.fileNumber;
    if (number == 0 && announced < 0) {
        finished = true;
        reportBreak(Kind::MissingPage,
                    QStringLiteral("missing: a set starts with this page file, so a reader reads "
                                   "nothing"));
        return;
    }
    if (announced < 0 || number >= announced) {
        finished = true; // the normal end of the set
        return;
    }
    gapBehind = true;
    if (announced - number > listedGap) {
        finished = true;
        reportBreak(
            Kind::MissingPage,
            QStringLiteral("missing, and so is every page file up to %1: totalPage announces "
                           "%2 page files")
                .arg(QFileInfo(ImpExp_Format::pageFileName(pathTemplate, announced - 1)).fileName())
                .arg(announced));
        return;
    }
    reportBreak(Kind::MissingPage,
                QStringLiteral("missing: totalPage announces %1 page files").arg(announced));
}

void ImpExp_SetChecker::readPage(QFile &file)
{
    state = PageReading {};
    reader.clear();
    ImpExp_RunLimitDevice input(&file, ImpExp_Format::runLimitBytes);
    if (listener)
        input.keepCopy(&pageBytes);
    reader.setDevice(&input);
    if (!ImpExp_Format::readRoot(reader)) {
        refuseRoot(input.overLimit());
        reader.clear();
        pageBytes = QByteArray();
        return;
    }
    page.rootAccepted = true;
    readRootHeader();
    state.depth = 1;
    if (listener)
        listener->pageStarted(page.fileNumber, reader, pageBytes);
    readElements();
    if (input.overLimit())
        reportBreak(Kind::NotWellFormed, overLimitMessage(), here());
    else if (reader.hasError())
        reportBreak(Kind::NotWellFormed, reader.errorString(), here());
    else
        page.wellFormed = true;
    endPage();
    reader.clear();
    if (listener) {
        listener->pageEnded();
        pageBytes = QByteArray();
    }
}

// Items are found as a reader finds them: any element named like an item
// kind, at any depth below the root, and any element in an item's place
// (inside the application element).
void ImpExp_SetChecker::readElements()
{
    ItemReading &item = state.item;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (listener)
            listener->token(reader);
        switch (token) {
        case QXmlStreamReader::StartElement: {
            const int level = state.depth++;
            const auto name = reader.name(); // QStringRef in Qt 5, QStringView in Qt 6
            if (item.kindIndex >= 0) {
                if (ImpExp_Format::isItemKind(name)
                    || page.kinds.at(item.kindIndex).itemName == name)
                    nestedItem();
                else
                    item.pending = !item.isAppointment   ? ItemReading::Other
                        : name == QLatin1String("begin") ? ItemReading::Begin
                        : name == QLatin1String("end")   ? ItemReading::End
                                                         : ItemReading::Other;
            } else if (level == 2 || ImpExp_Format::isItemKind(name)) {
                startItem(level);
            } else {
                readApplicationHeader();
            }
            break;
        }
        case QXmlStreamReader::Characters:
            // Only an appointment's dates are looked at; contacts' texts need no copy.
            if (item.isAppointment && item.pending != ItemReading::None)
                item.pendingText = reader.text().toString();
            break;
        case QXmlStreamReader::EndElement: {
            const int level = --state.depth;
            if (item.kindIndex >= 0 && level == item.level) {
                endItem();
            } else if (item.pending != ItemReading::None) {
                ++item.elements;
                // The first pair of a name is the one an item's lookup finds.
                if (item.pending == ItemReading::Begin && !item.haveBegin) {
                    item.haveBegin = true;
                    item.begin = item.pendingText;
                } else if (item.pending == ItemReading::End && !item.haveEnd) {
                    item.haveEnd = true;
                    item.end = item.pendingText;
                }
                item.pending = ItemReading::None;
                item.pendingText.clear();
            }
            break;
        }
        default:
            break;
        }
    }
}

void ImpExp_SetChecker::refuseRoot(bool overLimit)
{
    QString why;
    if (overLimit)
        why = overLimitMessage();
    else if (reader.hasError())
        why = reader.errorString();
    else if (reader.tokenType() == QXmlStreamReader::StartElement)
        why = QStringLiteral("the root element is %1, not \"%2\"")
                  .arg(quoted(reader.name().toString()), ImpExp_Format::rootName);
    else if (reader.atEnd())
        why = QStringLiteral("no root element");
    else
        why = QStringLiteral("a %1 comes before the root element").arg(reader.tokenString());
    reportBreak(Kind::RootRefused, QStringLiteral("Invalid input file: %1").arg(why), here());
}

void ImpExp_SetChecker::checkSameAsReference(const char *name, QString Page::*field)
{
    if (reference < 0)
        return;
    const Page &first = pages.at(reference);
    QString &value = page.*field;
    const QString &expected = first.*field;
    if (value.isNull() || expected.isNull())
        return; // said already: no such attribute
    if (value == expected)
        value = expected; // one copy for all pages, however long the value
    else
        reportBreak(Kind::HeaderMismatch,
                    QStringLiteral("\"%1\" is %2 but %3 says %4")
                        .arg(QLatin1String(name), quoted(value),
                             QFileInfo(first.fileName).fileName(), quoted(expected)),
                    here());
}

void ImpExp_SetChecker::readRootHeader()
{
    state.root = here();
    const QXmlStreamAttributes attributes = reader.attributes();
    page.created = headerAttribute(attributes, QLatin1String("created"));
    page.schemaVersion = headerAttribute(attributes, QLatin1String("schemaVersion"));
    page.id = headerAttribute(attributes, QLatin1String("id"));
    page.deviceId = headerAttribute(attributes, QLatin1String("deviceId"));
    // Without "created", "id" or "deviceId" a page cannot be told to belong to the export.
    const struct {
        const char *name;
        const QString &value;
        bool marksExport;
    } required[] = { { "created", page.created, true },
                     { "schemaVersion", page.schemaVersion, false },
                     { "id", page.id, true },
                     { "deviceId", page.deviceId, true } };
    for (const auto &attribute : required) {
        if (attribute.value.isNull())
            report(Kind::BadHeader,
                   QStringLiteral("no \"%1\" attribute").arg(QLatin1String(attribute.name)),
                   state.root, QString(), QString(), attribute.marksExport);
    }
    qint64 msecs;
    if (!page.created.isNull() && !ImpExp_Timestamp::parse(page.created, &msecs))
        report(Kind::BadHeader,
               QStringLiteral("\"created\" is %1, not a yyyyMMddThhmmssZ timestamp")
                   .arg(quoted(page.created)),
               state.root);
    if (!page.schemaVersion.isNull() && page.schemaVersion != QLatin1String("1.0"))
        report(
            Kind::BadHeader,
            QStringLiteral("\"schemaVersion\" is %1, not \"1.0\"").arg(quoted(page.schemaVersion)),
            state.root);
    checkSameAsReference("created", &Page::created);
    checkSameAsReference("id", &Page::id);
    checkSameAsReference("deviceId", &Page::deviceId);
}

void ImpExp_SetChecker::readApplicationHeader()
{
    if (++state.applicationElements > 1) {
        if (state.applicationElements == 2)
            state.secondApplication = here();
        return;
    }
    const QXmlStreamAttributes attributes = reader.attributes();
    page.application = reader.name().toString();
    page.max = headerAttribute(attributes, QLatin1String("max"));
    page.pageSize = headerAttribute(attributes, QLatin1String("pageSize"));
    page.page = headerAttribute(attributes, QLatin1String("page"));
    page.totalPage = headerAttribute(attributes, QLatin1String("totalPage"));

    if (page.application != ImpExp_Format::directoryElement
        && page.application != ImpExp_Format::agendaElement)
        report(Kind::BadHeader,
               QStringLiteral("application element %1 is neither directory nor agenda")
                   .arg(quoted(page.application)),
               here());
    checkSameAsReference("application element", &Page::application);

    // Without a "page" or "totalPage" a page cannot be told to be in its place in the export.
    auto number = [&](const char *name, const QString &value, int minimum, int *result) {
        const bool placesPage = minimum > 0 && qstrcmp(name, "pageSize") != 0;
        if (value.isNull())
            report(Kind::BadHeader, QStringLiteral("no \"%1\" attribute").arg(QLatin1String(name)),
                   here(), QString(), QString(), placesPage);
        else if (!toNumber(value, minimum, result))
            report(Kind::BadHeader,
                   minimum == INT_MIN
                       ? QStringLiteral("\"%1\" is %2, not a whole number")
                             .arg(QLatin1String(name), quoted(value))
                       : QStringLiteral("\"%1\" is %2, not a whole number of at least %3")
                             .arg(QLatin1String(name), quoted(value))
                             .arg(minimum),
                   here(), QString(), QString(), placesPage);
        else
            return true;
        return false;
    };
    int value = 0;
    number("max", page.max, INT_MIN, &value);
    if (number("pageSize", page.pageSize, 1, &value))
        state.pageSize = value;
    if (number("page", page.page, 1, &value) && value != page.fileNumber + 1)
        reportBreak(Kind::PageNumber,
                    QStringLiteral("\"page\" is %1 but file number %2 means page %3")
                        .arg(value)
                        .arg(page.fileNumber, 2, 10, QLatin1Char('0'))
                        .arg(page.fileNumber + 1),
                    here());
    if (number("totalPage", page.totalPage, 1, &value)) {
        checkSameAsReference("totalPage", &Page::totalPage);
        if (announced < 0)
            announced = value;
    }
}

// Counts an item of the element the reader stands on; returns its index into page.kinds.
int ImpExp_SetChecker::countItem(Place *place)
{
    const auto name = reader.name(); // QStringRef in Qt 5, QStringView in Qt 6
    int kindIndex = -1;
    for (int i = 0; i < page.kinds.size(); ++i) {
        if (page.kinds.at(i).itemName == name) {
            kindIndex = i;
            break;
        }
    }
    *place = here();
    place->itemIndex = page.items++;
    if (kindIndex < 0) {
        kindIndex = page.kinds.size();
        page.kinds.append({ name.toString(), 0, 0 });
        state.firstOfKind.append(*place);
    }
    ++page.kinds[kindIndex].items;
    if (state.pageSize >= 0 && page.items == state.pageSize + 1)
        state.firstOverfull = *place;
    return kindIndex;
}

// An element named like an item kind inside an item: a reader takes it for
// an item of its own (and, of the outer item's kind, ends the outer one there).
void ImpExp_SetChecker::nestedItem()
{
    const ItemReading &outer = state.item;
    Place place;
    const QString &itemName = page.kinds.at(countItem(&place)).itemName;
    QString duid;
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        if (attribute.name() == QLatin1String("duid")) {
            duid = attribute.value().toString();
            break;
        }
    }
    QString label = QStringLiteral("%1 #%2")
                        .arg(ImpExp_Excerpt::cut(page.kinds.at(outer.kindIndex).itemName))
                        .arg(outer.number);
    if (!outer.duid.isEmpty())
        label += QStringLiteral(" (duid %1)").arg(ImpExp_Excerpt::cut(outer.duid));
    report(Kind::NestedItem,
           QStringLiteral("%1 holds an element %2: a reader takes it for an item of its own")
               .arg(label, quoted(itemName)),
           place, itemName, duid);
}

void ImpExp_SetChecker::startItem(int level)
{
    ItemReading &item = state.item;
    item = ItemReading {};
    item.level = level;
    item.kindIndex = countItem(&item.place);
    const KindCount &kind = page.kinds.at(item.kindIndex);
    item.number = kind.items;
    item.isAppointment = kind.itemName == QLatin1String("appointment");

    // Attributes go to the reader under their local names; the first of a name counts.
    bool haveDuid = false, haveLastModified = false;
    for (const QXmlStreamAttribute &attribute : reader.attributes()) {
        if (!haveDuid && attribute.name() == QLatin1String("duid")) {
            haveDuid = true;
            item.duid = attribute.value().toString();
        } else if (!haveLastModified && attribute.name() == QLatin1String("lastModified")) {
            haveLastModified = true;
            qint64 msecs;
            // An empty one counts as none, as the item's own lookup has it.
            if (!attribute.value().isEmpty() && !ImpExp_Timestamp::parse(attribute.value(), &msecs))
                reportItem(Kind::BadLastModified,
                           QStringLiteral("lastModified %1 does not parse")
                               .arg(quoted(attribute.value().toString())));
        }
    }
    if (item.duid.isEmpty()) {
        reportItem(Kind::MissingDuid, QStringLiteral("no duid"));
    } else if (findsDuplicates) {
        QSet<QString> &seen = duidsByKind[kind.itemName];
        const int before = seen.size();
        seen.insert(item.duid);
        if (seen.size() == before)
            reportItem(Kind::DuplicateDuid,
                       QStringLiteral("duid also used by an earlier %1 of the set")
                           .arg(ImpExp_Excerpt::cut(kind.itemName)));
    }
}

void ImpExp_SetChecker::endItem()
{
    ItemReading &item = state.item;
    if (item.elements > 0)
        ++page.kinds[item.kindIndex].withElements;
    // Items sent with their identifiers only have no dates to check.
    if (item.isAppointment && item.elements > 0) {
        const auto check = [&](const char *name, bool have, const QString &text) {
            qint64 msecs;
            if (!have)
                reportItem(Kind::BadAppointmentDate,
                           QStringLiteral("has fields but no %1").arg(QLatin1String(name)));
            else if (!ImpExp_Timestamp::parse(text, &msecs))
                reportItem(
                    Kind::BadAppointmentDate,
                    QStringLiteral("%1 %2 does not parse").arg(QLatin1String(name), quoted(text)));
        };
        check("begin", item.haveBegin, item.begin);
        check("end", item.haveEnd, item.end);
    }
    item.kindIndex = -1;
    item.pending = ItemReading::None;
}

void ImpExp_SetChecker::endPage()
{
    if (state.applicationElements == 0 && page.wellFormed)
        reportBreak(Kind::BadHeader, QStringLiteral("no application element"), state.root);
    if (state.applicationElements > 1)
        report(
            Kind::BadHeader,
            QStringLiteral("%1 application elements, expected one").arg(state.applicationElements),
            state.secondApplication);
    if (state.pageSize >= 0 && page.items > state.pageSize)
        report(Kind::PageOverfull,
               QStringLiteral("%1, more than its pageSize %2")
                   .arg(items(page.items))
                   .arg(state.pageSize),
               state.firstOverfull);
    const bool knownApplication = page.application == ImpExp_Format::directoryElement
        || page.application == ImpExp_Format::agendaElement;
    for (int i = 0; i < page.kinds.size(); ++i) {
        const KindCount &kind = page.kinds.at(i);
        if (!ImpExp_Format::isItemKind(kind.itemName))
            report(Kind::ForeignKind,
                   QStringLiteral("unknown item kind %1 (%2)")
                       .arg(quoted(kind.itemName), items(kind.items)),
                   state.firstOfKind.at(i), kind.itemName);
        else if (knownApplication && !ImpExp_Format::belongsTo(kind.itemName, page.application))
            report(Kind::ForeignKind,
                   QStringLiteral("item kind %1 in %2 %3 page (%4)")
                       .arg(quoted(kind.itemName),
                            page.application == ImpExp_Format::agendaElement ? QStringLiteral("an")
                                                                             : QStringLiteral("a"),
                            page.application, items(kind.items)),
                   state.firstOfKind.at(i), kind.itemName);
    }
}
