#include "CommandLine.h"

#include "Commands.h"
#include "compat/ImpExp_QtCompat.h"

#include <cstdio>

QTextStream &standardOutput()
{
    static QTextStream stream(stdout);
    static const bool utf8 = (ImpExp_QtCompat::setUtf8(stream), true);
    Q_UNUSED(utf8)
    return stream;
}

QTextStream &standardError()
{
    static QTextStream stream(stderr);
    static const bool utf8 = (ImpExp_QtCompat::setUtf8(stream), true);
    Q_UNUSED(utf8)
    return stream;
}

QString toolName()
{
    return QStringLiteral(VELXML_TOOL_NAME);
}

CommandLine::CommandLine(const QString &command, const QString &synopsis,
                         const QString &description)
    : command(command.startsWith(QLatin1String("velxml "))
                  ? toolName() + command.mid(int(qstrlen("velxml")))
                  : command)
    , synopsis(synopsis)
{
    // QCommandLineParser prints the description as it is: wrap it for a terminal.
    QString wrapped;
    int column = 0;
    for (const QString &word : description.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (column > 0 && column + 1 + word.size() > 79) {
            wrapped += QLatin1Char('\n');
            column = 0;
        } else if (column > 0) {
            wrapped += QLatin1Char(' ');
            ++column;
        }
        wrapped += word;
        column += word.size();
    }
    options.setApplicationDescription(wrapped);
    options.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    options.addHelpOption();
}

int CommandLine::parse(const QStringList &arguments, int minPositional, int maxPositional)
{
    if (!options.parse(arguments))
        return usageError(options.errorText());
    if (options.isSet(QStringLiteral("help"))) {
        // QCommandLineParser names the program by its path; show the subcommand.
        QString help = options.helpText();
        help.remove(0, help.indexOf(QLatin1Char('\n')) + 1);
        standardOutput() << "Usage: " << command << " [options] " << synopsis << '\n' << help;
        standardOutput().flush();
        return ExitOk;
    }
    const int count = options.positionalArguments().size();
    if (count < minPositional)
        return usageError(QStringLiteral("missing argument: %1").arg(synopsis));
    if (count > maxPositional)
        return usageError(QStringLiteral("unexpected argument '%1'")
                              .arg(options.positionalArguments().at(maxPositional)));
    return -1;
}

void CommandLine::addTemplateArgument(const QString &description)
{
    options.addPositionalArgument(
        QStringLiteral("TEMPLATE"),
        description.isEmpty() ? QStringLiteral("Path of the page files, with %1 where the file "
                                               "number goes (e.g. /tmp/out/dir_%1.xml).")
                              : description);
}

int CommandLine::checkTemplate(const QString &pathTemplate) const
{
    if (isPathTemplate(pathTemplate))
        return -1;
    return usageError(
        QStringLiteral("TEMPLATE must hold %1 where the file number goes, e.g. dir_%1.xml"));
}

int CommandLine::parseTemplate(const QStringList &arguments, QString *pathTemplate)
{
    addTemplateArgument();
    const int status = parse(arguments, 1, 1);
    if (status >= 0)
        return status;
    *pathTemplate = options.positionalArguments().constFirst();
    return checkTemplate(*pathTemplate);
}

int CommandLine::usageError(const QString &message) const
{
    standardError() << command << ": " << message << "\nUsage: " << command << " [options] "
                    << synopsis << "\nRun '" << command << " --help' for its options.\n";
    standardError().flush();
    return ExitUsage;
}

int CommandLine::dataError(const QString &message) const
{
    standardOutput().flush();
    standardError() << command << ": " << message << '\n';
    standardError().flush();
    return ExitDataProblem;
}

bool isPathTemplate(const QString &pathTemplate)
{
    return pathTemplate.contains(QLatin1String("%1"));
}

bool parseNumber(const QString &text, int minimum, int *value)
{
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    if (!ok || number < minimum)
        return false;
    *value = number;
    return true;
}

QDateTime parseReferenceDate(const QString &text, QString *error)
{
    QDateTime date = QDateTime::fromString(text, QStringLiteral("yyyyMMdd'T'hhmmss'Z'"));
    if (date.isValid()) {
        date.setTimeSpec(Qt::UTC);
        return date;
    }
    const QDate day = QDate::fromString(text, Qt::ISODate);
    date = day.isValid() ? QDateTime(day, QTime(0, 0)) : QDateTime::fromString(text, Qt::ISODate);
    if (!date.isValid())
        *error = QStringLiteral("--since: '%1' is not a date (yyyyMMddThhmmssZ, yyyy-MM-dd or "
                                "ISO 8601)")
                     .arg(text);
    return date;
}

QString plural(qint64 count, const QString &word)
{
    return QStringLiteral("%1 %2%3").arg(QString::number(count), word,
                                         count == 1 ? QString() : QStringLiteral("s"));
}
