#include "TimeZoneScope.h"
#include "model/ImpExp_LocalTime.h"

#include <QFile>
#include <QtTest>

#include <vector>

// The cached local-time conversion against Qt's own from 1900 to 2100, hour
// by hour and minute by minute around every offset change, in zones with
// unusual rules. Every answer has to be Qt's, to the millisecond and to the
// date-time's flags.
class LocalTimeTest : public QObject
{
    Q_OBJECT

private slots:
    void matchesQt_data();
    void matchesQt();
    void followsZoneChange();

private:
    QDateTime checkInstant(qint64 msecs, const QDateTime &reference);
    void checkWall(const QDate &date, const QTime &time);
    void checkStartOfDay(const QDate &date);
    void scanChange(qint64 fromMsecs, qint64 toMsecs, qint64 jump);
    void scan(qint64 fromMsecs, qint64 toMsecs);
    void fault(const QString &what);

    int faults = 0;
    QStringList examples;
};

namespace
{

constexpr qint64 msecsPerMinute = 60 * 1000;
constexpr qint64 msecsPerHour = 60 * msecsPerMinute;

qint64 utc(int year)
{
    return QDateTime(QDate(year, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
}

bool same(const QDateTime &a, const QDateTime &b)
{
    return a.isValid() == b.isValid() && a.timeSpec() == b.timeSpec() && a.date() == b.date()
        && a.time() == b.time() && a.isDaylightTime() == b.isDaylightTime()
        && a.toMSecsSinceEpoch() == b.toMSecsSinceEpoch();
}

QString show(const QDateTime &dateTime)
{
    return dateTime.toString(Qt::ISODateWithMs) + (dateTime.isDaylightTime() ? " dst" : "")
        + (dateTime.isValid() ? "" : " invalid");
}

qint64 offsetOf(const QDateTime &local, qint64 msecs)
{
    return QDateTime(local.date(), local.time(), Qt::UTC).toMSecsSinceEpoch() - msecs;
}

} // namespace

void LocalTimeTest::fault(const QString &what)
{
    if (++faults <= 10)
        examples << what;
}

QDateTime LocalTimeTest::checkInstant(qint64 msecs, const QDateTime &reference)
{
    const QDateTime expected = QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime);
    const QDateTime actual = ImpExp_LocalTime::fromMSecsSinceEpoch(msecs);
    if (!same(actual, expected))
        fault(QStringLiteral("from %1: %2, Qt %3").arg(msecs).arg(show(actual), show(expected)));
    if (ImpExp_LocalTime::localDate(msecs) != expected.date())
        fault(QStringLiteral("date of %1").arg(msecs));
    if (ImpExp_LocalTime::toMSecsSinceEpoch(expected) != expected.toMSecsSinceEpoch())
        fault(QStringLiteral("to of %1").arg(show(expected)));
    const bool qt = !expected.isValid() || expected >= reference;
    if (ImpExp_LocalTime::notBefore(msecs, reference) != qt)
        fault(QStringLiteral("%1 against %2").arg(show(expected), show(reference)));
    return expected;
}

void LocalTimeTest::checkWall(const QDate &date, const QTime &time)
{
    // A host's date-time, which may fall into a gap or a repeated hour.
    const QDateTime wall(date, time, Qt::LocalTime);
    if (wall.isValid() && ImpExp_LocalTime::toMSecsSinceEpoch(wall) != wall.toMSecsSinceEpoch())
        fault(QStringLiteral("to of wall %1").arg(show(wall)));
}

void LocalTimeTest::checkStartOfDay(const QDate &date)
{
    const QDateTime start = date.startOfDay(Qt::LocalTime);
    qint64 msecs = -1;
    const bool valid = ImpExp_LocalTime::startOfDay(date, &msecs);
    if (valid != start.isValid() || (valid && msecs != start.toMSecsSinceEpoch()))
        fault(QStringLiteral("start of %1").arg(date.toString(Qt::ISODate)));
}

// Minute by minute around an offset change between two instants, as
// instants and as the wall-clock times on both sides (gaps, repeated hours).
void LocalTimeTest::scanChange(qint64 fromMsecs, qint64 toMsecs, qint64 jump)
{
    QDateTime before = QDateTime::fromMSecsSinceEpoch(fromMsecs - msecsPerHour, Qt::LocalTime);
    for (qint64 m = fromMsecs - msecsPerHour; m <= toMsecs + msecsPerHour; m += msecsPerMinute) {
        // Against the minute before, local and UTC, in turn.
        before = checkInstant(m, m % 2 ? before : before.toUTC());
        if (before.time().minute() == 0)
            checkStartOfDay(before.date());
    }
    const QDateTime first
        = QDateTime::fromMSecsSinceEpoch(fromMsecs - msecsPerHour - qAbs(jump), Qt::UTC);
    const QDateTime local
        = QDateTime::fromMSecsSinceEpoch(first.toMSecsSinceEpoch(), Qt::LocalTime);
    const QDateTime wallStart(local.date(), local.time(), Qt::UTC);
    for (qint64 m = 0; m <= toMsecs - fromMsecs + 2 * (msecsPerHour + qAbs(jump));
         m += msecsPerMinute) {
        const QDateTime wall = wallStart.addMSecs(m);
        checkWall(wall.date(), wall.time());
    }
}

// Every hour where the cache answers (and a little beyond), every seventh
// outside, where it leaves every answer to Qt; minute by minute around every
// change of offset.
void LocalTimeTest::scan(qint64 fromMsecs, qint64 toMsecs)
{
    const qint64 denseFrom = utc(1965);
    const qint64 denseTo = utc(2043);
    qint64 previousMsecs = fromMsecs - msecsPerHour;
    QDateTime previous = QDateTime::fromMSecsSinceEpoch(previousMsecs, Qt::LocalTime);
    qint64 previousOffset = offsetOf(previous, previousMsecs);
    int count = 0;
    for (qint64 msecs = fromMsecs; msecs < toMsecs;
         msecs += msecs >= denseFrom && msecs < denseTo ? msecsPerHour : 7 * msecsPerHour) {
        const QDateTime local = checkInstant(msecs, ++count % 2 ? previous : previous.toUTC());
        checkWall(local.date(), local.time().addSecs(-1800));
        if (local.time().hour() < 7)
            checkStartOfDay(local.date());
        const qint64 offset = offsetOf(local, msecs);
        if (offset != previousOffset)
            scanChange(previousMsecs, msecs, offset - previousOffset);
        previous = local;
        previousMsecs = msecs;
        previousOffset = offset;
    }
}

void LocalTimeTest::matchesQt_data()
{
    QTest::addColumn<QByteArray>("zone");
    for (const char *zone : { "Europe/Berlin", "America/New_York", "Australia/Lord_Howe",
                              "Pacific/Apia", "Asia/Kathmandu", "America/Sao_Paulo",
                              "Europe/Moscow", "Africa/Casablanca", "Antarctica/Troll", "UTC",
                              "CET-1CEST,M3.5.0,M10.5.0/3", "<+0330>-3:30<+0430>,J79/24,J263/24" })
        QTest::newRow(zone) << QByteArray(zone);
}

void LocalTimeTest::matchesQt()
{
    QFETCH(QByteArray, zone);
    if (!zone.contains(',') && !QFile::exists(QStringLiteral("/usr/share/zoneinfo/") + zone))
        QSKIP("tzdata is not installed");
    TimeZoneScope scope(zone.constData());
    faults = 0;
    examples.clear();
    scan(utc(1900), utc(2100));
    QVERIFY2(faults == 0,
             qPrintable(QStringLiteral("%1 differences: %2").arg(faults).arg(examples.join("; "))));
}

void LocalTimeTest::followsZoneChange()
{
    if (!QFile::exists(QStringLiteral("/usr/share/zoneinfo/America/Sao_Paulo")))
        QSKIP("tzdata is not installed");
    faults = 0;
    examples.clear();
    TimeZoneScope outer("Europe/Berlin");
    // Date-times made in one zone, their offsets cached, then read in another:
    // Qt 5 keeps their daylight-time flag from the first zone.
    std::vector<QDateTime> made;
    for (qint64 msecs = utc(2020); msecs < utc(2021); msecs += 7 * msecsPerHour) {
        made.push_back(ImpExp_LocalTime::fromMSecsSinceEpoch(msecs));
        ImpExp_LocalTime::toMSecsSinceEpoch(made.back());
    }
    {
        TimeZoneScope inner("America/Sao_Paulo");
        for (const QDateTime &dateTime : made) {
            if (ImpExp_LocalTime::toMSecsSinceEpoch(dateTime) != dateTime.toMSecsSinceEpoch())
                fault(QStringLiteral("made in Berlin: %1").arg(show(dateTime)));
        }
        scan(utc(2015), utc(2021));
    }
    scan(utc(2019), utc(2021));
    QVERIFY2(faults == 0,
             qPrintable(QStringLiteral("%1 differences: %2").arg(faults).arg(examples.join("; "))));
}

QTEST_GUILESS_MAIN(LocalTimeTest)
#include "tst_localtime.moc"
