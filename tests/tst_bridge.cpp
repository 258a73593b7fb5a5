// The vCard and iCalendar bridge of velxml, driven through the built
// executable and checked through KContacts and KCalendarCore.

#include "TimeZoneScope.h"
#include "VelxmlRun.h"

#include "ContactMapping.h"
#include "EventMapping.h"

#include <ImpExp_XMLParser.h>

#include <KCalendarCore/Alarm>
#include <KCalendarCore/MemoryCalendar>
#include <KContacts/VCardConverter>

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace Bridge;

namespace
{

// A named zone with daylight saving; KCalendarCore needs names, not POSIX rules.
const char *const berlin = "Europe/Berlin";

using Run = VelxmlRun;

Run velxml(const QStringList &arguments)
{
    return runVelxml(arguments);
}

// Read, written, skipped, approximated and lossy from the summary line; empty without one.
QList<int> summaryOf(const QString &out)
{
    static const QRegularExpression line("^[a-z-]+: read (\\d+), written (\\d+), skipped (\\d+), "
                                         "approximated (\\d+), lossy (\\d+)(?:; not carried: .+)?$",
                                         QRegularExpression::MultilineOption);
    QList<int> counts;
    for (const QString &count : line.match(out).capturedTexts().mid(1))
        counts << count.toInt();
    return counts;
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
    QFile file(dir.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() ? file.fileName()
                                                                              : QString();
}

QList<ImpExp_Item> readItems(const QString &set, const QString &name)
{
    QList<ImpExp_Item> items;
    ImpExp_XMLParser parser(set);
    for (ImpExp_Item item(name); parser.getItem(item, true); item = ImpExp_Item(name))
        items << item;
    return items;
}

QStringList elementsOf(const ImpExp_Item &item)
{
    QStringList pairs;
    for (const auto &pair : item.getItemElements())
        pairs << pair.first + '=' + pair.second;
    return pairs;
}

KCalendarCore::MemoryCalendar::Ptr loadIcs(const QString &path)
{
    KCalendarCore::MemoryCalendar::Ptr calendar(
        new KCalendarCore::MemoryCalendar(QTimeZone::systemTimeZone()));
    QString error;
    if (!loadCalendar(contents(path), calendar, &error))
        calendar.reset();
    return calendar;
}

// vCard -> set -> vCard 3.0 and 4.0 keeps every carried field of every card
// that carries any, compared through KContacts.
void checkCardsReturn(const QString &in, const QString &set, const QTemporaryDir &dir)
{
    KContacts::VCardConverter converter;
    const KContacts::Addressee::List cards = converter.parseVCards(contents(in));
    const QList<bool> ownUid = cardsWithOwnUid(contents(in), cards);
    QStringList ignored;
    for (const char *version : { "3", "4" }) {
        const QString out = dir.filePath(QStringLiteral("out.vcf"));
        const Run back = velxml({ "to-vcard", set, out, "--vcard", version });
        QVERIFY2(back.exitCode == 0, qPrintable(back.out + back.err));
        const KContacts::Addressee::List backCards = converter.parseVCards(contents(out));
        QHash<QString, KContacts::Addressee> returned;
        for (const KContacts::Addressee &card : backCards)
            returned.insert(contactFromAddressee(card, true, nullptr, &ignored).duid, card);
        int carried = 0;
        for (int i = 0; i < cards.size(); ++i) {
            const ContactFields sent
                = contactFromAddressee(cards.at(i), ownUid.at(i), nullptr, &ignored);
            if (sent.carriesNothing())
                continue;
            ++carried;
            const ContactFields back
                = contactFromAddressee(returned.value(sent.duid), true, nullptr, &ignored);
            QVERIFY2(back == sent,
                     qPrintable(sent.duid + ": " + elementsOf(contactItem(sent)).join(' ')
                                + "\n  came back as " + elementsOf(contactItem(back)).join(' ')));
        }
        QCOMPARE(backCards.size(), carried);
    }
}

// iCalendar -> set -> iCalendar keeps UID, texts, instants and the first
// alarm's time; events carried exactly keep their first occurrences. Series
// sent in several pieces (RECURRENCE-ID, one UID twice) are not compared.
void checkEventsReturn(const QString &in, const QString &set, const QString &verbose,
                       const QTemporaryDir &dir)
{
    const QString out = dir.filePath(QStringLiteral("out.ics"));
    const Run back = velxml({ "to-ical", set, out });
    QVERIFY2(back.exitCode == 0, qPrintable(back.out + back.err));
    const auto original = loadIcs(in);
    const auto returned = loadIcs(out);
    QVERIFY(original && returned);
    static const QRegularExpression line("uid=(.*?)(?: recurrence-id=\\S+)?: approximated:");
    QSet<QString> approximated;
    for (auto it = line.globalMatch(verbose); it.hasNext();)
        approximated.insert(it.next().captured(1));
    QHash<QString, int> masters;
    for (const auto &event : original->rawEvents())
        masters[event->uid()] += !event->hasRecurrenceId() && event->dtStart().isValid();
    for (const auto &event : original->rawEvents()) {
        if (event->hasRecurrenceId() || !event->dtStart().isValid()
            || masters.value(event->uid()) > 1)
            continue;
        const KCalendarCore::Event::Ptr copy = returned->event(event->uid());
        QVERIFY2(copy, qPrintable(event->uid()));
        QCOMPARE(QStringList({ copy->summary(), copy->location(), copy->description() }),
                 QStringList({ event->summary(), event->location(), event->description() }));
        QCOMPARE(copy->allDay(), event->allDay());
        // Only a change date the file gives travels; none is made up on the way.
        QCOMPARE(copy->lastModified().toUTC(), event->lastModified().toUTC());
        if (event->allDay()) {
            QCOMPARE(copy->dtStart().date(), event->dtStart().date());
            QCOMPARE(copy->dtEnd().date(), qMax(event->dtEnd().date(), event->dtStart().date()));
        } else {
            QCOMPARE(copy->dtStart().toUTC(), event->dtStart().toUTC());
            const QDateTime end = event->dtEnd().isValid() ? event->dtEnd() : event->dtStart();
            QCOMPARE(copy->dtEnd().toUTC(), end.toUTC());
        }
        if (approximated.contains(event->uid()))
            continue;
        QCOMPARE(firstOccurrences(*copy, comparedOccurrences),
                 firstOccurrences(*event, comparedOccurrences));
        QCOMPARE(copy->alarms().size(), qMin(event->alarms().size(), 1));
        if (!copy->alarms().isEmpty()) {
            QCOMPARE(copy->alarms().first()->type(), KCalendarCore::Alarm::Display);
            QCOMPARE(copy->alarms().first()->time(), event->alarms().first()->time());
        }
    }
    QCOMPARE(returned->rawEvents().size(), summaryOf(verbose).value(1));
}

} // namespace

class BridgeTest : public QObject
{
    Q_OBJECT

private slots:
    void collection_data();
    void collection();
    void cards_data();
    void cards();
    void events_data();
    void events();
    void toICalCountsLosses_data();
    void toICalCountsLosses();
    void toICalKeepsTheWallClock_data();
    void toICalKeepsTheWallClock();
    void sinceLeavesIdentifiersOnly();
    void toICalSkipsDuplicatesInAFixedOrder();
    void usageErrors_data();
    void usageErrors();
    void setsThatCannotBeWritten_data();
    void setsThatCannotBeWritten();
};

// Every file of the collection: no crash, no hang, the expected counts with
// a reason per skip or approximation, a set holding exactly the written items,
// and the way back; files the libraries refuse give exit 2 and name the file.
void BridgeTest::collection_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("counts");

