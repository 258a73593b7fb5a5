#include <Appointment_Item.h>

#include "TimeZoneScope.h"

#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(ImpExp_PairList)

namespace
{

const char *const utc = "UTC0";
const char *const plusOne = "<+01>-1";
// DST starts at local midnight: 29 March 2026 has no 00:00.
const char *const midnightGap = "CET-1CEST,M3.5.0/0,M10.5.0/0";
const char *const cet = "CET-1CEST,M3.5.0,M10.5.0/3";

const QDateTime begin(QDate(2026, 1, 31), QTime(9, 0), Qt::UTC);
const QDateTime end(QDate(2026, 1, 31), QTime(10, 30), Qt::UTC);

ImpExp_PairList pairs(std::initializer_list<std::pair<const char *, const char *>> list)
{
    ImpExp_PairList result;
    for (const auto &p : list)
        result.append(qMakePair(QString::fromUtf8(p.first), QString::fromUtf8(p.second)));
    return result;
}

// An appointment as the import reader leaves it: a plain record with pairs.
Appointment_Item imported(const ImpExp_PairList &elements)
{
    ImpExp_Item record(QStringLiteral("appointment"));
    for (const auto &pair : elements)
        record.addElement(pair.first, pair.second);
    return Appointment_Item(record);
}

Appointment_Item withDates(const QDateTime &beginDate, const QDateTime &endDate,
                           const QDate &repetitionEndDate = QDate())
{
    return Appointment_Item(QStringLiteral("a1"), QString(), QDateTime(), QString(), QString(),
                            beginDate, endDate, QString(), repetitionEndDate, QString(), false, 0,
                            false);
}

QString errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const ImpExp_ErrorException &e) {
        return QString::fromLatin1(e.what());
    }
    return QString();
}

} // namespace

class TestAppointment : public QObject
{
    Q_OBJECT

private slots:
    void elements_data();
    void elements();
    void refused_data();
    void refused();
    void dateTexts_data();
    void dateTexts();
    void map();
    void recordConstructor();
    void beginEnd_data();
    void beginEnd();
    void repetitionPeriod_data();
    void repetitionPeriod();
    void repetitionEndDate_data();
    void repetitionEndDate();
};

void TestAppointment::elements_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QDate>("repetitionEnd");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("hasAlarm");
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<ImpExp_PairList>("expected");

    const QString none;
    const QDate noDate;
    const ImpExp_PairList minimal = pairs({ { "begin", "20260131T090000Z" },
                                            { "end", "20260131T103000Z" },
                                            { "readOnly", "false" } });
    QTest::newRow("minimal: begin, end, readOnly=false")
        << none << none << none << noDate << none << false << 0 << false << minimal;
    QTest::newRow("every field, in element order")
        << QStringLiteral("T") << QStringLiteral("P") << QStringLiteral("WEEKLY")
        << QDate(2026, 3, 15) << QStringLiteral("D") << true << 15 << true
        << pairs({ { "begin", "20260131T090000Z" },
                   { "end", "20260131T103000Z" },
                   { "title", "T" },
                   { "description", "D" },
                   { "periodicity", "RRULE:FREQ=WEEKLY" },
                   { "repetitiveEndDate", "20260315T000000Z" },
                   { "alarmReminderDelay", "15" },
                   { "place", "P" },
                   { "readOnly", "true" } });
    const auto onlyPeriod = [](const char *value) {
        return pairs({ { "begin", "20260131T090000Z" },
                       { "end", "20260131T103000Z" },
                       { "periodicity", value },
                       { "readOnly", "false" } });
    };
    QTest::newRow("ONE_TIME: no periodicity") << none << none << QStringLiteral("ONE_TIME")
                                              << noDate << none << false << 0 << false << minimal;
    QTest::newRow("empty period: no periodicity")
        << none << none << QString(QLatin1String("")) << noDate << none << false << 0 << false
        << minimal;
    QTest::newRow("DAILY") << none << none << QStringLiteral("DAILY") << noDate << none << false
                           << 0 << false << onlyPeriod("RRULE:FREQ=DAILY");
    QTest::newRow("lower-case one_time is a rule")
        << none << none << QStringLiteral("one_time") << noDate << none << false << 0 << false
        << onlyPeriod("RRULE:FREQ=one_time");
    QTest::newRow("YEARLY is not checked")
        << none << none << QStringLiteral("YEARLY") << noDate << none << false << 0 << false
        << onlyPeriod("RRULE:FREQ=YEARLY");
    QTest::newRow("30 February: no repetitiveEndDate")
        << none << none << none << QDate(2026, 2, 30) << none << false << 0 << false << minimal;
    const auto onlyAlarm = [](const char *value) {
        return pairs({ { "begin", "20260131T090000Z" },
                       { "end", "20260131T103000Z" },
                       { "alarmReminderDelay", value },
                       { "readOnly", "false" } });
    };
    QTest::newRow("no alarm: the delay is ignored")
        << none << none << none << noDate << none << false << 15 << false << minimal;
    QTest::newRow("alarm with delay 0")
        << none << none << none << noDate << none << true << 0 << false << onlyAlarm("0");
    QTest::newRow("alarm with delay -5")
        << none << none << none << noDate << none << true << -5 << false << onlyAlarm("-5");
}

