#ifndef APPOINTMENTFIELDS_H
#define APPOINTMENTFIELDS_H

/**
 * @file AppointmentFields.h
 * An agenda appointment's fields by name, for building an Appointment_Item
 * and for reading an appointment record back.
 */

#include <FieldProblem.h>
#include <ImpExp_Item.h>

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

/**
 * The fields of an agenda appointment, each named after the positional
 * constructor's parameter. A plain value: set the members by name and hand
 * it to Appointment_Item(duid, puid, lastModified, fields).
 *
 * @code
 * AppointmentFields f;
 * f.title = QStringLiteral("Review");
 * f.beginDate = begin;
 * f.endDate = begin.addSecs(3600);
 * f.repetitionPeriod = AppointmentFields::RepetitionPeriod::Weekly;
 * builder.putItem(Appointment_Item(duid, QString(), changed, f));
 * @endcode
 * @since 1.2
 */
struct VELXMLIMPEXP_EXPORT AppointmentFields {
    /// How often the appointment repeats; written as "RRULE:FREQ=<WORD>".
    enum class RepetitionPeriod { OneTime, Daily, Weekly, Monthly };

    QString title;
    QString place;
    /// Required: a null begin makes the Appointment_Item constructor throw.
    QDateTime beginDate;
    /// Required: a null end makes the Appointment_Item constructor throw.
    QDateTime endDate;
    RepetitionPeriod repetitionPeriod = RepetitionPeriod::OneTime;
    /// The last day of the repetition, a local date; null for none.
    QDate repetitionEndDate;
    QString description;
    bool hasAlarm = false;
    /// In the host's unit; written only when hasAlarm is true.
    int alarmReminderDelay = 0;
    bool readOnly = false;

    /**
     * The fields of an appointment record, typically one the import reader
     * filled, each read from the first element of its name: begin and end as
     * local date-times (as Appointment_Item::getBeginDate() gives them), the
     * repetition end as a local date, hasAlarm true when an
     * "alarmReminderDelay" element is present, readOnly from the "readOnly"
     * element (or, without one, from the record's read-only flag).
     *
     * An absent element leaves its field null (false, 0, OneTime); an
     * absent begin or end too, which a host tells by isNull() (a record
     * written with its identifiers only has no elements at all).
     *
     * What cannot be read into its type is appended to @p problems when it is
     * not null, and its field is left null: a begin or an end that is not a
     * timestamp, a repetition end that is not
     * one, a periodicity other than "RRULE:FREQ=DAILY", "WEEKLY" or "MONTHLY"
     * (a longer rule that holds one of these words gives that period and a
     * problem, as only the period is kept), a delay that is not an integer, a
     * readOnly other than "true" or "false". Elements that no field takes (an
     * unknown name, or a second element of a name already read) are listed
     * too. Throws nothing.
     */
    static AppointmentFields fromItem(const ImpExp_Item &record,
                                      QList<FieldProblem> *problems = nullptr);

    /// Every field equal; date-times compare as instants.
    bool operator==(const AppointmentFields &other) const;
    bool operator!=(const AppointmentFields &other) const { return !(*this == other); }
};

#endif // APPOINTMENTFIELDS_H
