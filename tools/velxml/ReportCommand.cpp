#include "CommandLine.h"
#include "Commands.h"
#include "Progress.h"
#include "ReportData.h"
#include "SetReport.h"
#include "ShownZone.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace
{

QByteArray resource(const QString &name)
{
    QFile file(QStringLiteral(":/report/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The page's policy lets nothing in but its own style and script (by their
// hashes) and pictures given as data: no network, and no script that a value
// could smuggle in.
QByteArray securityPolicy(const QByteArray &style, const QByteArray &script)
{
    const auto hash = [](const QByteArray &text) {
        return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64()
            + '\'';
    };
    return "default-src 'none'; img-src data:; style-src " + hash(style) + "; script-src "
        + hash(script);
}

// Fills the page template's @NAME@ markers in one pass, so that nothing
// inserted is looked at again.
QByteArray fillTemplate(const QByteArray &page, const QList<QPair<QByteArray, QByteArray>> &values)
{
    QByteArray result;
    int from = 0;
    for (;;) {
        const int start = page.indexOf('@', from);
        const int stop = start < 0 ? -1 : page.indexOf('@', start + 1);
        if (stop < 0)
            break;
        const QByteArray name = page.mid(start + 1, stop - start - 1);
        const auto value = std::find_if(values.begin(), values.end(),
                                        [&](const auto &pair) { return pair.first == name; });
        if (value == values.end()) {
            result += page.mid(from, stop - from);
            from = stop;
            continue;
        }
        result += page.mid(from, start - from);
        result += value->second;
        from = stop + 1;
    }
    return result + page.mid(from);
}

} // namespace

int runReport(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("velxml report"), QStringLiteral("TEMPLATE"),
                     QStringLiteral("Writes one self-contained HTML page about a page file set, "
                                    "for a person to look at in a browser: its pages and "
                                    "problems, a directory as contact cards, an agenda as a "
                                    "month, a week and a list with repetitions expanded; with "
                                    "--since, what changed since an older set. Exit status 1 "
                                    "when the set is incomplete or cannot be compared with the "
                                    "older set, after writing the page, saying why."));
    QCommandLineParser &parser = line.parser();
    const QCommandLineOption output(QStringList { QStringLiteral("o"), QStringLiteral("output") },
                                    QStringLiteral("The HTML file to write (default: "
                                                   "report.html)."),
                                    QStringLiteral("FILE"), QStringLiteral("report.html"));
    const QCommandLineOption zoneOption(
        QStringLiteral("zone"),
        QStringLiteral("Time zone the page opens in: UTC, a fixed offset such as UTC+05:00, or "
                       "a name of the system's zone database such as Europe/Berlin, Etc/GMT+5 "
                       "or EST5EDT (default: the browser's own). The page can switch zones."),
        QStringLiteral("ZONE"));
    const QCommandLineOption sinceOption(
        QStringLiteral("since"),
        QStringLiteral("Template of an older set of the same application: the page marks the "
                       "items added and changed since (old → new for each changed field) and "
                       "lists the items removed."),
        QStringLiteral("OLD"));
    parser.addOptions({ output, zoneOption, sinceOption });
    QString pathTemplate;
    const int status = line.parseTemplate(arguments, &pathTemplate);
    if (status >= 0)
        return status;
    const QString zone = parser.isSet(zoneOption) ? parser.value(zoneOption) : QString();
    // Only names the page can show: it would open in the browser's zone instead.
    if (!zone.isNull() && !isShownZone(zone))
        return line.usageError(QStringLiteral("--zone: '%1' is no zone of the system's zone "
                                              "database (such as Europe/Berlin) nor a fixed "
                                              "offset such as UTC+05:00")
                                   .arg(zone));
    const QString since = parser.value(sinceOption);
    if (parser.isSet(sinceOption))
        if (const int bad = line.checkTemplate(since); bad >= 0)
            return bad;

    const QByteArray page = resource(QStringLiteral("report.html"));
    const QByteArray style = resource(QStringLiteral("report.css"));
    const QByteArray script = resource(QStringLiteral("report.js"));
    if (page.isEmpty() || style.isEmpty() || script.isEmpty())
        return line.dataError(QStringLiteral("the page template is missing from the program"));

    Progress progress(line.name());
    ReportData data(pathTemplate, zone);
    if (parser.isSet(sinceOption))
        data.setSince(since);
    const QByteArray json = data.build(progress);
    if (data.pageCount() == 0)
        return noPageFile(line, pathTemplate);
    const QByteArray html = fillTemplate(page,
                                         { { "POLICY", securityPolicy(style, script) },
                                           { "STYLE", style },
                                           { "DATA", json },
                                           { "SCRIPT", script } });

    const QString fileName = parser.value(output);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(html) != html.size() || !file.commit())
        return line.dataError(
            QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));

    QTextStream &out = standardOutput();
    out << "Wrote " << fileName << ": " << plural(data.itemCount(), QStringLiteral("item")) << ", "
        << plural(data.problemCount(), QStringLiteral("problem")) << ", "
        << plural(html.size(), QStringLiteral("byte"));
    if (parser.isSet(sinceOption) && data.sinceRefusal().isEmpty())
        out << "; since " << since << ": " << data.addedCount() << " added, " << data.changedCount()
            << " changed, " << data.removedCount() << " removed";
    out << '\n';
    out.flush();
    if (!data.readError().isEmpty())
        standardError() << line.name() << ": " << data.readError() << '\n';
    // The report is written all the same: it shows what is wrong with the set.
    int exitStatus = ExitOk;
    if (!data.sinceRefusal().isEmpty()) {
        standardError()
            << line.name() << ": cannot compare with " << since << ":\n  "
            << QString(data.sinceRefusal()).replace(QLatin1Char('\n'), QLatin1String("\n  "))
            << '\n';
        exitStatus = ExitDataProblem;
    }
    standardError().flush();
    if (!data.incompleteReasons().isEmpty())
        return refuseIncomplete(line, data.incompleteReasons());
    return exitStatus;
}
