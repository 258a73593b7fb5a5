#include "CommandLine.h"
#include "Commands.h"
#include "ExportChecks.h"
#include "ItemJson.h"
#include "Progress.h"

#include <ImpExp_XMLBuilder.h>
#include <xml/ImpExp_Format.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVector>

int runExport(const QStringList &arguments)
{
    CommandLine line(
        QStringLiteral("velxml export"), QStringLiteral("ITEMS.jsonl TEMPLATE"),
        QStringLiteral("Writes items given as JSON lines (as 'velxml dump --json' prints "
                       "them, with an optional \"readOnly\": true) into a page file set "
                       "through the library's writer. Without --since the export is a full "
                       "one: every item goes with its elements."));
    QCommandLineParser &parser = line.parser();
    parser.addPositionalArgument(QStringLiteral("ITEMS.jsonl"),
                                 QStringLiteral("One JSON item per line; - reads standard input."));
    line.addTemplateArgument(QStringLiteral("Path of the page files to write, with %1 where "
                                            "the file number goes."));
    const QCommandLineOption application(QStringLiteral("application"),
                                         QStringLiteral("VelDirectory or Agenda."),
                                         QStringLiteral("NAME"));
    const QCommandLineOption pageSize(QStringLiteral("page-size"),
                                      QStringLiteral("Items per page file (at least 1)."),
                                      QStringLiteral("N"));
    const QCommandLineOption since(
        QStringLiteral("since"),
        QStringLiteral("Incremental export: items changed before DATE, and read-only "
                       "items, go with their identifiers only. DATE is yyyyMMddThhmmssZ "
                       "(UTC), yyyy-MM-dd (local midnight) or an ISO 8601 date-time."),
        QStringLiteral("DATE"));
    const QCommandLineOption id(QStringLiteral("id"),
                                QStringLiteral("Export identifier (default: velxml-export)."),
                                QStringLiteral("ID"), QStringLiteral("velxml-export"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("Device identifier (default: velxml)."),
                                    QStringLiteral("DEVICE"), QStringLiteral("velxml"));
    const QCommandLineOption replace(
        QStringLiteral("replace"),
        QStringLiteral("Over an older, longer set: write the new set, then remove the older "
                       "set's pages beyond it (without it, nothing is written)."));
    parser.addOptions({ application, pageSize, since, id, device, replace });
    const int status = line.parse(arguments, 2, 2);
    if (status >= 0)
        return status;

    const QString applicationName = parser.value(application);
    if (!parser.isSet(application))
        return line.usageError(QStringLiteral("--application is required"));
    if (applicationName != QLatin1String("VelDirectory")
        && applicationName != QLatin1String("Agenda"))
        return line.usageError(QStringLiteral("--application must be VelDirectory or Agenda, "
                                              "not '%1'")
                                   .arg(applicationName));
    int size = 0;
    if (!parser.isSet(pageSize))
        return line.usageError(QStringLiteral("--page-size is required"));
    if (!parseNumber(parser.value(pageSize), 1, &size))
        return line.usageError(QStringLiteral("--page-size must be a whole number of at least "
                                              "1, not '%1'")
                                   .arg(parser.value(pageSize)));
    QDateTime reference = QDateTime::fromSecsSinceEpoch(0);
    if (parser.isSet(since)) {
        QString error;
        reference = parseReferenceDate(parser.value(since), &error);
        if (!reference.isValid())
            return line.usageError(error);
    }
    const QString itemsPath = parser.positionalArguments().at(0);
    const QString pathTemplate = parser.positionalArguments().at(1);
    if (const int bad = line.checkTemplate(pathTemplate); bad >= 0)
        return bad;

    // Every line is read and checked before the first page file is touched:
    // the builder needs the count up front, and bad input must not leave half
    // a set behind.
    QFile input;
    const bool opened = itemsPath == QLatin1String("-")
        ? input.open(stdin, QIODevice::ReadOnly)
        : (input.setFileName(itemsPath), input.open(QIODevice::ReadOnly));
    if (!opened)
        return line.dataError(
            QStringLiteral("cannot read %1: %2").arg(itemsPath, input.errorString()));
    QVector<ImpExp_Item> items;
    int lineNumber = 0;
    while (!input.atEnd()) {
        const QByteArray text = input.readLine().trimmed();
        ++lineNumber;
        if (text.isEmpty())
            continue;
        ImpExp_Item item { QString() };
        QString error;
        // The writer puts names as they are: a name XML cannot carry would
        // lose every item of its page to the receiver.
        if (!itemFromJson(text, &item, &error) || !ImpExp_XMLBuilder::isWritable(item, &error))
            return line.dataError(
                QStringLiteral("%1:%2: %3").arg(itemsPath, QString::number(lineNumber), error));
        items.append(item);
    }
    if (input.error() != QFileDevice::NoError)
        return line.dataError(
            QStringLiteral("cannot read %1: %2").arg(itemsPath, input.errorString()));

    // The writer creates files, not folders.
    QDir().mkpath(QFileInfo(ImpExp_Format::pageFileName(pathTemplate, 0)).absolutePath());
    Progress progress(line.name());
    const int count = items.size();
    try {
        // Before the first page is touched: an older set stays whole when refused.
        if (const QString refusal
            = leftOverRefusal(pathTemplate, size, count, parser.isSet(replace));
            !refusal.isEmpty())
            return line.dataError(refusal);
        ImpExp_XMLBuilder builder(parser.value(device), parser.value(id), pathTemplate, size,
                                  QDateTime::currentDateTimeUtc(), count, count, applicationName,
                                  reference);
        for (int i = 0; i < count; ++i) {
            builder.putItem(items.at(i));
            progress.update(i / size + 1, i + 1);
        }
        builder.closeBuilder();
        progress.clear();
        if (const QString problem = writtenSetProblem(builder, parser.isSet(replace));
            !problem.isEmpty())
            return line.dataError(problem);
    } catch (const ImpExp_Exception &e) {
        progress.clear();
        return line.dataError(QString::fromLatin1(e.what()));
    }

    const int pages = count == 0 ? 1 : (count - 1) / size + 1;
    standardOutput() << "Wrote " << count << (count == 1 ? " item" : " items") << " on " << pages
                     << (pages == 1 ? " page file" : " page files") << ": "
                     << ImpExp_Format::pageFileName(pathTemplate, 0)
                     << (pages > 1 ? QStringLiteral(" ... %1").arg(
                             ImpExp_Format::pageFileName(pathTemplate, pages - 1))
                                   : QString())
                     << '\n';
    standardOutput().flush();
    return ExitOk;
}