void TestAppointment::elements()
{
    QFETCH(QString, title);
    QFETCH(QString, place);
    QFETCH(QString, period);
    QFETCH(QDate, repetitionEnd);
    QFETCH(QString, description);
    QFETCH(bool, hasAlarm);
    QFETCH(int, delay);
    QFETCH(bool, readOnly);
    QFETCH(ImpExp_PairList, expected);

    TimeZoneScope tz(utc);
    const Appointment_Item item(QStringLiteral("a1"), QString(), QDateTime(), title, place, begin,
                                end, period, repetitionEnd, description, hasAlarm, delay, readOnly);
    QCOMPARE(item.getItemName(), QStringLiteral("appointment"));
    QCOMPARE(item.getAttributes(), pairs({ { "duid", "a1" } }));
    QCOMPARE(item.getItemElements(), expected);
    QCOMPARE(item.getReadOnlyItem(), readOnly);
}

void TestAppointment::refused_data()
{
    QTest::addColumn<QString>("duid");
    QTest::addColumn<QDateTime>("beginDate");
    QTest::addColumn<QDateTime>("endDate");
    QTest::addColumn<QString>("message");

    const QString id = QStringLiteral("a1");
    QTest::newRow("empty duid is tested before the dates")
        << QString(QLatin1String("")) << QDateTime() << QDateTime()
        << QStringLiteral("Empty duid for Item");
    QTest::newRow("null duid") << QString() << begin << end
                               << QStringLiteral("Empty duid for Item");
    QTest::newRow("both dates null: begin first")
        << id << QDateTime() << QDateTime() << QStringLiteral("Invalid appointment: No beginDate");
    QTest::newRow("begin null") << id << QDateTime() << end
                                << QStringLiteral("Invalid appointment: No beginDate");
    QTest::newRow("end null") << id << begin << QDateTime()
                              << QStringLiteral("Invalid appointment: No endDate");
    QTest::newRow("end before begin is accepted") << id << end << begin << QString();
}

void TestAppointment::refused()
{
    QFETCH(QString, duid);
    QFETCH(QDateTime, beginDate);
    QFETCH(QDateTime, endDate);
    QFETCH(QString, message);

    const QString error = errorOf([&] {
        const Appointment_Item item(duid, QString(), QDateTime(), QString(), QString(), beginDate,
                                    endDate, QString(), QDate(), QString(), false, 0, false);
    });
    QCOMPARE(error, message);
}

void TestAppointment::dateTexts_data()
{
    QTest::addColumn<QByteArray>("zone");
    // The begin is built inside the zone: a local QDateTime fixes its offset when made.
    QTest::addColumn<QDate>("beginDay");
    QTest::addColumn<QTime>("beginTime");
    QTest::addColumn<bool>("beginInUtc");
    QTest::addColumn<QDate>("repetitionEnd");
    QTest::addColumn<QString>("beginText");
    QTest::addColumn<QString>("repetitionEndText");

    const QDate jan31(2026, 1, 31);
    const QDate march15(2026, 3, 15);
    QTest::newRow("UTC+01:00: local time converted, milliseconds dropped, previous day")
        << QByteArray(plusOne) << jan31 << QTime(10, 0, 0, 500) << false << march15
        << QStringLiteral("20260131T090000Z") << QStringLiteral("20260314T230000Z");
    QTest::newRow("UTC+01:00: the same instant given in UTC")
        << QByteArray(plusOne) << jan31 << QTime(9, 0, 0, 500) << true << march15
        << QStringLiteral("20260131T090000Z") << QStringLiteral("20260314T230000Z");
    QTest::newRow("UTC: midnight of the same day")
        << QByteArray(utc) << jan31 << QTime(10, 0, 0, 500) << false << march15
        << QStringLiteral("20260131T100000Z") << QStringLiteral("20260315T000000Z");
    // The day starts at the end of the gap, 01:00 CEST, that is 23:00 UTC.
    QTest::newRow("DST starting at midnight: the day starts after the gap")
        << QByteArray(midnightGap) << jan31 << QTime(10, 0) << false << QDate(2026, 3, 29)
        << QStringLiteral("20260131T090000Z") << QStringLiteral("20260328T230000Z");
    QTest::newRow("local time in the DST gap is set but invalid: empty text")
        << QByteArray(cet) << QDate(2026, 3, 29) << QTime(2, 30) << false << QDate(2026, 3, 29)
        << QString() << QStringLiteral("20260328T230000Z");
    QTest::newRow("impossible date with a time is not null: empty text")
        << QByteArray(utc) << QDate(2026, 2, 30) << QTime(10, 0) << true << QDate() << QString()
        << QString();
}

