#include "../CommandLine.h"
#include "../Commands.h"
#include "BridgeCommon.h"
#include "EventMapping.h"

#include <KCalendarCore/ICalFormat>

#include <QTextStream>

using namespace Bridge;

int runToICal(const QStringList &arguments)
{
    const QString command = arguments.value(0);
    CommandLine line(
        command, QStringLiteral("TEMPLATE OUT.ics"),
        QStringLiteral(
            "Turns every appointment of an agenda set into an event of one iCalendar file."));
    QCommandLineParser &parser = line.parser();
    addCommonOptions(parser);
    parser.addPositionalArgument(QStringLiteral("TEMPLATE"),
                                 QStringLiteral("Path template of the page files, holding %1."));
    parser.addPositionalArgument(QStringLiteral("OUT.ics"),
                                 QStringLiteral("iCalendar file to write."));
    const int status = line.parse(arguments, 2, 2);
    if (status >= 0)
        return status;
    const QStringList positional = parser.positionalArguments();
    const bool verbose = parser.isSet(QStringLiteral("verbose"));
    warnAboutSystemZone(command);

    QList<ImpExp_Item> records;
    QString error;
    if (!readSet(positional.at(0), QStringLiteral("appointment"), &records, &error))
        return inputError(command, error);

    Report report(QStringLiteral("to-ical"), verbose);
    KCalendarCore::MemoryCalendar::Ptr calendar(
        new KCalendarCore::MemoryCalendar(QTimeZone::utc()));
    int written = 0;
    for (int i = 0; i < records.size(); ++i) {
        const ImpExp_Item &record = records.at(i);
        report.read();
        const QString duid = record.getAttribute(QStringLiteral("duid"));
        const QString label = QStringLiteral("appointment %1 duid=%2").arg(i + 1).arg(duid);
        if (duid.isEmpty()) {
            report.skipped(label, QStringLiteral("no duid"));
            continue;
        }
        if (record.getItemElements().isEmpty()) {
            report.skipped(
                label,
                QStringLiteral("identifiers only (unchanged since the export's reference date)"));
            continue;
        }
        AppointmentFields fields;
        try {
            fields = appointmentFromItem(record);
        } catch (const ImpExp_Exception &e) {
            report.skipped(label, QString::fromLatin1(e.what()));
            continue;
        }
        QStringList approximations;
        const KCalendarCore::Event::Ptr event = eventFromAppointment(fields, &approximations);
        if (!calendar->addEvent(event)) {
            report.skipped(label, QStringLiteral("duplicate duid"));
            continue;
        }
        // Adding may stamp the event; the exchange's date is the one to keep.
        if (fields.lastModified.isValid())
            event->setLastModified(fields.lastModified.toUTC());
        ++written;
        report.approximated(label, approximations);
    }

    QTextStream &out = standardOutput();
    if (parser.isSet(QStringLiteral("strict")) && report.approximatedCount() > 0) {
        report.print(out);
        standardError()
            << command << ": nothing written: some appointments would be approximated (--strict)\n";
        return ExitDataProblem;
    }
    KCalendarCore::CalFormat::setApplication(
        QStringLiteral("velxml"), QStringLiteral("-//velxml//vCard and iCalendar bridge//EN"));
    KCalendarCore::ICalFormat format;
    if (!writeFile(positional.at(1), format.toString(calendar).toUtf8(), &error))
        return inputError(command, error);
    report.written(written);
    report.print(out);
    return report.exitStatus();
}
