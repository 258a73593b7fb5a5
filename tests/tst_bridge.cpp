// The vCard and iCalendar bridge of velxml, driven through the built
// executable and checked through KContacts and KCalendarCore.

#include "TimeZoneScope.h"

#include "ContactMapping.h"
#include "EventMapping.h"

#include <Appointment_Item.h>
#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <KCalendarCore/Alarm>
#include <KCalendarCore/ICalFormat>
#include <KCalendarCore/MemoryCalendar>
#include <KContacts/VCardConverter>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace Bridge;

namespace
{

// A named zone with daylight saving; KCalendarCore needs names, not POSIX rules.
const char *const berlin = "Europe/Berlin";

struct Run {
    bool finished = false;
    bool crashed = false;
    int exitCode = -1;
    QString out;
    QString err;
};

Run velxml(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(VELXML_EXECUTABLE), arguments);
    Run run;
    run.finished = process.waitForFinished(60000);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

struct Summary {
    int read = -1, written = -1, skipped = -1, approximated = -1;
};

Summary summaryOf(const QString &out)
{
    static const QRegularExpression line(
        QStringLiteral(
            "^[a-z-]+: read (\\d+), written (\\d+), skipped (\\d+), approximated (\\d+)$"),
        QRegularExpression::MultilineOption);
    Summary summary;
    const QRegularExpressionMatch m = line.match(out);
    if (m.hasMatch()) {
        summary.read = m.captured(1).toInt();
        summary.written = m.captured(2).toInt();
        summary.skipped = m.captured(3).toInt();
        summary.approximated = m.captured(4).toInt();
    }
    return summary;
}

QString dataFile(const QString &relative)
{
    return QStringLiteral(VELXML_TEST_DATA "/bridge/") + relative;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writeText(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return QString();
    return path;
}

QList<ImpExp_Item> readItems(const QString &pathTemplate, const QString &name)
{
    QList<ImpExp_Item> items;
    ImpExp_XMLParser parser(pathTemplate);
    for (;;) {
        ImpExp_Item item(name);
        if (!parser.getItem(item, true))
            break;
        items << item;
    }
    return items;
}

KCalendarCore::MemoryCalendar::Ptr loadIcs(const QString &path)
{
    KCalendarCore::MemoryCalendar::Ptr calendar(
        new KCalendarCore::MemoryCalendar(QTimeZone::systemTimeZone()));
    QString error;
    if (!loadCalendar(contents(path), calendar, &error))
        return {};
    return calendar;
}

// The UIDs that a --verbose summary names as approximated.
QSet<QString> approximatedUids(const QString &out)
{
    static const QRegularExpression line(
        QStringLiteral("uid=(.*?)(?: recurrence-id=\\S+)?: approximated:"));
    QSet<QString> uids;
    auto it = line.globalMatch(out);
    while (it.hasNext())
        uids.insert(it.next().captured(1));
    return uids;
}

QString describe(const ContactFields &f)
{
    return QStringList({ f.duid, f.lastModified.toUTC().toString(Qt::ISODate), f.firstName,
                         f.lastName, f.company, f.email, f.personalEmail, f.officePhone,
                         f.officePhone2, f.personalHome, f.personalMobile, f.fax, f.otherPhone,
                         f.collaborationId, f.jobTitle,
                         QString::number(f.photo.size()) + QStringLiteral(" photo bytes") })
        .join(QLatin1String(" | "));
}

const QByteArray icsHead = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//bridge//EN\r\n";
const QByteArray icsTail = "END:VCALENDAR\r\n";

QByteArray icsEvent(const QByteArray &lines)
{
    return icsHead + "BEGIN:VEVENT\r\nUID:e1\r\nDTSTAMP:20240101T000000Z\r\nSUMMARY:Test\r\n"
        + lines + "END:VEVENT\r\n" + icsTail;
}

} // namespace

class BridgeTest : public QObject
{
    Q_OBJECT

private slots:
    void collection_data();
    void collection();
    void vcardRoundTrip_data();
    void vcardRoundTrip();
    void icalRoundTrip_data();
    void icalRoundTrip();
    void contactMapping_data();
    void contactMapping();
    void uidlessCardsGetStableDuid();
    void photoTravelsAsBase64();
    void recurrence_data();
    void recurrence();
    void alarms_data();
    void alarms();
    void namedZoneReadUnderAnotherZone();
    void allDayEvents();
    void unknownFrequencyWordTravels();
    void sinceLeavesIdentifiersOnly();
    void strictWritesNothing_data();
    void strictWritesNothing();
    void usageErrors_data();
    void usageErrors();
};

// Every file of the collection: no crash, no hang, the expected counts, and
// a set holding exactly the written items; files the libraries refuse give
// exit 2 and name the file.
void BridgeTest::collection_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("read");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<int>("approximated");