void TestAppointment::dateTexts()
{
    QFETCH(QByteArray, zone);
    QFETCH(QDate, beginDay);
    QFETCH(QTime, beginTime);
    QFETCH(bool, beginInUtc);
    QFETCH(QDate, repetitionEnd);
    QFETCH(QString, beginText);
    QFETCH(QString, repetitionEndText);

    TimeZoneScope tz(zone.constData());
    const QDateTime beginDate(beginDay, beginTime, beginInUtc ? Qt::UTC : Qt::LocalTime);
    const Appointment_Item item = withDates(beginDate, end, repetitionEnd);
    QCOMPARE(item.getElement(QStringLiteral("begin")), beginText);
    QCOMPARE(item.getElement(QStringLiteral("repetitiveEndDate")), repetitionEndText);

    // Read back in the same zone: the same instant in local time, the same date.
    if (beginText.isEmpty()) {
        QCOMPARE(errorOf([&] { item.getBeginDate(); }), QStringLiteral("invalid beginDate"));
    } else {
        const QDateTime back = item.getBeginDate();
        QCOMPARE(back.timeSpec(), Qt::LocalTime);
        QCOMPARE(back.toSecsSinceEpoch(), beginDate.toSecsSinceEpoch());
        QCOMPARE(back.time().msec(), 0);
    }
    QCOMPARE(item.getRepetitionEndDate(), repetitionEnd);
}

void TestAppointment::map()
{
    const AppointmentMap_Item item(QStringLiteral("d"), QStringLiteral("p"));
    QCOMPARE(item.getItemName(), QStringLiteral("appointmentMap"));
    QCOMPARE(item.getAttributes(), pairs({ { "duid", "d" }, { "puid", "p" } }));
    QVERIFY(item.getItemElements().isEmpty());
    QVERIFY(!item.getReadOnlyItem());

    QCOMPARE(AppointmentMap_Item(QStringLiteral("d"), QString()).getAttributes(),
             pairs({ { "duid", "d" } }));
    QCOMPARE(errorOf([] { AppointmentMap_Item item(QString(), QStringLiteral("p")); }),
             QStringLiteral("Empty duid for Item"));
}

void TestAppointment::recordConstructor()
{
    ImpExp_Item record(QStringLiteral("appointment"));
    record.addAttribute(QStringLiteral("duid"), QStringLiteral("7"));
    record.addElement(QStringLiteral("begin"), QStringLiteral("not a date"));
    record.setReadOnlyItem(true);

    const Appointment_Item item(record);
    QCOMPARE(item.getItemName(), record.getItemName());
    QCOMPARE(item.getAttributes(), record.getAttributes());
    QCOMPARE(item.getItemElements(), record.getItemElements());
    QVERIFY(item.getReadOnlyItem());

    // Nothing is checked: a record without name or pairs is taken as well.
    const Appointment_Item bare { ImpExp_Item(QString()) };
    QVERIFY(bare.getItemName().isEmpty());
    QVERIFY(bare.getItemElements().isEmpty());
    QVERIFY(!bare.getReadOnlyItem());
}

void TestAppointment::beginEnd_data()
{
    QTest::addColumn<ImpExp_PairList>("elements");
    QTest::addColumn<bool>("valid"); // 31 January, 10:00 local at UTC+01:00

    const auto both = [](const char *value) {
        return pairs({ { "begin", value }, { "end", value } });
    };
    QTest::newRow("UTC text read at UTC+01:00") << both("20260131T090000Z") << true;
    QTest::newRow("first of two elements counts") << pairs({ { "begin", "20260131T090000Z" },
                                                             { "end", "20260131T090000Z" },
                                                             { "begin", "x" },
                                                             { "end", "x" } })
                                                  << true;
    QTest::newRow("first of two elements counts, even when it is bad")
        << pairs({ { "begin", "" },
                   { "end", "" },
                   { "begin", "20260131T090000Z" },
                   { "end", "20260131T090000Z" } })
        << false;
    QTest::newRow("absent") << ImpExp_PairList() << false;
    QTest::newRow("name differs in case")
        << pairs({ { "Begin", "20260131T090000Z" }, { "End", "20260131T090000Z" } }) << false;
    QTest::newRow("empty") << both("") << false;
    QTest::newRow("extended form") << both("2026-01-31T09:00:00Z") << false;
    QTest::newRow("month 13") << both("20261331T090000Z") << false;
    QTest::newRow("30 February") << both("20260230T090000Z") << false;
    QTest::newRow("hour 24") << both("20260131T240000Z") << false;
    QTest::newRow("no final Z") << both("20260131T090000") << false;
    QTest::newRow("trailing space") << both("20260131T090000Z ") << false;
}

