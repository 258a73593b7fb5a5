#include <ImpExp_SetCheck.h>

#include "model/ImpExp_Guard.h"
#include "model/ImpExp_Timestamp.h"
#include "xml/ImpExp_Format.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QXmlStreamReader>

#include <climits>

namespace
{

using Kind = ImpExp_SetCheck::ProblemKind;

// Beyond this many missing page files in a row one problem stands for all.
constexpr int listedGap = ImpExp_Format::pageGapLimit;

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
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

bool toNumber(const QString &text, int minimum, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok, 10);
    return ok && *value >= minimum;
}

// Where a finding is, for a problem reported later.
struct Place {
    qint64 line = 0;
    qint64 column = 0;
    int itemIndex = -1;
};

// The item being read, with what its checks need at its end tag.
struct ItemReading {
    enum Field { None, Other, Begin, End };

    int kindIndex = -1; // into Page::kinds; -1 outside an item
    int number = 0; // among the page's items of its kind, from 1
    Place place;
    QString duid;
    bool isAppointment = false;
    int elements = 0;
    // The reader's rule: a child gives a pair of its name and its last piece of text.
    Field pending = None;
    QString pendingText;
    bool haveBegin = false, haveEnd = false;
    QString begin, end;
};

// What one page's checks gather while it is read.
struct PageReading {
    int depth = 0; // elements open
    int applicationElements = 0;
    Place root, secondApplication, firstOverfull;
    int pageSize = -1; // when it parses
    QList<Place> firstOfKind; // beside Page::kinds
    ItemReading item;
};

} // namespace

class ImpExp_SetCheck::Private
{
public:
    explicit Private(const QString &pathTemplate)
        : pathTemplate(pathTemplate)
    {
    }

    bool checkNextPage();

    const QString pathTemplate;
    QList<Page> pages;
    QList<Problem> problems;
    qint64 problemCount = 0;
    qint64 itemCount = 0;
    int announced = -1; // totalPage of the first page that gives one
    int problemLimit = 10000;
    bool broken = false; // a reader does not get every item of the set

private:
    void missingPage();
    void readPage(QFile &file);
    void refuseRoot();
    void readRootHeader();
    void readApplicationHeader();
    void startItem();
    void endItem();
    void endPage();
    void checkSameAsReference(const char *name, QString Page::*field);

    Place here() const;
    void report(Kind kind, const QString &message, const Place &place = Place(),
                const QString &itemName = QString(), const QString &duid = QString());
    void reportItem(Kind kind, const QString &message);

    int nextFile = 0;
    bool finished = false;
    bool gapBehind = false; // a page file a reader stops at lies behind
    int reference = -1; // index into pages of the first page with an accepted root
    QXmlStreamReader reader;
    QHash<QString, QSet<QString>> duidsByKind;
    Page page; // the page being checked
    PageReading state; // and what its checks gather
};

Place ImpExp_SetCheck::Private::here() const
{
    Place place;
    place.line = reader.lineNumber();
    place.column = reader.columnNumber();
    return place;
}

void ImpExp_SetCheck::Private::report(Kind kind, const QString &message, const Place &place,
                                      const QString &itemName, const QString &duid)
{
    ++problemCount;
    if (problems.size() < problemLimit)
        problems.append({ kind, page.fileNumber, page.fileName, place.line, place.column, itemName,
                          place.itemIndex, duid, message });
}

void ImpExp_SetCheck::Private::reportItem(Kind kind, const QString &message)
{
    const ItemReading &item = state.item;
    const QString &itemName = page.kinds.at(item.kindIndex).itemName;
    QString label = QStringLiteral("%1 #%2").arg(itemName).arg(item.number);
    if (!item.duid.isEmpty())
        label += QStringLiteral(" (duid %1)").arg(item.duid);
    report(kind, label + QStringLiteral(": ") + message, item.place, itemName, item.duid);
}

bool ImpExp_SetCheck::Private::checkNextPage()
{
    while (!finished) {
        const int number = nextFile++;
        page = Page {};
        page.fileNumber = number;
        page.fileName = ImpExp_Format::pageFileName(pathTemplate, number);
        QFile file(page.fileName);
        page.opened = file.open(QIODevice::ReadOnly);
        if (!page.opened && !QFileInfo::exists(page.fileName)) {
            missingPage();
            continue;
        }

        if (gapBehind)
            report(Kind::PageAfterGap,
                   QStringLiteral("comes after a missing or unreadable page file; a reader "
                                  "stops before it"));
        else if (announced >= 0 && number >= announced && page.opened) {
            report(Kind::LeftOverPage,
                   QStringLiteral("unexpected file after the announced last page (totalPage "
                                  "%1): a reader reads it as part of the set")
                       .arg(announced));
            broken = true;
        }

        if (page.opened) {
            readPage(file);
        } else {
            report(Kind::Unreadable,
                   QStringLiteral("cannot be opened: %1").arg(file.errorString()));
            // After the announced last page, a reader ends the set here as it should.
            if (announced >= 0 && number >= announced)
                finished = true;
            else
                broken = gapBehind = true;
        }
        itemCount += page.items;
        pages.append(page);
        if (page.rootAccepted && reference < 0)
            reference = pages.size() - 1;
        return true;
    }
    return false;
}