    struct Row {
        const char *file;
        int exitCode, read, written, skipped, approximated;
    };
    // Read under Europe/Berlin. Skips: to-dos, journals, detached occurrences
    // without their series, events without DTSTART, cards with nothing to carry.
    const Row rows[] = {
        { "vcard/evolution-data-server/11.vcf", 0, 1, 1, 0, 0 },
        { "vcard/evolution-data-server/12.vcf", 0, 1, 1, 0, 0 },
        { "vcard/evolution-data-server/13.vcf", 0, 1, 1, 0, 0 },
        { "vcard/evolution-data-server/4.vcf", 0, 1, 1, 0, 0 },
        { "vcard/evolution-data-server/5.vcf", 0, 1, 1, 0, 0 },
        { "vcard/evolution-data-server/name-only.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/John_Doe_ANDROID.vcf", 0, 6, 6, 0, 0 },
        { "vcard/ez-vcard/John_Doe_BLACK_BERRY.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/John_Doe_EVOLUTION.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/John_Doe_GMAIL.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/John_Doe_IPHONE.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/John_Doe_LOTUS_NOTES.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/John_Doe_MAC_ADDRESS_BOOK.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/John_Doe_MS_OUTLOOK.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/fullcontact.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/gmail-list.vcf", 0, 3, 3, 0, 0 },
        { "vcard/ez-vcard/outlook-2003.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/outlook-2007.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/rfc2426-example.vcf", 0, 2, 2, 0, 0 },
        { "vcard/ez-vcard/rfc6350-example.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ez-vcard/thunderbird-MoreFunctionsForAddressBook-extension.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ical.js/escape_semicolon.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ical.js/vcard.vcf", 0, 1, 1, 0, 0 },
        { "vcard/ical.js/vcard3.vcf", 1, 1, 1, 0, 1 }, // PHOTO as a URL
        { "vcard/ical.js/vcard_grouped.vcf", 1, 1, 0, 1, 0 }, // only an ADR
        { "vcard/kcontacts/testfullvcard.vcf", 0, 1, 1, 0, 0 },
        { "vcard/kcontacts/vcard1.vcf", 0, 1, 1, 0, 0 },
        { "vcard/kcontacts/vcard10.vcf", 0, 5, 5, 0, 0 },
        { "vcard/kcontacts/vcard12.vcf", 0, 1, 1, 0, 0 },
        { "vcard/kcontacts/vcard15.vcf", 0, 1, 1, 0, 0 },
        { "vcard/kcontacts/vcard3.vcf", 0, 1, 1, 0, 0 },
        { "vcard/kcontacts/vcard4.vcf", 0, 1, 1, 0, 0 },
        { "vcard/kcontacts/vcard5.vcf", 0, 1, 1, 0, 0 },
        { "vcard/kcontacts/vcard7.vcf", 1, 1, 0, 1, 0 }, // only a LABEL
        { "vcard/kcontacts/vcard8.vcf", 0, 1, 1, 0, 0 },
        { "vcard/kcontacts/vcard9.vcf", 0, 1, 1, 0, 0 },
        { "vcard/kcontacts/vcard_extension_case_normalization.vcf", 0, 1, 1, 0, 0 },
        { "vcard/kcontacts/vcardwithitemasapplesupport.vcf", 0, 1, 1, 0, 0 },
        { "vcard/libical/test.vcf", 0, 2, 2, 0, 0 },
        { "vcard/radicale/broken-vcard.vcf", 0, 1, 1, 0, 0 },
        { "vcard/radicale/contact4-with-bday-no-year.vcf", 0, 1, 1, 0, 0 },
        { "vcard/radicale/contact_photo_with_data_uri.vcf", 0, 1, 1, 0, 0 },
        { "vcard/radicale/contact_photo_with_data_uri_v4.vcf", 0, 1, 1, 0, 0 },
        { "vcard/vobject/radicale-1587.vcf", 0, 1, 1, 0, 0 },
        { "ical/biweekly/outlook-2010.ics", 0, 1, 1, 0, 0 },
        { "ical/biweekly/vcal-example1.vcs", 0, 1, 1, 0, 0 },
        { "ical/evolution-data-server/event-6-a.ics", 1, 1, 0, 1, 0 },
        { "ical/evolution-data-server/event-6.ics", 1, 1, 1, 0, 1 },
        { "ical/evolution-data-server/invite-5.ics", 0, 1, 1, 0, 0 },
        { "ical/ical.js/blank_line_mid.ics", 0, 0, 0, 0, 0 },
        { "ical/ical.js/google_birthday.ics", 1, 4, 1, 3, 0 },
        { "ical/ical.js/multiple_rrules.ics", 1, 1, 1, 0, 1 },
        { "ical/ical.js/property_params.ics", 0, 0, 0, 0, 0 },
        { "ical/ical.js/recur_instances.ics", 1, 1, 1, 0, 1 },
        { "ical/ical.js/utc_negative_zero.ics", 0, 1, 1, 0, 0 },
        { "ical/kcalendarcore/AppleICal_1.5.ics", 1, 25, 12, 13, 2 },
        { "ical/kcalendarcore/KOrganizer_3.1.ics", 1, 13, 13, 0, 2 },
        { "ical/kcalendarcore/KOrganizer_Test07.ics", 1, 1, 1, 0, 1 },
        { "ical/kcalendarcore/LibICal_TestCase57.ics", 1, 1, 1, 0, 1 },
        { "ical/kcalendarcore/Mozilla_1.0.ics", 1, 5, 4, 1, 0 },
        { "ical/kcalendarcore/PayDay.ics", 1, 1, 1, 0, 1 },
        { "ical/kcalendarcore/RFC2445_RRULETest10.ics", 1, 1, 1, 0, 1 },
        { "ical/kcalendarcore/RFC2445_RRULETest16.ics", 1, 1, 1, 0, 1 },
        { "ical/kcalendarcore/RFC2445_RRULETest27.ics", 1, 1, 1, 0, 1 },
        { "ical/kcalendarcore/RFC2445_RRULETest30.ics", 1, 1, 1, 0, 1 },
        { "ical/kcalendarcore/RFC2445_RRULETest33.ics", 1, 1, 1, 0, 1 },
        { "ical/kcalendarcore/RFC2445_RRULETest35.ics", 1, 1, 1, 0, 1 },
        { "ical/kcalendarcore/eGroupware.ics", 0, 1, 1, 0, 0 },
        { "ical/kcalendarcore/exdate.ics", 1, 1, 1, 0, 1 },
        { "ical/kcalendarcore/test_recurrenceid_thisandfuture.ics", 1, 1, 0, 1, 0 },
        { "ical/libical/1-1.ics", 0, 0, 0, 0, 0 },
        { "ical/libical/2445.ics", 1, 5, 3, 2, 0 },
        { "ical/libical/2446.ics", 1, 12, 5, 7, 1 },
        { "ical/libical/issue251.ics", 2, -1, -1, -1, -1 },
        { "ical/libical/recur-errors.ics", 1, 4, 4, 0, 4 },
        { "ical/libical/user-cal.vcf", 0, 4, 4, 0, 0 },
        { "ical/python-icalendar/alarm_etar_future.ics", 0, 1, 1, 0, 0 },
        { "ical/python-icalendar/alarm_google_future.ics", 0, 1, 1, 0, 0 },
        { "ical/python-icalendar/alarm_thunderbird_future.ics", 0, 1, 1, 0, 0 },
        { "ical/python-icalendar/bom_calendar.ics", 0, 0, 0, 0, 0 },
        { "ical/python-icalendar/broken_ical.ics", 0, 1, 1, 0, 0 },
        { "ical/python-icalendar/event_with_recurrence_exdates_on_different_lines.ics", 1, 1, 1, 0,
          1 },
        { "ical/python-icalendar/issue_1081_invalid_rrule_freq.ics", 0, 1, 1, 0, 0 },
        { "ical/python-icalendar/issue_237_fail_to_parse_timezone_with_non_ascii_tzid.ics", 0, 1, 1,
          0, 0 },
        { "ical/python-icalendar/issue_722_missing_timezones.ics", 1, 4, 1, 3, 1 },
        { "ical/python-icalendar/parsing_error.ics", 1, 2, 2, 0, 2 },
        { "ical/python-icalendar/rfc_5545_end.ics", 0, 0, 0, 0, 0 },
        { "ical/radicale/broken-vevent.ics", 2, -1, -1, -1, -1 },
        { "ical/radicale/event_full_day_rrule_until_before_dtstart.ics", 0, 1, 1, 0, 0 },
        { "ical/radicale/event_timezone_seconds.ics", 1, 1, 1, 0, 1 }, // "no alarm" placeholder
        { "ical/vobject/ms_tzid.ics", 0, 1, 1, 0, 0 },
        { "ical/vobject/radicale-0827.ics", 1, 1, 1, 0, 1 },
        { "ical/vobject/tzid_8bit.ics", 0, 1, 1, 0, 0 },
    };
    for (const Row &row : rows) {
        QTest::newRow(row.file) << QString::fromLatin1(row.file) << row.exitCode << row.read
                                << row.written << row.skipped << row.approximated;
    }
}

