#include "../CommandLine.h"
#include "../Commands.h"
#include "BridgeCommon.h"
#include "EventMapping.h"

#include <KCalendarCore/Journal>
#include <KCalendarCore/Todo>

#include <QFileInfo>

#include <algorithm>

using namespace Bridge;
using KCalendarCore::Event;

namespace
{

// Masters before their overrides, then by start: the output must not depend
// on the calendar's hashing.
bool eventOrder(const Event::Ptr &a, const Event::Ptr &b)
{
    if (a->uid() != b->uid())
        return a->uid() < b->uid();
    if (a->hasRecurrenceId() != b->hasRecurrenceId())
        return !a->hasRecurrenceId();
    if (a->recurrenceId() != b->recurrenceId())
        return a->recurrenceId() < b->recurrenceId();
    return a->dtStart() < b->dtStart();
}

QString incidenceLabel(const QString &file, const KCalendarCore::Incidence &incidence)
{
    QString label = QStringLiteral("%1 uid=%2").arg(file, incidence.uid());
    if (incidence.hasRecurrenceId())
        label += QStringLiteral(" recurrence-id=") + incidence.recurrenceId().toString(Qt::ISODate);
    return label;
}

} // namespace

int runFromICal(const QStringList &arguments)
{
    const QString command = arguments.value(0);
    CommandLine line(
        command, QStringLiteral("FILE.ics... TEMPLATE"),
        QStringLiteral(
            "Turns every event (VEVENT) of the iCalendar files into an appointment of an agenda "
            "set (\"Agenda\")."));
    Arguments request;
    const int status = parseFromArguments(line, arguments, QStringLiteral("FILE.ics"),
                                          QStringLiteral("iCalendar files to read."), &request);
    if (status >= 0)
        return status;
    warnAboutSystemZone(command);

    Report report(QStringLiteral("from-ical"), request.verbose);
    ItemCollector collector(&report, "event");
    QString error;
    for (const QString &file : qAsConst(request.inputs)) {
        QByteArray data;
        if (!readFile(file, &data, &error))
            return inputError(command, error);
        KCalendarCore::MemoryCalendar::Ptr calendar(
            new KCalendarCore::MemoryCalendar(QTimeZone::systemTimeZone()));
        if (!loadCalendar(data, calendar, &error))
            return inputError(command, QStringLiteral("%1: %2").arg(file, error));
        const QString name = QFileInfo(file).fileName();

        Event::List events = calendar->rawEvents();
        std::sort(events.begin(), events.end(), eventOrder);
        for (const Event::Ptr &event : qAsConst(events)) {
            const QString label = incidenceLabel(name, *event);
            if (event->hasRecurrenceId()) {
                if (calendar->event(event->uid()))
                    continue; // told with its series
                report.read();
                report.skipped(label,
                               QStringLiteral("detached occurrence (RECURRENCE-ID) "
                                              "whose series is not in the input"));
                continue;
            }
            report.read();
            if (!event->dtStart().isValid()) {
                report.skipped(label, QStringLiteral("no DTSTART"));
                continue;
            }
            const int detached = static_cast<int>(calendar->instances(event).size());
            Losses notCarried;
            QStringList approximations;
            AppointmentFields fields
                = appointmentFromEvent(*event, detached, &notCarried, &approximations);
            collector.add(label, fields, appointmentItem, approximations, notCarried);
        }
        const KCalendarCore::Todo::List todos = calendar->rawTodos();
        for (const auto &todo : todos) {
            report.read();
            report.skipped(incidenceLabel(name, *todo),
                           QStringLiteral("to-do (VTODO), not an event"));
        }
        const KCalendarCore::Journal::List journals = calendar->rawJournals();
        for (const auto &journal : journals) {
            report.read();
            report.skipped(incidenceLabel(name, *journal),
                           QStringLiteral("journal (VJOURNAL), not an event"));
        }
    }

    if (const int refused = report.refuseApproximations(request.strict, command, "event");
        refused >= 0)
        return refused;
    if (!writeSet(collector.items(), request.pathTemplate, QStringLiteral("Agenda"),
                  request.options, &error))
        return writeError(command, error);
    return report.finish(collector.items().size());
}
