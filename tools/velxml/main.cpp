#include "CommandLine.h"
#include "Commands.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include <csignal>

namespace
{

const Command commands[] = {
    { "demo", "Export sample contacts and appointments, read them back and report", runDemo },
    { "info", "Show the pages, headers and item kinds of a page file set", runInfo },
    { "validate", "Check a page file set as a receiving system would", runValidate },
    { "dump", "Print the items of a set, as text or as JSON lines", runDump },
    { "export", "Write items given as JSON lines into a page file set", runExport },
    { "report", "Write an HTML page about a set: problems, cards, calendar", runReport },
    { "diff", "List what was added, changed and removed between two sets", runDiff },
    { "apply", "Write the full set that an old set and the set after it make", runApply },
#ifdef VELXML_HAVE_BRIDGE
    { "from-vcard", "Turn the cards of vCard files into a directory set", runFromVCard },
    { "to-vcard", "Turn the contacts of a directory set into a vCard file", runToVCard },
    { "from-ical", "Turn the events of iCalendar files into an agenda set", runFromICal },
    { "to-ical", "Turn the appointments of an agenda set into an iCalendar file", runToICal },
#endif
};

int usage(QTextStream &out)
{
    out << "Usage: " << toolName() << " <command> [options]\n\nCommands:\n";
    for (const Command &command : commands)
        out << "  " << QString::fromLatin1(command.name).leftJustified(12) << command.summary
            << '\n';
    out << "\nRun '" << toolName() << " <command> --help' for a command's options.\n";
#ifndef VELXML_HAVE_BRIDGE
    out << "\nNot in this build: from-vcard, to-vcard, from-ical and to-ical (building them\n"
           "needs KContacts and KCalendarCore of KDE Frameworks "
        << QT_VERSION_MAJOR << ").\n";
#endif
    return ExitUsage;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(toolName());
#ifdef SIGXFSZ
    // Past a file-size limit the write fails with "File too large", which the
    // tool reports; the signal's default would end it without a word.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // The library's trace would bury the tool's output; QT_LOGGING_RULES can
    // still turn it back on.
    QLoggingCategory::setFilterRules(QStringLiteral("velxml.impexp.debug=false"));
    QStringList arguments = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (arguments.size() < 2)
        return usage(err);
    const QString name = arguments.at(1);
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
        QTextStream out(stdout);
        usage(out);
        return ExitOk;
    }
    for (const Command &command : commands) {
        if (name == QLatin1String(command.name)) {
            arguments.removeAt(1);
            arguments[0] = toolName() + QLatin1Char(' ') + name;
            return command.run(arguments);
        }
    }
    err << toolName() << ": unknown command '" << name << "'\n";
    return usage(err);
}