void BridgeTest::collection()
{
    QFETCH(QString, file);
    QFETCH(int, exitCode);
    QFETCH(int, read);
    QFETCH(int, written);
    QFETCH(int, skipped);
    QFETCH(int, approximated);
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
    const bool contacts = file.startsWith(QLatin1String("vcard/"));
    const Run run = velxml({ contacts ? QStringLiteral("from-vcard") : QStringLiteral("from-ical"),
                             dataFile(file), pathTemplate, QStringLiteral("--verbose") });
    QVERIFY2(run.finished, "hangs");
    QVERIFY2(!run.crashed, qPrintable(run.err));
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode == 2) {
        QVERIFY2(run.err.contains(file.section(QLatin1Char('/'), -1)), qPrintable(run.err));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("set_00.xml"))));
        return;
    }
    const Summary summary = summaryOf(run.out);
    QCOMPARE(summary.read, read);
    QCOMPARE(summary.written, written);
    QCOMPARE(summary.skipped, skipped);
    QCOMPARE(summary.approximated, approximated);
    QCOMPARE(run.out.count(QStringLiteral(": skipped: ")), skipped);
    QCOMPARE(run.out.count(QStringLiteral(": approximated: ")), approximated);
    QCOMPARE(readItems(pathTemplate,
                       contacts ? QStringLiteral("contact") : QStringLiteral("appointment"))
                 .size(),
             written);
}

// vCard -> set -> vCard keeps every carried field, compared through KContacts.
void BridgeTest::vcardRoundTrip_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("version");
    const QDir root(dataFile(QStringLiteral("vcard")));
    for (const QString &folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir sub(root.filePath(folder));
        for (const QString &name :
             sub.entryList({ QStringLiteral("*.vcf") }, QDir::Files, QDir::Name)) {
            const QString file = QStringLiteral("vcard/%1/%2").arg(folder, name);
            for (const char *version : { "3", "4" })
                QTest::newRow(qPrintable(file + QStringLiteral(" as ") + QLatin1String(version)))
                    << file << QString::fromLatin1(version);
        }
    }
}

void BridgeTest::vcardRoundTrip()
{
    QFETCH(QString, file);
    QFETCH(QString, version);
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
    const QString out = dir.filePath(QStringLiteral("out.vcf"));
    QVERIFY(velxml({ QStringLiteral("from-vcard"), dataFile(file), pathTemplate }).exitCode != 2);
    const Run back = velxml(
        { QStringLiteral("to-vcard"), pathTemplate, out, QStringLiteral("--vcard"), version });
    QVERIFY2(back.exitCode == 0, qPrintable(back.out + back.err));

    KContacts::VCardConverter converter;
    const QByteArray original = contents(dataFile(file));
    const KContacts::Addressee::List cards = converter.parseVCards(original);
    const QList<bool> ownUid = cardsWithOwnUid(original, cards);
    QHash<QString, ContactFields> returned;
    const KContacts::Addressee::List backCards = converter.parseVCards(contents(out));
    for (const KContacts::Addressee &card : backCards) {
        QStringList ignored;
        const ContactFields fields = contactFromAddressee(card, true, &ignored, &ignored);
        returned.insert(fields.duid, fields);
    }
    int carried = 0;
    for (int i = 0; i < cards.size(); ++i) {
        QStringList ignored;
        const ContactFields expected
            = contactFromAddressee(cards.at(i), ownUid.at(i), &ignored, &ignored);
        if (expected.carriesNothing())
            continue;
        ++carried;
        QVERIFY2(returned.contains(expected.duid), qPrintable(expected.duid));
        const ContactFields actual = returned.value(expected.duid);
        QVERIFY2(actual == expected,
                 qPrintable(QStringLiteral("\n  sent %1\n  back %2")
                                .arg(describe(expected), describe(actual))));
    }
    QCOMPARE(backCards.size(), carried);
}

