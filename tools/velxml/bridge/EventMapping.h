#ifndef VELXML_EVENTMAPPING_H
#define VELXML_EVENTMAPPING_H

#include "Losses.h"

#include <ImpExp_Item.h>

#include <KCalendarCore/Event>
#include <KCalendarCore/MemoryCalendar>

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

namespace Bridge
{

// The fields an agenda appointment carries. begin and end are UTC instants;
// period is "ONE_TIME" or a frequency word as iCalendar spells it.
struct AppointmentFields {
    QString duid;
    QDateTime lastModified;
    QString title;
    QString place;
    QString description;
    QDateTime begin;
    QDateTime end;
    QString period = QStringLiteral("ONE_TIME");
    QDate repetitionEndDate;
    bool hasAlarm = false;
    int alarmDelay = 0; // whole minutes before the begin
};

// The fewest occurrences compared to decide whether a repetition is carried
// exactly (every one within about a year of the start is compared too).
constexpr int comparedOccurrences = 50;

// Reads iCalendar (or vCalendar 1.0) data into @p calendar. Bare components
// and calendars without VERSION, which some writers produce, are accepted.
// An event has a lastModified only when the data gives it LAST-MODIFIED.
bool loadCalendar(const QByteArray &data, const KCalendarCore::MemoryCalendar::Ptr &calendar,
                  QString *error);

// The begin and end instants of an event: its own times converted to UTC
// through its zone; an all-day event runs from local midnight of its first
// day to local midnight after its last.
QDateTime eventBegin(const KCalendarCore::Event &event);
QDateTime eventEnd(const KCalendarCore::Event &event);

// The zone whose wall clock a series of the exchange keeps: the system's, UTC
// when the system names none.
QTimeZone wallClockZone();

// What an event turns into. @p detachedOccurrences counts the overrides
// (RECURRENCE-ID) of its series found beside it; @p notCarried (may be null)
// counts the event's properties without a place in the exchange, and a
// repetition word receivers do not know. A repetition is carried exactly when
// it gives the same occurrences repeated at the wall-clock time of
// wallClockZone().
AppointmentFields appointmentFromEvent(const KCalendarCore::Event &event, int detachedOccurrences,
                                       Losses *notCarried, QStringList *approximations);

// The event the other side sees: the carried frequency from begin until the
// end date (inclusive) in @p zone, a display alarm. A repeating event starts
// at its wall-clock time in @p zone (DTSTART;TZID=...), so that the series
// keeps that time across clock changes; the others are written in UTC.
// @p losses counts a repetition that cannot be written (the event then goes
// out once). Without a lastModified the event is marked for calendarText(),
// which leaves out the time of making as its change date.
KCalendarCore::Event::Ptr eventFromAppointment(const AppointmentFields &fields,
                                               const QTimeZone &zone, Losses *losses);

// @p calendar as iCalendar text. Events made by eventFromAppointment() without
// a lastModified get no LAST-MODIFIED (their DTSTAMP is the time of writing).
QByteArray calendarText(const KCalendarCore::MemoryCalendar::Ptr &calendar);

ImpExp_Item appointmentItem(const AppointmentFields &fields);
// @throws ImpExp_ErrorException when begin or end cannot be read.
AppointmentFields appointmentFromItem(const ImpExp_Item &record);

// The first @p count occurrences of an event as UTC instants.
QList<QDateTime> firstOccurrences(const KCalendarCore::Event &event, int count);

} // namespace Bridge

#endif // VELXML_EVENTMAPPING_H
