#include "../CommandLine.h"
#include "../Commands.h"
#include "BridgeCommon.h"
#include "EventMapping.h"

#include <KCalendarCore/Journal>
#include <KCalendarCore/Todo>

#include <QFileInfo>
#include <QSet>
#include <QTextStream>

#include <limits>

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
    QCommandLineParser &parser = line.parser();
    addCommonOptions(parser);
    addSetOptions(parser);
    parser.addPositionalArgument(QStringLiteral("FILE.ics"),
                                 QStringLiteral("iCalendar files to read."),
                                 QStringLiteral("FILE.ics..."));
    parser.addPositionalArgument(QStringLiteral("TEMPLATE"),
                                 QStringLiteral("Path template of the page files, holding %1."));
    const int status = line.parse(arguments, 2, std::numeric_limits<int>::max());
    if (status >= 0)
        return status;
    QStringList files = parser.positionalArguments();
    const QString pathTemplate = files.takeLast();
    if (!isPathTemplate(pathTemplate))
        return line.usageError(QStringLiteral("TEMPLATE must contain %1"));
    SetOptions options;
    QString error;
    if (!readSetOptions(parser, &options, &error))
        return line.usageError(error);
    const bool verbose = parser.isSet(QStringLiteral("verbose"));
    warnAboutSystemZone(command);

    Report report(QStringLiteral("from-ical"), verbose);
    QList<ImpExp_Item> items;
    QSet<QString> duids;
    for (const QString &file : qAsConst(files)) {
        QByteArray data;
        if (!readFile(file, &data, &error))
            return inputError(command, error);
        KCalendarCore::MemoryCalendar::Ptr calendar(
            new KCalendarCore::MemoryCalendar(QTimeZone::systemTimeZone()));
        // The library stamps events that lack LAST-MODIFIED with the time of
        // reading; such a stamp is no change date of the source.
        const QDateTime readingStarted = QDateTime::currentDateTimeUtc().addSecs(-1);
        if (!loadCalendar(data, calendar, &error))
            return inputError(command, QStringLiteral("%1: %2").arg(file, error));
        const QDateTime readingEnded = QDateTime::currentDateTimeUtc().addSecs(1);
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
            if (duids.contains(event->uid())) {
                report.skipped(label, QStringLiteral("duplicate UID: an earlier event has it"));
                continue;
            }
            const int detached = static_cast<int>(calendar->instances(event).size());
            QStringList notCarried, approximations;
            AppointmentFields fields = appointmentFromEvent(
                *event, detached, verbose ? &notCarried : nullptr, &approximations);
            if (fields.lastModified >= readingStarted && fields.lastModified <= readingEnded)
                fields.lastModified = QDateTime();
            try {
                items << appointmentItem(fields);
            } catch (const ImpExp_Exception &e) {
                report.skipped(label, QString::fromLatin1(e.what()));
                continue;
            }
            duids.insert(fields.duid);
            report.approximated(label, approximations);
            report.notCarried(label, notCarried);
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

    QTextStream &out = standardOutput();
    if (parser.isSet(QStringLiteral("strict")) && report.approximatedCount() > 0) {
        report.print(out);
        standardError() << command
                        << ": nothing written: some events would be approximated (--strict)\n";
        return ExitDataProblem;
    }
    if (!writeSet(items, pathTemplate, QStringLiteral("Agenda"), options, &error))
        return inputError(command, error);
    report.written(items.size());
    report.print(out);
    return report.exitStatus();
}
