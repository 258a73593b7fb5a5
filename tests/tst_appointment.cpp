#include <Appointment_Item.h>

#include "ItemText.h"
#include "Thrown.h"
#include "TimeZoneScope.h"

#include <QtTest>

#include <functional>

typedef std::function<Appointment_Item()> Build;
Q_DECLARE_METATYPE(Build)

namespace
{

const QByteArray utc("UTC0");
const QByteArray plusOne("<+01>-1");

const QDateTime begin(QDate(2026, 1, 31), QTime(9, 0), Qt::UTC);
const QDateTime end(QDate(2026, 1, 31), QTime(10, 30), Qt::UTC);

// An appointment a1 ending at 10:30 UTC, without title, description or place.
Appointment_Item make(const QDateTime &beginDate, const QString &period = QString(),
                      const QDate &repetitionEnd = QDate(), bool hasAlarm = false, int delay = 0)
{
    return Appointment_Item(QStringLiteral("a1"), {}, {}, {}, {}, beginDate, end, period,
                            repetitionEnd, {}, hasAlarm, delay, false);
}

// An appointment as the import reader leaves it, its elements given as "name=value name=value".
Appointment_Item imported(const QString &elements)
{
    ImpExp_Item record(QStringLiteral("appointment"));
    for (const QString &pair : elements.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        record.addElement(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    return Appointment_Item(record);
}

constexpr auto errorOf = &messageOf<ImpExp_ErrorException>;

// What the accessors give, as "begin|end|period|repetition end"; a throw gives its message.
// Local date-times show no zone suffix.
QString readBack(const Appointment_Item &item)
{
    QStringList read;
    for (const auto get : { &Appointment_Item::getBeginDate, &Appointment_Item::getEndDate }) {
        QString text;
        const QString error = errorOf([&] { text = (item.*get)().toString(Qt::ISODateWithMs); });
        read << (error.isEmpty() ? text : error);
    }
    const QString period = item.getRepetitionPeriod();
    read << (period.isNull() ? QStringLiteral("null") : period)
         << item.getRepetitionEndDate().toString(Qt::ISODate);
    return read.join(QLatin1Char('|'));
}

} // namespace

class TestAppointment : public QObject
{
    Q_OBJECT

private slots:
    void made_data();
    void made();
    void refused();
    void mapAndRecord();
    void read_data();
    void read();
};

void TestAppointment::made_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<Build>("build"); // run inside the zone: a local QDateTime fixes its offset
    QTest::addColumn<QString>("expected"); // elements after "appointment:duid=a1;|"
    QTest::addColumn<QString>("readBack");

    const QString be = QStringLiteral("begin=20260131T090000Z;end=20260131T103000Z;");
    const QString inUtc = QStringLiteral("2026-01-31T09:00:00.000|2026-01-31T10:30:00.000|");
    const QString plusOneHour = QStringLiteral("2026-01-31T10:00:00.000|2026-01-31T11:30:00.000|");
    QTest::newRow("minimal: begin, end, readOnly=false")
        << utc << Build([] { return make(begin); }) << be + "readOnly=false;|"
        << inUtc + "ONE_TIME|";
    QTest::newRow("every field, in element order; UTC midnight; read-only")
        << utc << Build([] {
               return Appointment_Item("a1", {}, {}, "T", "P", begin, end, "WEEKLY",
                                       QDate(2026, 3, 15), "D", true, 15, true);
           })
        << "begin=20260131T090000Z;end=20260131T103000Z;title=T;description=D;"
           "periodicity=RRULE:FREQ=WEEKLY;repetitiveEndDate=20260315T000000Z;"
           "alarmReminderDelay=15;place=P;readOnly=true;|read-only"
        << inUtc + "WEEKLY|2026-03-15";
    QTest::newRow("lower-case one_time is a rule; alarm delay 0 kept")
        << utc << Build([] { return make(begin, "one_time", QDate(), true, 0); })
        << be + "periodicity=RRULE:FREQ=one_time;alarmReminderDelay=0;readOnly=false;|"
        << inUtc + "null|";
    QTest::newRow("YEARLY is not checked; alarm delay -5 kept")
        << utc << Build([] { return make(begin, "YEARLY", QDate(), true, -5); })
        << be + "periodicity=RRULE:FREQ=YEARLY;alarmReminderDelay=-5;readOnly=false;|"
        << inUtc + "null|";
    QTest::newRow("UTC+01:00: local time to UTC, milliseconds dropped, end date the day before")
        << plusOne << Build([] {
               const QDateTime local(QDate(2026, 1, 31), QTime(10, 0, 0, 500), Qt::LocalTime);
               return make(local, QString(), QDate(2026, 3, 15));
           })
        << be + "repetitiveEndDate=20260314T230000Z;readOnly=false;|"
        << plusOneHour + "ONE_TIME|2026-03-15";
    // The day starts at the end of the gap, 01:00 CEST, that is 23:00 UTC.
    QTest::newRow("UTC begin read in local time; DST at midnight: the day starts after the gap")
        << QByteArray("CET-1CEST,M3.5.0/0,M10.5.0/0")
        << Build([] { return make(begin, QString(), QDate(2026, 3, 29)); })
        << be + "repetitiveEndDate=20260328T230000Z;readOnly=false;|"
        << plusOneHour + "ONE_TIME|2026-03-29";
    QTest::newRow("a set but invalid begin gives an empty text; left out: ONE_TIME, 30 February, "
                  "a delay without alarm")
        << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3") << Build([] {
               const QDateTime inGap(QDate(2026, 3, 29), QTime(2, 30), Qt::LocalTime);
               return make(inGap, "ONE_TIME", QDate(2026, 2, 30), false, 15);
           })
        << "begin=;end=20260131T103000Z;readOnly=false;|"
        << "invalid beginDate|2026-01-31T11:30:00.000|ONE_TIME|";
}