// iCalendar -> set -> iCalendar keeps UID, texts and instants; events carried
// exactly keep their first 50 occurrences.
void BridgeTest::icalRoundTrip_data()
{
    QTest::addColumn<QString>("file");
    const QDir root(dataFile(QStringLiteral("ical")));
    for (const QString &folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir sub(root.filePath(folder));
        for (const QString &name : sub.entryList(QDir::Files, QDir::Name)) {
            const QString file = QStringLiteral("ical/%1/%2").arg(folder, name);
            if (name != QLatin1String("issue251.ics") && name != QLatin1String("broken-vevent.ics"))
                QTest::newRow(qPrintable(file)) << file;
        }
    }
}

void BridgeTest::icalRoundTrip()
{
    QFETCH(QString, file);
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
    const QString out = dir.filePath(QStringLiteral("out.ics"));
    const Run there = velxml(
        { QStringLiteral("from-ical"), dataFile(file), pathTemplate, QStringLiteral("--verbose") });
    QVERIFY2(there.exitCode != 2, qPrintable(there.err));
    const Run back = velxml({ QStringLiteral("to-ical"), pathTemplate, out });
    QVERIFY2(back.exitCode == 0, qPrintable(back.out + back.err));

    const auto original = loadIcs(dataFile(file));
    const auto returned = loadIcs(out);
    QVERIFY(original);
    QVERIFY(returned);
    const QSet<QString> approximated = approximatedUids(there.out);
    QHash<QString, int> masters;
    for (const auto &event : original->rawEvents()) {
        if (!event->hasRecurrenceId() && event->dtStart().isValid())
            ++masters[event->uid()];
    }
    int compared = 0;
    for (const auto &event : original->rawEvents()) {
        if (event->hasRecurrenceId() || !event->dtStart().isValid()
            || masters.value(event->uid()) > 1)
            continue;
        const KCalendarCore::Event::Ptr copy = returned->event(event->uid());
        QVERIFY2(copy, qPrintable(event->uid()));
        ++compared;
        QCOMPARE(copy->summary(), event->summary());
        QCOMPARE(copy->location(), event->location());
        QCOMPARE(copy->description(), event->description());
        QCOMPARE(copy->allDay(), event->allDay());
        if (event->allDay()) {
            QCOMPARE(copy->dtStart().date(), event->dtStart().date());
            const QDate lastDay = qMax(event->dtEnd().date(), event->dtStart().date());
            QCOMPARE(copy->dtEnd().date(), lastDay);
        } else {
            QCOMPARE(copy->dtStart().toUTC(), event->dtStart().toUTC());
            const QDateTime end = event->dtEnd().isValid() ? event->dtEnd() : event->dtStart();
            QCOMPARE(copy->dtEnd().toUTC(), end.toUTC());
        }
        if (!approximated.contains(event->uid())) {
            QCOMPARE(firstOccurrences(*copy, comparedOccurrences),
                     firstOccurrences(*event, comparedOccurrences));
        }
    }
    QCOMPARE(returned->rawEvents().size(), summaryOf(there.out).written);
    QVERIFY(compared <= returned->rawEvents().size());
}

// Which card property lands in which element, checked on the written set.
void BridgeTest::contactMapping_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QStringList>("elements"); // name=value, in the set's order

    const QByteArray head = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:c1\r\n";
    const QByteArray tail = "END:VCARD\r\n";
    QTest::newRow("email is the work address, personalEmail the home one")
        << head
            + "N:Doe;Jane;;;\r\nEMAIL;TYPE=HOME:h@x.org\r\nEMAIL:u@x.org\r\nEMAIL;TYPE=WORK:w@x."
              "org\r\n"
            + tail
        << QStringList(
               { "lastName=Doe", "firstName=Jane", "email=w@x.org", "personalEmail=h@x.org" });
    QTest::newRow("two untyped addresses fill email, then personalEmail")
        << head + "N:Doe;Jane;;;\r\nEMAIL:a@x.org\r\nEMAIL:b@x.org\r\nEMAIL:c@x.org\r\n" + tail
        << QStringList(
               { "lastName=Doe", "firstName=Jane", "email=a@x.org", "personalEmail=b@x.org" });
    QTest::newRow("phones by kind, the first one left over is otherPhone")
        << head
            + "N:Doe;Jane;;;\r\nTEL;TYPE=WORK:1\r\nTEL;TYPE=HOME:2\r\nTEL;TYPE=CELL:3\r\nTEL;TYPE="
              "FAX:4\r\n"
              "TEL;TYPE=WORK,VOICE:5\r\nTEL;TYPE=WORK:6\r\nTEL:7\r\n"
            + tail
        << QStringList({ "lastName=Doe", "firstName=Jane", "officePhone=1", "personalHome=2",
                         "personalMobile=3", "fax=4", "officePhone2=5", "otherPhone=6" });
    QTest::newRow("without N the formatted name goes to lastName")
        << head + "FN:Jane Q. Doe\r\n" + tail << QStringList({ "lastName=Jane Q. Doe" });
    QTest::newRow("company, title, first IMPP")
        << head
            + "N:Doe;Jane;;;\r\nORG:Acme;Sales\r\nTITLE:Chief\r\nIMPP:xmpp:jane@x.org\r\n"
              "IMPP:sip:jane@x.org\r\n"
            + tail
        << QStringList({ "lastName=Doe", "firstName=Jane", "company=Acme",
                         "collaborationId=xmpp:jane@x.org", "jobTitle=Chief" });
}

