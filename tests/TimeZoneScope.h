#ifndef TIMEZONESCOPE_H
#define TIMEZONESCOPE_H

#include <QByteArray>
#include <QtGlobal>

#include <ctime>

// Runs a test under a fixed time zone (a POSIX TZ value such as "CET-1CEST,M3.5.0,M10.5.0/3"
// or "UTC0") and restores the previous one, so no result depends on the machine's zone.
class TimeZoneScope
{
public:
    explicit TimeZoneScope(const char *zone)
        : hadZone(qEnvironmentVariableIsSet("TZ"))
        , previous(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~TimeZoneScope()
    {
        if (hadZone)
            qputenv("TZ", previous);
        else
            qunsetenv("TZ");
        tzset();
    }
    TimeZoneScope(const TimeZoneScope &) = delete;
    TimeZoneScope &operator=(const TimeZoneScope &) = delete;

private:
    bool hadZone;
    QByteArray previous;
};

#endif // TIMEZONESCOPE_H
