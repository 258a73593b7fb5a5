#include "BridgeCommon.h"

#include "../CommandLine.h"
#include "../Commands.h"
#include "../ExportChecks.h"

#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>
#include <xml/ImpExp_Format.h>

#include <QDir>
#include <QFileInfo>

#include <QFile>
#include <QSaveFile>
#include <QTextStream>
#include <QTimeZone>

#include <limits>

namespace Bridge
{

Report::Report(const QString &command, bool verbose)
    : command(command)
    , verbose(verbose)
{
}

void Report::skipped(const QString &label, const QString &reason)
{
    ++skippedCount;
    if (verbose)
        details << QStringLiteral("  %1: skipped: %2").arg(label, reason);
}

void Report::approximated(const QString &label, const QStringList &reasons)
{
    if (reasons.isEmpty())
        return;
    ++approximatedItems;
    details
        << QStringLiteral("  %1: approximated: %2").arg(label, reasons.join(QLatin1String("; ")));
}

void Report::notCarried(const QString &label, const Losses &properties)
{
    if (properties.isEmpty())
        return;
    ++lossyItems;
    lost.add(properties);
    if (verbose)
        details << QStringLiteral("  %1: not carried: %2").arg(label, properties.toString());
}

int Report::refuseApproximations(bool strict, const QString &command, const char *item) const
{
    if (!strict || (approximatedItems == 0 && lossyItems == 0))
        return -1;
    print();
    QTextStream &err = standardError();
    err << command << ": nothing written (--strict):";
    if (approximatedItems > 0)
        err << ' ' << plural(approximatedItems, QLatin1String(item)) << " would be approximated"
            << (lossyItems > 0 ? "," : "");
    if (lossyItems > 0)
        err << ' ' << plural(lossyItems, QLatin1String(item)) << " would lose " << lost.toString();
    err << '\n';
    return ExitDataProblem;
}

int Report::finish(int count)
{
    writtenCount += count;
    print();
    return skippedCount > 0 || approximatedItems > 0 || lossyItems > 0 ? ExitDataProblem : ExitOk;
}

void Report::print() const
{
    QTextStream &out = standardOutput();
    out << command << ": read " << readCount << ", written " << writtenCount << ", skipped "
        << skippedCount << ", approximated " << approximatedItems << ", lossy " << lossyItems;
    if (!lost.isEmpty())
        out << "; not carried: " << lost.toString();
    out << '\n';
    for (const QString &line : details)
        out << line << '\n';
    out.flush();
}

namespace
{

void addCommonOptions(QCommandLineParser &parser)
{
    parser.addOption(
        { QStringLiteral("verbose"),
          QStringLiteral("Name, per item, what was skipped, approximated or not carried.") });
    parser.addOption({ QStringLiteral("strict"),
                       QStringLiteral("Write nothing when any item would be approximated or lose a "
                                      "property.") });
}

void readCommonOptions(const QCommandLineParser &parser, Arguments *result)
{
    result->verbose = parser.isSet(QStringLiteral("verbose"));
    result->strict = parser.isSet(QStringLiteral("strict"));
}

void addSetOptions(QCommandLineParser &parser)
{
    parser.addOption({ QStringLiteral("page-size"),
                       QStringLiteral("Items per page file (default 100)."), QStringLiteral("N"),
                       QStringLiteral("100") });
    parser.addOption(
        { QStringLiteral("since"),
          QStringLiteral("Reference date (yyyyMMddThhmmssZ, yyyy-MM-dd or ISO 8601): items changed "
                         "before it carry their identifiers only (default: full export)."),
          QStringLiteral("DATE") });
    parser.addOption({ QStringLiteral("id"), QStringLiteral("Export identifier for the header."),
                       QStringLiteral("ID"), QStringLiteral("velxml-bridge") });
    parser.addOption({ QStringLiteral("device"),
                       QStringLiteral("Device identifier for the header."),
                       QStringLiteral("DEVICE"), QStringLiteral("velxml") });
    parser.addOption(
        { QStringLiteral("replace"),
          QStringLiteral("Over an older, longer set: write the new set, then remove the older "
                         "set's pages beyond it (without it, nothing is written).") });
}

// False (with @p error set) when an option value is unusable.
bool readSetOptions(const QCommandLineParser &parser, SetOptions *options, QString *error)
{
    if (!parseNumber(parser.value(QStringLiteral("page-size")), 1, &options->pageSize)) {
        *error = QStringLiteral("--page-size needs a whole number of at least 1");
        return false;
    }
    options->since = QDateTime::fromSecsSinceEpoch(0);
    if (parser.isSet(QStringLiteral("since"))) {
        options->since = parseReferenceDate(parser.value(QStringLiteral("since")), error);
        if (!options->since.isValid())
            return false;
    }
    options->id = parser.value(QStringLiteral("id"));
    options->device = parser.value(QStringLiteral("device"));
    options->replace = parser.isSet(QStringLiteral("replace"));
    return true;
}

const QString templateDescription = QStringLiteral("Path template of the page files, holding %1.");

} // namespace

int parseFromArguments(CommandLine &line, const QStringList &arguments, const QString &files,
                       const QString &filesDescription, Arguments *result)
{
    QCommandLineParser &parser = line.parser();
    addCommonOptions(parser);
    addSetOptions(parser);
    parser.addPositionalArgument(files, filesDescription, files + QStringLiteral("..."));
    line.addTemplateArgument(templateDescription);
    const int status = line.parse(arguments, 2, std::numeric_limits<int>::max());
    if (status >= 0)
        return status;
    result->inputs = parser.positionalArguments();
    result->pathTemplate = result->inputs.takeLast();
    if (!isPathTemplate(result->pathTemplate))
        return line.usageError(QStringLiteral("TEMPLATE must contain %1"));
    QString error;
    if (!readSetOptions(parser, &result->options, &error))
        return line.usageError(error);
    readCommonOptions(parser, result);
    return -1;
}

int parseToArguments(CommandLine &line, const QStringList &arguments,
                     const QList<QCommandLineOption> &extraOptions, const QString &output,
                     const QString &outputDescription, Arguments *result)
{
    QCommandLineParser &parser = line.parser();
    addCommonOptions(parser);
    parser.addOptions(extraOptions);
    line.addTemplateArgument(templateDescription);
    parser.addPositionalArgument(output, outputDescription);
    const int status = line.parse(arguments, 2, 2);
    if (status >= 0)
        return status;
    result->pathTemplate = parser.positionalArguments().at(0);
    result->output = parser.positionalArguments().at(1);
    readCommonOptions(parser, result);
    return -1;
}

QString usableRecord(const ImpExp_Item &record, int index, Report *report)
{
    report->read();
    const QString duid = record.getAttribute(QStringLiteral("duid"));
    const QString label = QStringLiteral("%1 %2 duid=%3")
                              .arg(record.getItemName(), QString::number(index + 1), duid);
    if (duid.isEmpty()) {
        report->skipped(label, QStringLiteral("no duid"));
        return QString();
    }
    if (record.getItemElements().isEmpty()) {
        report->skipped(
            label,
            QStringLiteral("identifiers only (unchanged since the export's reference date)"));
        return QString();
    }
    return label;
}

bool writeSet(const QList<ImpExp_Item> &items, const QString &pathTemplate,
              const QString &applicationName, const SetOptions &options, QString *error)
{
    for (int i = 0; i < items.size(); ++i) {
        QString reason;
        if (!ImpExp_XMLBuilder::isWritable(items.at(i), &reason)) {
            *error = QStringLiteral("%1 %2 duid=%3: %4")
                         .arg(items.at(i).getItemName(), QString::number(i + 1),
                              items.at(i).getAttribute(QStringLiteral("duid")), reason);
            return false;
        }
    }
    // The writer creates files, not folders.
    QDir().mkpath(QFileInfo(ImpExp_Format::pageFileName(pathTemplate, 0)).absolutePath());
    try {
        const int count = static_cast<int>(items.size());
        *error = leftOverRefusal(pathTemplate, options.pageSize, count, options.replace);
        if (!error->isEmpty())
            return false;
        ImpExp_XMLBuilder builder(options.device, options.id, pathTemplate, options.pageSize,
                                  QDateTime::currentDateTimeUtc(), count, count, applicationName,
                                  options.since);
        for (const ImpExp_Item &item : items)
            builder.putItem(item);
        builder.closeBuilder();
        *error = writtenSetProblem(builder, options.replace);
        if (!error->isEmpty())
            return false;
    } catch (const ImpExp_Exception &e) {
        *error = QStringLiteral("cannot write %1: %2")
                     .arg(pathTemplate, QString::fromLatin1(e.what()));
        return false;
    }
    return true;
}

bool readSet(const QString &pathTemplate, const QString &itemName, QList<ImpExp_Item> *items,
             QString *error)
{
    try {
        ImpExp_XMLParser parser(pathTemplate);
        for (;;) {
            ImpExp_Item item(itemName);
            if (!parser.getItem(item, true))
                break;
            items->append(item);
        }
    } catch (const ImpExp_Exception &e) {
        *error
            = QStringLiteral("cannot read %1: %2").arg(pathTemplate, QString::fromLatin1(e.what()));
        return false;
    }
    return true;
}

bool readFile(const QString &path, QByteArray *data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *data = file.readAll();
    return true;
}

bool writeFile(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void warnAboutSystemZone(const QString &command)
{
    if (!QTimeZone::systemTimeZone().isValid())
        standardError() << command << ": warning: the system time zone '"
                        << QTimeZone::systemTimeZoneId()
                        << "' is no zone name (such as Europe/Berlin); floating and all-day "
                           "times may be misread\n";
}

int inputError(const QString &command, const QString &message)
{
    standardError() << command << ": " << message << '\n';
    return ExitUsage;
}

int writeError(const QString &command, const QString &message)
{
    standardError() << command << ": " << message << '\n';
    return ExitDataProblem;
}

} // namespace Bridge