void BridgeTest::contactMapping()
{
    QFETCH(QByteArray, card);
    QFETCH(QStringList, elements);
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
    const Run run = velxml({ QStringLiteral("from-vcard"),
                             writeText(dir, QStringLiteral("in.vcf"), card), pathTemplate });
    QCOMPARE(run.exitCode, 0);
    const QList<ImpExp_Item> items = readItems(pathTemplate, QStringLiteral("contact"));
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first().getAttribute(QStringLiteral("duid")), QStringLiteral("c1"));
    QStringList actual;
    for (const auto &pair : items.first().getItemElements())
        actual << pair.first + QLatin1Char('=') + pair.second;
    QCOMPARE(actual, elements);
}

// A card without UID gets an identifier made from its content: the same
// card the same one, another card another one.
void BridgeTest::uidlessCardsGetStableDuid()
{
    QTemporaryDir dir;
    const QByteArray jane
        = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jane;;;\r\nFN:Jane Doe\r\nEND:VCARD\r\n";
    const QByteArray john
        = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;John;;;\r\nFN:John Doe\r\nEND:VCARD\r\n";
    const QString janeFile = writeText(dir, QStringLiteral("jane.vcf"), jane);
    const QString johnFile = writeText(dir, QStringLiteral("john.vcf"), john);
    QStringList duids;
    for (const QString &file : { janeFile, janeFile, johnFile }) {
        const QString pathTemplate
            = dir.filePath(QStringLiteral("s%1").arg(duids.size()) + QStringLiteral("_%1.xml"));
        QCOMPARE(velxml({ QStringLiteral("from-vcard"), file, pathTemplate }).exitCode, 0);
        const QList<ImpExp_Item> items = readItems(pathTemplate, QStringLiteral("contact"));
        QCOMPARE(items.size(), 1);
        duids << items.first().getAttribute(QStringLiteral("duid"));
    }
    QVERIFY(!duids.at(0).isEmpty());
    QCOMPARE(duids.at(1), duids.at(0));
    QVERIFY(duids.at(2) != duids.at(0));
}

// An inline photo travels as base64 of its bytes and comes back with the same
// bytes and a media type sniffed from them.
void BridgeTest::photoTravelsAsBase64()
{
    const QByteArray png
        = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAAD0lEQVQIHQEEAPv/"
                                 "AP///wX+Av4DfRnGAAAAAElFTkSuQmCC");
    QTemporaryDir dir;
    const QString in = writeText(
        dir, QStringLiteral("in.vcf"),
        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:p1\r\nN:Doe;Jane;;;\r\nPHOTO;ENCODING=b;TYPE=PNG:"
            + png.toBase64() + "\r\nEND:VCARD\r\n");
    const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
    QCOMPARE(velxml({ QStringLiteral("from-vcard"), in, pathTemplate }).exitCode, 0);
    const QList<ImpExp_Item> items = readItems(pathTemplate, QStringLiteral("contact"));
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first().getElement(QStringLiteral("photo")),
             QString::fromLatin1(png.toBase64()));
    for (const char *version : { "3", "4" }) {
        const QString out = dir.filePath(QStringLiteral("out%1.vcf").arg(QLatin1String(version)));
        QCOMPARE(velxml({ QStringLiteral("to-vcard"), pathTemplate, out, QStringLiteral("--vcard"),
                          QString::fromLatin1(version) })
                     .exitCode,
                 0);
        const KContacts::Addressee::List cards
            = KContacts::VCardConverter().parseVCards(contents(out));
        QCOMPARE(cards.size(), 1);
        QCOMPARE(cards.first().photo().rawData(), png);
        QVERIFY2(cards.first().photo().type().contains(QLatin1String("png"), Qt::CaseInsensitive),
                 qPrintable(cards.first().photo().type()));
    }
}

