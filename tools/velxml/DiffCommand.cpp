#include "CommandLine.h"
#include "Commands.h"
#include "DiffText.h"

#include <ImpExp_SetDiff.h>

int runDiff(const QStringList &arguments)
{
    CommandLine line(
        QStringLiteral("velxml diff"), QStringLiteral("OLD NEW"),
        QStringLiteral("Compares two page file sets of one application as the receiving side "
                       "reads them: items added, changed (each changed element, old → new), "
                       "sent with their identifiers only, and removed, per item kind. Both "
                       "sets must be complete. Exit status 0 when the sets hold the same "
                       "items, 1 when they differ or an item is a problem for the receiver, "
                       "2 on a usage error or a set that cannot be compared."));
    QCommandLineParser &parser = line.parser();
    parser.addPositionalArgument(QStringLiteral("OLD"),
                                 QStringLiteral("Template of the set the receiver holds."));
    parser.addPositionalArgument(QStringLiteral("NEW"),
                                 QStringLiteral("Template of the set that came after it."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object per difference, values whole, "
                                                 "no summary."));
    parser.addOption(json);
    const int status = line.parse(arguments, 2, 2);
    if (status >= 0)
        return status;
    const QString oldTemplate = parser.positionalArguments().at(0);
    const QString newTemplate = parser.positionalArguments().at(1);
    for (const QString &pathTemplate : { oldTemplate, newTemplate })
        if (const int bad = line.checkTemplate(pathTemplate); bad >= 0)
            return bad;

    ImpExp_SetDiff diff(oldTemplate, newTemplate);
    const bool asJson = parser.isSet(json);
    bool differ = false;
    try {
        if (!diff.prepare())
            return refuseSets(line, diff, oldTemplate, newTemplate);
        // prepare() has counted every outcome: the summary comes first.
        for (const ImpExp_SetDiff::KindCount &count : diff.counts()) {
            differ = differ || count.added || count.changed || count.removed || count.problems;
            if (!asJson)
                standardOutput() << countLine(count) << '\n';
        }
        ImpExp_SetDiff::Difference difference;
        while (diff.next(difference)) {
            if (asJson)
                standardOutput() << QString::fromUtf8(differenceJson(difference)) << '\n';
            else
                standardOutput() << differenceLine(difference) << '\n';
        }
    } catch (const ImpExp_Exception &e) {
        return line.dataError(QString::fromLatin1(e.what()));
    }
    standardOutput().flush();
    return differ ? ExitDataProblem : ExitOk;
}
