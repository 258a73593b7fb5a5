#include "CommandLine.h"
#include "Commands.h"
#include "PageScan.h"
#include "Progress.h"
#include "TextTable.h"

#include <ImpExp_XMLParser.h>
#include <xml/ImpExp_Format.h>

namespace
{

QString orDash(const QString &text)
{
    return text.isNull() ? QStringLiteral("-") : text;
}

} // namespace

int runInfo(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("velxml info"), QStringLiteral("TEMPLATE"),
                     QStringLiteral("Shows what a page file set holds: the pages found with "
                                    "the header of each, the item kinds with their counts, and "
                                    "how many items carry their fields."));
    QString pathTemplate;
    const int status = line.parseTemplate(arguments, &pathTemplate);
    if (status >= 0)
        return status;

    Progress progress(line.name());
    const SetScan scan = scanSet(pathTemplate, &progress);
    progress.clear();
    if (scan.pages.isEmpty())
        return line.dataError(
            QStringLiteral("no page file %1").arg(ImpExp_Format::pageFileName(pathTemplate, 0)));

    QTextStream &out = standardOutput();
    out << "Set " << pathTemplate << ": " << scan.pages.size()
        << (scan.pages.size() == 1 ? " page file, " : " page files, ") << scan.items()
        << (scan.items() == 1 ? " item\n\n" : " items\n\n");
    QVector<QStringList> rows;
    rows.append({ QStringLiteral("file"), QStringLiteral("created"), QStringLiteral("id"),
                  QStringLiteral("deviceId"), QStringLiteral("application"), QStringLiteral("max"),
                  QStringLiteral("pageSize"), QStringLiteral("page"), QStringLiteral("totalPage"),
                  QStringLiteral("items") });
    QStringList damaged;
    for (const PageHeader &page : scan.pages) {
        const QString name = displayName(pathTemplate, page.fileNumber);
        if (!page.opened) {
            damaged.append(QStringLiteral("%1: cannot be opened: %2").arg(name, page.openError));
            rows.append({ name, QStringLiteral("(cannot be opened)") });
            continue;
        }
        if (!page.xmlError.isEmpty())
            damaged.append(QStringLiteral("%1: not well-formed (line %2, column %3: %4)")
                               .arg(name, QString::number(page.errorLine),
                                    QString::number(page.errorColumn), page.xmlError));
        rows.append({ name, orDash(page.created), orDash(page.id), orDash(page.deviceId),
                      orDash(page.application), orDash(page.max), orDash(page.pageSize),
                      orDash(page.page), orDash(page.totalPage), QString::number(page.items) });
    }
    printTable(out, rows);

    out << "\nItem kinds:\n";
    rows.clear();
    QString readError;
    progress.setStage(QStringLiteral("items"));
    qint64 done = 0;
    for (const PageHeader::KindCount &kind : scan.kinds()) {
        if (!isKnownKind(kind.kind)) {
            rows.append({ kind.kind, QString::number(kind.count),
                          QStringLiteral("(not a kind of the format; readers skip it)") });
            continue;
        }
        int withFields = 0;
        int read = 0;
        try {
            ImpExp_XMLParser reader(pathTemplate);
            for (;;) {
                ImpExp_Item item(kind.kind);
                if (!reader.getItem(item, true))
                    break;
                ++read;
                if (!item.getItemElements().isEmpty())
                    ++withFields;
                progress.update(-1, ++done);
            }
        } catch (const ImpExp_Exception &e) {
            if (readError.isEmpty())
                readError = QString::fromLatin1(e.what());
        }
        rows.append({ kind.kind, QString::number(kind.count),
                      QStringLiteral("%1 with fields, %2 identifiers only")
                          .arg(withFields)
                          .arg(read - withFields) });
    }
    progress.clear();
    printTable(out, rows, QStringLiteral("  "));
    if (rows.isEmpty())
        out << "  (none)\n";
    if (!readError.isEmpty())
        damaged.append(QStringLiteral("the library's reader stopped: %1").arg(readError));
    if (damaged.isEmpty()) {
        out.flush();
        return ExitOk;
    }
    out << "\nProblems (run 'velxml validate' for a full check):\n";
    for (const QString &problem : qAsConst(damaged))
        out << "  " << problem << '\n';
    out.flush();
    return ExitDataProblem;
}