// Which rules travel exactly, and the end date they leave in the set.
void BridgeTest::recurrence_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("periodicity");
    QTest::addColumn<QDate>("endDate"); // as the accessor reads it in Berlin

    QTest::newRow("weekly on DTSTART's own weekday is exact")
        << QByteArray("DTSTART:20240102T090000Z\r\nRRULE:FREQ=WEEKLY;BYDAY=TU;COUNT=4\r\n") << 0
        << "RRULE:FREQ=WEEKLY" << QDate(2024, 1, 23);
    QTest::newRow("monthly on DTSTART's own day of the month is exact")
        << QByteArray("DTSTART:20240115T100000Z\r\nRRULE:FREQ=MONTHLY;BYMONTHDAY=15;COUNT=3\r\n")
        << 0 << "RRULE:FREQ=MONTHLY" << QDate(2024, 3, 15);
    QTest::newRow("weekly on two weekdays is approximated")
        << QByteArray("DTSTART:20240102T090000Z\r\nRRULE:FREQ=WEEKLY;BYDAY=TU,TH;COUNT=4\r\n") << 1
        << "RRULE:FREQ=WEEKLY" << QDate(2024, 1, 11);
    QTest::newRow("INTERVAL is approximated")
        << QByteArray("DTSTART:20240102T090000Z\r\nRRULE:FREQ=DAILY;INTERVAL=2;COUNT=3\r\n") << 1
        << "RRULE:FREQ=DAILY" << QDate(2024, 1, 6);
    QTest::newRow("monthly with COUNT ends on the last occurrence's day")
        << QByteArray("DTSTART:20240115T100000Z\r\nRRULE:FREQ=MONTHLY;COUNT=3\r\n") << 0
        << "RRULE:FREQ=MONTHLY" << QDate(2024, 3, 15);
    QTest::newRow("UNTIL after midnight UTC is the next local day")
        << QByteArray("DTSTART:20240110T230000Z\r\nRRULE:FREQ=DAILY;UNTIL=20240112T230000Z\r\n")
        << 0 << "RRULE:FREQ=DAILY" << QDate(2024, 1, 13);
    QTest::newRow("UNTIL earlier in the day than the event ends the day before")
        << QByteArray("DTSTART:20240101T120000Z\r\nRRULE:FREQ=DAILY;UNTIL=20240103T100000Z\r\n")
        << 0 << "RRULE:FREQ=DAILY" << QDate(2024, 1, 2);
    QTest::newRow("yearly travels as its word")
        << QByteArray("DTSTART:20240229T100000Z\r\nRRULE:FREQ=YEARLY;COUNT=2\r\n") << 0
        << "RRULE:FREQ=YEARLY" << QDate(2028, 2, 29);
    QTest::newRow("EXDATE is approximated") << QByteArray(
        "DTSTART:20240102T090000Z\r\nRRULE:FREQ=DAILY;COUNT=5\r\nEXDATE:20240103T090000Z\r\n")
                                            << 1 << "RRULE:FREQ=DAILY" << QDate(2024, 1, 6);
    QTest::newRow("RDATE is approximated") << QByteArray(
        "DTSTART:20240102T090000Z\r\nRRULE:FREQ=DAILY;COUNT=2\r\nRDATE:20240110T090000Z\r\n")
                                           << 1 << "RRULE:FREQ=DAILY" << QDate(2024, 1, 3);
    QTest::newRow("a weekly series in a named zone across a clock change is approximated")
        << QByteArray("DTSTART;TZID=Europe/Berlin:20240320T090000\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n")
        << 1 << "RRULE:FREQ=WEEKLY" << QDate(2024, 4, 3);
    QTest::newRow("a clock change after the 50th occurrence still counts")
        << QByteArray(
               "DTSTART;TZID=Europe/Berlin:20240101T090000\r\nRRULE:FREQ=DAILY;COUNT=120\r\n")
        << 1 << "RRULE:FREQ=DAILY" << QDate(2024, 4, 29);
    QTest::newRow("no rule: no periodicity")
        << QByteArray("DTSTART:20240102T090000Z\r\nDTEND:20240102T100000Z\r\n") << 0 << QString()
        << QDate();
}

void BridgeTest::recurrence()
{
    QFETCH(QByteArray, lines);
    QFETCH(int, exitCode);
    QFETCH(QString, periodicity);
    QFETCH(QDate, endDate);
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString in = writeText(dir, QStringLiteral("in.ics"), icsEvent(lines));
    const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
    const Run run
        = velxml({ QStringLiteral("from-ical"), in, pathTemplate, QStringLiteral("--verbose") });
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
    const QList<ImpExp_Item> items = readItems(pathTemplate, QStringLiteral("appointment"));
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first().getElement(QStringLiteral("periodicity")), periodicity);
    QCOMPARE(Appointment_Item(items.first()).getRepetitionEndDate(), endDate);

    const QString out = dir.filePath(QStringLiteral("out.ics"));
    QCOMPARE(velxml({ QStringLiteral("to-ical"), pathTemplate, out }).exitCode, 0);
    const auto original = loadIcs(in);
    const auto returned = loadIcs(out);
    QVERIFY(original && returned);
    // Every row's series is short: compare all of it.
    const QList<QDateTime> before = firstOccurrences(*original->event(QStringLiteral("e1")), 500);
    const QList<QDateTime> after = firstOccurrences(*returned->event(QStringLiteral("e1")), 500);
    if (exitCode == 0)
        QCOMPARE(after, before);
    else
        QVERIFY(after != before);
}

void BridgeTest::alarms_data()
{
    QTest::addColumn<QByteArray>("alarm");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("delay"); // null: no alarm carried

    QTest::newRow("relative to the start") << QByteArray("TRIGGER:-PT15M\r\n") << 0 << "15";
    QTest::newRow("absolute trigger converted")
        << QByteArray("TRIGGER;VALUE=DATE-TIME:20240102T083000Z\r\n") << 0 << "30";
    QTest::newRow("relative to the end: 50 minutes after the start")
        << QByteArray("TRIGGER;RELATED=END:-PT10M\r\n") << 0 << "-50";
    QTest::newRow("seconds are approximated") << QByteArray("TRIGGER:-PT90S\r\n") << 1 << "1";
    QTest::newRow("a placeholder decades away is not carried")
        << QByteArray("TRIGGER;VALUE=DATE-TIME:19760401T005545Z\r\n") << 1 << QString();
}

void BridgeTest::alarms()
{
    QFETCH(QByteArray, alarm);
    QFETCH(int, exitCode);
    QFETCH(QString, delay);
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString in = writeText(dir, QStringLiteral("in.ics"),
                                 icsEvent("DTSTART:20240102T090000Z\r\nDTEND:20240102T100000Z\r\n"
                                          "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:x\r\n"
                                          + alarm + "END:VALARM\r\n"));
    const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
    const Run run = velxml({ QStringLiteral("from-ical"), in, pathTemplate });
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
    const QList<ImpExp_Item> items = readItems(pathTemplate, QStringLiteral("appointment"));
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first().getElement(QStringLiteral("alarmReminderDelay")), delay);

    const QString out = dir.filePath(QStringLiteral("out.ics"));
    QCOMPARE(velxml({ QStringLiteral("to-ical"), pathTemplate, out }).exitCode, 0);
    const auto returned = loadIcs(out);
    QVERIFY(returned);
    const auto alarmsBack = returned->event(QStringLiteral("e1"))->alarms();
    QCOMPARE(alarmsBack.size(), delay.isNull() ? 0 : 1);
    if (!delay.isNull()) {
        QCOMPARE(alarmsBack.first()->type(), KCalendarCore::Alarm::Display);
        QCOMPARE(alarmsBack.first()->startOffset().asSeconds(), -60 * delay.toInt());
    }
}

