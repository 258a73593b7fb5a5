#include <ImpExp_XMLBuilder.h>

#include "model/ImpExp_Guard.h"
#include "model/ImpExp_LocalTime.h"
#include "model/ImpExp_Timestamp.h"
#include "xml/ImpExp_Format.h"
#include "xml/ImpExp_Logging.h"
#include "xml/ImpExp_PageWriter.h"
#include "xml/ImpExp_WritableCheck.h"
#include "xml/ImpExp_XmlText.h"

#include <QFile>
#include <QXmlStreamWriter> // only for the member kept from 1.0

#include <cerrno>

namespace
{

// Two local offsets differ by at most 26 hours, so an item more than two days
// from the reference date is before or after it whatever Qt's local-time
// conversions do. Closer ones are left to QDateTime's own comparison, which
// compares wall-clock times where a zone repeats an hour.
constexpr qint64 unambiguousMsecs = 2 * 86400 * 1000;
// Far beyond every parsable timestamp (years 1 to 9999), so clamping the
// reference date keeps the order and the subtractions cannot overflow.
constexpr qint64 syncLimitMsecs = Q_INT64_C(1000000000000000);

// The length of every date-time text a reader takes ("yyyyMMddThhmmssZ").
constexpr int timestampLength = 16;

// The prefix bound to the format's namespace, and the one of XML Schema.
constexpr QLatin1String formatPrefix = ImpExp_Format::latin1("vel");
constexpr QLatin1String schemaInstancePrefix = ImpExp_Format::latin1("xs");

// The first failure to write a page file, kept for the host to ask about.
struct WriteStatus {
    bool failed = false;
    QString fileName;
    QString text;

    void note(const QString &name, const QString &why)
    {
        if (failed)
            return;
        failed = true;
        fileName = name;
        text = why;
    }
};

// A page file that takes the page writer's blocks, opened unbuffered: a
// buffered QFile would only copy each block once more.
//
// A block that does not reach the disk whole is told to @p status, and the
// rest of the page is dropped: bytes after a gap would only make it worse.
// The page writer is always told that its bytes were taken.
class PageFile : public QFile
{
public:
    PageFile(const QString &name, WriteStatus *status)
        : QFile(name)
        , status(status)
    {
    }
    ~PageFile() override { close(); }

    void close() override
    {
        if (!isOpen())
            return;
        QFile::close();
        // Only a failure of the close itself is left in the error state here.
        if (error() != QFileDevice::NoError)
            fail(errorString());
    }

protected:
    qint64 writeData(const char *data, qint64 length) override
    {
        if (cut)
            return length;
        errno = 0;
        const qint64 written = QFile::writeData(data, length);
        const int writeErrno = errno;
        if (written != length) {
            // Qt sets no error text when part of the block was written
            // before the system refused the rest.
            fail(error() != QFileDevice::NoError ? errorString()
                     : writeErrno != 0           ? qt_error_string(writeErrno)
                                                 : QStringLiteral("Short write"));
        }
        return length;
    }

private:
    void fail(const QString &text)
    {
        cut = true;
        status->note(fileName(), text);
    }

    WriteStatus *status;
    bool cut = false;
};

} // namespace

class ImpExp_XMLBuilder::Private
{
public:
    // The open page's writer, reused page after page with its block.
    ImpExp_PageWriter page;
    // Only for qualified(), which the binary interface of 1.0 keeps.
    QString qualifiedName;
    WriteStatus status;

    // The values written otherwise than handed over in this export.
    int alteredCount = 0;
    QString firstAlteredDuid;
    QString firstAlteredField;

    void noteAltered(const ImpExp_Item *item, const QString &field)
    {
        if (alteredCount++ > 0)
            return;
        if (item)
            firstAlteredDuid = item->getAttribute(QStringLiteral("duid"));
        firstAlteredField = field;
    }

    void startExport()
    {
        status = WriteStatus();
        alteredCount = 0;
        firstAlteredDuid = QString();
        firstAlteredField = QString();
    }
};

