#include "EventMapping.h"

#include <Appointment_Item.h>

#include <KCalendarCore/Alarm>
#include <KCalendarCore/Exceptions>
#include <KCalendarCore/ICalFormat>
#include <KCalendarCore/Recurrence>
#include <KCalendarCore/RecurrenceRule>
#include <KCalendarCore/VCalFormat>

#include <QCryptographicHash>

#include <cstring>

using KCalendarCore::Event;
using KCalendarCore::RecurrenceRule;

namespace Bridge
{

namespace
{

struct Frequency {
    const char *word;
    RecurrenceRule::PeriodType type;
};

const Frequency frequencies[] = {
    { "SECONDLY", RecurrenceRule::rSecondly }, { "MINUTELY", RecurrenceRule::rMinutely },
    { "HOURLY", RecurrenceRule::rHourly },     { "DAILY", RecurrenceRule::rDaily },
    { "WEEKLY", RecurrenceRule::rWeekly },     { "MONTHLY", RecurrenceRule::rMonthly },
    { "YEARLY", RecurrenceRule::rYearly },
};

// The repetition words receivers of a set know.
bool isKnownPeriod(const QString &period)
{
    return period == QLatin1String("DAILY") || period == QLatin1String("WEEKLY")
        || period == QLatin1String("MONTHLY");
}

QString frequencyWord(RecurrenceRule::PeriodType type)
{
    for (const Frequency &f : frequencies) {
        if (f.type == type)
            return QString::fromLatin1(f.word);
    }
    return QString();
}

RecurrenceRule::PeriodType frequencyType(const QString &word)
{
    for (const Frequency &f : frequencies) {
        if (word == QLatin1String(f.word))
            return f.type;
    }
    return RecurrenceRule::rNone;
}

QString loadErrorText(const KCalendarCore::Exception *exception)
{
    using E = KCalendarCore::Exception;
    switch (exception ? exception->code() : E::LoadError) {
    case E::ParseErrorIcal:
    case E::LibICalError:
        return QStringLiteral("not valid iCalendar data");
    case E::NoCalendar:
        return QStringLiteral("no calendar (VCALENDAR) found");
    case E::CalVersion1:
        return QStringLiteral("vCalendar 1.0 data that could not be read");
    case E::CalVersionUnknown:
    case E::VersionPropertyMissing:
        return QStringLiteral("unknown calendar version");
    default:
        return QStringLiteral("the calendar could not be read (error %1)")
            .arg(exception ? int(exception->code()) : -1);
    }
}

QDateTime localMidnight(const QDate &date)
{
    return QDateTime(date, QTime(0, 0), Qt::LocalTime).toUTC();
}

// An occurrence as a UTC instant; an all-day one at local midnight of its day.
QDateTime occurrenceInstant(const QDateTime &at, bool allDay)
{
    return allDay ? localMidnight(at.date()) : at.toUTC();
}

void listUncarried(const Event &event, Losses *out)
{
    if (!event.attendees().isEmpty())
        out->add(QStringLiteral("ATTENDEE"), event.attendees().size());
    if (!event.organizer().isEmpty())
        out->add(QStringLiteral("ORGANIZER"));
    if (!event.categories().isEmpty())
        out->add(QStringLiteral("CATEGORIES"));
    if (!event.attachments().isEmpty())
        out->add(QStringLiteral("ATTACH"));
    if (!event.resources().isEmpty())
        out->add(QStringLiteral("RESOURCES"));
    if (!event.comments().isEmpty())
        out->add(QStringLiteral("COMMENT"));
    if (!event.contacts().isEmpty())
        out->add(QStringLiteral("CONTACT"));
    if (!event.relatedTo().isEmpty())
        out->add(QStringLiteral("RELATED-TO"));
    if (event.url().isValid())
        out->add(QStringLiteral("URL"));
    if (event.hasGeo())
        out->add(QStringLiteral("GEO"));
    if (event.priority() != 0)
        out->add(QStringLiteral("PRIORITY"));
    if (event.status() != KCalendarCore::Incidence::StatusNone)
        out->add(QStringLiteral("STATUS"));
    if (event.secrecy() != KCalendarCore::Incidence::SecrecyPublic)
        out->add(QStringLiteral("CLASS"));
    if (event.transparency() == Event::Transparent)
        out->add(QStringLiteral("TRANSP"));
    if (!event.conferences().isEmpty())
        out->add(QStringLiteral("CONFERENCE"));
    if (event.alarms().size() > 1)
        out->add(QStringLiteral("further VALARM"), event.alarms().size() - 1);
    const QMap<QByteArray, QString> customs = event.customProperties();
    for (auto it = customs.cbegin(); it != customs.cend(); ++it)
        out->add(QString::fromLatin1(it.key()));
}

// Minutes before the begin at which the first alarm rings.
void readAlarm(const Event &event, const QDateTime &begin, const QDateTime &end,
               AppointmentFields *fields, QStringList *approximations)
{
    const KCalendarCore::Alarm::List alarms = event.alarms();
    if (alarms.isEmpty())
        return;
    const KCalendarCore::Alarm::Ptr alarm = alarms.first();
    qint64 secondsBefore = 0;
    if (alarm->hasTime())
        secondsBefore = alarm->time().secsTo(begin);
    else if (alarm->hasEndOffset())
        secondsBefore = -(alarm->endOffset().asSeconds() + begin.secsTo(end));
    else
        secondsBefore = -alarm->startOffset().asSeconds();
    // Some writers say "no alarm" with a trigger decades before the event
    // (their ACTION:NONE reads as a display alarm).
    constexpr qint64 aYear = 366 * 24 * 3600;
    if (qAbs(secondsBefore) > aYear) {
        *approximations << QStringLiteral("alarm more than a year away from the start not carried");
        return;
    }
    fields->hasAlarm = true;
    fields->alarmDelay = static_cast<int>(secondsBefore / 60);
    if (secondsBefore % 60 != 0)
        *approximations << QStringLiteral("alarm %1 s before the start rounded to whole minutes")
                               .arg(secondsBefore);
}

// The occurrences that decide whether a rule is carried exactly: at least the
// first comparedOccurrences, and every one within a year and a bit of the
// start, so that a clock change later in the series is not missed.
QList<QDateTime> ruleOccurrences(const RecurrenceRule &rule, bool allDay)
{
    constexpr int most = 5000;
    QList<QDateTime> result;
    QDateTime at = rule.startDt().addSecs(-1);
    const QDateTime horizon = rule.startDt().addDays(400);
    while (result.size() < comparedOccurrences || (at < horizon && result.size() < most)) {
        at = rule.getNextDate(at);
        if (!at.isValid())
            break;
        result << occurrenceInstant(at, allDay);
    }
    return result;
}

QString byParts(const RecurrenceRule &rule)
{
    QStringList parts;
    if (!rule.bySeconds().isEmpty())
        parts << QStringLiteral("BYSECOND");
    if (!rule.byMinutes().isEmpty())
        parts << QStringLiteral("BYMINUTE");
    if (!rule.byHours().isEmpty())
        parts << QStringLiteral("BYHOUR");
    if (!rule.byDays().isEmpty())
        parts << QStringLiteral("BYDAY");
    if (!rule.byMonthDays().isEmpty())
        parts << QStringLiteral("BYMONTHDAY");
    if (!rule.byYearDays().isEmpty())
        parts << QStringLiteral("BYYEARDAY");
    if (!rule.byWeekNumbers().isEmpty())
        parts << QStringLiteral("BYWEEKNO");
    if (!rule.byMonths().isEmpty())
        parts << QStringLiteral("BYMONTH");
    if (!rule.bySetPos().isEmpty())
        parts << QStringLiteral("BYSETPOS");
    return parts.join(QLatin1Char(','));
}

void readRecurrence(const Event &event, int detachedOccurrences, AppointmentFields *fields,
                    QStringList *approximations)
{
    if (detachedOccurrences > 0)
        *approximations << QStringLiteral("%1 detached occurrence(s) (RECURRENCE-ID) not carried")
                               .arg(detachedOccurrences);
    if (!event.recurs())
        return;
    const KCalendarCore::Recurrence *recurrence = event.recurrence();
    const RecurrenceRule::List rules = recurrence->rRules();
    QStringList lost;
    if (!recurrence->exRules().isEmpty())
        lost << QStringLiteral("EXRULE");
    if (!recurrence->exDates().isEmpty() || !recurrence->exDateTimes().isEmpty())
        lost << QStringLiteral("EXDATE (%1)")
                    .arg(recurrence->exDates().size() + recurrence->exDateTimes().size());
    if (!recurrence->rDates().isEmpty() || !recurrence->rDateTimes().isEmpty())
        lost << QStringLiteral("RDATE (%1)")
                    .arg(recurrence->rDates().size() + recurrence->rDateTimes().size());
    if (rules.size() > 1)
        lost << QStringLiteral("%1 further RRULE").arg(rules.size() - 1);
    if (rules.isEmpty()) {
        *approximations << lost;
        return;
    }
    const RecurrenceRule *rule = rules.first();
    fields->period = frequencyWord(rule->recurrenceType());
    if (rule->frequency() != 1)
        lost << QStringLiteral("INTERVAL=%1").arg(rule->frequency());

    // The end date: the local date of the last occurrence (so that repeating
    // until that day gives no extra one), else of UNTIL.
    const QDateTime last = rule->endDt();
    if (last.isValid()) {
        QDateTime lastOccurrence = last;
        if (rule->duration() <= 0) {
            const QDateTime previous = rule->getPreviousDate(last.addSecs(1));
            if (previous.isValid())
                lastOccurrence = previous;
        }
        fields->repetitionEndDate
            = event.allDay() ? lastOccurrence.date() : lastOccurrence.toLocalTime().date();
    }

    // The rule alone against its carried form: EXDATE and the like are
    // already told above.
    Losses ignored;
    const Event::Ptr carried = eventFromAppointment(*fields, wallClockZone(), &ignored);
    const RecurrenceRule *carriedRule = carried->recurrence()->defaultRRuleConst();
    if (!carriedRule
        || ruleOccurrences(*rule, event.allDay())
            != ruleOccurrences(*carriedRule, carried->allDay())) {
        const QString parts = byParts(*rule);
        if (!parts.isEmpty())
            lost << QStringLiteral("%1 does not follow from DTSTART").arg(parts);
        else if (lost.isEmpty())
            lost << QStringLiteral("FREQ=%1 repeated at the wall-clock time of %2 gives other "
                                   "occurrences (the event's zone changes its clock otherwise)")
                        .arg(fields->period, QString::fromUtf8(wallClockZone().id()));
    }
    *approximations << lost;
}

// The vCalendar reader invents a random UID for entries without one (the
// iCalendar reader derives one from the content); make those stable too.
void giveStableUids(const QByteArray &data, const KCalendarCore::MemoryCalendar::Ptr &calendar)
{
    KCalendarCore::MemoryCalendar::Ptr again(
        new KCalendarCore::MemoryCalendar(calendar->timeZone()));
    if (!KCalendarCore::VCalFormat().fromRawString(again, data))
        return;
    const KCalendarCore::Incidence::List incidences = calendar->rawIncidences();
    for (const KCalendarCore::Incidence::Ptr &incidence : incidences) {
        if (again->incidence(incidence->uid()))
            continue;
        const QString content
            = QStringList(
                  { QString::number(incidence->type()), incidence->summary(),
                    incidence->description(), incidence->location(),
                    incidence->dtStart().toString(Qt::ISODate),
                    incidence->dateTime(KCalendarCore::Incidence::RoleEnd).toString(Qt::ISODate) })
                  .join(QLatin1Char('\n'));
        calendar->deleteIncidence(incidence);
        incidence->setUid(QString::fromLatin1(
            QCryptographicHash::hash(content.toUtf8(), QCryptographicHash::Md5).toHex()));
        calendar->addIncidence(incidence);
    }
}

// KCalendarCore stamps every event it makes with the time of making as its
// last change, when reading a file without LAST-MODIFIED and when writing
// one. These markers tell the events that have a change date of their own.
const char givenChangeDate[] = "X-VELXML-GIVEN-LAST-MODIFIED";
const char noChangeDate[] = "X-VELXML-NO-LAST-MODIFIED";

// The upper-case start of a content line, enough to tell its property.
QByteArray lineStart(const QByteArray &text, int start)
{
    return QByteArray::fromRawData(text.constData() + start, qMin(32, text.size() - start))
        .toUpper();
}

// Whether the line starting with @p start is property @p name, or with
// @p ends, a line made of @p name alone ("BEGIN:VEVENT").
bool isProperty(const QByteArray &start, const QByteArray &name, const char *ends = ":;")
{
    if (!start.startsWith(name) || start.size() == name.size())
        return start == name;
    const char next = start.at(name.size());
    return next != '\0' && std::strchr(ends, next) != nullptr;
}

// Calls @p use(start, end, lineStart, depth) for every line of @p text; depth
// is 1 on the lines of a VEVENT (its BEGIN and END included), more inside its
// alarms and 0 outside.
template<typename Use> void forEachLine(const QByteArray &text, Use use)
{
    int depth = 0;
    for (int start = 0; start < text.size();) {
        const int newline = text.indexOf('\n', start);
        const int end = newline < 0 ? text.size() : newline + 1;
        const QByteArray head = lineStart(text, start);
        if (head.startsWith("BEGIN:") && (depth > 0 || isProperty(head, "BEGIN:VEVENT", "\r\n \t")))
            ++depth;
        use(start, end, head, depth);
        if (head.startsWith("END:") && depth > 0)
            --depth;
        start = end;
    }
}

// @p data with the marker before every LAST-MODIFIED of an event.
QByteArray markGivenChangeDates(const QByteArray &data)
{
    const QByteArray marker
        = QByteArray(givenChangeDate) + (data.contains("\r\n") ? ":1\r\n" : ":1\n");
    QByteArray result;
    result.reserve(data.size());
    forEachLine(data, [&](int start, int end, const QByteArray &head, int depth) {
        if (depth == 1 && isProperty(head, "LAST-MODIFIED"))
            result += marker;
        result.append(data.constData() + start, end - start);
    });
    return result;
}

// Clears the stamp of the events without a marker, and the markers.
void keepGivenChangeDates(const KCalendarCore::MemoryCalendar::Ptr &calendar)
{
    calendar->setUpdateLastModifiedOnChange(false); // or each change below stamps again
    const QByteArray marker(givenChangeDate);
    const Event::List events = calendar->rawEvents();
    for (const Event::Ptr &event : events) {
        const bool given = !event->nonKDECustomProperty(marker).isEmpty();
        event->removeNonKDECustomProperty(marker);
        if (!given)
            event->setLastModified(QDateTime());
    }
}

bool readCalendar(const QByteArray &input, const KCalendarCore::MemoryCalendar::Ptr &calendar,
                  QString *error);

} // namespace

bool loadCalendar(const QByteArray &input, const KCalendarCore::MemoryCalendar::Ptr &calendar,
                  QString *error)
{
    if (!readCalendar(markGivenChangeDates(input), calendar, error))
        return false;
    keepGivenChangeDates(calendar);
    return true;
}

QByteArray calendarText(const KCalendarCore::MemoryCalendar::Ptr &calendar)
{
    KCalendarCore::ICalFormat format;
    const QByteArray text = format.toString(calendar).toUtf8();
    // The events marked when made, with their LAST-MODIFIED lines and the
    // markers taken out; every line of such an event is held until its end.
    const QByteArray marker = QByteArray(noChangeDate) + ':';
    QByteArray result;
    result.reserve(text.size());
    QList<QPair<int, int>> event; // the lines of the event being read
    bool marked = false;
    bool inChangeDate = false; // a LAST-MODIFIED line and its folded continuation
    forEachLine(text, [&](int start, int end, const QByteArray &head, int depth) {
        if (depth == 0) {
            result.append(text.constData() + start, end - start);
            return;
        }
        event.append({ start, end });
        marked = marked || head.startsWith(marker);
        if (depth == 1 && head.startsWith("END:")) {
            for (const auto &line : qAsConst(event)) {
                const QByteArray lineHead = lineStart(text, line.first);
                const bool continued = lineHead.startsWith(' ') || lineHead.startsWith('\t');
                if (!continued)
                    inChangeDate = marked && isProperty(lineHead, "LAST-MODIFIED");
                if (inChangeDate || (marked && lineHead.startsWith(marker)))
                    continue;
                result.append(text.constData() + line.first, line.second - line.first);
            }
            event.clear();
            marked = false;
            inChangeDate = false;
        }
    });
    return result;
}

namespace
{

bool readCalendar(const QByteArray &input, const KCalendarCore::MemoryCalendar::Ptr &calendar,
                  QString *error)
{
    QByteArray data = input;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    // Bare components (no VCALENDAR around them) get the calendar they lack.
    const bool bare = !data.trimmed().startsWith("BEGIN:VCALENDAR");
    auto readFramed = [&data, &calendar]() {
        const QByteArray framed
            = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//velxml//bridge//EN\r\n" + data
            + "\r\nEND:VCALENDAR\r\n";
        KCalendarCore::ICalFormat retry;
        return retry.fromRawString(calendar, framed);
    };
    KCalendarCore::ICalFormat format;
    if (format.fromRawString(calendar, data)) {
        if (bare && calendar->rawIncidences().isEmpty())
            readFramed(); // several bare components read as none
        return true;
    }
    using E = KCalendarCore::Exception;
    const int code = format.exception() ? format.exception()->code() : E::LoadError;
    if (code == E::NoCalendar && bare) {
        if (readFramed())
            return true;
    } else if (code == E::CalVersionUnknown && !data.contains("\nVERSION:")
               && data.startsWith("BEGIN:VCALENDAR")) {
        // A calendar that omits VERSION: read it as the current version.
        const int lineEnd = data.indexOf('\n');
        if (lineEnd > 0) {
            KCalendarCore::ICalFormat retry;
            if (retry.fromRawString(
                    calendar, data.left(lineEnd + 1) + "VERSION:2.0\r\n" + data.mid(lineEnd + 1)))
                return true;
        }
    }
    if (code == E::CalVersion1 || code == E::CalVersionUnknown) {
        KCalendarCore::VCalFormat vcal;
        if (vcal.fromRawString(calendar, data) && !calendar->rawIncidences().isEmpty()) {
            giveStableUids(data, calendar);
            return true;
        }
    }
    *error = loadErrorText(format.exception());
    return false;
}

} // namespace

QDateTime eventBegin(const Event &event)
{
    if (event.allDay())
        return localMidnight(event.dtStart().date());
    return event.dtStart().toUTC();
}

QDateTime eventEnd(const Event &event)
{
    const QDateTime end = event.dtEnd();
    if (event.allDay()) {
        const QDate last = end.isValid() && end.date() >= event.dtStart().date()
            ? end.date()
            : event.dtStart().date();
        return localMidnight(last.addDays(1));
    }
    return end.isValid() ? end.toUTC() : event.dtStart().toUTC();
}

QTimeZone wallClockZone()
{
    const QTimeZone system = QTimeZone::systemTimeZone();
    return system.isValid() ? system : QTimeZone::utc();
}

AppointmentFields appointmentFromEvent(const Event &event, int detachedOccurrences,
                                       Losses *notCarried, QStringList *approximations)
{
    AppointmentFields fields;
    fields.duid = event.uid();
    fields.lastModified = event.lastModified();
    fields.title = event.summary();
    fields.place = event.location();
    fields.description = event.description();
    fields.begin = eventBegin(event);
    fields.end = eventEnd(event);
    readAlarm(event, fields.begin, fields.end, &fields, approximations);
    readRecurrence(event, detachedOccurrences, &fields, approximations);
    if (notCarried) {
        listUncarried(event, notCarried);
        // Receivers know no other repetition words: the series reaches them as none.
        if (fields.period != QLatin1String("ONE_TIME") && !isKnownPeriod(fields.period))
            notCarried->add(QStringLiteral("FREQ=") + fields.period);
    }
    return fields;
}

Event::Ptr eventFromAppointment(const AppointmentFields &f, const QTimeZone &zone, Losses *losses)
{
    Event::Ptr event(new Event);
    event->startUpdates();
    event->setUid(f.duid);
    event->setSummary(f.title);
    event->setLocation(f.place);
    event->setDescription(f.description);
    const QDateTime localBegin = f.begin.toTimeZone(zone);
    const QDateTime localEnd = f.end.toTimeZone(zone);
    const bool allDay = localBegin.time() == QTime(0, 0) && localEnd.time() == QTime(0, 0)
        && localEnd.date() > localBegin.date();
    const bool hasPeriod = !f.period.isEmpty() && f.period != QLatin1String("ONE_TIME");
    const RecurrenceRule::PeriodType type
        = hasPeriod ? frequencyType(f.period) : RecurrenceRule::rNone;
    const bool repeats = type != RecurrenceRule::rNone;
    if (allDay) {
        event->setDtStart(QDateTime(localBegin.date(), QTime(0, 0), Qt::LocalTime));
        event->setDtEnd(QDateTime(localEnd.date().addDays(-1), QTime(0, 0), Qt::LocalTime));
        event->setAllDay(true);
    } else if (repeats) {
        // A series repeats at its wall-clock time: written in the zone, every
        // reader keeps 09:00 at 09:00 across a clock change.
        event->setDtStart(localBegin);
        event->setDtEnd(localEnd);
    } else {
        event->setDtStart(f.begin.toUTC());
        event->setDtEnd(f.end.toUTC());
    }

    if (hasPeriod && !repeats) {
        // The series cannot be written: the event goes out once.
        losses->add(QStringLiteral("periodicity %1").arg(f.period));
    } else if (repeats) {
        KCalendarCore::Recurrence *recurrence = event->recurrence();
        RecurrenceRule *rule = recurrence->defaultRRule(true);
        rule->setRecurrenceType(type);
        rule->setFrequency(1);
        if (f.repetitionEndDate.isValid()) {
            if (allDay)
                recurrence->setEndDate(f.repetitionEndDate);
            else
                recurrence->setEndDateTime(QDateTime(f.repetitionEndDate, QTime(23, 59, 59), zone));
        }
    }

    if (f.hasAlarm) {
        const KCalendarCore::Alarm::Ptr alarm = event->newAlarm();
        alarm->setDisplayAlarm(f.title);
        alarm->setStartOffset(KCalendarCore::Duration(-qint64(f.alarmDelay) * 60));
        alarm->setEnabled(true);
    }
    if (f.lastModified.isValid())
        event->setLastModified(f.lastModified.toUTC());
    else
        event->setNonKDECustomProperty(noChangeDate, QStringLiteral("1"));
    event->endUpdates();
    return event;
}

ImpExp_Item appointmentItem(const AppointmentFields &f)
{
    return Appointment_Item(f.duid, QString(), f.lastModified, f.title, f.place, f.begin, f.end,
                            f.period, f.repetitionEndDate, f.description, f.hasAlarm, f.alarmDelay,
                            false);
}

AppointmentFields appointmentFromItem(const ImpExp_Item &record)
{
    const Appointment_Item appointment(record);
    AppointmentFields f;
    f.duid = record.getAttribute(QStringLiteral("duid"));
    f.lastModified = record.getLastModificationDate();
    f.title = record.getElement(QStringLiteral("title"));
    f.place = record.getElement(QStringLiteral("place"));
    f.description = record.getElement(QStringLiteral("description"));
    f.begin = appointment.getBeginDate().toUTC();
    f.end = appointment.getEndDate().toUTC();
    f.period = appointment.getRepetitionPeriod();
    if (f.period.isNull()) {
        // Words the accessor does not know (YEARLY, HOURLY...) travel as written.
        const QString rule = record.getElement(QStringLiteral("periodicity"));
        const QLatin1String prefix("RRULE:FREQ=");
        f.period = rule.startsWith(prefix) ? rule.mid(prefix.size()).section(QLatin1Char(';'), 0, 0)
                                           : rule;
    }
    f.repetitionEndDate = appointment.getRepetitionEndDate();
    const QString delay = record.getElement(QStringLiteral("alarmReminderDelay"));
    if (!delay.isNull())
        f.alarmDelay = delay.toInt(&f.hasAlarm);
    return f;
}

QList<QDateTime> firstOccurrences(const Event &event, int count)
{
    QList<QDateTime> result;
    const QDateTime start = event.allDay()
        ? QDateTime(event.dtStart().date(), QTime(0, 0), Qt::LocalTime)
        : event.dtStart();
    if (!start.isValid())
        return result;
    if (!event.recurs()) {
        result << start.toUTC();
        return result;
    }
    const KCalendarCore::Recurrence *recurrence = event.recurrence();
    QDateTime at = start.addSecs(-1);
    while (result.size() < count) {
        at = recurrence->getNextDateTime(at);
        if (!at.isValid())
            break;
        result << occurrenceInstant(at, event.allDay());
    }
    return result;
}

} // namespace Bridge