// An event in New York read on a machine in Tokyo keeps its instant; the text
// in the set does not depend on the reader's zone.
void BridgeTest::namedZoneReadUnderAnotherZone()
{
    const QString file = dataFile(QStringLiteral("ical/biweekly/outlook-2010.ics"));
    for (const char *zone : { "Asia/Tokyo", "America/Sao_Paulo" }) {
        TimeZoneScope tz(zone);
        QTemporaryDir dir;
        const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
        QCOMPARE(velxml({ QStringLiteral("from-ical"), file, pathTemplate }).exitCode, 0);
        const QList<ImpExp_Item> items = readItems(pathTemplate, QStringLiteral("appointment"));
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first().getElement(QStringLiteral("begin")),
                 QStringLiteral("20130610T160000Z"));
        QCOMPARE(items.first().getElement(QStringLiteral("end")),
                 QStringLiteral("20130610T170000Z"));
        const QString out = dir.filePath(QStringLiteral("out.ics"));
        QCOMPARE(velxml({ QStringLiteral("to-ical"), pathTemplate, out }).exitCode, 0);
        const auto returned = loadIcs(out);
        QVERIFY(returned);
        QCOMPARE(returned->rawEvents().size(), 1);
        QCOMPARE(returned->rawEvents().first()->dtStart().toUTC(),
                 QDateTime(QDate(2013, 6, 10), QTime(16, 0), Qt::UTC));
    }
}

// All-day events run from local midnight to local midnight after their last
// day, and come back as all-day events on the same dates.
void BridgeTest::allDayEvents()
{
    TimeZoneScope tz(berlin);
    struct Case {
        QByteArray lines;
        const char *begin;
        const char *end;
        QDate first, last;
    };
    const Case cases[] = {
        { "DTSTART;VALUE=DATE:20240301\r\nDTEND;VALUE=DATE:20240303\r\n", "20240229T230000Z",
          "20240302T230000Z", QDate(2024, 3, 1), QDate(2024, 3, 2) },
        { "DTSTART;VALUE=DATE:20240701\r\n", "20240630T220000Z", "20240701T220000Z",
          QDate(2024, 7, 1), QDate(2024, 7, 1) },
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString in = writeText(dir, QStringLiteral("in.ics"), icsEvent(c.lines));
        const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
        QCOMPARE(velxml({ QStringLiteral("from-ical"), in, pathTemplate }).exitCode, 0);
        const QList<ImpExp_Item> items = readItems(pathTemplate, QStringLiteral("appointment"));
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first().getElement(QStringLiteral("begin")), QString::fromLatin1(c.begin));
        QCOMPARE(items.first().getElement(QStringLiteral("end")), QString::fromLatin1(c.end));
        const QString out = dir.filePath(QStringLiteral("out.ics"));
        QCOMPARE(velxml({ QStringLiteral("to-ical"), pathTemplate, out }).exitCode, 0);
        const auto event = loadIcs(out)->event(QStringLiteral("e1"));
        QVERIFY(event);
        QVERIFY(event->allDay());
        QCOMPARE(event->dtStart().date(), c.first);
        QCOMPARE(event->dtEnd().date(), c.last);
    }
}

// The accessor knows DAILY, WEEKLY and MONTHLY only; other words written by
// a set (here by the library itself) still come back as an RRULE.
void BridgeTest::unknownFrequencyWordTravels()
{
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
    {
        ImpExp_XMLBuilder builder(QStringLiteral("d"), QStringLiteral("i"), pathTemplate, 10,
                                  QDateTime::currentDateTimeUtc(), 2, 2, QStringLiteral("Agenda"),
                                  QDateTime::fromTime_t(0));
        const QDateTime begin(QDate(2024, 5, 6), QTime(10, 0), Qt::UTC);
        builder.putItem(Appointment_Item(QStringLiteral("y"), QString(), QDateTime(),
                                         QStringLiteral("Y"), QString(), begin, begin.addSecs(3600),
                                         QStringLiteral("HOURLY"), QDate(2024, 5, 6), QString(),
                                         false, 0, false));
        builder.putItem(Appointment_Item(QStringLiteral("z"), QString(), QDateTime(),
                                         QStringLiteral("Z"), QString(), begin, begin.addSecs(3600),
                                         QStringLiteral("FORTNIGHTLY"), QDate(), QString(), false,
                                         0, false));
    }
    const QString out = dir.filePath(QStringLiteral("out.ics"));
    const Run run
        = velxml({ QStringLiteral("to-ical"), pathTemplate, out, QStringLiteral("--verbose") });
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(
        run.out.contains(QLatin1String("duid=z: approximated: repetition 'FORTNIGHTLY' unknown")),
        qPrintable(run.out));
    const auto calendar = loadIcs(out);
    QVERIFY(calendar);
    const auto hourly = calendar->event(QStringLiteral("y"));
    QVERIFY(hourly && hourly->recurs());
    QCOMPARE(hourly->recurrence()->defaultRRuleConst()->recurrenceType(),
             KCalendarCore::RecurrenceRule::rHourly);
    // Hourly from 10:00 UTC (12:00 in Berlin) to the end of 6 May in Berlin.
    QCOMPARE(firstOccurrences(*hourly, 50).size(), 12);
    QVERIFY(!calendar->event(QStringLiteral("z"))->recurs());
}

