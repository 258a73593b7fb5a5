#include <Appointment_Item.h>
#include <Contact_Item.h>

#include "ItemText.h"
#include "Thrown.h"
#include "TimeZoneScope.h"

#include <QRandomGenerator>
#include <QtTest>

Q_DECLARE_METATYPE(ContactFields)
Q_DECLARE_METATYPE(AppointmentFields)

namespace
{

using Period = AppointmentFields::RepetitionPeriod;

const QByteArray cet("CET-1CEST,M3.5.0,M10.5.0/3");
const QString duid = QStringLiteral("d1");
const QDateTime changed(QDate(2026, 3, 29), QTime(1, 30), Qt::UTC);

QString problemsText(const QList<FieldProblem> &problems)
{
    QStringList out;
    for (const FieldProblem &p : problems)
        out << p.field + QLatin1Char('[') + p.text + QLatin1String("] ") + p.why;
    return out.join(QLatin1String(" / "));
}

// Every text field of a contact, so that a row can fill them one by one.
QString ContactFields::*const contactTexts[]
    = { &ContactFields::firstName,      &ContactFields::lastName,
        &ContactFields::email,          &ContactFields::personalEmail,
        &ContactFields::officePhone,    &ContactFields::personalHome,
        &ContactFields::personalMobile, &ContactFields::collaborationId,
        &ContactFields::officePhone2,   &ContactFields::fax,
        &ContactFields::company,        &ContactFields::otherPhone,
        &ContactFields::jobTitle };

Contact_Item positional(const ContactFields &f)
{
    return Contact_Item(duid, {}, changed, f.firstName, f.lastName, f.email, f.personalEmail,
                        f.officePhone, f.personalHome, f.personalMobile, f.photo, f.collaborationId,
                        f.officePhone2, f.fax, f.company, f.otherPhone, f.jobTitle);
}

QString word(Period period)
{
    const char *words[] = { "", "DAILY", "WEEKLY", "MONTHLY" };
    return QString::fromLatin1(words[int(period)]);
}

Appointment_Item positional(const AppointmentFields &f, const QString &id = duid)
{
    return Appointment_Item(id, QLatin1String(""), changed, f.title, f.place, f.beginDate,
                            f.endDate, word(f.repetitionPeriod), f.repetitionEndDate, f.description,
                            f.hasAlarm, f.alarmReminderDelay, f.readOnly);
}

AppointmentFields minimal()
{
    AppointmentFields f;
    f.beginDate = QDateTime(QDate(2026, 1, 31), QTime(10, 0), Qt::LocalTime);
    f.endDate = f.beginDate.addSecs(5400);
    return f;
}

// A random text of up to 12 characters, some beyond ASCII; empty one time in three.
QString randomText(QRandomGenerator &random)
{
    QString out;
    const int size = random.bounded(3) == 0 ? 0 : 1 + random.bounded(12);
    for (int i = 0; i < size; ++i)
        out += QChar(random.bounded(4) == 0 ? 0xe0 + random.bounded(32)
                                            : 0x20 + random.bounded(95));
    return out;
}

QDateTime randomInstant(QRandomGenerator &random)
{
    return QDateTime::fromSecsSinceEpoch(1700000000 + random.bounded(200000000), Qt::UTC)
        .toLocalTime();
}

} // namespace

class TestFields : public QObject
{
    Q_OBJECT

private slots:
    void contactAgrees_data();
    void contactAgrees();
    void appointmentAgrees_data();
    void appointmentAgrees();
    void refusedAlike();
    void readsBackWhatItWrote();
    void problems_data();
    void problems();
    void periodAgreesWithAccessor();
    void datesAgreeWithAccessors();
};

