#include "Workload.h"

#include <Appointment_Item.h>
#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include "xml/ImpExp_Format.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace
{

const QString timestampPattern = QStringLiteral("yyyyMMddThhmmssZ");

// Fixed points of the data sets, in local time like a device's own data.
QDateTime referenceDate()
{
    return QDateTime(QDate(2026, 11, 15), QTime(0, 0), Qt::LocalTime);
}

bool changedSinceReference(int i)
{
    return i % 2 == 0;
}

QDateTime lastModifiedOf(int i)
{
    // Changed items spread over the week after the reference date (a weekly
    // sync), the others over the year before it.
    return changedSinceReference(i)
        ? referenceDate().addSecs(60 + qint64(i) * 7919 % (7 * 86400))
        : referenceDate().addSecs(-3600 - qint64(i) * 104729 % (365 * 86400));
}

QString pick(const char *const *list, int size, int i)
{
    return QString::fromUtf8(list[i % size]);
}

QString utcText(const QDateTime &dateTime)
{
    return dateTime.toUTC().toString(timestampPattern);
}

QString qualified(const QString &localName)
{
    return QLatin1String("vel:") + localName;
}

// Decides like an incremental export: a changed, writable item gets its
// children; a full export gives every item its children.
bool writesElements(const ExportSetup &setup, const QDateTime &lastModified, bool readOnly)
{
    if (setup.lastSyncDate == QDateTime::fromSecsSinceEpoch(0))
        return true;
    return !readOnly && lastModified >= setup.lastSyncDate;
}

void addElement(PrebuiltItem &item, const QString &name, const QString &value)
{
    item.elements.append(qMakePair(qualified(name), value));
}

PrebuiltItem prebuiltIdentity(const QString &duid, const QString &puid,
                              const QDateTime &lastModified)
{
    PrebuiltItem item;
    item.attributes.append(qMakePair(QStringLiteral("duid"), duid));
    item.attributes.append(qMakePair(QStringLiteral("puid"), puid));
    item.attributes.append(qMakePair(QStringLiteral("lastModified"), utcText(lastModified)));
    return item;
}

// The baseline writer: the calls a hand-written exporter makes, on one
// reused QXmlStreamWriter, one QFile per page.
class BaselineWriter
{
public:
    BaselineWriter(const ExportSetup &setup, const QString &pathTemplate, int totalItems)
        : setup(setup)
        , pathTemplate(pathTemplate)
        , totalItems(totalItems)
        , totalPage((totalItems - 1) / setup.pageSize + 1)
        , itemName(qualified(setup.kind == Kind::Contacts ? QStringLiteral("contact")
                                                          : QStringLiteral("appointment")))
        , applicationName(qualified(setup.applicationElement()))
        , created(setup.created.toUTC().toString(QStringLiteral("yyyyMMdd'T'hhmmss'Z'")))
    {
        writer.setAutoFormatting(true);
    }

    void put(const PrebuiltItem &item)
    {
        if (pageItems == 0)
            startPage();
        writer.writeStartElement(itemName);
        for (const auto &attribute : item.attributes)
            writer.writeAttribute(attribute.first, attribute.second);
        if (item.withElements) {
            for (const auto &element : item.elements) {
                writer.writeStartElement(element.first);
                writer.writeAttribute(xmlSpace, preserve);
                writer.writeCharacters(element.second);
                writer.writeEndElement();
            }
        }
        writer.writeEndElement();
        ++written;
        if (++pageItems == setup.pageSize || written == totalItems) {
            endPage();
            ++pageIndex;
        }
    }

private:
    void startPage()
    {
        file.setFileName(ImpExp_Format::pageFileName(pathTemplate, pageIndex));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot create %s", qPrintable(file.fileName()));
        writer.setDevice(&file);
        writer.writeStartDocument();
        // Declared inside the root's start tag, so that they end with the root:
        // declared before it, they would pile up in the reused writer.
        writer.writeStartElement(QStringLiteral("vel:moxara"));
        writer.writeNamespace(ImpExp_Format::namespaceUri, QStringLiteral("vel"));
        writer.writeNamespace(ImpExp_Format::schemaInstanceUri, QStringLiteral("xs"));
        writer.writeAttribute(QStringLiteral("created"), created);
        writer.writeAttribute(QStringLiteral("schemaVersion"), QStringLiteral("1.0"));
        writer.writeAttribute(QStringLiteral("id"), setup.id);
        writer.writeAttribute(QStringLiteral("deviceId"), setup.deviceId);
        writer.writeStartElement(applicationName);
        writer.writeAttribute(QStringLiteral("max"), QString::number(setup.max));
        writer.writeAttribute(QStringLiteral("pageSize"), QString::number(setup.pageSize));
        writer.writeAttribute(QStringLiteral("page"), QString::number(pageIndex + 1));
        writer.writeAttribute(QStringLiteral("totalPage"), QString::number(totalPage));
    }

    void endPage()
    {
        writer.writeEndElement();
        writer.writeEndElement();
        writer.writeEndDocument();
        writer.setDevice(nullptr);
        file.close();
        pageItems = 0;
    }

    const ExportSetup &setup;
    const QString pathTemplate;
    const int totalItems;
    const int totalPage;
    const QString itemName;
    const QString applicationName;
    const QString created;
    const QString xmlSpace = QStringLiteral("xml:space");
    const QString preserve = QStringLiteral("preserve");
    QXmlStreamWriter writer;
    QFile file;
    int pageIndex = 0;
    int pageItems = 0;
    int written = 0;
};

Contact_Item contactItem(const ContactData &c)
{
    return Contact_Item(c.duid, c.puid, c.lastModified, c.firstName, c.lastName, c.email,
                        c.personalEmail, c.officePhone, c.personalHome, c.personalMobile, c.photo,
                        c.collaborationId, c.officePhone2, c.fax, c.company, c.otherPhone,
                        c.jobTitle);
}

Appointment_Item appointmentItem(const AppointmentData &a)
{
    return Appointment_Item(a.duid, a.puid, a.lastModified, a.title, a.place, a.beginDate,
                            a.endDate, a.repetitionPeriod, a.repetitionEndDate, a.description,
                            a.hasAlarm, a.alarmReminderDelay, a.readOnly);
}

ImpExp_XMLBuilder libraryBuilder(const ExportSetup &setup, const QString &pathTemplate,
                                 int totalItems)
{
    return ImpExp_XMLBuilder(setup.deviceId, setup.id, pathTemplate, setup.pageSize, setup.created,
                             totalItems, setup.max, setup.applicationName(), setup.lastSyncDate);
}

void tally(RunResult &result, const ImpExp_PairList &pairs)
{
    result.pairs += pairs.size();
    for (const auto &pair : pairs)
        result.textLength += pair.second.size();
}

QString itemNameOf(Kind kind)
{
    return kind == Kind::Contacts ? QStringLiteral("contact") : QStringLiteral("appointment");
}

} // namespace

