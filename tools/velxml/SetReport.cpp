#include "SetReport.h"

#include "CommandLine.h"
#include "Commands.h"
#include "Progress.h"

#include <xml/ImpExp_Format.h>

QString displayName(const QString &pathTemplate, int fileNumber)
{
    const QString fileName = ImpExp_Format::pageFileName(pathTemplate, fileNumber);
    const int slash = pathTemplate.lastIndexOf(QLatin1Char('/'));
    if (pathTemplate.left(slash).contains(QLatin1String("%1")))
        return fileName;
    return fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
}

QString describe(const QString &pathTemplate, const ImpExp_SetCheck::Problem &problem)
{
    QString text
        = displayName(pathTemplate, problem.fileNumber) + QStringLiteral(": ") + problem.message;
    if (problem.line > 0)
        text += QStringLiteral(" (line %1, column %2)").arg(problem.line).arg(problem.column);
    return text;
}

int noPageFile(const CommandLine &line, const QString &pathTemplate)
{
    return line.dataError(
        QStringLiteral("no page file %1").arg(ImpExp_Format::pageFileName(pathTemplate, 0)));
}

void runCheck(ImpExp_SetCheck &check, Progress &progress)
{
    progress.setStage(QStringLiteral("check"));
    while (check.checkNextPage())
        progress.update(check.pages().size(), check.itemCount());
    progress.clear();
}

QStringList whyIncomplete(const QString &pathTemplate, const ImpExp_SetCheck &check)
{
    QStringList reasons;
    for (int i = 0; i < check.problems().size(); ++i) {
        if (check.breaksSet(i))
            reasons.append(describe(pathTemplate, check.problems().at(i)));
    }
    if (!check.isComplete() && reasons.isEmpty())
        reasons.append(QStringLiteral("(the problems that say why are beyond those kept)"));
    return reasons;
}

int refuseIncomplete(const CommandLine &line, const QStringList &reasons)
{
    QString text = QStringLiteral("the set is incomplete:");
    for (const QString &reason : reasons)
        text += QStringLiteral("\n  ") + reason;
    return line.dataError(text);
}

int refuseIncomplete(const CommandLine &line, const QString &pathTemplate,
                     const ImpExp_SetCheck &check)
{
    if (check.isComplete())
        return -1;
    return refuseIncomplete(line, whyIncomplete(pathTemplate, check));
}
