#include <Appointment_Item.h>

#include "model/ImpExp_Guard.h"
#include "model/ImpExp_LocalTime.h"
#include "model/ImpExp_Timestamp.h"

Appointment_Item::Appointment_Item(const QString &duid, const QString &puid,
                                   const QDateTime &lastModified, const QString &title,
                                   const QString &place, const QDateTime &beginDate,
                                   const QDateTime &endDate, const QString &repetitionPeriod,
                                   const QDate &repetitionEndDate, const QString &description,
                                   bool hasAlarm, int alarmReminderDelay, bool readOnly)
try : ImpExp_Item(QStringLiteral("appointment"), duid, puid, lastModified) {
    // Only null dates are refused: a set but invalid one (a local time in a
    // DST gap, say) is written as an empty text and refused on reading.
    if (beginDate.isNull())
        throw ImpExp_ErrorException(QStringLiteral("Invalid appointment: No beginDate"));
    if (endDate.isNull())
        throw ImpExp_ErrorException(QStringLiteral("Invalid appointment: No endDate"));
    setReadOnlyItem(readOnly);

    const bool hasTitle = !title.isEmpty();
    const bool hasDescription = !description.isEmpty();
    const bool hasPeriod
        = !repetitionPeriod.isEmpty() && repetitionPeriod != QLatin1String("ONE_TIME");
    const bool hasRepetitionEnd = repetitionEndDate.isValid();
    const bool hasPlace = !place.isEmpty();
    reserveElements(3 + hasTitle + hasDescription + hasPeriod + hasRepetitionEnd + hasAlarm
                    + hasPlace);

    addElement(QStringLiteral("begin"), ImpExp_Timestamp::format(beginDate));
    addElement(QStringLiteral("end"), ImpExp_Timestamp::format(endDate));
    if (hasTitle)
        addElement(QStringLiteral("title"), title);
    if (hasDescription)
        addElement(QStringLiteral("description"), description);
    if (hasPeriod)
        addElement(QStringLiteral("periodicity"), QStringLiteral("RRULE:FREQ=") + repetitionPeriod);
    if (hasRepetitionEnd) {
        // The first instant of that day in local time: midnight itself, or
        // the end of the gap where a DST switch skips midnight (there a plain
        // QDateTime(date, 00:00, local) is invalid).
        qint64 start;
        addElement(QStringLiteral("repetitiveEndDate"),
                   ImpExp_LocalTime::startOfDay(repetitionEndDate, &start)
                       ? ImpExp_Timestamp::format(start)
                       : QString());
    }
    if (hasAlarm)
        addElement(QStringLiteral("alarmReminderDelay"), QString::number(alarmReminderDelay));
    if (hasPlace)
        addElement(QStringLiteral("place"), place);
    addElement(QStringLiteral("readOnly"),
               readOnly ? QStringLiteral("true") : QStringLiteral("false"));
} catch (...) {
    ImpExp_Guard<ImpExp_ErrorException>::passOn();
}

namespace
{

// The word the positional constructor takes; OneTime is no word at all, so
// that no periodicity element is written.
QString periodWord(AppointmentFields::RepetitionPeriod period)
{
    switch (period) {
    case AppointmentFields::RepetitionPeriod::Daily:
        return QStringLiteral("DAILY");
    case AppointmentFields::RepetitionPeriod::Weekly:
        return QStringLiteral("WEEKLY");
    case AppointmentFields::RepetitionPeriod::Monthly:
        return QStringLiteral("MONTHLY");
    case AppointmentFields::RepetitionPeriod::OneTime:
        break;
    }
    // A value outside the enum (a cast integer) repeats nothing either.
    return QString();
}

} // namespace

Appointment_Item::Appointment_Item(const QString &duid, const QString &puid,
                                   const QDateTime &lastModified, const AppointmentFields &f)
    : Appointment_Item(duid, puid, lastModified, f.title, f.place, f.beginDate, f.endDate,
                       periodWord(f.repetitionPeriod), f.repetitionEndDate, f.description,
                       f.hasAlarm, f.alarmReminderDelay, f.readOnly)
{
}

Appointment_Item::Appointment_Item(const ImpExp_Item &record)
    : ImpExp_Item(record)
{
}

Appointment_Item::~Appointment_Item() = default;

QDateTime Appointment_Item::getBeginDate() const
try {
    const QDateTime begin = ImpExp_Timestamp::toLocal(getElement(QStringLiteral("begin")));
    if (!begin.isValid())
        throw ImpExp_ErrorException(QStringLiteral("invalid beginDate"));
    return begin;
} catch (...) {
    ImpExp_Guard<ImpExp_ErrorException>::passOn();
}

QDateTime Appointment_Item::getEndDate() const
try {
    const QDateTime end = ImpExp_Timestamp::toLocal(getElement(QStringLiteral("end")));
    if (!end.isValid())
        throw ImpExp_ErrorException(QStringLiteral("invalid endDate"));
    return end;
} catch (...) {
    ImpExp_Guard<ImpExp_ErrorException>::passOn();
}

QString Appointment_Item::getRepetitionPeriod() const
{
    const QString rule = getElement(QStringLiteral("periodicity"));
    if (rule.isEmpty())
        return QStringLiteral("ONE_TIME");
    // The rules this library writes first: compared whole, nothing allocated.
    const QStringView prefix(u"RRULE:FREQ=");
    if (rule.startsWith(prefix)) {
        const QStringView frequency = QStringView(rule).mid(prefix.size());
        if (frequency == QStringView(u"DAILY"))
            return QStringLiteral("DAILY");
        if (frequency == QStringView(u"WEEKLY"))
            return QStringLiteral("WEEKLY");
        if (frequency == QStringView(u"MONTHLY"))
            return QStringLiteral("MONTHLY");
    }
    // A containment test, so a longer rule (";INTERVAL=2") still counts.
    if (rule.contains(QLatin1String("DAILY")))
        return QStringLiteral("DAILY");
    if (rule.contains(QLatin1String("WEEKLY")))
        return QStringLiteral("WEEKLY");
    if (rule.contains(QLatin1String("MONTHLY")))
        return QStringLiteral("MONTHLY");
    return QString();
}

QDate Appointment_Item::getRepetitionEndDate() const
{
    // Absent, empty or unreadable: a null date.
    return ImpExp_Timestamp::toLocalDate(getElement(QStringLiteral("repetitiveEndDate")));
}
