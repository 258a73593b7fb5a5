#ifndef VELXML_SHOWNZONE_H
#define VELXML_SHOWNZONE_H

#include <QString>

// True when @p name is a zone the report's page can show: UTC, a fixed offset
// written UTC+05:00 or UTC-09:30 (hours 00 to 14), or a zone of the system's
// zone database (TZDIR, else /usr/share/zoneinfo) such as Europe/Berlin,
// Etc/GMT+5 or EST5EDT; not the database's own files (posixrules, localtime,
// Factory, right/..., posix/...).
bool isShownZone(const QString &name);

#endif // VELXML_SHOWNZONE_H