QString ExportSetup::applicationName() const
{
    return kind == Kind::Contacts ? QStringLiteral("VelDirectory") : QStringLiteral("Agenda");
}

QString ExportSetup::applicationElement() const
{
    return kind == Kind::Contacts ? QStringLiteral("directory") : QStringLiteral("agenda");
}

ExportSetup ExportSetup::full(Kind kind)
{
    ExportSetup setup;
    setup.kind = kind;
    setup.deviceId = QStringLiteral("IMEI-356938035643809");
    setup.id = QStringLiteral("export-20261205-0001");
    setup.pageSize = 1000;
    setup.created = QDateTime(QDate(2026, 12, 5), QTime(18, 30, 15), Qt::LocalTime);
    setup.max = 250000;
    setup.lastSyncDate = QDateTime::fromSecsSinceEpoch(0);
    return setup;
}

ExportSetup ExportSetup::incremental(Kind kind)
{
    ExportSetup setup = full(kind);
    setup.lastSyncDate = referenceDate();
    return setup;
}

ContactData makeContact(int i)
{
    static const char *const firstNames[]
        = { "Jean", "Marie", "Émile", "Zoë", "Łukasz", "Anna", "Pierre", "Søren", "Noémie", "Kai" };
    static const char *const lastNames[]
        = { "Dupont", "Müller", "García", "O'Brien", "Nakamura", "Lefèvre", "Nowak", "Smith" };
    static const char *const companies[]
        = { "Dupont & Fils", "Acme Europe", "Bäckerei Schmitt GmbH", "Northwind Traders",
            "Les Ateliers Réunis" };
    static const char *const jobTitles[]
        = { "Sales manager", "Head of R&D", "Accountant", "Field engineer", "Directrice générale" };

    ContactData c;
    const QString number = QString::number(i).rightJustified(7, QLatin1Char('0'));
    c.duid = QLatin1String("c") + number;
    c.puid = QLatin1String("srv-") + number;
    c.lastModified = lastModifiedOf(i);
    c.firstName = pick(firstNames, 10, i);
    c.lastName = pick(lastNames, 8, i / 10);
    const QString mailName = QStringLiteral("%1.%2").arg(i % 10).arg(i);
    c.email = QStringLiteral("contact.%1@northwind.example.com").arg(mailName);
    c.personalEmail = QStringLiteral("c%1@mail.example.org").arg(i);
    c.officePhone = QStringLiteral("+33 1 42 %1 %2").arg(i % 90 + 10).arg(i % 89 + 10);
    c.personalHome = QStringLiteral("+33 4 78 %1 %2").arg(i % 87 + 10).arg(i % 83 + 10);
    c.personalMobile = QStringLiteral("+33 6 12 %1 %2").arg(i % 79 + 10).arg(i % 97 + 10);
    // A small thumbnail, already base64 as the format carries it.
    QByteArray thumbnail(90, Qt::Uninitialized);
    for (int b = 0; b < thumbnail.size(); ++b)
        thumbnail[b] = char((i * 31 + b * 7) & 0xff);
    c.photo = thumbnail.toBase64();
    c.collaborationId = QStringLiteral("collab-%1").arg(i);
    c.officePhone2 = QStringLiteral("+33 1 42 00 %1").arg(i % 90 + 10);
    c.fax = QStringLiteral("+33 1 42 99 %1").arg(i % 90 + 10);
    c.company = pick(companies, 5, i);
    c.otherPhone = QStringLiteral("+41 22 %1 %2").arg(i % 900 + 100).arg(i % 99);
    c.jobTitle = pick(jobTitles, 5, i / 3);
    return c;
}

