#ifndef IMPEXP_TIMESTAMP_H
#define IMPEXP_TIMESTAMP_H

#include <QDateTime>
#include <QString>
#include <QStringView>

// The one codec of the format's timestamp text "yyyyMMddThhmmssZ" (UTC,
// no milliseconds). Both directions sit on every item's path, so they work
// on the instant directly instead of going through QDateTime::fromString and
// local-time QDateTime arithmetic.
class ImpExp_Timestamp
{
public:
    // The instant of @p dateTime in UTC as "yyyyMMddThhmmssZ", milliseconds
    // dropped. An invalid date-time gives an empty text.
    static QString format(const QDateTime &dateTime);

    // format() of the instant @p msecsSinceEpoch.
    static QString format(qint64 msecsSinceEpoch);

    // Parses the whole of @p text as "yyyyMMddThhmmssZ" with its fields taken
    // as UTC: exactly sixteen characters, four year digits (0000 refused), a
    // real calendar date, hour 00-23, second 00-59, literal T and Z.
    // On success stores the instant in @p msecsSinceEpoch and returns true.
    static bool parse(QStringView text, qint64 *msecsSinceEpoch);

    // parse() as a local date-time; an invalid date-time when it fails.
    static QDateTime toLocal(QStringView text);

    // The date of toLocal(), without building the local date-time; a null
    // date when @p text does not parse.
    static QDate toLocalDate(QStringView text);
};

#endif // IMPEXP_TIMESTAMP_H
