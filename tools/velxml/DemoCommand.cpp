#include "CommandLine.h"
#include "Commands.h"
#include "ItemPlaces.h"
#include "SetReport.h"
#include "TextTable.h"

#include <Appointment_Item.h>
#include <Contact_Item.h>
#include <ImpExp_SetCheck.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>
#include <xml/ImpExp_Format.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QVector>

// The library's road on built-in sample data: an incremental export of a
// directory and an agenda, read back and explained.

namespace
{

QString text(const char *utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

QDateTime utc(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC);
}

QDateTime local(int month, int day, int hour, int minute)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute), Qt::LocalTime);
}

constexpr int demoPageSize = 5;

// The last synchronisation: items changed since go with their fields.
const QDateTime &referenceDate()
{
    static const QDateTime date = utc(2026, 3, 1, 0, 0);
    return date;
}

// A 1x1 picture, as base64: the format carries photos as text.
const char photo[] = "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8"
                     "jx0gAAAABJRU5ErkJggg==";

struct SampleContact {
    const char *duid;
    const char *puid;
    QDateTime changed;
    const char *firstName;
    const char *lastName;
    const char *company;
    const char *jobTitle;
    const char *email;
    const char *officePhone;
    const char *personalMobile;
    bool hasPhoto;
    const char *personalEmail = nullptr;
    const char *personalHome = nullptr;
    const char *fax = nullptr;
    const char *officePhone2 = nullptr;
    const char *otherPhone = nullptr;
    const char *collaborationId = nullptr;
};

QVector<SampleContact> sampleContacts()
{
    QVector<SampleContact> contacts = {
        { "c-101", "srv-4711", utc(2026, 3, 1, 9, 12), "Jane", "Doe", "Acme Rail",
          "Signalling engineer", "jane.doe@acme-rail.example", "+44 20 7946 0101",
          "+44 7700 900101", true },
        { "c-102", "srv-4712", utc(2026, 2, 27, 15, 40), "Zoë", "Ångström", "Nordljus AB", nullptr,
          "zoe@nordljus.example", nullptr, "+46 70 555 01 02", true },
        { "c-103", nullptr, utc(2026, 3, 1, 11, 0), "José", "Müller-Lüdenscheidt",
          "Café Größe GmbH", "Geschäftsführer", "jose@cafe-groesse.example", "+49 30 5550 103",
          nullptr, false },
        { "c-104", nullptr, utc(2026, 3, 1, 14, 20), "Ναταλία", "Παπαδοπούλου", "Αθηνά Λογισμικό",
          "Αναλύτρια", "natalia@athena-soft.example", "+30 21 0555 0104", "+30 69 5550 0104",
          true },
        { "c-105", nullptr, utc(2026, 1, 15, 8, 5), "Łukasz", "Żółkiewski", "Wisła Logistyka",
          nullptr, "lukasz@wisla-log.example", "+48 22 555 01 05", nullptr, false },
        { "c-106", "srv-4716", utc(2026, 3, 2, 7, 45), "Aoife", "Ní Bhriain", nullptr, nullptr,
          nullptr, nullptr, "+353 85 555 0106", false },
        { "c-107", nullptr, utc(2026, 3, 1, 16, 30), "小龙", "李", "长城咨询", "顾问",
          "li.xiaolong@changcheng.example", "+86 10 5555 0107", nullptr, false },
        { "c-108", nullptr, utc(2026, 2, 20, 12, 0), "Søren", "Østergård", "Fjord Fisk A/S",
          nullptr, "soren@fjordfisk.example", nullptr, "+45 20 55 01 08", true },
        { "c-109", nullptr, utc(2026, 3, 1, 16, 0), "Amélie", "Dufresne", "Atelier Lumière",
          "Photographe", "amelie@atelier-lumiere.example", nullptr, "+33 6 55 50 01 09", true },
        { "c-110", nullptr, utc(2026, 2, 28, 23, 59), "Oğuz", "Yılmaz", "Boğaziçi Yazılım", nullptr,
          "oguz@bogazici.example", "+90 212 555 01 10", nullptr, false },
        { "c-111", nullptr, utc(2026, 3, 1, 0, 0), "Priya", "Raghunathan", "Kaveri Systems", "CTO",
          "priya@kaveri.example", "+91 80 5555 0111", nullptr, false },
        { "c-112", nullptr, QDateTime(), nullptr, nullptr, "Acme Rail", "Help desk",
          "helpdesk@acme-rail.example", "+44 20 7946 0000", nullptr, false },
    };
    contacts[0].collaborationId = "jdoe@chat.acme-rail.example";
    contacts[2].fax = "+49 30 5550 199";
    contacts[2].officePhone2 = "+49 30 5550 104";
    contacts[5].personalEmail = "aoife.nb@mail.example";
    contacts[5].personalHome = "+353 1 555 0106";
    contacts[11].otherPhone = "+44 20 7946 0999";
    return contacts;
}