AppointmentData makeAppointment(int i)
{
    static const char *const titles[] = { "Weekly team meeting", "Réunion budget", "Dentist",
                                          "Call with Northwind", "Sprint review" };
    static const char *const places[]
        = { "Room 4.12, Building B", "Café de la Gare", "Visio", "Genève, salle Mont-Blanc" };
    static const char *const periods[] = { "DAILY", "WEEKLY", "MONTHLY" };

    AppointmentData a;
    const QString number = QString::number(i).rightJustified(7, QLatin1Char('0'));
    a.duid = QLatin1String("a") + number;
    a.puid = QLatin1String("cal-") + number;
    a.lastModified = lastModifiedOf(i);
    a.title = pick(titles, 5, i) + QStringLiteral(" #%1").arg(i);
    a.place = pick(places, 4, i);
    a.beginDate = QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::LocalTime).addSecs(3600LL * i);
    a.endDate = a.beginDate.addSecs(5400);
    a.repetitionPeriod = pick(periods, 3, i);
    a.repetitionEndDate = a.beginDate.date().addMonths(6);
    a.description
        = QStringLiteral("Agenda: review & planning\nBring the figures for item %1.").arg(i);
    a.hasAlarm = true;
    a.alarmReminderDelay = 15;
    a.readOnly = i % 5 == 4;
    return a;
}

