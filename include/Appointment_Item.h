#ifndef APPOINTMENT_ITEM_H
#define APPOINTMENT_ITEM_H

/**
 * @file Appointment_Item.h
 * Agenda appointments and appointment id map entries as item records, and
 * the accessors that read an appointment's fields back.
 */

#include <AppointmentFields.h>
#include <ImpExp_Item.h>

#include <QDate>
#include <QDateTime>
#include <QString>

/**
 * An agenda appointment: item name "appointment", the standard attributes,
 * the read-only flag, and these elements in this order, each only under its
 * condition: begin and end (always, UTC "yyyyMMddThhmmssZ"), title,
 * description (when not empty), periodicity ("RRULE:FREQ=<period>" unless the
 * period is empty or exactly "ONE_TIME"), repetitiveEndDate (the start of the
 * date in local time, in UTC, when the date is valid: local midnight, or the
 * end of the gap where a DST switch skips midnight), alarmReminderDelay
 * (decimal, when @p hasAlarm), place (when not empty), readOnly
 * ("true"/"false", always).
 */
class VELXMLIMPEXP_EXPORT Appointment_Item : public ImpExp_Item
{
public:
    /**
     * @throws ImpExp_ErrorException, tested in this order: "Empty duid for
     *         Item", "Invalid appointment: No beginDate" (null @p beginDate),
     *         "Invalid appointment: No endDate" (null @p endDate). Throws
     *         nothing else. A set but invalid date-time is written as an
     *         empty text, which getBeginDate()/getEndDate() refuse.
     */
    Appointment_Item(const QString &duid, const QString &puid, const QDateTime &lastModified,
                     const QString &title, const QString &place, const QDateTime &beginDate,
                     const QDateTime &endDate, const QString &repetitionPeriod,
                     const QDate &repetitionEndDate, const QString &description, bool hasAlarm,
                     int alarmReminderDelay, bool readOnly);

    /**
     * The same record as the constructor above given the same values, the
     * repetition period OneTime standing for an empty period: the fields are
     * taken by name, and the period can only be one of the known ones.
     * @throws ImpExp_ErrorException as the constructor above. Throws nothing else.
     * @since 1.2
     */
    Appointment_Item(const QString &duid, const QString &puid, const QDateTime &lastModified,
                     const AppointmentFields &fields);

    /**
     * Views a record as an appointment, for the accessors below: typically
     * an ImpExp_Item named "appointment" that the import reader filled. The
     * name, the pairs and the read-only flag are copied as they are; nothing
     * is checked and nothing is thrown.
     */
    explicit Appointment_Item(const ImpExp_Item &record);

    ~Appointment_Item() override;

    /**
     * The "begin" element as a local date-time.
     * @throws ImpExp_ErrorException "invalid beginDate" when it is absent,
     *         empty or not a valid timestamp. Throws nothing else.
     */
    QDateTime getBeginDate() const;
    /**
     * The "end" element as a local date-time.
     * @throws ImpExp_ErrorException "invalid endDate" when it is absent,
     *         empty or not a valid timestamp. Throws nothing else.
     */
    QDateTime getEndDate() const;
    /**
     * "ONE_TIME" when "periodicity" is absent or empty; otherwise the first of
     * "DAILY", "WEEKLY", "MONTHLY" that the text contains; otherwise a null
     * string.
     */
    QString getRepetitionPeriod() const;
    /// The local date of "repetitiveEndDate", or a null date when it is
    /// absent or does not parse.
    QDate getRepetitionEndDate() const;
};

/**
 * An appointment id map entry: item name "appointmentMap", attribute "duid"
 * and, unless @p puid is null, "puid"; no elements.
 */
class VELXMLIMPEXP_EXPORT AppointmentMap_Item : public ImpExp_Item
{
public:
    /// @throws ImpExp_ErrorException "Empty duid for Item". Throws nothing else.
    AppointmentMap_Item(const QString &duid, const QString &puid);
    ~AppointmentMap_Item() override;
};

#endif // APPOINTMENT_ITEM_H