    // Read under Europe/Berlin: "file read/skipped/approximated/lossy" (the file named by as
    // much of its path as tells it apart); every file not listed holds one item carried exactly.
    // Lossy: items with a property that has no place in the set (ADR, ATTENDEE...). Skips:
    // cards with nothing to carry (only an ADR, only a LABEL), to-dos, journals, events without
    // DTSTART, detached occurrences without their series. Approximations: a PHOTO given as a
    // URL, repetitions beyond one RRULE at its frequency, an alarm decades away.
    const QString table = "outlook-2010.ics 1/0/0/1, vcal-example1.vcs 1/0/0/1, "
                          "event-6-a.ics 1/1/0/0, event-6.ics 1/0/1/0, invite-5.ics 1/0/0/1, "
                          "blank_line_mid.ics 0/0/0/0, google_birthday.ics 4/3/0/1, "
                          "multiple_rrules.ics 1/0/1/1, property_params.ics 0/0/0/0, "
                          "recur_instances.ics 1/0/1/1, utc_negative_zero.ics 1/0/0/1, "
                          "AppleICal_1.5.ics 25/13/2/1, KOrganizer_3.1.ics 13/0/4/13, "
                          "KOrganizer_Test07.ics 1/0/1/1, LibICal_TestCase57.ics 1/0/1/1, "
                          "Mozilla_1.0.ics 5/1/0/4, PayDay.ics 1/0/1/0, "
                          "RFC2445_RRULETest10.ics 1/0/1/0, RFC2445_RRULETest16.ics 1/0/1/0, "
                          "RFC2445_RRULETest27.ics 1/0/1/1, RFC2445_RRULETest30.ics 1/0/1/0, "
                          "RFC2445_RRULETest33.ics 1/0/1/0, RFC2445_RRULETest35.ics 1/0/1/1, "
                          "eGroupware.ics 1/0/0/1, exdate.ics 1/0/1/1, "
                          "test_recurrenceid_thisandfuture.ics 1/1/0/0, 1-1.ics 0/0/0/0, "
                          "2445.ics 5/2/0/2, 2446.ics 12/7/2/5, issue251.ics refused, "
                          "recur-errors.ics 4/0/4/0, user-cal.vcf 4/0/0/4, "
                          "alarm_etar_future.ics 1/0/0/1, alarm_google_future.ics 1/0/0/1, "
                          "alarm_thunderbird_future.ics 1/0/0/1, bom_calendar.ics 0/0/0/0, "
                          "event_with_recurrence_exdates_on_different_lines.ics 1/0/1/0, "
                          "issue_722_missing_timezones.ics 4/3/1/0, parsing_error.ics 2/0/2/0, "
                          "rfc_5545_end.ics 0/0/0/0, broken-vevent.ics refused, "
                          "event_timezone_seconds.ics 1/0/1/1, radicale-0827.ics 1/0/1/1, "
                          "11.vcf 1/0/0/1, 12.vcf 1/0/0/1, 13.vcf 1/0/0/1, 4.vcf 1/0/0/1, "
                          "5.vcf 1/0/0/1, John_Doe_ANDROID.vcf 6/0/0/6, "
                          "John_Doe_EVOLUTION.vcf 1/0/0/1, John_Doe_GMAIL.vcf 1/0/0/1, "
                          "John_Doe_IPHONE.vcf 1/0/0/1, John_Doe_LOTUS_NOTES.vcf 1/0/0/1, "
                          "John_Doe_MAC_ADDRESS_BOOK.vcf 1/0/0/1, "
                          "John_Doe_MS_OUTLOOK.vcf 1/0/0/1, fullcontact.vcf 1/0/0/1, "
                          "gmail-list.vcf 3/0/0/0, outlook-2003.vcf 1/0/0/1, "
                          "outlook-2007.vcf 1/0/0/1, rfc2426-example.vcf 2/0/0/2, "
                          "rfc6350-example.vcf 1/0/0/1, "
                          "thunderbird-MoreFunctionsForAddressBook-extension.vcf 1/0/0/1, "
                          "escape_semicolon.vcf 1/0/0/1, vcard.vcf 1/0/0/1, "
                          "ical.js/vcard3.vcf 1/0/1/1, vcard_grouped.vcf 1/1/0/0, "
                          "testfullvcard.vcf 1/0/0/1, vcard1.vcf 1/0/0/1, vcard10.vcf 5/0/0/5, "
                          "vcard12.vcf 1/0/0/1, vcard15.vcf 1/0/0/1, "
                          "kcontacts/vcard3.vcf 1/0/0/1, vcard4.vcf 1/0/0/1, vcard5.vcf 1/0/0/1, "
                          "vcard7.vcf 1/1/0/0, vcard8.vcf 1/0/0/1, vcard9.vcf 1/0/0/1, "
                          "vcard_extension_case_normalization.vcf 1/0/0/1, "
                          "vcardwithitemasapplesupport.vcf 1/0/0/1, test.vcf 2/0/0/1, "
                          "broken-vcard.vcf 1/0/0/1, contact4-with-bday-no-year.vcf 1/0/0/1, "
                          "contact_photo_with_data_uri.vcf 1/0/0/1, "
                          "contact_photo_with_data_uri_v4.vcf 1/0/0/1, "
                          "radicale-1587.vcf 1/0/0/1";
    QStringList rows = table.split(", ");
    QStringList files;
    for (QDirIterator it(dataFile({}), { "*.vcf", "*.ics", "*.vcs" }, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        files << it.next().mid(dataFile({}).size());
    files.sort();
    for (const QString &file : qAsConst(files)) {
        QString counts = "1/0/0/0";
        for (int i = 0; i < rows.size(); ++i) {
            if (file.endsWith('/' + rows.at(i).section(' ', 0, 0))) {
                counts = rows.takeAt(i).section(' ', 1);
                break;
            }
        }
        QTest::newRow(qPrintable(file + ' ' + counts)) << file << counts;
    }
    QVERIFY2(rows.isEmpty(), qPrintable(rows.join(", ")));
}

void BridgeTest::collection()
{
    QFETCH(QString, file);
    QFETCH(QString, counts);
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString set = dir.filePath(QStringLiteral("set_%1.xml"));
    const bool cards = file.startsWith(QLatin1String("vcard/"));
    const QString command = cards ? "from-vcard" : "from-ical";
    const Run run = velxml({ command, dataFile(file), set, "--verbose" });
    if (counts == "refused") {
        QVERIFY2(run.exitCode == 2 && run.err.contains(file.section('/', -1)), qPrintable(run.err));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("set_00.xml"))));
        return;
    }
    const int read = counts.section('/', 0, 0).toInt(), skipped = counts.section('/', 1, 1).toInt(),
              approximated = counts.section('/', 2, 2).toInt(),
              lossy = counts.section('/', 3).toInt();
    QVERIFY2(run.exitCode == (skipped + approximated + lossy > 0 ? 1 : 0), qPrintable(run.err));
    QCOMPARE(summaryOf(run.out),
             (QList<int> { read, read - skipped, skipped, approximated, lossy }));
    QCOMPARE(run.out.count(": skipped: "), skipped);
    QCOMPARE(run.out.count(": approximated: "), approximated);
    QCOMPARE(run.out.count(": not carried: "), lossy);
    // Without --verbose the summary still names every loss.
    const Run quiet = velxml({ command, dataFile(file), set });
    QCOMPARE(quiet.out.section('\n', 0, 0), run.out.section('\n', 0, 0));
    QCOMPARE(quiet.out.contains("; not carried: "), lossy > 0);
    QCOMPARE(readItems(set, cards ? "contact" : "appointment").size(), read - skipped);
    if (cards)
        checkCardsReturn(dataFile(file), set, dir);
    else
        checkEventsReturn(dataFile(file), set, run.out, dir);
    if (approximated + lossy > 0) { // --strict writes nothing when anything would be lost
        QFile::remove(dir.filePath(QStringLiteral("set_00.xml")));
        const Run strict = velxml({ command, dataFile(file), set, "--strict" });
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("set_00.xml"))));
        QVERIFY2(strict.exitCode == 1 && strict.err.contains("--strict"), qPrintable(strict.err));
        QCOMPARE(summaryOf(strict.out).value(1), 0);
    }
}