PrebuiltItem prebuild(const ContactData &c, const ExportSetup &setup)
{
    PrebuiltItem item = prebuiltIdentity(c.duid, c.puid, c.lastModified);
    item.withElements = writesElements(setup, c.lastModified, false);
    addElement(item, QStringLiteral("lastName"), c.lastName);
    addElement(item, QStringLiteral("firstName"), c.firstName);
    addElement(item, QStringLiteral("company"), c.company);
    addElement(item, QStringLiteral("email"), c.email);
    addElement(item, QStringLiteral("personalEmail"), c.personalEmail);
    addElement(item, QStringLiteral("officePhone"), c.officePhone);
    addElement(item, QStringLiteral("personalHome"), c.personalHome);
    addElement(item, QStringLiteral("personalMobile"), c.personalMobile);
    addElement(item, QStringLiteral("fax"), c.fax);
    addElement(item, QStringLiteral("officePhone2"), c.officePhone2);
    addElement(item, QStringLiteral("photo"), QString::fromLatin1(c.photo));
    addElement(item, QStringLiteral("collaborationId"), c.collaborationId);
    addElement(item, QStringLiteral("otherPhone"), c.otherPhone);
    addElement(item, QStringLiteral("jobTitle"), c.jobTitle);
    return item;
}

namespace
{

void addAppointmentElements(PrebuiltItem &item, const AppointmentData &a)
{
    addElement(item, QStringLiteral("begin"), utcText(a.beginDate));
    addElement(item, QStringLiteral("end"), utcText(a.endDate));
    addElement(item, QStringLiteral("title"), a.title);
    addElement(item, QStringLiteral("description"), a.description);
    addElement(item, QStringLiteral("periodicity"),
               QLatin1String("RRULE:FREQ=") + a.repetitionPeriod);
    addElement(item, QStringLiteral("repetitiveEndDate"),
               utcText(QDateTime(a.repetitionEndDate, QTime(0, 0), Qt::LocalTime)));
    addElement(item, QStringLiteral("alarmReminderDelay"), QString::number(a.alarmReminderDelay));
    addElement(item, QStringLiteral("place"), a.place);
    addElement(item, QStringLiteral("readOnly"),
               a.readOnly ? QStringLiteral("true") : QStringLiteral("false"));
}

} // namespace

PrebuiltItem prebuild(const AppointmentData &a, const ExportSetup &setup)
{
    PrebuiltItem item = prebuiltIdentity(a.duid, a.puid, a.lastModified);
    item.withElements = writesElements(setup, a.lastModified, a.readOnly);
    addAppointmentElements(item, a);
    return item;
}

// Builds each typed item and puts it, as a host does.
template<typename Data, typename MakeItem>
RunResult libraryExport(const QVector<Data> &items, const ExportSetup &setup,
                        const QString &pathTemplate, MakeItem makeItem)
{
    ImpExp_XMLBuilder builder = libraryBuilder(setup, pathTemplate, items.size());
    for (const Data &data : items)
        builder.putItem(makeItem(data));
    RunResult result;
    result.items = items.size();
    return result;
}

RunResult libraryExportContacts(const QVector<ContactData> &items, const ExportSetup &setup,
                                const QString &pathTemplate)
{
    return libraryExport(items, setup, pathTemplate, contactItem);
}

RunResult libraryExportAppointments(const QVector<AppointmentData> &items, const ExportSetup &setup,
                                    const QString &pathTemplate)
{
    return libraryExport(items, setup, pathTemplate, appointmentItem);
}

std::vector<ImpExp_Item> contactItems(const QVector<ContactData> &contacts)
{
    std::vector<ImpExp_Item> items;
    items.reserve(size_t(contacts.size()));
    for (const ContactData &contact : contacts)
        items.push_back(contactItem(contact));
    return items;
}

RunResult libraryPut(const std::vector<ImpExp_Item> &items, const ExportSetup &setup,
                     const QString &pathTemplate)
{
    ImpExp_XMLBuilder builder = libraryBuilder(setup, pathTemplate, int(items.size()));
    for (const ImpExp_Item &item : items)
        builder.putItem(item);
    RunResult result;
    result.items = qint64(items.size());
    return result;
}

RunResult nameCheck(const std::vector<ImpExp_Item> &items)
{
    RunResult result;
    for (const ImpExp_Item &item : items)
        result.items += ImpExp_XMLBuilder::isWritable(item);
    return result;
}

RunResult baselineExport(const QVector<PrebuiltItem> &items, const ExportSetup &setup,
                         const QString &pathTemplate)
{
    BaselineWriter writer(setup, pathTemplate, items.size());
    for (const PrebuiltItem &item : items)
        writer.put(item);
    RunResult result;
    result.items = items.size();
    return result;
}

