#include "CommandLine.h"
#include "Commands.h"
#include "DiffText.h"

#include <ImpExp_SetDiff.h>
#include <xml/ImpExp_Format.h>

#include <QDir>
#include <QFileInfo>

int runApply(const QStringList &arguments)
{
    CommandLine line(
        QStringLiteral("velxml apply"), QStringLiteral("OLD NEW OUT"),
        QStringLiteral("Writes the full state that an old set and the set after it make "
                       "together: the new set's items in its order, an item sent with its "
                       "identifiers only taking its fields from the old set, removed items "
                       "gone, as a full export with the new set's header. OUT must not hold "
                       "a set yet. Exit status 1 when an item came with its identifiers only "
                       "and the old set lacks it (it is written so), 2 on a usage error or a "
                       "set that cannot be used."));
    QCommandLineParser &parser = line.parser();
    parser.addPositionalArgument(QStringLiteral("OLD"),
                                 QStringLiteral("Template of the set the receiver holds."));
    parser.addPositionalArgument(QStringLiteral("NEW"),
                                 QStringLiteral("Template of the set that came after it."));
    parser.addPositionalArgument(QStringLiteral("OUT"),
                                 QStringLiteral("Template of the full set to write."));
    const int status = line.parse(arguments, 3, 3);
    if (status >= 0)
        return status;
    const QStringList paths = parser.positionalArguments();
    for (const QString &pathTemplate : paths)
        if (const int bad = line.checkTemplate(pathTemplate); bad >= 0)
            return bad;
    const QString first = ImpExp_Format::pageFileName(paths.at(2), 0);
    if (QFileInfo::exists(first))
        return line.usageError(
            QStringLiteral("%1 exists: apply writes a new set and overwrites none").arg(first));

    ImpExp_SetDiff diff(paths.at(0), paths.at(1));
    qint64 withoutFields = 0;
    try {
        if (!diff.prepare())
            return refuseSets(line, diff, paths.at(0), paths.at(1));
        // The writer creates files, not folders.
        QDir().mkpath(QFileInfo(first).absolutePath());
        withoutFields = diff.apply(paths.at(2), QDateTime::currentDateTimeUtc());
    } catch (const ImpExp_Exception &e) {
        return line.dataError(QString::fromLatin1(e.what()));
    }
    standardOutput() << "Wrote " << paths.at(2) << '\n';
    if (withoutFields > 0)
        return line.dataError(
            plural(withoutFields, QStringLiteral("item"))
            + QStringLiteral(" came with identifiers only and are not in the old set: written "
                             "without fields"));
    standardOutput().flush();
    return ExitOk;
}
