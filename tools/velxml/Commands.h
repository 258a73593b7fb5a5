#ifndef VELXML_COMMANDS_H
#define VELXML_COMMANDS_H

#include <QStringList>

// Exit statuses of every subcommand.
enum ExitStatus { ExitOk = 0, ExitDataProblem = 1, ExitUsage = 2 };

// One subcommand: @p arguments starts with "velxml <name>", ready for a
// QCommandLineParser of the subcommand's own.
struct Command {
    const char *name;
    const char *summary;
    int (*run)(const QStringList &arguments);
};

int runDemo(const QStringList &arguments);
int runInfo(const QStringList &arguments);
int runValidate(const QStringList &arguments);
int runDump(const QStringList &arguments);
int runExport(const QStringList &arguments);
int runReport(const QStringList &arguments);
int runDiff(const QStringList &arguments);
int runApply(const QStringList &arguments);

#ifdef VELXML_HAVE_BRIDGE
int runFromVCard(const QStringList &arguments);
int runToVCard(const QStringList &arguments);
int runFromICal(const QStringList &arguments);
int runToICal(const QStringList &arguments);
#endif

#endif // VELXML_COMMANDS_H