// Which card property lands in which element, and back.
void BridgeTest::cards_data()
{
    QTest::addColumn<QString>("card"); // the lines after UID:c1
    QTest::addColumn<QString>("elements"); // name=value, in the set's order
    QTest::addColumn<QString>("lost"); // the summary's "not carried" list; empty: exit 0

    const QString png = "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAAD0lEQVQIHQEEAPv/"
                        "AP///wX+Av4DfRnGAAAAAElFTkSuQmCC"; // a 1x1 PNG image
    QTest::newRow("work address first, then home; phones by kind, the first left over is "
                  "otherPhone; company, title, first IMPP; inline photo as base64")
        << "N:Doe;Jane;;;\r\nEMAIL;TYPE=HOME:h@x.org\r\nEMAIL:u@x.org\r\n"
           "EMAIL;TYPE=WORK:w@x.org\r\nTEL;TYPE=WORK:1\r\nTEL;TYPE=HOME:2\r\nTEL;TYPE=CELL:3\r\n"
           "TEL;TYPE=FAX:4\r\nTEL;TYPE=WORK,VOICE:5\r\nTEL;TYPE=WORK:6\r\nTEL:7\r\n"
           "ORG:Acme;Sales\r\nTITLE:Chief\r\nIMPP:xmpp:jane@x.org\r\nIMPP:sip:jane@x.org\r\n"
           "PHOTO;ENCODING=b;TYPE=PNG:"
            + png + "\r\n"
        << "lastName=Doe, firstName=Jane, company=Acme, email=w@x.org, personalEmail=h@x.org, "
           "officePhone=1, personalHome=2, personalMobile=3, fax=4, officePhone2=5, photo="
            + png + ", collaborationId=xmpp:jane@x.org, otherPhone=6, jobTitle=Chief"
        << "ORG unit 1, further IMPP 1, EMAIL beyond the second 1, further TEL 1";
    QTest::newRow("two untyped addresses fill email, then personalEmail")
        << "N:Doe;Jane;;;\r\nEMAIL:a@x.org\r\nEMAIL:b@x.org\r\nEMAIL:c@x.org\r\n"
        << "lastName=Doe, firstName=Jane, email=a@x.org, personalEmail=b@x.org"
        << "EMAIL beyond the second 1";
    QTest::newRow("what has no place is counted per property")
        << "N:Doe;Jane;;;\r\nADR:;;Main St 1;Town;;1000;\r\nBDAY:19800101\r\nEMAIL:a@x.org\r\n"
           "EMAIL:b@x.org\r\nEMAIL:c@x.org\r\nEMAIL:d@x.org\r\n"
        << "lastName=Doe, firstName=Jane, email=a@x.org, personalEmail=b@x.org"
        << "ADR 1, BDAY 1, EMAIL beyond the second 2";
    QTest::newRow("without N the formatted name goes to lastName")
        << "FN:Jane Q. Doe\r\n"
        << "lastName=Jane Q. Doe" << QString();
}

