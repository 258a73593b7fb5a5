#include "CommandLine.h"
#include "Commands.h"
#include "Progress.h"
#include "SetReport.h"
#include "TextTable.h"

#include <ImpExp_SetCheck.h>
#include <xml/ImpExp_Excerpt.h>
#include <xml/ImpExp_Format.h>

#include <algorithm>

namespace
{

// A header value for a column: a value of megabytes must not make the table so wide.
QString orDash(const QString &text)
{
    return text.isNull() ? QStringLiteral("-") : ImpExp_Excerpt::cut(text);
}

// Item kinds over all pages, in order of first appearance.
QList<ImpExp_SetCheck::KindCount> kindsOf(const QList<ImpExp_SetCheck::Page> &pages)
{
    QList<ImpExp_SetCheck::KindCount> all;
    for (const ImpExp_SetCheck::Page &page : pages) {
        for (const ImpExp_SetCheck::KindCount &kind : page.kinds) {
            auto known = std::find_if(all.begin(), all.end(), [&](const auto &seen) {
                return seen.itemName == kind.itemName;
            });
            if (known == all.end()) {
                all.append(kind);
            } else {
                known->items += kind.items;
                known->withElements += kind.withElements;
            }
        }
    }
    return all;
}

} // namespace

int runInfo(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("velxml info"), QStringLiteral("TEMPLATE"),
                     QStringLiteral("Shows what a page file set holds: the pages found with "
                                    "the header of each, the item kinds with their counts, and "
                                    "how many items carry their fields. Exit status 1 when the "
                                    "set is incomplete (not the pages of one export, whole), "
                                    "naming the pages that make it so."));
    QString pathTemplate;
    const int status = line.parseTemplate(arguments, &pathTemplate);
    if (status >= 0)
        return status;

    ImpExp_SetCheck check(pathTemplate);
    Progress progress(line.name());
    runCheck(check, progress);
    if (check.pages().isEmpty())
        return noPageFile(line, pathTemplate);

    QTextStream &out = standardOutput();
    out << "Set " << pathTemplate << ": "
        << plural(check.pages().size(), QStringLiteral("page file")) << ", "
        << plural(check.itemCount(), QStringLiteral("item")) << "\n\n";
    QVector<QStringList> rows;
    rows.append({ QStringLiteral("file"), QStringLiteral("created"), QStringLiteral("id"),
                  QStringLiteral("deviceId"), QStringLiteral("application"), QStringLiteral("max"),
                  QStringLiteral("pageSize"), QStringLiteral("page"), QStringLiteral("totalPage"),
                  QStringLiteral("items") });
    for (const ImpExp_SetCheck::Page &page : check.pages()) {
        const QString name = displayName(pathTemplate, page.fileNumber);
        if (!page.opened)
            rows.append({ name, QStringLiteral("(cannot be opened)") });
        else if (!page.rootAccepted)
            rows.append({ name, QStringLiteral("(not a page file a reader accepts)") });
        else
            rows.append({ name, orDash(page.created), orDash(page.id), orDash(page.deviceId),
                          orDash(page.application), orDash(page.max), orDash(page.pageSize),
                          orDash(page.page), orDash(page.totalPage), QString::number(page.items) });
    }
    printTable(out, rows);

    out << "\nItem kinds:\n";
    rows.clear();
    for (const ImpExp_SetCheck::KindCount &kind : kindsOf(check.pages())) {
        if (!ImpExp_Format::isItemKind(kind.itemName))
            rows.append({ ImpExp_Excerpt::cut(kind.itemName), QString::number(kind.items),
                          QStringLiteral("(not a kind of the format; readers skip it)") });
        else
            rows.append({ kind.itemName, QString::number(kind.items),
                          QStringLiteral("%1 with fields, %2 identifiers only")
                              .arg(kind.withElements)
                              .arg(kind.items - kind.withElements) });
    }
    printTable(out, rows, QStringLiteral("  "));
    if (rows.isEmpty())
        out << "  (none)\n";
    if (!check.isClean())
        out << '\n'
            << plural(check.problemCount(), QStringLiteral("problem")) << " found: run '"
            << toolName() << " validate' for the list\n";
    const int incomplete = refuseIncomplete(line, pathTemplate, check);
    out.flush();
    return incomplete >= 0 ? incomplete : ExitOk;
}