void TestFields::contactAgrees_data()
{
    QTest::addColumn<ContactFields>("fields");
    QTest::newRow("nothing set") << ContactFields();
    ContactFields all;
    int index = 0;
    for (auto member : contactTexts) {
        ContactFields one;
        one.*member = QStringLiteral("v%1").arg(index);
        all.*member = one.*member;
        QTest::newRow(qPrintable(QStringLiteral("only text field %1").arg(index++))) << one;
    }
    all.photo = QByteArray("cGhvdG8=");
    QTest::newRow("every field, each its own value") << all;
    ContactFields photo;
    photo.photo = QByteArray("");
    QTest::newRow("empty photo is kept") << photo;
    photo.photo = QByteArray("ab\0cd", 5);
    QTest::newRow("photo cut at a zero byte") << photo;
    ContactFields space;
    space.company = QStringLiteral(" ");
    QTest::newRow("a space is a value") << space;
}

void TestFields::contactAgrees()
{
    QFETCH(ContactFields, fields);
    QCOMPARE(text(Contact_Item(duid, {}, changed, fields)), text(positional(fields)));
}

void TestFields::appointmentAgrees_data()
{
    QTest::addColumn<AppointmentFields>("fields");
    QTest::newRow("dates only") << minimal();
    AppointmentFields f = minimal();
    f.title = QStringLiteral("t");
    f.place = QStringLiteral("p");
    f.description = QStringLiteral("d");
    QTest::newRow("title, place, description") << f;
    for (Period period : { Period::Daily, Period::Weekly, Period::Monthly }) {
        f.repetitionPeriod = period;
        QTest::newRow(qPrintable(word(period))) << f;
    }
    f.repetitionEndDate = QDate(2026, 3, 29);
    QTest::newRow("repetition end on the day summer time starts") << f;
    f.repetitionEndDate = QDate(2026, 2, 30);
    QTest::newRow("impossible repetition end") << f;
    f.alarmReminderDelay = 15;
    QTest::newRow("delay without an alarm") << f;
    f.hasAlarm = true;
    f.alarmReminderDelay = -5;
    QTest::newRow("negative delay") << f;
    f.alarmReminderDelay = 0;
    f.readOnly = true;
    QTest::newRow("zero delay, read-only") << f;
    f.endDate = f.beginDate.addDays(-1);
    QTest::newRow("end before begin") << f;
}

void TestFields::appointmentAgrees()
{
    TimeZoneScope zone(cet);
    QFETCH(AppointmentFields, fields);
    QCOMPARE(text(Appointment_Item(duid, QLatin1String(""), changed, fields)),
             text(positional(fields)));
}

void TestFields::refusedAlike()
{
    const auto named = [](const AppointmentFields &f, const QString &id) {
        return messageOf<ImpExp_ErrorException>([&] { Appointment_Item(id, {}, {}, f); });
    };
    const auto old = [](const AppointmentFields &f, const QString &id) {
        return messageOf<ImpExp_ErrorException>([&] { positional(f, id); });
    };
    AppointmentFields noEnd = minimal();
    noEnd.endDate = QDateTime();
    for (const AppointmentFields &f : { AppointmentFields(), noEnd }) {
        QCOMPARE(named(f, duid), old(f, duid));
        QCOMPARE(named(f, QString()), QStringLiteral("Empty duid for Item"));
    }
    QCOMPARE(named(noEnd, duid), QStringLiteral("Invalid appointment: No endDate"));
    QCOMPARE(messageOf<ImpExp_ErrorException>([] { Contact_Item(QString(), {}, {}, {}); }),
             QStringLiteral("Empty duid for Item"));
}