void ImpExp_SetCheck::Private::missingPage()
{
    const int number = page.fileNumber;
    if (number == 0 && announced < 0) {
        broken = finished = true;
        report(Kind::MissingPage,
               QStringLiteral("missing: a set starts with this page file, so a reader reads "
                              "nothing"));
        return;
    }
    if (announced < 0 || number >= announced) {
        finished = true; // the normal end of the set
        return;
    }
    broken = gapBehind = true;
    if (announced - number > listedGap) {
        finished = true;
        report(
            Kind::MissingPage,
            QStringLiteral("missing, and so is every page file up to %1: totalPage announces "
                           "%2 page files")
                .arg(QFileInfo(ImpExp_Format::pageFileName(pathTemplate, announced - 1)).fileName())
                .arg(announced));
        return;
    }
    report(Kind::MissingPage,
           QStringLiteral("missing: totalPage announces %1 page files").arg(announced));
}

void ImpExp_SetCheck::Private::readPage(QFile &file)
{
    state = PageReading {};
    reader.clear();
    reader.setDevice(&file);
    if (!ImpExp_Format::readRoot(reader)) {
        refuseRoot();
        reader.clear();
        return;
    }
    page.rootAccepted = true;
    readRootHeader();
    state.depth = 1;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            const int level = state.depth++;
            if (level == 1)
                readApplicationHeader();
            else if (level == 2)
                startItem();
            else if (state.item.kindIndex >= 0) {
                ItemReading &item = state.item;
                item.pending = !item.isAppointment            ? ItemReading::Other
                    : reader.name() == QLatin1String("begin") ? ItemReading::Begin
                    : reader.name() == QLatin1String("end")   ? ItemReading::End
                                                              : ItemReading::Other;
            }
            break;
        }
        case QXmlStreamReader::Characters:
            // Only an appointment's dates are looked at; contacts' texts need no copy.
            if (state.item.isAppointment && state.item.pending != ItemReading::None)
                state.item.pendingText = reader.text().toString();
            break;
        case QXmlStreamReader::EndElement: {
            const int level = --state.depth;
            if (level == 2) {
                endItem();
            } else if (level > 2 && state.item.pending != ItemReading::None) {
                ItemReading &item = state.item;
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
    if (reader.hasError()) {
        broken = true;
        report(Kind::NotWellFormed, reader.errorString(), here());
    } else {
        page.wellFormed = true;
    }
    endPage();
    reader.clear();
}

void ImpExp_SetCheck::Private::refuseRoot()
{
    broken = true;
    QString why;
    if (reader.hasError())
        why = reader.errorString();
    else if (reader.tokenType() == QXmlStreamReader::StartElement)
        why = QStringLiteral("the root element is %1, not \"%2\"")
                  .arg(quoted(reader.name().toString()), ImpExp_Format::rootName);
    else if (reader.atEnd())
        why = QStringLiteral("no root element");
    else
        why = QStringLiteral("a %1 comes before the root element").arg(reader.tokenString());
    report(Kind::RootRefused, QStringLiteral("Invalid input file: %1").arg(why), here());
}

void ImpExp_SetCheck::Private::checkSameAsReference(const char *name, QString Page::*field)
{
    if (reference < 0)
        return;
    const Page &first = pages.at(reference);
    const QString &value = page.*field, &expected = first.*field;
    if (!value.isNull() && !expected.isNull() && value != expected)
        report(Kind::HeaderMismatch,
               QStringLiteral("\"%1\" is %2 but %3 says %4")
                   .arg(QLatin1String(name), quoted(value), QFileInfo(first.fileName).fileName(),
                        quoted(expected)),
               here());
}

void ImpExp_SetCheck::Private::readRootHeader()
{
    state.root = here();
    const QXmlStreamAttributes attributes = reader.attributes();
    page.created = headerAttribute(attributes, QLatin1String("created"));
    page.schemaVersion = headerAttribute(attributes, QLatin1String("schemaVersion"));
    page.id = headerAttribute(attributes, QLatin1String("id"));
    page.deviceId = headerAttribute(attributes, QLatin1String("deviceId"));
    const struct {
        const char *name;
        const QString &value;
    } required[] = { { "created", page.created },
                     { "schemaVersion", page.schemaVersion },
                     { "id", page.id },
                     { "deviceId", page.deviceId } };
    for (const auto &attribute : required) {
        if (attribute.value.isNull())
            report(Kind::BadHeader,
                   QStringLiteral("no \"%1\" attribute").arg(QLatin1String(attribute.name)),
                   state.root);
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

void ImpExp_SetCheck::Private::readApplicationHeader()
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
    else
        checkSameAsReference("application element", &Page::application);

    auto number = [&](const char *name, const QString &value, int minimum, int *result) {
        if (value.isNull())
            report(Kind::BadHeader, QStringLiteral("no \"%1\" attribute").arg(QLatin1String(name)),
                   here());
        else if (!toNumber(value, minimum, result))
            report(Kind::BadHeader,
                   minimum == INT_MIN
                       ? QStringLiteral("\"%1\" is %2, not a whole number")
                             .arg(QLatin1String(name), quoted(value))
                       : QStringLiteral("\"%1\" is %2, not a whole number of at least %3")
                             .arg(QLatin1String(name), quoted(value))
                             .arg(minimum),
                   here());
        else
            return true;
        return false;
    };
    int value = 0;
    number("max", page.max, INT_MIN, &value);
    if (number("pageSize", page.pageSize, 1, &value))
        state.pageSize = value;
    if (number("page", page.page, 1, &value) && value != page.fileNumber + 1)
        report(Kind::PageNumber,
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

void ImpExp_SetCheck::Private::startItem()
{
    ItemReading &item = state.item;
    item = ItemReading {};
    const auto name = reader.name(); // QStringRef in Qt 5, QStringView in Qt 6
    item.kindIndex = -1;
    for (int i = 0; i < page.kinds.size(); ++i) {
        if (page.kinds.at(i).itemName == name) {
            item.kindIndex = i;
            break;
        }
    }
    item.place = here();
    item.place.itemIndex = page.items++;
    if (item.kindIndex < 0) {
        item.kindIndex = page.kinds.size();
        page.kinds.append({ name.toString(), 0, 0 });
        state.firstOfKind.append(item.place);
    }
    KindCount &kind = page.kinds[item.kindIndex];
    item.number = ++kind.items;
    item.isAppointment = kind.itemName == QLatin1String("appointment");
    if (state.pageSize >= 0 && page.items == state.pageSize + 1)
        state.firstOverfull = item.place;

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
    } else {
        QSet<QString> &seen = duidsByKind[kind.itemName];
        const int before = seen.size();
        seen.insert(item.duid);
        if (seen.size() == before)
            reportItem(
                Kind::DuplicateDuid,
                QStringLiteral("duid also used by an earlier %1 of the set").arg(kind.itemName));
    }
}

void ImpExp_SetCheck::Private::endItem()
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

void ImpExp_SetCheck::Private::endPage()
{
    if (state.applicationElements == 0 && page.wellFormed)
        report(Kind::BadHeader, QStringLiteral("no application element"), state.root);
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

ImpExp_SetCheck::ImpExp_SetCheck(const QString &pathTemplate)
try {
    if (!pathTemplate.contains(QLatin1String("%1")))
        throw ImpExp_FatalException(QStringLiteral("Bad path"));
    d.reset(new Private(pathTemplate));
} catch (...) {
    ImpExp_Guard<ImpExp_FatalException>::passOn();
}

ImpExp_SetCheck::~ImpExp_SetCheck() = default;

void ImpExp_SetCheck::run()
{
    while (d->checkNextPage()) { }
}

bool ImpExp_SetCheck::checkNextPage()
{
    return d->checkNextPage();
}

const QList<ImpExp_SetCheck::Page> &ImpExp_SetCheck::pages() const
{
    return d->pages;
}

const QList<ImpExp_SetCheck::Problem> &ImpExp_SetCheck::problems() const
{
    return d->problems;
}

qint64 ImpExp_SetCheck::problemCount() const
{
    return d->problemCount;
}

qint64 ImpExp_SetCheck::itemCount() const
{
    return d->itemCount;
}

int ImpExp_SetCheck::announcedPages() const
{
    return d->announced >= 0 ? d->announced : d->pages.size();
}

bool ImpExp_SetCheck::isComplete() const
{
    return !d->broken;
}

bool ImpExp_SetCheck::isClean() const
{
    return d->problemCount == 0;
}

int ImpExp_SetCheck::problemLimit() const
{
    return d->problemLimit;
}

void ImpExp_SetCheck::setProblemLimit(int limit)
{
    d->problemLimit = qMax(0, limit);
}

bool ImpExp_SetCheck::belongsTo(const QString &itemName, const QString &application)
{
    return ImpExp_Format::belongsTo(itemName, application);
}
