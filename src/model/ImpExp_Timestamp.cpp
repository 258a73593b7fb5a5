#include "model/ImpExp_Timestamp.h"

#include "model/ImpExp_LocalTime.h"

namespace
{

constexpr qint64 msecsPerSecond = 1000;
constexpr qint64 secsPerDay = 86400;

qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back
// (Howard Hinnant's civil calendar algorithms).
qint64 daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = floorDiv(y, 400);
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(qint64 z, int *y, int *m, int *d)
{
    z += 719468;
    const qint64 era = floorDiv(z, 146097);
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    *d = int(doy - (153 * mp + 2) / 5 + 1);
    *m = int(mp < 10 ? mp + 3 : mp - 9);
    *y = int(yoe + era * 400 + (*m <= 2));
}

bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m)
{
    static const int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Reads @p count ASCII digits at @p pos; -1 when any is not a digit.
int digits(QStringView text, int pos, int count)
{
    int value = 0;
    for (int i = pos; i < pos + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

void put(QChar *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QChar(u'0' + value % 10);
        value /= 10;
    }
}

} // namespace

QString ImpExp_Timestamp::format(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return QString();
    return format(ImpExp_LocalTime::toMSecsSinceEpoch(dateTime));
}

QString ImpExp_Timestamp::format(qint64 msecsSinceEpoch)
{
    const qint64 secs = floorDiv(msecsSinceEpoch, msecsPerSecond);
    const qint64 days = floorDiv(secs, secsPerDay);
    const int secOfDay = int(secs - days * secsPerDay);
    int y, m, d;
    civilFromDays(days, &y, &m, &d);
    if (y < 1 || y > 9999) // outside four digits: Qt's own text form
        return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::UTC)
            .toString(QStringLiteral("yyyyMMddThhmmssZ"));

    QString text(16, Qt::Uninitialized);
    QChar *out = text.data();
    put(out, y, 4);
    put(out + 4, m, 2);
    put(out + 6, d, 2);
    out[8] = QLatin1Char('T');
    put(out + 9, secOfDay / 3600, 2);
    put(out + 11, secOfDay / 60 % 60, 2);
    put(out + 13, secOfDay % 60, 2);
    out[15] = QLatin1Char('Z');
    return text;
}

bool ImpExp_Timestamp::parse(QStringView text, qint64 *msecsSinceEpoch)
{
    if (text.size() != 16 || text[8] != QLatin1Char('T') || text[15] != QLatin1Char('Z'))
        return false;
    const int y = digits(text, 0, 4);
    const int mo = digits(text, 4, 2);
    const int d = digits(text, 6, 2);
    const int h = digits(text, 9, 2);
    const int mi = digits(text, 11, 2);
    const int s = digits(text, 13, 2);
    if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) || h < 0 || h > 23 || mi < 0
        || mi > 59 || s < 0 || s > 59)
        return false;
    const qint64 secs = daysFromCivil(y, mo, d) * secsPerDay + h * 3600 + mi * 60 + s;
    *msecsSinceEpoch = secs * msecsPerSecond;
    return true;
}

QDateTime ImpExp_Timestamp::toLocal(QStringView text)
{
    qint64 msecs;
    if (!parse(text, &msecs))
        return QDateTime();
    return ImpExp_LocalTime::fromMSecsSinceEpoch(msecs);
}

QDate ImpExp_Timestamp::toLocalDate(QStringView text)
{
    qint64 msecs;
    if (!parse(text, &msecs))
        return QDate();
    return ImpExp_LocalTime::localDate(msecs);
}
