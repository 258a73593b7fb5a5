#include "model/ImpExp_LocalTime.h"

#include <QTime>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#endif

namespace
{

constexpr qint64 msecsPerSecond = 1000;
constexpr qint64 secsPerDay = 86400;
constexpr qint64 msecsPerDay = secsPerDay * msecsPerSecond;
constexpr qint64 epochJulianDay = 2440588;

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The wall-clock time of a date-time as milliseconds since 1970-01-01 00:00.
[[maybe_unused]] qint64 wallMsecs(const QDateTime &dateTime)
{
    return (dateTime.date().toJulianDay() - epochJulianDay) * msecsPerDay
        + dateTime.time().msecsSinceStartOfDay();
}

// Started: only the offset at the day's first instant is known yet.
// NoStart: that offset is not one the cache can hold; the day is not used.
enum class DayKind : quint8 { Unknown, Started, NoStart, Constant, Changing };

struct DayOffset {
    qint32 offsetSecs = 0;
    bool daylight = false;
    DayKind kind = DayKind::Unknown; // of the UTC day, whose first offset this is
    DayKind localKind = DayKind::Unknown; // of the local day with the same number
};

#ifdef Q_OS_UNIX

// UTC days since 1970-01-01 that the cache answers for. Qt 5 converts local
// time through the C library from 1970 to 2037 only (by rules of its own
// outside), so the range keeps two days away from both ends.
constexpr qint64 firstDay = 2;
constexpr qint64 lastDay = 24834; // 2037-12-29
constexpr qint64 blockDays = 512;
constexpr qint64 zoneFileCheckMsecs = 1000;
const char *const zoneFile = "/etc/localtime";

bool sameOffset(const DayOffset &a, const DayOffset &b)
{
    return a.offsetSecs == b.offsetSecs && a.daylight == b.daylight;
}

// The C library reads a changed TZ at once; with TZ unset it reloads
// /etc/localtime when the file's device, inode or time stamp changed.
struct ZoneFileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    time_t modified = 0;

    bool operator==(const ZoneFileStamp &other) const
    {
        return exists == other.exists && device == other.device && inode == other.inode
            && modified == other.modified;
    }
};

// Where TZ sits in the environment. getenv() walks the whole environment,
// which costs more than the rest of a cached conversion; setenv(), putenv()
// and unsetenv() change the array's address, its end or the entry itself.
struct EnvironmentStamp {
    char **environment = nullptr;
    std::size_t count = 0;
    const char *last = nullptr;
    const char *tzEntry = nullptr; // "TZ=...", or null when TZ is unset
    std::size_t tzIndex = 0;
};

struct ZoneCache {
    std::mutex mutex;
    // From firstDay to lastDay + 1, in blocks allocated on first use: a
    // process that meets a few years holds a few kilobytes.
    std::vector<std::unique_ptr<DayOffset[]>> blocks;
    bool zoneKnown = false;
    bool tzSet = false;
    std::string tz;
    EnvironmentStamp environment;
    ZoneFileStamp stamp;
    qint64 nextStampCheck = 0;
};

ZoneCache &zoneCache()
{
    static ZoneCache cache;
    return cache;
}

ZoneFileStamp zoneFileStamp()
{
    ZoneFileStamp stamp;
    struct stat status;
    if (stat(zoneFile, &status) == 0) {
        stamp.exists = true;
        stamp.device = status.st_dev;
        stamp.inode = status.st_ino;
        stamp.modified = status.st_mtime;
    }
    return stamp;
}

qint64 monotonicMsecs()
{
    timespec now;
#ifdef CLOCK_MONOTONIC_COARSE
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now); // read without entering the kernel
#else
    clock_gettime(CLOCK_MONOTONIC, &now);
#endif
    return qint64(now.tv_sec) * msecsPerSecond + now.tv_nsec / 1000000;
}

bool environmentUnchanged(const ZoneCache &cache)
{
    const EnvironmentStamp &stamp = cache.environment;
    char **const environment = environ;
    if (!cache.zoneKnown || environment != stamp.environment)
        return false;
    if (!environment)
        return true;
    return environment[stamp.count] == nullptr
        && (stamp.count == 0 || environment[stamp.count - 1] == stamp.last)
        && (!stamp.tzEntry
            || (environment[stamp.tzIndex] == stamp.tzEntry
                && std::strcmp(stamp.tzEntry + 3, cache.tz.c_str()) == 0));
}

EnvironmentStamp environmentStamp()
{
    EnvironmentStamp stamp;
    stamp.environment = environ;
    if (!stamp.environment)
        return stamp;
    for (char **entry = stamp.environment; *entry; ++entry) {
        if (!stamp.tzEntry && std::strncmp(*entry, "TZ=", 3) == 0) {
            stamp.tzEntry = *entry;
            stamp.tzIndex = stamp.count;
        }
        stamp.last = *entry;
        ++stamp.count;
    }
    return stamp;
}

