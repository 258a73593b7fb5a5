#include "../CommandLine.h"
#include "../Commands.h"
#include "BridgeCommon.h"
#include "EventMapping.h"

#include <KCalendarCore/CalFormat>

using namespace Bridge;

int runToICal(const QStringList &arguments)
{
    const QString command = arguments.value(0);
    CommandLine line(
        command, QStringLiteral("TEMPLATE OUT.ics"),
        QStringLiteral(
            "Turns every appointment of an agenda set into an event of one iCalendar file."));
    const QCommandLineOption zoneOption(
        QStringLiteral("zone"),
        QStringLiteral("Zone whose wall clock repeating appointments keep (written as "
                       "DTSTART;TZID= with its VTIMEZONE). Default: the system's."),
        QStringLiteral("ZONE"));
    Arguments request;
    const int status = parseToArguments(line, arguments, { zoneOption }, QStringLiteral("OUT.ics"),
                                        QStringLiteral("iCalendar file to write."), &request);
    if (status >= 0)
        return status;
    QTimeZone zone = wallClockZone();
    if (line.parser().isSet(zoneOption)) {
        zone = QTimeZone(line.parser().value(zoneOption).toUtf8());
        if (!zone.isValid())
            return line.usageError(QStringLiteral("--zone: '%1' is no zone of the system's "
                                                  "zone database")
                                       .arg(line.parser().value(zoneOption)));
    } else {
        warnAboutSystemZone(command);
    }
    // The calendar keeps its events in hashes: a fixed seed writes them in the
    // same order on every run, so the same set always gives the same file.
    qSetGlobalQHashSeed(0);

    QList<ImpExp_Item> records;
    QString error;
    if (!readSet(request.pathTemplate, QStringLiteral("appointment"), &records, &error))
        return inputError(command, error);

    Report report(QStringLiteral("to-ical"), request.verbose);
    KCalendarCore::MemoryCalendar::Ptr calendar(
        new KCalendarCore::MemoryCalendar(QTimeZone::utc()));
    int written = 0;
    QSet<QString> uids; // the calendar itself takes a second event with the same UID
    forEachRecord(records, &report, appointmentFromItem,
                  [&](const QString &label, const AppointmentFields &fields) {
                      Losses losses;
                      const KCalendarCore::Event::Ptr event
                          = eventFromAppointment(fields, zone, &losses);
                      if (uids.contains(event->uid()) || !calendar->addEvent(event)) {
                          report.skipped(label, QStringLiteral("duplicate duid"));
                          return;
                      }
                      // Adding may stamp the event; the exchange's date is the one to keep.
                      if (fields.lastModified.isValid())
                          event->setLastModified(fields.lastModified.toUTC());
                      uids.insert(event->uid());
                      ++written;
                      report.notCarried(label, losses);
                  });

    if (const int refused = report.refuseApproximations(request.strict, command, "appointment");
        refused >= 0)
        return refused;
    KCalendarCore::CalFormat::setApplication(
        QStringLiteral("velxml"), QStringLiteral("-//velxml//vCard and iCalendar bridge//EN"));
    if (!writeFile(request.output, calendarText(calendar), &error))
        return inputError(command, error);
    return report.finish(written);
}
