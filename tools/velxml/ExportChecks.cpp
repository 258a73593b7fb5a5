#include "ExportChecks.h"

#include "CommandLine.h"

#include <ImpExp_XMLBuilder.h>

#include <QDateTime>

namespace
{

constexpr int namedPages = 10;

QString pageList(const QStringList &pages)
{
    QString list = pages.mid(0, namedPages).join(QLatin1String(", "));
    if (pages.size() > namedPages)
        list += QStringLiteral(" and %1 more").arg(pages.size() - namedPages);
    return list;
}

} // namespace

QString leftOverRefusal(const QString &pathTemplate, int pageSize, int itemCount, bool replace)
{
    if (replace)
        return QString();
    // A builder of at least one item writes nothing until its first item and
    // has the same number of pages as the export's (one for no items).
    const ImpExp_XMLBuilder probe(QString(), QString(), pathTemplate, pageSize, QDateTime(),
                                  qMax(itemCount, 1), 0, QStringLiteral("VelDirectory"),
                                  QDateTime());
    const QStringList pages = probe.leftOverPages();
    if (pages.isEmpty())
        return QString();
    return QStringLiteral("nothing written: %1 of an older, longer set would be left behind, and "
                          "readers would take them for part of this one: %2; remove them, or "
                          "give --replace to have them removed once the new set is written")
        .arg(plural(pages.size(), QStringLiteral("page file")), pageList(pages));
}

QString writtenSetProblem(ImpExp_XMLBuilder &builder, bool replace)
{
    if (builder.hasWriteError())
        return QStringLiteral("cannot write %1: %2")
            .arg(builder.writeErrorFileName(), builder.writeErrorString());
    if (!builder.isFinished())
        return QStringLiteral("the set is short: %1 of %2 announced items written")
            .arg(builder.writtenItemCount())
            .arg(builder.announcedItemCount());
    if (replace) {
        QString failure;
        if (!builder.removeLeftOverPages(&failure))
            return QStringLiteral("cannot remove a page file of the older set: %1").arg(failure);
    } else if (const QStringList pages = builder.leftOverPages(); !pages.isEmpty()) {
        // Made while this export ran.
        return QStringLiteral("%1 of an older set left behind, which readers will take for "
                              "part of this one: %2")
            .arg(plural(pages.size(), QStringLiteral("page file")), pageList(pages));
    }
    if (builder.alteredValueCount() > 0) {
        const QString duid = builder.firstAlteredDuid();
        return QStringLiteral("%1 written otherwise than given (characters XML cannot carry, or "
                              "a date that is no timestamp); the first: %2 of %3")
            .arg(plural(builder.alteredValueCount(), QStringLiteral("value")),
                 builder.firstAlteredField(),
                 duid.isNull() ? QStringLiteral("the export's header")
                               : QStringLiteral("duid %1").arg(duid));
    }
    return QString();
}