Contact_Item makeContact(const SampleContact &c)
{
    return Contact_Item(
        text(c.duid), text(c.puid), c.changed, text(c.firstName), text(c.lastName), text(c.email),
        text(c.personalEmail), text(c.officePhone), text(c.personalHome), text(c.personalMobile),
        c.hasPhoto ? QByteArray(photo) : QByteArray(), text(c.collaborationId),
        text(c.officePhone2), text(c.fax), text(c.company), text(c.otherPhone), text(c.jobTitle));
}

QVector<Appointment_Item> sampleAppointments()
{
    struct Sample {
        const char *duid;
        QDateTime changed;
        const char *title;
        const char *place;
        QDateTime begin;
        QDateTime end;
        const char *repetition;
        QDate repetitionEnd;
        const char *description;
        int alarm; // minutes before; -1 for none
        bool readOnly;
    };
    const Sample samples[] = {
        { "a-201", utc(2026, 3, 1, 8, 0), "Team stand-up", "Room 4", local(3, 2, 9, 0),
          local(3, 2, 9, 15), "DAILY", QDate(2026, 3, 31), nullptr, 5, false },
        { "a-202", utc(2026, 2, 20, 10, 0), "Quarterly review", "Boardroom", local(3, 5, 14, 0),
          local(3, 5, 16, 0), "ONE_TIME", QDate(), "Bring the Q1 figures", 30, false },
        { "a-203", utc(2026, 3, 1, 10, 0), "Dentist", "Dr Aalto, Mannerheimintie 12",
          local(3, 4, 8, 30), local(3, 4, 9, 0), nullptr, QDate(), nullptr, 60, false },
        { "a-204", utc(2026, 3, 1, 12, 0), "Founders' Day (public holiday)", nullptr,
          local(3, 6, 0, 0), local(3, 7, 0, 0), nullptr, QDate(), "From the company calendar", -1,
          true },
        { "a-205", utc(2026, 3, 1, 18, 0), "Yoga", "Studio Lótus", local(3, 3, 18, 30),
          local(3, 3, 19, 30), "WEEKLY", QDate(2026, 6, 30), nullptr, -1, false },
        { "a-206", utc(2026, 2, 1, 9, 0), "Rent transfer", nullptr, local(3, 1, 8, 0),
          local(3, 1, 8, 5), "MONTHLY", QDate(), nullptr, 0, false },
        { "a-207", utc(2026, 3, 2, 7, 30), "Coffee with Zoë", "Kaffebar Ålesund",
          local(3, 3, 15, 0), local(3, 3, 15, 45), nullptr, QDate(), nullptr, 10, false },
        { "a-208", utc(2026, 3, 1, 20, 15), "Flight VX 204 to Athens", "Terminal 2",
          local(3, 7, 6, 10), local(3, 7, 9, 40), nullptr, QDate(),
          "Gate closes 05:50; meet Ναταλία at arrivals", 120, false },
        { "a-209", utc(2026, 2, 10, 16, 0), "Sprint planning", "Room 4", local(3, 2, 10, 0),
          local(3, 2, 11, 30), "WEEKLY", QDate(2026, 5, 25), nullptr, 15, false },
        { "a-210", utc(2026, 3, 1, 9, 0), "Parents' evening", "Grundschule Süd", local(3, 5, 19, 0),
          local(3, 5, 20, 30), nullptr, QDate(), nullptr, -1, false },
        { "a-211", QDateTime(), "Backup check", nullptr, local(3, 1, 17, 0), local(3, 1, 17, 30),
          "MONTHLY", QDate(), nullptr, 15, false },
        { "a-212", utc(2026, 1, 20, 11, 0), "Company offsite", "Hotel Säntisblick",
          local(3, 12, 9, 0), local(3, 13, 17, 0), nullptr, QDate(), nullptr, -1, true },
    };
    QVector<Appointment_Item> appointments;
    for (const Sample &s : samples)
        appointments.append(Appointment_Item(text(s.duid), QString(), s.changed, text(s.title),
                                             text(s.place), s.begin, s.end, text(s.repetition),
                                             s.repetitionEnd, text(s.description), s.alarm >= 0,
                                             s.alarm, s.readOnly));
    return appointments;
}