// Fields, the record the constructor makes of them, and fromItem of that
// record: the same fields, and nothing to report.
void TestFields::readsBackWhatItWrote()
{
    TimeZoneScope zone(cet);
    QRandomGenerator random(21);
    for (int i = 0; i < 300; ++i) {
        ContactFields contact;
        for (auto member : contactTexts)
            contact.*member = randomText(random);
        if (random.bounded(2))
            contact.photo = randomText(random).toUtf8();
        QList<FieldProblem> problems;
        QCOMPARE(ContactFields::fromItem(Contact_Item(duid, {}, {}, contact), &problems), contact);
        QCOMPARE(problemsText(problems), QString());

        AppointmentFields appointment;
        appointment.title = randomText(random);
        appointment.place = randomText(random);
        appointment.description = randomText(random);
        appointment.beginDate = randomInstant(random);
        appointment.endDate = randomInstant(random);
        appointment.repetitionPeriod = Period(random.bounded(4));
        if (random.bounded(2))
            appointment.repetitionEndDate = randomInstant(random).date();
        appointment.hasAlarm = random.bounded(2);
        appointment.alarmReminderDelay = appointment.hasAlarm ? int(random.generate()) : 0;
        appointment.readOnly = random.bounded(2);
        const Appointment_Item item(duid, {}, {}, appointment);
        QCOMPARE(AppointmentFields::fromItem(item, &problems), appointment);
        QCOMPARE(problemsText(problems), QString());
        // As the import reader fills it: the flag is not set, the element says it.
        ImpExp_Item imported(QStringLiteral("appointment"));
        for (const auto &element : item.getItemElements())
            imported.addElement(element.first, element.second);
        QCOMPARE(AppointmentFields::fromItem(imported), appointment);
    }
}

void TestFields::problems_data()
{
    QTest::addColumn<bool>("contact");
    QTest::addColumn<QString>("elements"); // name=value, separated by '|'
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("read"); // appointment: begin, period, alarm, delay, readOnly

    const QString good = QStringLiteral("begin=20260131T090000Z|end=20260131T100000Z|");
    QTest::newRow("bad date, unknown period, non-numeric delay, unknown element")
        << false
        << "begin=2026-01-31T09:00:00Z|end=20260131T100000Z|periodicity=RRULE:FREQ=YEARLY|"
           "alarmReminderDelay=soon|colour=blue"
        << "begin[2026-01-31T09:00:00Z] not a timestamp yyyyMMddThhmmssZ / "
           "periodicity[RRULE:FREQ=YEARLY] not a repetition period DAILY, WEEKLY or MONTHLY / "
           "alarmReminderDelay[soon] not an integer / colour[blue] not an appointment field"
        << "null|0|false|0|false";
    QTest::newRow("a longer rule gives its period and says what is lost")
        << false << good + "periodicity=RRULE:FREQ=WEEKLY;INTERVAL=2"
        << "periodicity[RRULE:FREQ=WEEKLY;INTERVAL=2] not the rule RRULE:FREQ=<period>; only its "
           "period is read"
        << "2026-01-31T10:00:00|2|false|0|false";
    QTest::newRow("the first of two begins counts")
        << false << good + "begin=20270101T000000Z|readOnly=true"
        << "begin[20270101T000000Z] repeated; the first one is read"
        << "2026-01-31T10:00:00|0|false|0|true";
    QTest::newRow("bad repetition end, bad read-only, delay beyond int")
        << false
        << good + "repetitiveEndDate=20261301T000000Z|readOnly=TRUE|alarmReminderDelay=2147483648"
        << "repetitiveEndDate[20261301T000000Z] not a timestamp yyyyMMddThhmmssZ / "
           "readOnly[TRUE] neither true nor false / alarmReminderDelay[2147483648] not an integer"
        << "2026-01-31T10:00:00|0|false|0|false";
    QTest::newRow("identifiers only: no problem, null dates")
        << false << QString() << QString() << "null|0|false|0|false";
    QTest::newRow("contact: an unknown and a repeated element")
        << true << "lastName=Doe|nickname=JD|lastName=Roe|photo="
        << "nickname[JD] not a contact field / lastName[Roe] repeated; the first one is read"
        << QString();
}