ImpExp_XMLBuilder::ImpExp_XMLBuilder()
    : pageSize(0)
    , totalItems(0)
    , max(0)
    , totalPage(0)
    , pageIndex(0)
    , writtenItems(0)
    , pageItems(0)
    , d(std::make_unique<Private>())
{
    prepareExport();
}

ImpExp_XMLBuilder::ImpExp_XMLBuilder(const QString &deviceId, const QString &id,
                                     const QString &pathTemplate, const int &pageSize,
                                     const QDateTime &created, const int &totalItems,
                                     const int &max, const QString &applicationName,
                                     const QDateTime &lastSyncDate)
try : deviceId(deviceId), id(id), pathTemplate(pathTemplate), pageSize(pageSize), created(created),
    totalItems(totalItems), max(max), totalPage(0), pageIndex(0), writtenItems(0), pageItems(0),
    lastSyncDate(lastSyncDate), d(std::make_unique<Private>()) {
    if (!pathTemplate.contains(QLatin1String("%1")))
        throw ImpExp_FatalException(QStringLiteral("Bad path"));
    if (applicationName == QLatin1String("VelDirectory"))
        applicationElement = ImpExp_Format::directoryElement;
    else if (applicationName == QLatin1String("Agenda"))
        applicationElement = ImpExp_Format::agendaElement;
    else
        throw ImpExp_FatalException(QStringLiteral("Invalid application name"));
    if (totalItems < 0)
        throw ImpExp_FatalException(QStringLiteral("Invalid item count"));
    if (totalItems > 0 && pageSize < 1)
        throw ImpExp_FatalException(QStringLiteral("Invalid page size"));

    prepareExport();
    if (totalItems == 0) {
        totalPage = 1;
        exportOver = false;
        startNewXMLFile();
        closeBuilder();
    } else {
        totalPage = (totalItems - 1) / pageSize + 1;
    }
} catch (...) {
    ImpExp_Guard<ImpExp_FatalException>::passOn();
}

ImpExp_XMLBuilder::ImpExp_XMLBuilder(const ImpExp_XMLBuilder &other)
    : deviceId(other.deviceId)
    , id(other.id)
    , pathTemplate(other.pathTemplate)
    , pageSize(other.pageSize)
    , created(other.created)
    , totalItems(other.totalItems)
    , max(other.max)
    , applicationElement(other.applicationElement)
    , totalPage(other.totalPage)
    , pageIndex(0)
    , writtenItems(0)
    , pageItems(0)
    , lastSyncDate(other.lastSyncDate)
    , d(std::make_unique<Private>())
{
    prepareExport();
}

ImpExp_XMLBuilder &ImpExp_XMLBuilder::operator=(const ImpExp_XMLBuilder &other)
{
    if (this == &other)
        return *this;
    closeBuilder();
    writer.reset();

    deviceId = other.deviceId;
    id = other.id;
    pathTemplate = other.pathTemplate;
    pageSize = other.pageSize;
    created = other.created;
    totalItems = other.totalItems;
    max = other.max;
    applicationElement = other.applicationElement;
    totalPage = other.totalPage;
    pageIndex = 0;
    writtenItems = 0;
    pageItems = 0;
    lastSyncDate = other.lastSyncDate;
    d->startExport();
    prepareExport();
    return *this;
}

ImpExp_XMLBuilder::~ImpExp_XMLBuilder()
{
    closeBuilder();
    file.reset(); // a page file tells its status to d, which goes first
}

void ImpExp_XMLBuilder::prepareExport()
{
    d->qualifiedName = QStringLiteral("vel:");
    d->qualifiedName.reserve(48);
    syncValid = lastSyncDate.isValid();
    syncMsecs
        = syncValid ? qBound(-syncLimitMsecs, lastSyncDate.toMSecsSinceEpoch(), syncLimitMsecs) : 0;
    fullExport = lastSyncDate == QDateTime::fromSecsSinceEpoch(0);
    // An export of no items is complete once its single page is written.
    exportOver = totalItems == 0;
}