void BridgeTest::cards()
{
    QFETCH(QString, card);
    QFETCH(QString, elements);
    QFETCH(QString, lost);
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString in
        = writeText(dir, QStringLiteral("in.vcf"),
                    ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:c1\r\n" + card + "END:VCARD\r\n").toUtf8());
    const QString set = dir.filePath(QStringLiteral("set_%1.xml"));
    const Run strict = velxml({ "from-vcard", in, set, "--strict" });
    QCOMPARE(strict.exitCode, lost.isEmpty() ? 0 : 1);
    QCOMPARE(QFile::exists(set.arg("00")), lost.isEmpty());
    if (!lost.isEmpty())
        QVERIFY2(strict.err.contains("1 card would lose " + lost), qPrintable(strict.err));
    const Run run = velxml({ "from-vcard", in, set });
    QCOMPARE(run.exitCode, lost.isEmpty() ? 0 : 1);
    const QString summary = QStringLiteral("from-vcard: read 1, written 1, skipped 0, "
                                           "approximated 0, lossy %1")
                                .arg(lost.isEmpty() ? "0" : "1; not carried: " + lost);
    QCOMPARE(run.out.trimmed(), summary);
    const QList<ImpExp_Item> items = readItems(set, "contact");
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first().getAttribute("duid"), QStringLiteral("c1"));
    QCOMPARE(elementsOf(items.first()).join(", "), elements);
    checkCardsReturn(in, set, dir);
    // The photo's media type, sniffed from its bytes.
    const auto back = KContacts::VCardConverter().parseVCards(contents(dir.filePath("out.vcf")));
    QCOMPARE(back.size(), 1);
    QCOMPARE(back.first().photo().type(), QString(card.contains("PHOTO") ? "png" : ""));
}

