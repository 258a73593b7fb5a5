#include "ShownZone.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

bool isShownZone(const QString &name)
{
    if (name == QLatin1String("UTC"))
        return true;
    static const QRegularExpression fixedOffset(QStringLiteral("^UTC[+-](0\\d|1[0-4]):[0-5]\\d$"));
    if (fixedOffset.match(name).hasMatch())
        return true;
    // Words of letters, digits, "_", "+" and "-" between slashes: no way out
    // of the database's folder.
    static const QRegularExpression zoneName(
        QStringLiteral("^[A-Za-z][A-Za-z0-9_+-]*(/[A-Za-z0-9_+-]+)*$"));
    if (!zoneName.match(name).hasMatch())
        return false;
    for (const char *own : { "posix/", "right/" }) {
        if (name.startsWith(QLatin1String(own)))
            return false;
    }
    for (const char *own : { "posixrules", "localtime", "Factory" }) {
        if (name == QLatin1String(own))
            return false;
    }
    const QByteArray folder = qgetenv("TZDIR");
    QFile file(QDir(folder.isEmpty() ? QStringLiteral("/usr/share/zoneinfo")
                                     : QString::fromLocal8Bit(folder))
                   .filePath(name));
    return file.open(QIODevice::ReadOnly) && file.read(4) == "TZif";
}