// No longer called: the page writer puts the prefix itself. Kept, as the
// binary interface of 1.0 exports it.
const QString &ImpExp_XMLBuilder::qualified(const QString &localName)
{
    QString &name = d->qualifiedName;
    name.truncate(4);
    QString scratch;
    name += ImpExp_XmlText::clean(localName, &scratch);
    return name;
}

bool ImpExp_XMLBuilder::pageOpen() const
{
    return d->page.pageOpen();
}

void ImpExp_XMLBuilder::putItem(const ImpExp_Item &item)
try {
    IMPEXP_DEBUG("putItem");
    if (!pageOpen())
        startNewXMLFile();
    const bool withElements = writesElements(item);

    // Names and values are cleaned on the way: a character XML cannot carry
    // becomes U+FFFD. The writer's answers say which values were.
    ImpExp_PageWriter &out = d->page;
    out.startElement(formatPrefix, item.getItemName());
    IMPEXP_DEBUG("write attributes");
    for (const auto &attribute : item.getAttributes()) {
        // The writer cleans names and values; a cleaned value, or a
        // "lastModified" that is no timestamp, is written otherwise than given.
        const bool cleaned = out.attribute(attribute.first, attribute.second);
        if (cleaned
            || (attribute.first == QLatin1String("lastModified")
                && attribute.second.size() != timestampLength))
            d->noteAltered(&item, attribute.first);
    }

    if (withElements) {
        IMPEXP_DEBUG("write elements");
        constexpr QLatin1String space = ImpExp_Format::latin1("xml:space");
        constexpr QLatin1String preserve = ImpExp_Format::latin1("preserve");
        const bool appointment = item.getItemName() == QLatin1String("appointment");
        for (const auto &element : item.getItemElements()) {
            out.startElement(formatPrefix, element.first);
            out.attribute(space, preserve);
            // Even an empty value gets a start and an end tag.
            const bool cleaned = out.characters(element.second);
            if (cleaned
                || (appointment && element.second.size() != timestampLength
                    && (element.first == QLatin1String("begin")
                        || element.first == QLatin1String("end")
                        || element.first == QLatin1String("repetitiveEndDate"))))
                d->noteAltered(&item, element.first);
            out.endElement();
        }
    }
    out.endElement();

    ++pageItems;
    ++writtenItems;
    if (pageItems == pageSize || writtenItems == totalItems) {
        closeBuilder();
        exportOver = false; // this close only turns the page
        ++pageIndex;
    }
} catch (...) {
    ImpExp_Guard<ImpExp_FatalException>::passOn();
}

bool ImpExp_XMLBuilder::writesElements(const ImpExp_Item &item) const
{
    if (fullExport)
        return true;
    if (item.getReadOnlyItem())
        return false;
    if (lastSyncDate.isNull())
        return true;

    qint64 msecs;
    // No date, or one that does not parse: when in doubt, send everything.
    if (!ImpExp_Timestamp::parse(item.getAttribute(QStringLiteral("lastModified")), &msecs))
        return true;
    if (syncValid && (msecs > syncMsecs + unambiguousMsecs || msecs < syncMsecs - unambiguousMsecs))
        return msecs > syncMsecs;
    return ImpExp_LocalTime::notBefore(msecs, lastSyncDate); // invalid: as if absent
}

void ImpExp_XMLBuilder::putIdList(const ImpExp_PairList &)
try {
    throw ImpExp_FatalException(QStringLiteral("Obsolete"));
} catch (...) {
    ImpExp_Guard<ImpExp_ErrorException, ImpExp_FatalException>::passOn();
}

