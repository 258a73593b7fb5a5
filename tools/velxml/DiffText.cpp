#include "DiffText.h"

#include "CommandLine.h"
#include "Commands.h"
#include "SetReport.h"

#include <xml/ImpExp_Format.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

const int shownCharacters = 40;

// A value on one line, quoted, cut after shownCharacters.
QString shown(const QString &value)
{
    QString text = value.size() > shownCharacters
        ? value.left(shownCharacters) + QStringLiteral("…")
        : value;
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

const char *statusWord(ImpExp_SetDiff::Status status)
{
    switch (status) {
    case ImpExp_SetDiff::Status::Added:
        return "added";
    case ImpExp_SetDiff::Status::Changed:
        return "changed";
    case ImpExp_SetDiff::Status::Unchanged:
        return "unchanged";
    case ImpExp_SetDiff::Status::Removed:
        return "removed";
    }
    return "";
}

QStringList refusalReasons(const ImpExp_SetDiff &diff, const QString &oldTemplate,
                           const QString &newTemplate)
{
    QStringList reasons;
    for (const ImpExp_SetCheck::Problem &problem : diff.problems()) {
        // Problems carry the file's name; the set it belongs to names it shortest.
        const bool old
            = ImpExp_Format::pageFileName(oldTemplate, problem.fileNumber) == problem.fileName;
        reasons.append(describe(old ? oldTemplate : newTemplate, problem));
    }
    return reasons;
}

int refuseSets(const CommandLine &line, const ImpExp_SetDiff &diff, const QString &oldTemplate,
               const QString &newTemplate)
{
    const QStringList reasons = refusalReasons(diff, oldTemplate, newTemplate);
    standardOutput().flush();
    standardError() << line.name() << ": the sets cannot be compared:\n  "
                    << reasons.join(QStringLiteral("\n  ")) << '\n';
    standardError().flush();
    return ExitUsage;
}

QString differenceLine(const ImpExp_SetDiff::Difference &difference)
{
    QString line = QLatin1String(statusWord(difference.status)) + QLatin1Char(' ')
        + difference.itemName + QLatin1Char(' ') + difference.duid;
    QStringList parts;
    for (const ImpExp_SetDiff::ElementChange &change : difference.elementChanges) {
        if (!change.inOld)
            parts.append(change.name + QStringLiteral(" added ") + shown(change.newText));
        else if (!change.inNew)
            parts.append(change.name + QStringLiteral(" removed (was ") + shown(change.oldText)
                         + QLatin1Char(')'));
        else
            parts.append(change.name + QLatin1Char(' ') + shown(change.oldText)
                         + QStringLiteral(" → ") + shown(change.newText));
    }
    const auto attribute = [&](const char *name) {
        const QString key = QLatin1String(name);
        parts.append(key + QLatin1Char(' ') + shown(difference.oldItem.getAttribute(key))
                     + QStringLiteral(" → ") + shown(difference.newItem.getAttribute(key)));
    };
    if (difference.puidChanged)
        attribute("puid");
    if (difference.lastModifiedChanged)
        attribute("lastModified");
    if (!difference.problem.isEmpty())
        parts.append(QStringLiteral("problem: ") + difference.problem);
    if (!parts.isEmpty())
        line += QStringLiteral(": ") + parts.join(QStringLiteral("; "));
    return line;
}

QByteArray differenceJson(const ImpExp_SetDiff::Difference &difference)
{
    QJsonObject object { { QStringLiteral("status"), QLatin1String(statusWord(difference.status)) },
                         { QStringLiteral("kind"), difference.itemName },
                         { QStringLiteral("duid"), difference.duid } };
    QJsonArray elements;
    for (const ImpExp_SetDiff::ElementChange &change : difference.elementChanges) {
        QJsonObject element { { QStringLiteral("name"), change.name } };
        if (change.inOld)
            element.insert(QStringLiteral("old"), change.oldText);
        if (change.inNew)
            element.insert(QStringLiteral("new"), change.newText);
        elements.append(element);
    }
    if (!elements.isEmpty())
        object.insert(QStringLiteral("elements"), elements);
    if (difference.puidChanged)
        object.insert(QStringLiteral("puidChanged"), true);
    if (difference.lastModifiedChanged)
        object.insert(QStringLiteral("lastModifiedChanged"), true);
    if (!difference.problem.isEmpty())
        object.insert(QStringLiteral("problem"), difference.problem);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString countLine(const ImpExp_SetDiff::KindCount &count)
{
    QString line = QStringLiteral("%1: %2 added, %3 changed, %4 unchanged, %5 removed")
                       .arg(count.itemName)
                       .arg(count.added)
                       .arg(count.changed)
                       .arg(count.unchanged)
                       .arg(count.removed);
    if (count.problems > 0)
        line += QStringLiteral(", ") + plural(count.problems, QStringLiteral("problem"));
    return line;
}