void TestAppointment::beginEnd()
{
    QFETCH(ImpExp_PairList, elements);
    QFETCH(bool, valid);

    TimeZoneScope tz(plusOne);
    const Appointment_Item item = imported(elements);
    if (valid) {
        for (const QDateTime &read : { item.getBeginDate(), item.getEndDate() }) {
            QCOMPARE(read.timeSpec(), Qt::LocalTime);
            QCOMPARE(read.date(), QDate(2026, 1, 31));
            QCOMPARE(read.time(), QTime(10, 0));
        }
    } else {
        QCOMPARE(errorOf([&] { item.getBeginDate(); }), QStringLiteral("invalid beginDate"));
        QCOMPARE(errorOf([&] { item.getEndDate(); }), QStringLiteral("invalid endDate"));
    }
    QCOMPARE(item.getItemElements(), elements); // reading changes nothing
}

void TestAppointment::repetitionPeriod_data()
{
    QTest::addColumn<ImpExp_PairList>("elements");
    QTest::addColumn<QString>("expected");

    const auto rule = [](const char *value) { return pairs({ { "periodicity", value } }); };
    QTest::newRow("absent") << ImpExp_PairList() << QStringLiteral("ONE_TIME");
    QTest::newRow("empty") << rule("") << QStringLiteral("ONE_TIME");
    QTest::newRow("DAILY rule") << rule("RRULE:FREQ=DAILY") << QStringLiteral("DAILY");
    QTest::newRow("WEEKLY rule") << rule("RRULE:FREQ=WEEKLY") << QStringLiteral("WEEKLY");
    QTest::newRow("MONTHLY rule") << rule("RRULE:FREQ=MONTHLY") << QStringLiteral("MONTHLY");
    QTest::newRow("bare word") << rule("WEEKLY") << QStringLiteral("WEEKLY");
    QTest::newRow("longer rule") << rule("RRULE:FREQ=WEEKLY;INTERVAL=2")
                                 << QStringLiteral("WEEKLY");
    QTest::newRow("two words: DAILY is tested first")
        << rule("RRULE:FREQ=MONTHLY;X=DAILY") << QStringLiteral("DAILY");
    QTest::newRow("YEARLY unknown") << rule("RRULE:FREQ=YEARLY") << QString();
    QTest::newRow("lower case unknown") << rule("rrule:freq=daily") << QString();
    QTest::newRow("ONE_TIME itself unknown") << rule("ONE_TIME") << QString();
    QTest::newRow("first of two elements counts")
        << pairs({ { "periodicity", "" }, { "periodicity", "RRULE:FREQ=DAILY" } })
        << QStringLiteral("ONE_TIME");
}

void TestAppointment::repetitionPeriod()
{
    QFETCH(ImpExp_PairList, elements);
    QFETCH(QString, expected);

    const QString period = imported(elements).getRepetitionPeriod();
    QCOMPARE(period, expected);
    QCOMPARE(period.isNull(), expected.isNull());
}

void TestAppointment::repetitionEndDate_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<ImpExp_PairList>("elements");
    QTest::addColumn<QDate>("expected");

    const ImpExp_PairList march14 = pairs({ { "repetitiveEndDate", "20260314T230000Z" } });
    QTest::newRow("written at UTC+01:00, read there")
        << QByteArray(plusOne) << march14 << QDate(2026, 3, 15);
    QTest::newRow("written at UTC+01:00, read at UTC")
        << QByteArray(utc) << march14 << QDate(2026, 3, 14);
    QTest::newRow("absent") << QByteArray(utc) << ImpExp_PairList() << QDate();
    QTest::newRow("empty") << QByteArray(utc) << pairs({ { "repetitiveEndDate", "" } }) << QDate();
    QTest::newRow("unreadable") << QByteArray(utc)
                                << pairs({ { "repetitiveEndDate", "2026-03-15" } }) << QDate();
    QTest::newRow("first of two elements counts")
        << QByteArray(utc)
        << pairs({ { "repetitiveEndDate", "x" }, { "repetitiveEndDate", "20260314T230000Z" } })
        << QDate();
}

void TestAppointment::repetitionEndDate()
{
    QFETCH(QByteArray, zone);
    QFETCH(ImpExp_PairList, elements);
    QFETCH(QDate, expected);

    TimeZoneScope tz(zone.constData());
    const QDate date = imported(elements).getRepetitionEndDate();
    QCOMPARE(date, expected);
    QCOMPARE(date.isNull(), expected.isNull());
}

QTEST_APPLESS_MAIN(TestAppointment)
#include "tst_appointment.moc"