void ImpExp_XMLBuilder::startNewXMLFile()
try {
    IMPEXP_DEBUG("startNewXMLFile");
    if (pageOpen()) {
        // Called with a page still open: complete it rather than leave it cut.
        endPage();
        ++pageIndex;
    }
    if (exportOver || pageIndex >= totalPage)
        throw ImpExp_FatalException(QStringLiteral("Too much items !"));

    const QString name = ImpExp_Format::pageFileName(pathTemplate, pageIndex);
    auto page = std::make_unique<PageFile>(name, &d->status);
    if (!page->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw ImpExp_FatalException(
            QStringLiteral("Cannot create file %1, %2").arg(name, page->errorString()));
    file = std::move(page);

    ImpExp_PageWriter &out = d->page;
    out.startPage(file.get());
    out.startElement(formatPrefix, QString(ImpExp_Format::rootName));
    out.namespaceDeclaration(formatPrefix, ImpExp_Format::namespaceUri);
    out.namespaceDeclaration(schemaInstancePrefix, ImpExp_Format::schemaInstanceUri);
    out.attribute(QStringView(u"created"), ImpExp_Timestamp::format(created));
    out.attribute(ImpExp_Format::latin1("schemaVersion"), ImpExp_Format::latin1("1.0"));
    // Every page repeats the header; its values count as altered once.
    const bool idCleaned = out.attribute(QStringView(u"id"), id);
    const bool deviceIdCleaned = out.attribute(QStringView(u"deviceId"), deviceId);
    if (pageIndex == 0) {
        if (idCleaned)
            d->noteAltered(nullptr, QStringLiteral("id"));
        if (deviceIdCleaned)
            d->noteAltered(nullptr, QStringLiteral("deviceId"));
    }
    out.startElement(formatPrefix, applicationElement);
    out.attribute(QStringView(u"max"), QString::number(max));
    out.attribute(QStringView(u"pageSize"), QString::number(pageSize));
    out.attribute(QStringView(u"page"), QString::number(pageIndex + 1));
    out.attribute(QStringView(u"totalPage"), QString::number(totalPage));
} catch (...) {
    ImpExp_Guard<ImpExp_FatalException>::passOn();
}

void ImpExp_XMLBuilder::closeBuilder()
{
    IMPEXP_DEBUG("close builder");
    endPage();
    exportOver = true;
}

void ImpExp_XMLBuilder::endPage()
{
    if (!pageOpen())
        return;
    d->page.endPage(); // the application element, the root, the last block
    file->close(); // a failure is noted in d->status
    file.reset();
    pageItems = 0;
}

bool ImpExp_XMLBuilder::hasWriteError() const
{
    return d->status.failed;
}

QString ImpExp_XMLBuilder::writeErrorFileName() const
{
    return d->status.fileName;
}

QString ImpExp_XMLBuilder::writeErrorString() const
{
    return d->status.text;
}

bool ImpExp_XMLBuilder::isWritable(const ImpExp_Item &item, QString *reason)
{
    return !ImpExp_WritableCheck::refuses(item, reason);
}

int ImpExp_XMLBuilder::writtenItemCount() const
{
    return writtenItems;
}

int ImpExp_XMLBuilder::announcedItemCount() const
{
    return totalItems;
}

bool ImpExp_XMLBuilder::isFinished() const
{
    // The item that completes the count closes the last page, and an export
    // of no items writes its single page in the constructor.
    return writtenItems == totalItems && !pageOpen();
}

QStringList ImpExp_XMLBuilder::leftOverPages() const
{
    return ImpExp_Format::existingPages(pathTemplate, totalPage);
}

bool ImpExp_XMLBuilder::removeLeftOverPages(QString *failure)
{
    bool removedAll = true;
    for (const QString &name : leftOverPages()) {
        QFile page(name);
        if (page.remove())
            continue;
        if (removedAll && failure)
            *failure = QStringLiteral("%1: %2").arg(name, page.errorString());
        removedAll = false;
    }
    return removedAll;
}

int ImpExp_XMLBuilder::alteredValueCount() const
{
    return d->alteredCount;
}

QString ImpExp_XMLBuilder::firstAlteredDuid() const
{
    return d->firstAlteredDuid;
}

QString ImpExp_XMLBuilder::firstAlteredField() const
{
    return d->firstAlteredField;
}