// Which rules travel exactly and the end date they leave, alarms, all-day
// events and named zones, each checked in the set and on the way back.
void BridgeTest::events_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("event"); // a file of the collection, or the lines of one VEVENT
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("elements"); // name=value, among the set's ones

    // Repetition end dates are local midnight of the last day.
    QTest::newRow("monthly on DTSTART's own day with COUNT: exact, ends on the last one's day")
        << berlin << "DTSTART:20240115T100000Z\r\nRRULE:FREQ=MONTHLY;BYMONTHDAY=15;COUNT=3\r\n"
        << 0 << "periodicity=RRULE:FREQ=MONTHLY, repetitiveEndDate=20240314T230000Z";
    QTest::newRow("UNTIL after midnight UTC is the next local day")
        << berlin << "DTSTART:20240110T230000Z\r\nRRULE:FREQ=DAILY;UNTIL=20240112T230000Z\r\n"
        << 0 << "repetitiveEndDate=20240112T230000Z";
    QTest::newRow("UNTIL earlier in the day than the event ends the day before")
        << berlin << "DTSTART:20240101T120000Z\r\nRRULE:FREQ=DAILY;UNTIL=20240103T100000Z\r\n"
        << 0 << "repetitiveEndDate=20240101T230000Z";
    QTest::newRow("yearly travels as its word, counted as not carried: receivers know none")
        << berlin << "DTSTART:20240229T100000Z\r\nRRULE:FREQ=YEARLY;COUNT=2\r\n"
        << 1 << "periodicity=RRULE:FREQ=YEARLY, repetitiveEndDate=20280228T230000Z";
    QTest::newRow("weekly in the zone across a clock change keeps its wall clock: exact")
        << berlin << "DTSTART;TZID=Europe/Berlin:20240320T090000\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n"
        << 0 << "periodicity=RRULE:FREQ=WEEKLY, repetitiveEndDate=20240402T220000Z";
    QTest::newRow("a clock change after the 50th occurrence in the zone: exact")
        << berlin << "DTSTART;TZID=Europe/Berlin:20240101T090000\r\nRRULE:FREQ=DAILY;COUNT=120\r\n"
        << 0 << "repetitiveEndDate=20240428T220000Z";
    QTest::newRow("weekly at a UTC time across the zone's clock change is approximated")
        << berlin << "DTSTART:20240320T080000Z\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n"
        << 1 << "begin=20240320T080000Z, repetitiveEndDate=20240402T220000Z";
    QTest::newRow("weekly in another zone, whose clock changes on another day, is approximated")
        << berlin
        << "DTSTART;TZID=America/New_York:20240306T090000\r\nRRULE:FREQ=WEEKLY;COUNT=3\r\n"
        << 1 << "begin=20240306T140000Z";

    const auto alarm = [](const char *trigger) {
        return "DTSTART:20240102T090000Z\r\nDTEND:20240102T100000Z\r\nBEGIN:VALARM\r\n"
               "ACTION:DISPLAY\r\nDESCRIPTION:x\r\n"
            + QString::fromLatin1(trigger) + "\r\nEND:VALARM\r\n";
    };
    QTest::newRow("absolute alarm converted")
        << berlin << alarm("TRIGGER;VALUE=DATE-TIME:20240102T083000Z") << 0
        << "alarmReminderDelay=30";
    QTest::newRow("alarm relative to the end: 50 minutes after the start")
        << berlin << alarm("TRIGGER;RELATED=END:-PT10M") << 0 << "alarmReminderDelay=-50";
    QTest::newRow("alarm seconds are approximated")
        << berlin << alarm("TRIGGER:-PT90S") << 1 << "alarmReminderDelay=1";

    QTest::newRow("all-day: local midnight to local midnight after the last day")
        << berlin << "DTSTART;VALUE=DATE:20240301\r\nDTEND;VALUE=DATE:20240303\r\n"
        << 0 << "begin=20240229T230000Z, end=20240302T230000Z";
    QTest::newRow("all-day without DTEND: one day, in summer time")
        << berlin << "DTSTART;VALUE=DATE:20240701\r\n"
        << 0 << "begin=20240630T220000Z, end=20240701T220000Z";
    QTest::newRow("an event in New York read in Tokyo keeps its instant (ATTENDEE lost)")
        << "Asia/Tokyo"
        << "ical/biweekly/outlook-2010.ics" << 1 << "begin=20130610T160000Z, end=20130610T170000Z";
}

