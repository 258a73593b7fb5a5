#include "CommandLine.h"
#include "Commands.h"
#include "Progress.h"
#include "SetReport.h"

#include <ImpExp_SetCheck.h>

int runValidate(const QStringList &arguments)
{
    CommandLine line(
        QStringLiteral("velxml validate"), QStringLiteral("TEMPLATE"),
        QStringLiteral("Checks a page file set as a receiving system would and reports every "
                       "problem with its file name and position: page files missing against "
                       "totalPage, left over after the last page, that do not open or are not "
                       "well-formed, headers that disagree between pages or with the file "
                       "number, pages over their pageSize, item kinds foreign to the page, "
                       "items inside items, items without duid or with a duid used twice, and "
                       "dates that do not parse. Exit status 1 when any is found."));
    QString pathTemplate;
    const int status = line.parseTemplate(arguments, &pathTemplate);
    if (status >= 0)
        return status;

    ImpExp_SetCheck check(pathTemplate);
    Progress progress(line.name());
    runCheck(check, progress);

    QTextStream &out = standardOutput();
    for (const ImpExp_SetCheck::Problem &problem : check.problems())
        out << describe(pathTemplate, problem) << '\n';
    const qint64 unlisted = check.problemCount() - check.problems().size();
    if (unlisted > 0)
        out << "... and " << plural(unlisted, QStringLiteral("more problem")) << '\n';
    // The template holds "%1" itself: no chained arg() after it.
    const QString set = pathTemplate + QStringLiteral(": ")
        + plural(check.pages().size(), QStringLiteral("page file")) + QStringLiteral(", ")
        + plural(check.itemCount(), QStringLiteral("item"));
    if (check.isClean()) {
        out << "OK: " << set << ", no problems found\n";
        out.flush();
        return ExitOk;
    }
    out << plural(check.problemCount(), QStringLiteral("problem")) << " in " << set
        << (check.isComplete() ? "\n"
                               : "; the set is incomplete: a reader does not get the items of "
                                 "one export, whole\n");
    out.flush();
    return ExitDataProblem;
}