void TestAppointment::made()
{
    QFETCH(QByteArray, zone);
    QFETCH(Build, build);
    QFETCH(QString, expected);
    QFETCH(QString, readBack);

    TimeZoneScope tz(zone.constData());
    const Appointment_Item item = build();
    QCOMPARE(text(item), QStringLiteral("appointment:duid=a1;|") + expected);
    QCOMPARE(::readBack(item), readBack);
}

void TestAppointment::refused()
{
    const auto error = [](const QString &duid, const QDateTime &b, const QDateTime &e) {
        return errorOf(
            [&] { Appointment_Item(duid, {}, {}, {}, {}, b, e, {}, {}, {}, false, 0, false); });
    };
    const QString id = QStringLiteral("a1");
    QCOMPARE(error(QLatin1String(""), {}, {}), QStringLiteral("Empty duid for Item"));
    QCOMPARE(error(id, {}, {}), QStringLiteral("Invalid appointment: No beginDate"));
    QCOMPARE(error(id, begin, {}), QStringLiteral("Invalid appointment: No endDate"));
    QCOMPARE(error(id, end, begin), QString()); // an end before the begin is accepted
}

void TestAppointment::mapAndRecord()
{
    QCOMPARE(text(AppointmentMap_Item(QStringLiteral("d"), QStringLiteral("p"))),
             QStringLiteral("appointmentMap:duid=d;puid=p;||"));
    QCOMPARE(errorOf([] { AppointmentMap_Item(QString(), QStringLiteral("p")); }),
             QStringLiteral("Empty duid for Item"));

    // The record is taken as it is, unchecked: no dates, a begin that does not parse.
    ImpExp_Item record(QStringLiteral("appointment"));
    record.addAttribute(QStringLiteral("duid"), QStringLiteral("7"));
    record.addElement(QStringLiteral("begin"), QStringLiteral("not a date"));
    record.setReadOnlyItem(true);
    QCOMPARE(text(Appointment_Item(record)), text(record));
}

void TestAppointment::read_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("elements");
    QTest::addColumn<QString>("expected");

    const QString none = QStringLiteral("invalid beginDate|invalid endDate|");
    const QString nothing = none + QLatin1String("ONE_TIME|");
    QTest::newRow("UTC texts read at UTC+01:00; the first of two counts")
        << plusOne
        << "begin=20260131T090000Z end=20260131T090000Z periodicity=RRULE:FREQ=DAILY "
           "repetitiveEndDate=20260314T230000Z begin=x end=x periodicity= repetitiveEndDate=x"
        << "2026-01-31T10:00:00.000|2026-01-31T10:00:00.000|DAILY|2026-03-15";
    QTest::newRow("absent") << plusOne << "" << nothing;
    QTest::newRow("empty") << utc << "begin= end= periodicity= repetitiveEndDate=" << nothing;
    QTest::newRow("extended form, month 13, no final Z")
        << plusOne
        << "begin=2026-01-31T09:00:00Z end=20261331T090000Z repetitiveEndDate=20260315T000000"
        << nothing;
    QTest::newRow("end date written at UTC+01:00, read at UTC; MONTHLY")
        << utc << "periodicity=RRULE:FREQ=MONTHLY repetitiveEndDate=20260314T230000Z"
        << none + "MONTHLY|2026-03-14";
    QTest::newRow("contained words, DAILY tested first")
        << utc << "periodicity=RRULE:FREQ=MONTHLY;X=DAILY" << none + "DAILY|";
    QTest::newRow("WEEKLY as written")
        << utc << "periodicity=RRULE:FREQ=WEEKLY" << none + "WEEKLY|";
    QTest::newRow("WEEKLY, words after it")
        << utc << "periodicity=RRULE:FREQ=WEEKLYDAILY" << none + "DAILY|";
    QTest::newRow("DAILY without the prefix") << utc << "periodicity=FREQ=DAILY" << none + "DAILY|";
    QTest::newRow("YEARLY unknown") << utc << "periodicity=RRULE:FREQ=YEARLY" << none + "null|";
    QTest::newRow("lower case unknown") << utc << "periodicity=rrule:freq=daily" << none + "null|";
}

void TestAppointment::read()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, elements);
    QFETCH(QString, expected);

    TimeZoneScope tz(zone.constData());
    QCOMPARE(readBack(imported(elements)), expected);
}

QTEST_APPLESS_MAIN(TestAppointment)
#include "tst_appointment.moc"