void BridgeTest::events()
{
    QFETCH(QString, zone);
    QFETCH(QString, event);
    QFETCH(int, exitCode);
    QFETCH(QString, elements);
    TimeZoneScope tz(qPrintable(zone));
    QTemporaryDir dir;
    const QString in = event.startsWith("ical/")
        ? dataFile(event)
        : writeText(
            dir, QStringLiteral("in.ics"),
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//bridge//EN\r\nBEGIN:VEVENT\r\n"
            "UID:e1\r\nDTSTAMP:20240101T000000Z\r\nSUMMARY:Test\r\n"
                + event.toUtf8() + "END:VEVENT\r\nEND:VCALENDAR\r\n");
    const QString set = dir.filePath(QStringLiteral("set_%1.xml"));
    const Run run = velxml({ "from-ical", in, set, "--verbose" });
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.out + run.err));
    const QList<ImpExp_Item> items = readItems(set, "appointment");
    QCOMPARE(items.size(), 1);
    const QStringList actual = elementsOf(items.first());
    for (const QString &element : elements.split(", "))
        QVERIFY2(actual.contains(element), qPrintable(actual.join('\n')));
    checkEventsReturn(in, set, run.out, dir);
}

// An appointment whose repetition iCalendar cannot say goes out once, counted as a loss;
// --strict then writes nothing.
void BridgeTest::toICalCountsLosses_data()
{
    QTest::addColumn<QString>("periodicity");
    QTest::addColumn<QString>("summary"); // its end

    QTest::newRow("daily: exact") << "RRULE:FREQ=DAILY"
                                  << "approximated 0, lossy 0";
    QTest::newRow("a word iCalendar lacks") << "RRULE:FREQ=FORTNIGHTLY"
                                            << "lossy 1; not carried: periodicity FORTNIGHTLY 1";
}

void BridgeTest::toICalCountsLosses()
{
    QFETCH(QString, periodicity);
    QFETCH(QString, summary);
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString items = writeText(
        dir, "items.jsonl",
        QStringLiteral(R"({"name":"appointment","attributes":[["duid","a1"]],"elements":)"
                       R"([["begin","20260302T080000Z"],["end","20260302T081500Z"],)"
                       R"(["periodicity","%1"]]})")
            .arg(periodicity)
            .toUtf8());
    const QString set = dir.filePath("set_%1.xml"), out = dir.filePath("out.ics");
    QCOMPARE(
        velxml({ "export", "--application", "Agenda", "--page-size", "5", items, set }).exitCode,
        0);
    const bool lossy = !summary.endsWith("lossy 0");
    const Run strict = velxml({ "to-ical", set, out, "--strict" });
    QCOMPARE(strict.exitCode, lossy ? 1 : 0);
    QCOMPARE(QFile::exists(out), !lossy);
    const Run run = velxml({ "to-ical", set, out });
    QCOMPARE(run.exitCode, lossy ? 1 : 0);
    QVERIFY2(run.out.trimmed().endsWith(summary), qPrintable(run.out));
    QCOMPARE(contents(out).count("RRULE:FREQ=DAILY"), lossy ? 0 : 1);
    QCOMPARE(contents(out).contains("DTSTART;TZID=Europe/Berlin:20260302T090000"), !lossy);
}