RunResult baselineExportHandWritten(const QVector<AppointmentData> &items, const ExportSetup &setup,
                                    const QString &pathTemplate)
{
    BaselineWriter writer(setup, pathTemplate, items.size());
    for (const AppointmentData &a : items) {
        PrebuiltItem item = prebuiltIdentity(a.duid, a.puid, a.lastModified);
        item.withElements = writesElements(setup, a.lastModified, a.readOnly);
        // Decided first: an unchanged item costs only its identity.
        if (item.withElements)
            addAppointmentElements(item, a);
        writer.put(item);
    }
    RunResult result;
    result.items = items.size();
    return result;
}

RunResult libraryExportGenerated(int count, const QString &pathTemplate)
{
    const ExportSetup setup = ExportSetup::full(Kind::Contacts);
    ImpExp_XMLBuilder builder = libraryBuilder(setup, pathTemplate, count);
    for (int i = 0; i < count; ++i)
        builder.putItem(contactItem(makeContact(i)));
    RunResult result;
    result.items = count;
    return result;
}

RunResult baselineExportGenerated(int count, const QString &pathTemplate)
{
    const ExportSetup setup = ExportSetup::full(Kind::Contacts);
    BaselineWriter writer(setup, pathTemplate, count);
    for (int i = 0; i < count; ++i)
        writer.put(prebuild(makeContact(i), setup));
    RunResult result;
    result.items = count;
    return result;
}

RunResult libraryImport(Kind kind, const QString &pathTemplate, bool accessors)
{
    const QString itemName = itemNameOf(kind);
    RunResult result;
    ImpExp_XMLParser parser(pathTemplate);
    for (;;) {
        ImpExp_Item item(itemName);
        if (!parser.getItem(item, true))
            break;
        ++result.items;
        tally(result, item.getAttributes());
        tally(result, item.getItemElements());
        if (accessors) {
            const Appointment_Item appointment(item);
            // Only the local fields the accessors already hold: converting
            // back to UTC would be the host's cost, not the library's.
            const QDateTime begin = appointment.getBeginDate();
            const QDateTime end = appointment.getEndDate();
            result.accessorSum += begin.date().toJulianDay() + begin.time().msecsSinceStartOfDay();
            result.accessorSum += end.date().toJulianDay() + end.time().msecsSinceStartOfDay();
            result.accessorSum += appointment.getRepetitionPeriod().size();
            result.accessorSum += appointment.getRepetitionEndDate().toJulianDay();
        }
    }
    return result;
}

RunResult baselineImport(Kind kind, const QString &pathTemplate)
{
    // What a host would write with the bare reader: the item element's
    // attributes, then one pair per child element with its text.
    struct Record {
        QList<QPair<QString, QString>> attributes;
        QList<QPair<QString, QString>> elements;
    };
    const QString itemName = itemNameOf(kind);
    RunResult result;
    QXmlStreamReader reader;
    for (int page = 0;; ++page) {
        QFile file(ImpExp_Format::pageFileName(pathTemplate, page));
        if (!file.open(QIODevice::ReadOnly))
            break;
        reader.setDevice(&file);
        Record record;
        bool inside = false;
        QString pendingName;
        QString pendingText;
        while (!reader.atEnd()) {
            switch (reader.readNext()) {
            case QXmlStreamReader::StartElement:
                if (reader.name() == itemName) {
                    inside = true;
                    const QXmlStreamAttributes attributes = reader.attributes();
                    for (const QXmlStreamAttribute &attribute : attributes)
                        record.attributes.append(
                            qMakePair(attribute.name().toString(), attribute.value().toString()));
                } else if (inside) {
                    pendingName = reader.name().toString();
                }
                break;
            case QXmlStreamReader::Characters:
                if (inside && !pendingName.isEmpty())
                    pendingText = reader.text().toString();
                break;
            case QXmlStreamReader::EndElement:
                if (reader.name() == itemName) {
                    ++result.items;
                    tally(result, record.attributes);
                    tally(result, record.elements);
                    record = Record();
                    inside = false;
                } else if (inside && !pendingName.isEmpty()) {
                    record.elements.append(qMakePair(pendingName, pendingText));
                    pendingName.clear();
                    pendingText.clear();
                }
                break;
            default:
                break;
            }
        }
        if (reader.hasError())
            qFatal("baseline import: %s", qPrintable(reader.errorString()));
    }
    return result;
}

