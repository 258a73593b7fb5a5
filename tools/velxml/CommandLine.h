#ifndef VELXML_COMMANDLINE_H
#define VELXML_COMMANDLINE_H

#include <QCommandLineParser>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTextStream>

// UTF-8 streams for the tool's output, whatever the locale says: dumps carry
// names in any script and must survive a pipe into export.
QTextStream &standardOutput();
QTextStream &standardError();

// A subcommand's command line: its options, "--help", and usage errors that
// end the command with ExitUsage and a clear message.
class CommandLine
{
public:
    // @p command is the full command ("velxml dump", where the name the tool is
    // installed under replaces "velxml"), @p synopsis what follows the options
    // in the usage line ("TEMPLATE").
    CommandLine(const QString &command, const QString &synopsis, const QString &description);

    QCommandLineParser &parser() { return options; }

    // Parses @p arguments. Returns -1 when the command should go on, otherwise
    // the exit status to return at once (help shown, or a usage error).
    int parse(const QStringList &arguments, int minPositional, int maxPositional);

    // Declares TEMPLATE, the path of a set's page files, as the next
    // positional argument (@p description replaces the usual help text).
    void addTemplateArgument(const QString &description = QString());

    // A usage error (ExitUsage) unless @p pathTemplate holds "%1"; -1 when it does.
    int checkTemplate(const QString &pathTemplate) const;

    // For a command whose one argument is TEMPLATE: declares it, parses
    // @p arguments and checks the template, as parse() answers.
    int parseTemplate(const QStringList &arguments, QString *pathTemplate);

    // Reports a usage error and returns ExitUsage.
    int usageError(const QString &message) const;

    // Reports a problem with the data and returns ExitDataProblem.
    int dataError(const QString &message) const;

    QString name() const { return command; }

private:
    QCommandLineParser options;
    QString command;
    QString synopsis;
};

// The name the tool is installed under ("velxml", "velxml-qt6"): its messages
// name the program the user typed.
QString toolName();

// A page file path template must hold "%1", where the file number goes.
bool isPathTemplate(const QString &pathTemplate);

// Parses a whole decimal number of at least @p minimum.
bool parseNumber(const QString &text, int minimum, int *value);

// The reference date of an incremental export: the format's own timestamp
// text (UTC), an ISO 8601 date (local midnight) or date-time, as --since takes
// it. Invalid, with @p error set, when @p text is none of these.
QDateTime parseReferenceDate(const QString &text, QString *error);

// "1 item", "2 items".
QString plural(qint64 count, const QString &word);

#endif // VELXML_COMMANDLINE_H