// The demo's daily 09:00 stand-up crosses the clock change of 29 March 2026: other
// calendar programs must still show it at 09:00 after it, and from-ical must read
// the file back to the same instants.
void BridgeTest::toICalKeepsTheWallClock_data()
{
    QTest::addColumn<QString>("reader"); // a module of series_times.py
    QTest::addColumn<QString>("systemZone"); // of to-ical
    QTest::addColumn<QStringList>("options");

    QTest::newRow("icalendar, the system's zone") << "icalendar" << berlin << QStringList();
    QTest::newRow("vobject, the system's zone") << "vobject" << berlin << QStringList();
    QTest::newRow("icalendar, --zone in another system zone")
        << "icalendar"
        << "Asia/Tokyo" << QStringList { "--zone", berlin };
}

void BridgeTest::toICalKeepsTheWallClock()
{
    QFETCH(QString, reader);
    QFETCH(QString, systemZone);
    QFETCH(QStringList, options);
    QTemporaryDir dir;
    const QString agenda = dir.filePath("agenda_%1.xml"), out = dir.filePath("out.ics");
    {
        TimeZoneScope tz(berlin);
        QCOMPARE(velxml({ "demo", dir.path() }).exitCode, 0);
    }
    {
        TimeZoneScope tz(qPrintable(systemZone));
        const Run run = velxml(QStringList { "to-ical", agenda, out } + options);
        QVERIFY2(run.out.contains("approximated 0, lossy 0"), qPrintable(run.out + run.err));
    }
    TimeZoneScope tz(berlin);
    const QString python = QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    QProcess process;
    process.start(python,
                  { QStringLiteral(VELXML_TEST_DATA "/scripts/series_times.py"), reader, out,
                    "a-201", "2026-03-27", "2026-03-30" });
    QVERIFY(process.waitForFinished(60000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    if (process.exitCode() != 0 && err.contains("ModuleNotFoundError"))
        QSKIP(qPrintable("python3-" + reader + " is not installed"));
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()),
             QStringLiteral("2026-03-27 09:00 08:00Z\n2026-03-30 09:00 07:00Z\n"));

    const QString back = dir.filePath("back_%1.xml");
    QCOMPARE(velxml({ "from-ical", out, back }).exitCode, 0);
    QHash<QString, QStringList> sent; // duid: the elements that place an appointment
    const auto times = [](const ImpExp_Item &item) {
        QStringList values;
        for (const char *element : { "begin", "end", "periodicity", "repetitiveEndDate" })
            values << item.getElement(element);
        return values;
    };
    for (const ImpExp_Item &item : readItems(agenda, "appointment"))
        sent.insert(item.getAttribute("duid"), times(item));
    const QList<ImpExp_Item> returned = readItems(back, "appointment");
    QCOMPARE(returned.size(), 7); // the appointments with their fields
    for (const ImpExp_Item &item : returned)
        QCOMPARE(times(item), sent.value(item.getAttribute("duid")));
}

// --since leaves older cards their identifiers only; to-vcard has nothing to
// write for those and says why.
void BridgeTest::sinceLeavesIdentifiersOnly()
{
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString in = writeText(
        dir, QStringLiteral("in.vcf"),
        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:old\r\nN:Old;A;;;\r\nREV:20200101T000000Z\r\n"
        "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nUID:new\r\nN:New;B;;;\r\n"
        "REV:20240101T000000Z\r\nEND:VCARD\r\n");
    const QString set = dir.filePath(QStringLiteral("set_%1.xml"));
    QCOMPARE(velxml({ "from-vcard", in, set, "--since", "2022-06-01" }).exitCode, 0);
    const QList<ImpExp_Item> items = readItems(set, "contact");
    QCOMPARE(items.size(), 2);
    QVERIFY(items.at(0).getItemElements().isEmpty());
    QCOMPARE(items.at(1).getElement("lastName"), QStringLiteral("New"));
    const Run back
        = velxml({ "to-vcard", set, dir.filePath(QStringLiteral("out.vcf")), "--verbose" });
    QCOMPARE(back.exitCode, 1);
    QCOMPARE(summaryOf(back.out), (QList<int> { 2, 1, 1, 0, 0 }));
    QVERIFY2(back.out.contains("duid=old: skipped: identifiers only"), qPrintable(back.out));
}