// Empties the cache when the process's zone changed since it was filled.
// A stat() per value would cost what the cache saves, so the zone file is
// looked at once a second at most.
void followZone(ZoneCache &cache)
{
    bool changed = false;
    if (!environmentUnchanged(cache)) {
        cache.environment = environmentStamp();
        const char *tz = cache.environment.tzEntry ? cache.environment.tzEntry + 3 : nullptr;
        changed = !cache.zoneKnown || (tz != nullptr) != cache.tzSet || (tz && cache.tz != tz);
    }
    const char *tz = cache.environment.tzEntry ? cache.environment.tzEntry + 3 : nullptr;
    if (!changed && !tz) {
        const qint64 now = monotonicMsecs();
        if (now >= cache.nextStampCheck) {
            cache.nextStampCheck = now + zoneFileCheckMsecs;
            changed = !(zoneFileStamp() == cache.stamp);
        }
    }
    if (!changed)
        return;
    cache.blocks.clear();
    cache.blocks.resize(std::size_t((lastDay + 1 - firstDay) / blockDays + 1));
    cache.zoneKnown = true;
    cache.tzSet = tz != nullptr;
    cache.tz = tz ? tz : "";
    if (!tz) {
        cache.stamp = zoneFileStamp();
        cache.nextStampCheck = monotonicMsecs() + zoneFileCheckMsecs;
    }
    tzset(); // as Qt does before each conversion
}

// The offset at one instant, as Qt's UTC to local conversion gives it.
bool sample(qint64 secs, DayOffset *offset)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 5 takes it from localtime_r in this range.
    const time_t t = time_t(secs);
    tm local;
    if (!localtime_r(&t, &local))
        return false;
    const QDate date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    if (!date.isValid() || local.tm_sec > 59)
        return false;
    const qint64 wall = (date.toJulianDay() - epochJulianDay) * secsPerDay + local.tm_hour * 3600
        + local.tm_min * 60 + local.tm_sec;
    offset->offsetSecs = qint32(wall - secs);
    offset->daylight = local.tm_isdst > 0;
#else
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(secs * msecsPerSecond, Qt::LocalTime);
    if (!local.isValid())
        return false;
    const qint64 offsetMsecs = wallMsecs(local) - secs * msecsPerSecond;
    if (offsetMsecs % msecsPerSecond != 0)
        return false;
    offset->offsetSecs = qint32(offsetMsecs / msecsPerSecond);
    offset->daylight = local.isDaylightTime();
#endif
    return qAbs(offset->offsetSecs) < secsPerDay;
}

DayOffset &entryOf(ZoneCache &cache, qint64 day)
{
    const std::size_t index = std::size_t(day - firstDay);
    std::unique_ptr<DayOffset[]> &block = cache.blocks[index / blockDays];
    if (!block)
        block.reset(new DayOffset[blockDays]);
    return block[index % blockDays];
}

// The offset at the first instant of a UTC day, sampled once: it is also
// the end of the day before.
bool dayStart(ZoneCache &cache, qint64 day, DayOffset *start)
{
    DayOffset &entry = entryOf(cache, day);
    if (entry.kind == DayKind::Unknown)
        entry.kind = sample(day * secsPerDay, &entry) ? DayKind::Started : DayKind::NoStart;
    *start = entry;
    return entry.kind != DayKind::NoStart;
}

// The offset of a UTC day from start to end, or null when it changes. The
// day is sampled at its start, its middle and its end: the closest offset
// changes in the time zone database are a week apart.
const DayOffset *utcDay(ZoneCache &cache, qint64 day)
{
    if (day < firstDay || day > lastDay)
        return nullptr;
    DayOffset start;
    if (!dayStart(cache, day, &start))
        return nullptr;
    DayOffset &entry = entryOf(cache, day);
    if (entry.kind == DayKind::Started) {
        DayOffset middle;
        DayOffset end;
        const bool constant = sample(day * secsPerDay + secsPerDay / 2, &middle)
            && sameOffset(start, middle) && dayStart(cache, day + 1, &end)
            && sameOffset(start, end);
        entry.kind = constant ? DayKind::Constant : DayKind::Changing;
    }
    return entry.kind == DayKind::Constant ? &entry : nullptr;
}