QString when(const QDateTime &dateTime)
{
    return QLocale::c().toString(dateTime.toLocalTime(), QStringLiteral("ddd d MMM yyyy hh:mm"));
}

QString day(const QDate &date)
{
    return QLocale::c().toString(date, QStringLiteral("ddd d MMM yyyy"));
}

// Joins @p parts with " · " into lines of at most 100 columns, indented.
void printWrapped(QTextStream &out, const QStringList &parts, const QString &indent)
{
    QString current;
    for (const QString &part : parts) {
        if (!current.isEmpty() && indent.size() + current.size() + 3 + part.size() > 100) {
            out << indent << current << '\n';
            current.clear();
        }
        if (!current.isEmpty())
            current += QStringLiteral(" · ");
        current += part;
    }
    if (!current.isEmpty())
        out << indent << current << '\n';
}

struct Export {
    const char *application;
    const char *kind;
    const char *noun;
    QString pathTemplate;
};

void printWritten(QTextStream &out, const Export &what, const ImpExp_SetCheck &check, int count)
{
    out << "  " << what.application << ": " << plural(count, QLatin1String(what.noun))
        << ", page size " << demoPageSize << '\n';
    QVector<QStringList> rows;
    for (const ImpExp_SetCheck::Page &page : check.pages())
        rows.append({ displayName(what.pathTemplate, page.fileNumber),
                      QStringLiteral("page %1 of %2").arg(page.page, page.totalPage),
                      plural(page.items, QStringLiteral("item")),
                      plural(QFileInfo(page.fileName).size(), QStringLiteral("byte")) });
    printTable(out, rows, QStringLiteral("    "));
}

void printExcerpt(QTextStream &out, const QString &fileName, int lines)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    out << "\nThe start of " << QFileInfo(fileName).fileName() << ":\n";
    for (int i = 0; i < lines && !file.atEnd(); ++i) {
        QString line = QString::fromUtf8(file.readLine());
        line.chop(line.endsWith(QLatin1Char('\n')) ? 1 : 0);
        if (line.size() > 96)
            line = line.left(95) + QStringLiteral("…");
        out << "  " << line << '\n';
    }
}

// Why an item came without its fields, judged from what it carries.
QString identifiersOnly(const ImpExp_Item &item)
{
    const QDateTime changed = item.getLastModificationDate();
    if (changed.isValid() && changed < referenceDate())
        return QStringLiteral("identifiers only: unchanged since %1").arg(when(changed));
    return QStringLiteral("identifiers only: read-only, its fields go only into a full export");
}

QStringList contactFields(const ImpExp_Item &item)
{
    QStringList parts;
    for (const auto &pair : item.getItemElements()) {
        if (pair.first == QLatin1String("lastName") || pair.first == QLatin1String("firstName"))
            continue;
        if (pair.first == QLatin1String("photo"))
            parts.append(QStringLiteral("photo: %1 characters of base64").arg(pair.second.size()));
        else
            parts.append(pair.first + QStringLiteral(": ") + pair.second);
    }
    return parts;
}