void BridgeTest::toICalSkipsDuplicatesInAFixedOrder()
{
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    QByteArray lines;
    for (const char *duid : { "b2", "b2", "c3", "d4", "e5" })
        lines += QByteArray("{\"name\":\"appointment\",\"attributes\":[[\"duid\",\"") + duid
            + "\"]],\"elements\":[[\"begin\",\"20260301T090000Z\"],"
              "[\"end\",\"20260301T100000Z\"]]}\n";
    const QString set = dir.filePath(QStringLiteral("set_%1.xml"));
    QCOMPARE(velxml({ "export", "--application", "Agenda", "--page-size", "10",
                      writeText(dir, QStringLiteral("in.jsonl"), lines), set })
                 .exitCode,
             0);
    QStringList outputs;
    for (const char *name : { "a.ics", "b.ics" }) {
        const Run run = velxml({ "to-ical", set, dir.filePath(QString::fromLatin1(name)) });
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(summaryOf(run.out), (QList<int> { 5, 4, 1, 0, 0 }));
        outputs << QString::fromUtf8(contents(dir.filePath(QString::fromLatin1(name))))
                       .remove(QRegularExpression( // the times of writing
                           QStringLiteral("(DTSTAMP|CREATED):[^\r\n]*")));
    }
    QCOMPARE(outputs.at(0).count(QStringLiteral("BEGIN:VEVENT")), 4);
    // The appointments have no change date, and none is made up for them.
    QVERIFY2(!outputs.at(0).contains(QStringLiteral("LAST-MODIFIED")), qPrintable(outputs.at(0)));
    QCOMPARE(outputs.at(0), outputs.at(1));
}

void BridgeTest::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString ics = dataFile("ical/kcalendarcore/exdate.ics");
    const QString set = "/nonexistent-dir/set_%1.xml";
    QTest::newRow("since that is no date") << QStringList { "from-ical", ics, set, "--since", "x" };
    QTest::newRow("unreadable file") << QStringList { "from-vcard", "/nonexistent.vcf", set };
    QTest::newRow("a file without cards") << QStringList { "from-vcard", ics, set };
}

// A set that cannot be written whole: exit 1, the page and the system's text named.
void BridgeTest::setsThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("input");
    // "full": page 00 a link to /dev/full; "file": a file where the set's folder goes;
    // "none": the folder is missing, and made; "older": pages 00 to 02 of an older set are
    // there, left alone; "replace": the same with --replace, which removes them once written.
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message"); // %1: page 00; empty: written

    for (const char *damage : { "full", "file", "none", "older", "replace" }) {
        const QString message = damage == QLatin1String("full")
            ? "cannot write %1: No space left on device"
            : damage == QLatin1String("file")  ? "Cannot create file %1, Not a directory"
            : damage == QLatin1String("older") ? "nothing written: 2 page files of an older, "
                                                 "longer set would be left behind"
                                               : QString();
        QTest::newRow(qPrintable(QStringLiteral("from-vcard, %1").arg(damage)))
            << "from-vcard" << dataFile("vcard/kcontacts/vcard1.vcf") << damage << message;
        QTest::newRow(qPrintable(QStringLiteral("from-ical, %1").arg(damage)))
            << "from-ical" << dataFile("ical/kcalendarcore/exdate.ics") << damage << message;
    }
}

void BridgeTest::setsThatCannotBeWritten()
{
    QFETCH(QString, command);
    QFETCH(QString, input);
    QFETCH(QString, damage);
    QFETCH(QString, message);
    TimeZoneScope tz(berlin);
    QTemporaryDir dir;
    const QString set = dir.filePath(damage == "full" ? "set_%1.xml" : "missing/set_%1.xml");
    const QString page = set.arg("00");
    if (damage == "full")
        QVERIFY(QFile::link("/dev/full", page));
    if (damage == "file")
        QVERIFY(writeText(dir, "missing", "x") == dir.filePath("missing"));
    const bool older = damage == "older" || damage == "replace";
    if (older) {
        QVERIFY(QDir(dir.path()).mkdir("missing"));
        for (const char *number : { "00", "01", "02" })
            QVERIFY(!writeText(dir, "missing/set_" + QString(number) + ".xml", "old").isEmpty());
    }
    const Run run = velxml(QStringList { command, input, set }
                           + (damage == "replace" ? QStringList { "--replace" } : QStringList()));
    if (message.isEmpty()) {
        QVERIFY2(QFile::exists(page) && contents(page) != "old", qPrintable(run.err));
        QVERIFY2(!run.err.contains(page), qPrintable(run.err));
        QCOMPARE(QFile::exists(set.arg("01")), false);
        QCOMPARE(QFile::exists(set.arg("02")), false);
        return;
    }
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(message.arg(page)), qPrintable(run.err));
    if (older)
        QCOMPARE(contents(page), QByteArray("old"));
}

void BridgeTest::usageErrors()
{
    QFETCH(QStringList, arguments);
    const Run run = velxml(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(!run.err.isEmpty());
}

QTEST_GUILESS_MAIN(BridgeTest)
#include "tst_bridge.moc"