void TestFields::problems()
{
    TimeZoneScope zone(cet);
    QFETCH(bool, contact);
    QFETCH(QString, elements);
    QFETCH(QString, expected);
    QFETCH(QString, read);

    ImpExp_Item record(contact ? QStringLiteral("contact") : QStringLiteral("appointment"));
    for (const QString &pair : elements.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        record.addElement(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    QList<FieldProblem> problems;
    if (contact) {
        const ContactFields fields = ContactFields::fromItem(record, &problems);
        QCOMPARE(fields.lastName, QStringLiteral("Doe"));
        QVERIFY(!fields.photo.isNull());
        ContactFields::fromItem(record);
    } else {
        const AppointmentFields f = AppointmentFields::fromItem(record, &problems);
        const QString begin
            = f.beginDate.isNull() ? QStringLiteral("null") : f.beginDate.toString(Qt::ISODate);
        QCOMPARE(
            QStringList({ begin, QString::number(int(f.repetitionPeriod)),
                          QVariant(f.hasAlarm).toString(), QString::number(f.alarmReminderDelay),
                          QVariant(f.readOnly).toString() })
                .join(QLatin1Char('|')),
            read);
        AppointmentFields::fromItem(record);
    }
    QCOMPARE(problemsText(problems), expected);
}

// fromItem and getRepetitionPeriod() read a periodicity alike, over texts
// made of prefixes, words and suffixes; fromItem reports every text that
// the constructor would not have written.
void TestFields::periodAgreesWithAccessor()
{
    const QStringList written
        = { QString(), QStringLiteral("RRULE:FREQ=DAILY"), QStringLiteral("RRULE:FREQ=WEEKLY"),
            QStringLiteral("RRULE:FREQ=MONTHLY") };
    for (const char *prefix : { "", "RRULE:FREQ=", "rrule:freq=", "X" }) {
        for (const char *w : { "", "DAILY", "WEEKLY", "MONTHLY", "YEARLY", "ONE_TIME", "weekly" }) {
            for (const char *suffix : { "", ";INTERVAL=2", ";BYDAY=MO,WEEKLY" }) {
                const QString rule
                    = QLatin1String(prefix) + QLatin1String(w) + QLatin1String(suffix);
                ImpExp_Item record(QStringLiteral("appointment"));
                record.addElement(QStringLiteral("periodicity"), rule);
                QList<FieldProblem> problems;
                const Period period
                    = AppointmentFields::fromItem(record, &problems).repetitionPeriod;
                const QString accessor = Appointment_Item(record).getRepetitionPeriod();
                const QString expected
                    = accessor == QLatin1String("ONE_TIME") ? QString() : accessor;
                QCOMPARE(word(period), expected.isNull() ? QString() : expected);
                QCOMPARE(problems.isEmpty(), written.contains(rule) || rule.isEmpty());
            }
        }
    }
    for (Period period : { Period::OneTime, Period::Daily, Period::Weekly, Period::Monthly }) {
        AppointmentFields f = minimal();
        f.repetitionPeriod = period;
        const Appointment_Item item(duid, {}, {}, f);
        QCOMPARE(item.getRepetitionPeriod(),
                 period == Period::OneTime ? QStringLiteral("ONE_TIME") : word(period));
    }
}

// A begin text that getBeginDate() refuses is a problem for fromItem, and
// one it reads gives the same date-time, over valid and mangled texts.
void TestFields::datesAgreeWithAccessors()
{
    TimeZoneScope zone(cet);
    QRandomGenerator random(7);
    for (int i = 0; i < 500; ++i) {
        QString begin = QDateTime::fromSecsSinceEpoch(random.bounded(4000000000u), Qt::UTC)
                            .toString(QStringLiteral("yyyyMMddThhmmssZ"));
        if (random.bounded(2))
            begin[random.bounded(begin.size())] = QChar(0x2f + random.bounded(45));
        ImpExp_Item record(QStringLiteral("appointment"));
        record.addElement(QStringLiteral("begin"), begin);
        record.addElement(QStringLiteral("repetitiveEndDate"), begin);
        QList<FieldProblem> problems;
        const AppointmentFields f = AppointmentFields::fromItem(record, &problems);
        const Appointment_Item item(record);
        QDateTime accessor;
        const bool refused
            = !messageOf<ImpExp_ErrorException>([&] { accessor = item.getBeginDate(); }).isEmpty();
        QCOMPARE(f.beginDate, accessor);
        QCOMPARE(f.repetitionEndDate, item.getRepetitionEndDate());
        QCOMPARE(problems.size(), refused ? 2 : 0);
    }
}

QTEST_GUILESS_MAIN(TestFields)
#include "tst_fields.moc"
