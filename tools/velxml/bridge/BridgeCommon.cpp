#include "BridgeCommon.h"

#include "../CommandLine.h"
#include "../Commands.h"

#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QFile>
#include <QSaveFile>
#include <QTextStream>
#include <QTimeZone>

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

void Report::notCarried(const QString &label, const QStringList &properties)
{
    if (verbose && !properties.isEmpty())
        details << QStringLiteral("  %1: not carried: %2")
                       .arg(label, properties.join(QLatin1String(", ")));
}

int Report::exitStatus() const
{
    return skippedCount > 0 || approximatedItems > 0 ? ExitDataProblem : ExitOk;
}

void Report::print(QTextStream &out) const
{
    out << command << ": read " << readCount << ", written " << writtenCount << ", skipped "
        << skippedCount << ", approximated " << approximatedItems << '\n';
    for (const QString &line : details)
        out << line << '\n';
    out.flush();
}

void addCommonOptions(QCommandLineParser &parser)
{
    parser.addOption(
        { QStringLiteral("verbose"),
          QStringLiteral("Name, per item, what was skipped, approximated or not carried.") });
    parser.addOption({ QStringLiteral("strict"),
                       QStringLiteral("Write nothing when any item would be approximated.") });
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
}

bool readSetOptions(const QCommandLineParser &parser, SetOptions *options, QString *error)
{
    bool ok = false;
    options->pageSize = parser.value(QStringLiteral("page-size")).toInt(&ok);
    if (!ok || options->pageSize < 1) {
        *error = QStringLiteral("--page-size needs a whole number of at least 1");
        return false;
    }
    options->since = QDateTime::fromTime_t(0);
    if (parser.isSet(QStringLiteral("since"))) {
        const QString text = parser.value(QStringLiteral("since"));
        // The forms the export command takes: set timestamp, local day, ISO 8601.
        QDateTime since = QDateTime::fromString(text, QStringLiteral("yyyyMMdd'T'hhmmss'Z'"));
        if (since.isValid()) {
            since.setTimeSpec(Qt::UTC);
        } else {
            const QDate date = QDate::fromString(text, Qt::ISODate);
            since = date.isValid() ? QDateTime(date, QTime(0, 0))
                                   : QDateTime::fromString(text, Qt::ISODate);
        }
        if (!since.isValid()) {
            *error = QStringLiteral(
                         "--since: '%1' is not a date (yyyyMMddThhmmssZ, yyyy-MM-dd or ISO 8601)")
                         .arg(text);
            return false;
        }
        options->since = since;
    }
    options->id = parser.value(QStringLiteral("id"));
    options->device = parser.value(QStringLiteral("device"));
    return true;
}

bool writeSet(const QList<ImpExp_Item> &items, const QString &pathTemplate,
              const QString &applicationName, const SetOptions &options, QString *error)
{
    try {
        const int count = static_cast<int>(items.size());
        ImpExp_XMLBuilder builder(options.device, options.id, pathTemplate, options.pageSize,
                                  QDateTime::currentDateTimeUtc(), count, count, applicationName,
                                  options.since);
        for (const ImpExp_Item &item : items)
            builder.putItem(item);
        builder.closeBuilder();
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

} // namespace Bridge
