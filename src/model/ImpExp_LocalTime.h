#ifndef IMPEXP_LOCALTIME_H
#define IMPEXP_LOCALTIME_H

#include <QDate>
#include <QDateTime>

// Qt's local-time conversions, answered from a cache of the local zone's
// offsets instead of a C library call (and, in Qt 5, up to three of them)
// per value. Every answer is the one Qt gives: the cache holds only UTC days
// between 1970 and 2037 whose offset stays the same from one end to the
// other, sampled every twelve hours, and a local date-time is taken from it only
// when its own day and the two days either side share that offset. A day
// that holds an offset change, a repeated or skipped hour, a date-time that
// Qt would convert with a remembered daylight-time flag of another zone, and
// every date outside that range go to Qt itself. The cache is emptied when
// the TZ variable changes and, when TZ is unset, when /etc/localtime is
// replaced (looked at once a second at most). Offsets that change and change
// back within twelve hours are not seen; no zone has them.
class ImpExp_LocalTime
{
public:
    // dateTime.toMSecsSinceEpoch().
    static qint64 toMSecsSinceEpoch(const QDateTime &dateTime);

    // QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime).
    static QDateTime fromMSecsSinceEpoch(qint64 msecs);

    // fromMSecsSinceEpoch(msecs).date(), without building the date-time.
    static QDate localDate(qint64 msecs);

    // date.startOfDay(Qt::LocalTime) as an instant, stored in @p msecs;
    // false when Qt gives an invalid date-time.
    static bool startOfDay(const QDate &date, qint64 *msecs);

    // fromMSecsSinceEpoch(msecs) >= reference as QDateTime compares them (by
    // wall-clock time where both are local with the same daylight-time flag),
    // an invalid local date-time counting as not before.
    static bool notBefore(qint64 msecs, const QDateTime &reference);
};

#endif // IMPEXP_LOCALTIME_H