// @p head, the item's padded duid, begins the item's first line.
void printContact(QTextStream &out, const QString &head, const ImpExp_Item &item)
{
    const QString last = item.getElement(QStringLiteral("lastName"));
    const QString first = item.getElement(QStringLiteral("firstName"));
    QString name
        = last.isEmpty() || first.isEmpty() ? last + first : last + QStringLiteral(", ") + first;
    if (name.isEmpty())
        name = QStringLiteral("(no name)");
    QStringList notes;
    const QString puid = item.getAttribute(QStringLiteral("puid"));
    if (!puid.isEmpty())
        notes.append(QStringLiteral("puid ") + puid);
    const QDateTime changed = item.getLastModificationDate();
    notes.append(changed.isValid() ? QStringLiteral("changed ") + when(changed)
                                   : QStringLiteral("no change date: always sent in full"));
    out << "    " << head << name << "  (" << notes.join(QStringLiteral(", ")) << ")\n";
    printWrapped(out, contactFields(item), QStringLiteral("           "));
}

void printAppointment(QTextStream &out, const QString &head, const ImpExp_Item &item)
{
    // The accessors turn the texts back into local dates and a repetition.
    const Appointment_Item appointment(item);
    const QDateTime begin = appointment.getBeginDate();
    const QDateTime end = appointment.getEndDate();
    const QString span = begin.date() == end.date()
        ? QStringLiteral("%1–%2").arg(when(begin), end.toString(QStringLiteral("hh:mm")))
        : QStringLiteral("%1 – %2").arg(when(begin), when(end));
    out << "    " << head << span << "  " << item.getElement(QStringLiteral("title")) << '\n';
    QStringList parts;
    const QString place = item.getElement(QStringLiteral("place"));
    if (!place.isEmpty())
        parts.append(QStringLiteral("at ") + place);
    const QString period = appointment.getRepetitionPeriod();
    if (period != QLatin1String("ONE_TIME")) {
        const QDate until = appointment.getRepetitionEndDate();
        parts.append(QStringLiteral("repeats %1")
                         .arg(period.isNull() ? QStringLiteral("(unknown rule)") : period.toLower())
                     + (until.isValid() ? QStringLiteral(" until %1").arg(day(until)) : QString()));
    }
    const QString alarm = item.getElement(QStringLiteral("alarmReminderDelay"));
    if (!alarm.isNull())
        parts.append(QStringLiteral("alarm %1 min before").arg(alarm));
    const QString description = item.getElement(QStringLiteral("description"));
    if (!description.isEmpty())
        parts.append(QLatin1Char('"') + description + QLatin1Char('"'));
    if (item.getElement(QStringLiteral("readOnly")) == QLatin1String("true"))
        parts.append(QStringLiteral("read-only"));
    printWrapped(out, parts, QStringLiteral("           "));
}

// Reads one set back through the library, page by page as the header pass
// found them, and prints each item.
void printReadBack(QTextStream &out, const Export &what, const ImpExp_SetCheck &check)
{
    const QString kind = QLatin1String(what.kind);
    ImpExp_XMLParser reader(what.pathTemplate);
    ItemPlaces places(check.pages(), kind);
    QVector<ImpExp_Item> items;
    for (;;) {
        ImpExp_Item item(kind);
        if (!reader.getItem(item, true))
            break;
        items.append(item);
    }
    int withFields = 0;
    for (const ImpExp_Item &item : qAsConst(items))
        withFields += item.getItemElements().isEmpty() ? 0 : 1;
    out << "\nRead back: " << what.application << ", "
        << plural(items.size(), QLatin1String(what.noun)) << " (" << withFields
        << " with their fields, " << items.size() - withFields << " with identifiers only)\n";
    int shownPage = -1;
    for (const ImpExp_Item &item : qAsConst(items)) {
        int position;
        const int page = places.next(&position);
        if (page >= 0 && page != shownPage) {
            shownPage = page;
            const ImpExp_SetCheck::Page &header = check.pages().at(page);
            out << "  " << displayName(what.pathTemplate, header.fileNumber) << ", page "
                << header.page << " of " << header.totalPage << '\n';
        }
        const QString head = item.getAttribute(QStringLiteral("duid")).leftJustified(7);
        if (item.getItemElements().isEmpty())
            out << "    " << head << identifiersOnly(item) << '\n';
        else if (kind == QLatin1String("contact"))
            printContact(out, head, item);
        else
            printAppointment(out, head, item);
    }
}

} // namespace