std::vector<ImpExp_Item> importAll(Kind kind, const QString &pathTemplate)
{
    const QString itemName = itemNameOf(kind);
    std::vector<ImpExp_Item> items;
    ImpExp_XMLParser parser(pathTemplate);
    for (;;) {
        ImpExp_Item item(itemName);
        if (!parser.getItem(item, true))
            return items;
        items.push_back(item);
    }
}

namespace
{

qint64 digest(const QDateTime &local)
{
    return local.date().toJulianDay() * 86400000 + local.time().msecsSinceStartOfDay();
}

} // namespace

RunResult libraryAccessors(const std::vector<ImpExp_Item> &appointments)
{
    RunResult result;
    for (const ImpExp_Item &item : appointments) {
        const Appointment_Item appointment(item);
        result.textLength += digest(appointment.getBeginDate()) + digest(appointment.getEndDate())
            + appointment.getRepetitionPeriod().size()
            + appointment.getRepetitionEndDate().toJulianDay();
        ++result.items;
    }
    return result;
}

RunResult literalAccessors(const std::vector<ImpExp_Item> &appointments)
{
    // Date and time parsed apart: QDateTime::fromString would take the fields
    // as local time first and lose the texts that fall into a DST gap.
    auto local = [](const QString &text) {
        return QDateTime(QDate::fromString(text.left(8), QStringLiteral("yyyyMMdd")),
                         QTime::fromString(text.mid(9, 6), QStringLiteral("hhmmss")), Qt::UTC)
            .toLocalTime();
    };
    RunResult result;
    for (const ImpExp_Item &item : appointments) {
        const QString period = item.getElement(QStringLiteral("periodicity"));
        QString word;
        if (period.isEmpty())
            word = QStringLiteral("ONE_TIME");
        else if (period.contains(QLatin1String("DAILY")))
            word = QStringLiteral("DAILY");
        else if (period.contains(QLatin1String("WEEKLY")))
            word = QStringLiteral("WEEKLY");
        else if (period.contains(QLatin1String("MONTHLY")))
            word = QStringLiteral("MONTHLY");
        result.textLength += digest(local(item.getElement(QStringLiteral("begin"))))
            + digest(local(item.getElement(QStringLiteral("end")))) + word.size()
            + local(item.getElement(QStringLiteral("repetitiveEndDate"))).date().toJulianDay();
        ++result.items;
    }
    return result;
}

qint64 setSize(const QString &pathTemplate)
{
    qint64 size = 0;
    for (int page = 0;; ++page) {
        const QFileInfo info(ImpExp_Format::pageFileName(pathTemplate, page));
        if (!info.exists())
            return size;
        size += info.size();
    }
}

QString compareSets(const QString &a, const QString &b)
{
    for (int page = 0;; ++page) {
        QFile fa(ImpExp_Format::pageFileName(a, page));
        QFile fb(ImpExp_Format::pageFileName(b, page));
        const bool hasA = fa.open(QIODevice::ReadOnly);
        const bool hasB = fb.open(QIODevice::ReadOnly);
        if (!hasA && !hasB)
            return QString();
        if (hasA != hasB)
            return QStringLiteral("page file %1 exists in one set only").arg(page);
        const QByteArray bytesA = fa.readAll();
        const QByteArray bytesB = fb.readAll();
        if (bytesA == bytesB)
            continue;
        int at = 0;
        while (at < bytesA.size() && at < bytesB.size() && bytesA[at] == bytesB[at])
            ++at;
        const int from = qMax(0, at - 40);
        return QStringLiteral("page file %1 differs at byte %2:\n  library:  %3\n  baseline: %4")
            .arg(page)
            .arg(at)
            .arg(QString::fromUtf8(bytesA.mid(from, 100)).replace(QLatin1Char('\n'), u'|'),
                 QString::fromUtf8(bytesB.mid(from, 100)).replace(QLatin1Char('\n'), u'|'));
    }
}