// The offset of every wall-clock time of a local day. The UTC days that an
// offset of less than a day maps it to, widened by a day at each end (the
// largest jump there is), keep one offset: then every time of the day exists
// once, and mktime finds it whatever daylight-time flag it is given.
bool localDay(ZoneCache &cache, qint64 day, DayOffset *offset)
{
    if (day >= firstDay && day <= lastDay) { // the usual case: judged before
        const DayOffset &known = entryOf(cache, day);
        if (known.localKind != DayKind::Unknown) {
            *offset = known;
            return known.localKind == DayKind::Constant;
        }
    }
    const DayOffset *middle = utcDay(cache, day);
    if (!middle) {
        if (day >= firstDay && day <= lastDay)
            entryOf(cache, day).localKind = DayKind::Changing;
        return false;
    }
    DayOffset &entry = entryOf(cache, day);
    if (entry.localKind == DayKind::Unknown) {
        entry.localKind = DayKind::Constant;
        for (qint64 other = day - 2; other <= day + 2; ++other) {
            const DayOffset *around = other == day ? middle : utcDay(cache, other);
            if (!around || !sameOffset(*around, *middle))
                entry.localKind = DayKind::Changing;
        }
    }
    *offset = entry;
    return entry.localKind == DayKind::Constant;
}

bool cachedLocalDay(qint64 day, DayOffset *offset)
{
    ZoneCache &cache = zoneCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    followZone(cache);
    return localDay(cache, day, offset);
}

// The wall-clock time of an instant; with @p wholeDay, only where the local
// day it falls on has one offset throughout.
bool cachedWall(qint64 msecs, bool wholeDay, qint64 *wall)
{
    ZoneCache &cache = zoneCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    followZone(cache);
    const DayOffset *offset = utcDay(cache, floorDiv(msecs, msecsPerDay));
    if (!offset)
        return false;
    *wall = msecs + offset->offsetSecs * msecsPerSecond;
    DayOffset local;
    return !wholeDay
        || (localDay(cache, floorDiv(*wall, msecsPerDay), &local) && sameOffset(local, *offset));
}

#else // no cache: Qt answers every time

bool cachedLocalDay(qint64, DayOffset *)
{
    return false;
}

bool cachedWall(qint64, bool, qint64 *)
{
    return false;
}

#endif

} // namespace

qint64 ImpExp_LocalTime::toMSecsSinceEpoch(const QDateTime &dateTime)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0) && defined(Q_OS_UNIX)
    // Qt 5 gives mktime the daylight-time flag that the date-time keeps,
    // which may be another zone's; then it is Qt's to answer.
    if (dateTime.timeSpec() == Qt::LocalTime && dateTime.isValid()) {
        const qint64 wall = wallMsecs(dateTime);
        DayOffset offset;
        if (cachedLocalDay(floorDiv(wall, msecsPerDay), &offset)
            && dateTime.isDaylightTime() == offset.daylight)
            return wall - offset.offsetSecs * msecsPerSecond;
    }
#endif
    return dateTime.toMSecsSinceEpoch();
}

QDateTime ImpExp_LocalTime::fromMSecsSinceEpoch(qint64 msecs)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 5 cannot make a local date-time without one mktime; built from its
    // wall-clock time it needs no localtime_r, and is the same value where
    // that time exists once.
    qint64 wall;
    if (cachedWall(msecs, true, &wall)) {
        const qint64 day = floorDiv(wall, msecsPerDay);
        return QDateTime(QDate::fromJulianDay(epochJulianDay + day),
                         QTime::fromMSecsSinceStartOfDay(int(wall - day * msecsPerDay)),
                         Qt::LocalTime);
    }
#endif
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime);
}

QDate ImpExp_LocalTime::localDate(qint64 msecs)
{
    qint64 wall;
    if (cachedWall(msecs, false, &wall))
        return QDate::fromJulianDay(epochJulianDay + floorDiv(wall, msecsPerDay));
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime).date();
}

bool ImpExp_LocalTime::startOfDay(const QDate &date, qint64 *msecs)
{
    if (date.isValid()) {
        const qint64 day = date.toJulianDay() - epochJulianDay;
        DayOffset offset;
        if (cachedLocalDay(day, &offset)) {
            *msecs = day * msecsPerDay - offset.offsetSecs * msecsPerSecond;
            return true;
        }
    }
    const QDateTime start = date.startOfDay(Qt::LocalTime);
    if (!start.isValid())
        return false;
    *msecs = start.toMSecsSinceEpoch();
    return true;
}

bool ImpExp_LocalTime::notBefore(qint64 msecs, const QDateTime &reference)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 5 compares wall-clock times when both date-times are local with the
    // same flags, instants otherwise. Where the two orders agree, which of
    // them Qt takes does not matter.
    qint64 wall;
    if (reference.isValid() && cachedWall(msecs, true, &wall)) {
        const bool byInstant = msecs >= toMSecsSinceEpoch(reference);
        if (reference.timeSpec() != Qt::LocalTime || byInstant == (wall >= wallMsecs(reference)))
            return byInstant;
    }
#endif
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime);
    return !local.isValid() || local >= reference;
}