int runDemo(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("velxml demo"), QStringLiteral("[DIR]"),
                     QStringLiteral("Exports a sample directory (12 contacts) and agenda (12 "
                                    "appointments) incrementally into DIR, reads both sets back "
                                    "through the library and reports what went where."));
    line.parser().addPositionalArgument(QStringLiteral("DIR"),
                                        QStringLiteral("Where the page files go (default: a new "
                                                       "folder in the system's temporary "
                                                       "folder)."),
                                        QStringLiteral("[DIR]"));
    const int status = line.parse(arguments, 0, 1);
    if (status >= 0)
        return status;

    QString directory;
    if (line.parser().positionalArguments().isEmpty()) {
        QTemporaryDir temporary(QDir::temp().filePath(QStringLiteral("velxml-demo-XXXXXX")));
        if (!temporary.isValid())
            return line.dataError(QStringLiteral("cannot create a temporary folder: %1")
                                      .arg(temporary.errorString()));
        temporary.setAutoRemove(false);
        directory = temporary.path();
    } else {
        directory = QDir(line.parser().positionalArguments().constFirst()).absolutePath();
        if (!QDir().mkpath(directory))
            return line.dataError(QStringLiteral("cannot create %1").arg(directory));
    }
    const QDir dir(directory);
    const Export exports[] = {
        { "directory (\"VelDirectory\")", "contact", "contact",
          dir.filePath(QStringLiteral("dir_%1.xml")) },
        { "agenda (\"Agenda\")", "appointment", "appointment",
          dir.filePath(QStringLiteral("agenda_%1.xml")) },
    };
    const QDateTime created = utc(2026, 3, 2, 8, 30);
    QTextStream &out = standardOutput();
    try {
        const QVector<SampleContact> contacts = sampleContacts();
        {
            ImpExp_XMLBuilder builder(QStringLiteral("phone-0042"), QStringLiteral("sync-0317"),
                                      exports[0].pathTemplate, demoPageSize, created,
                                      contacts.size(), contacts.size(),
                                      QStringLiteral("VelDirectory"), referenceDate());
            for (const SampleContact &contact : contacts)
                builder.putItem(makeContact(contact));
        }
        const QVector<Appointment_Item> appointments = sampleAppointments();
        {
            ImpExp_XMLBuilder builder(QStringLiteral("phone-0042"), QStringLiteral("sync-0317"),
                                      exports[1].pathTemplate, demoPageSize, created,
                                      appointments.size(), appointments.size(),
                                      QStringLiteral("Agenda"), referenceDate());
            for (const Appointment_Item &appointment : appointments)
                builder.putItem(appointment);
        }

        out << toolName() << " demo: a sample export of a device's directory and agenda, in "
            << directory
            << "\n\nLast synchronisation (the reference date): " << when(referenceDate()) << ' '
            << referenceDate().toLocalTime().timeZoneAbbreviation()
            << ".\nItems changed since then go with their fields; the others, and read-only "
               "items, with\ntheir identifiers only. Times are local.\n\nWritten:\n";
        ImpExp_SetCheck directoryCheck(exports[0].pathTemplate);
        ImpExp_SetCheck agendaCheck(exports[1].pathTemplate);
        directoryCheck.run();
        agendaCheck.run();
        printWritten(out, exports[0], directoryCheck, contacts.size());
        printWritten(out, exports[1], agendaCheck, appointments.size());
        printExcerpt(out, ImpExp_Format::pageFileName(exports[0].pathTemplate, 0), 9);
        printReadBack(out, exports[0], directoryCheck);
        printReadBack(out, exports[1], agendaCheck);
    } catch (const ImpExp_Exception &e) {
        return line.dataError(QString::fromLatin1(e.what()));
    }
    out << "\nLook closer:\n"
        << "  " << toolName() << " info " << exports[0].pathTemplate << '\n'
        << "  " << toolName() << " validate " << exports[1].pathTemplate << '\n'
        << "  " << toolName() << " dump --json --kind appointment " << exports[1].pathTemplate
        << '\n'
        << "  " << toolName() << " report -o agenda.html " << exports[1].pathTemplate << '\n';
    out.flush();
    return ExitOk;
}