// --since makes older cards carry their identifiers only; to-vcard then has
// nothing to write for them and says why.
void BridgeTest::sinceLeavesIdentifiersOnly()
{
    QTemporaryDir dir;
    const QString in = writeText(dir, QStringLiteral("in.vcf"),
                                 "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:old\r\nN:Old;A;;;\r\nREV:"
                                 "20200101T000000Z\r\nEND:VCARD\r\n"
                                 "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:new\r\nN:New;B;;;\r\nREV:"
                                 "20240101T000000Z\r\nEND:VCARD\r\n");
    const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
    QCOMPARE(
        velxml({ QStringLiteral("from-vcard"), in, pathTemplate, QStringLiteral("--since"),
                 QStringLiteral("2022-06-01"), QStringLiteral("--page-size"), QStringLiteral("1") })
            .exitCode,
        0);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("set_01.xml"))));
    const QList<ImpExp_Item> items = readItems(pathTemplate, QStringLiteral("contact"));
    QCOMPARE(items.size(), 2);
    QVERIFY(items.at(0).getItemElements().isEmpty());
    QCOMPARE(items.at(1).getElement(QStringLiteral("lastName")), QStringLiteral("New"));
    const Run back
        = velxml({ QStringLiteral("to-vcard"), pathTemplate,
                   dir.filePath(QStringLiteral("out.vcf")), QStringLiteral("--verbose") });
    QCOMPARE(back.exitCode, 1);
    QCOMPARE(summaryOf(back.out).skipped, 1);
    QVERIFY2(back.out.contains(QLatin1String("duid=old: skipped: identifiers only")),
             qPrintable(back.out));
}

// --strict writes nothing when anything would be approximated.
void BridgeTest::strictWritesNothing_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("input");
    QTest::newRow("from-vcard, photo given as a URL")
        << "from-vcard" << dataFile(QStringLiteral("vcard/ical.js/vcard3.vcf"));
    QTest::newRow("from-ical, EXDATE")
        << "from-ical" << dataFile(QStringLiteral("ical/kcalendarcore/exdate.ics"));
    QTest::newRow("to-vcard, photo that is not base64") << "to-vcard" << QString();
}

void BridgeTest::strictWritesNothing()
{
    QFETCH(QString, command);
    QFETCH(QString, input);
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("set_%1.xml"));
    QString target = pathTemplate;
    QString firstFile = dir.filePath(QStringLiteral("set_00.xml"));
    QStringList arguments { command, input, target };
    if (command == QLatin1String("to-vcard")) {
        ImpExp_XMLBuilder builder(QStringLiteral("d"), QStringLiteral("i"), pathTemplate, 10,
                                  QDateTime::currentDateTimeUtc(), 1, 1,
                                  QStringLiteral("VelDirectory"), QDateTime::fromTime_t(0));
        builder.putItem(Contact_Item(QStringLiteral("c"), QString(), QDateTime(),
                                     QStringLiteral("Jane"), QStringLiteral("Doe"), {}, {}, {}, {},
                                     {}, QByteArray("not base64 ***"), {}, {}, {}, {}, {}, {}));
        builder.closeBuilder();
        firstFile = dir.filePath(QStringLiteral("out.vcf"));
        arguments = QStringList { command, pathTemplate, firstFile };
        QCOMPARE(velxml(arguments).exitCode, 1); // written, with the photo left out
        QVERIFY(QFile::remove(firstFile));
    }
    const Run run = velxml(arguments + QStringList { QStringLiteral("--strict") });
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains(QLatin1String("--strict")));
    QCOMPARE(summaryOf(run.out).written, 0);
    QVERIFY(!QFile::exists(firstFile));
}

void BridgeTest::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString vcf = dataFile(QStringLiteral("vcard/kcontacts/vcard1.vcf"));
    const QString ics = dataFile(QStringLiteral("ical/kcalendarcore/exdate.ics"));
    const QString set = QStringLiteral("/nonexistent-dir/set_%1.xml");
    QTest::newRow("from-vcard without arguments") << QStringList { "from-vcard" };
    QTest::newRow("from-vcard without a template") << QStringList { "from-vcard", vcf };
    QTest::newRow("template without %1") << QStringList { "from-vcard", vcf, "set.xml" };
    QTest::newRow("page size 0") << QStringList { "from-vcard", vcf, set, "--page-size", "0" };
    QTest::newRow("unknown option") << QStringList { "from-ical", ics, set, "--bogus" };
    QTest::newRow("since that is no date")
        << QStringList { "from-ical", ics, set, "--since", "yesterday" };
    QTest::newRow("unreadable vCard file") << QStringList { "from-vcard", "/nonexistent.vcf", set };
    QTest::newRow("a file without cards") << QStringList { "from-vcard", ics, set };
    QTest::newRow("unparsable calendar")
        << QStringList { "from-ical", dataFile(QStringLiteral("ical/libical/issue251.ics")), set };
    QTest::newRow("set that cannot be written") << QStringList { "from-vcard", vcf, set };
    QTest::newRow("vCard version 5")
        << QStringList { "to-vcard", set, "/tmp/x.vcf", "--vcard", "5" };
    QTest::newRow("no set to read") << QStringList { "to-vcard", set, "/tmp/x.vcf" };
    QTest::newRow("to-ical without OUT") << QStringList { "to-ical", set };
}

void BridgeTest::usageErrors()
{
    QFETCH(QStringList, arguments);
    TimeZoneScope tz(berlin);
    const Run run = velxml(arguments);
    QVERIFY(run.finished && !run.crashed);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(!run.err.isEmpty());
}

QTEST_GUILESS_MAIN(BridgeTest)
#include "tst_bridge.moc"
