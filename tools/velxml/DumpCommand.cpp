#include "CommandLine.h"
#include "Commands.h"
#include "ItemJson.h"
#include "Progress.h"
#include "SetReport.h"

#include <ImpExp_SetCheck.h>
#include <ImpExp_XMLParser.h>
#include <xml/ImpExp_Format.h>

int runDump(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("velxml dump"), QStringLiteral("TEMPLATE"),
                     QStringLiteral("Prints every item of a page file set, kind by kind, as the "
                                    "library reads it back: the item's text form, or one JSON "
                                    "object per line that 'velxml export' takes back. Exit status "
                                    "1 when the set is incomplete, after the items read."));
    QCommandLineParser &parser = line.parser();
    const QCommandLineOption kindOption(
        QStringLiteral("kind"),
        QStringLiteral("Only items of this kind (contact, contactMap, appointment or "
                       "appointmentMap). Default: every kind found in the set."),
        QStringLiteral("NAME"));
    const QCommandLineOption attributesOnly(QStringLiteral("attributes-only"),
                                            QStringLiteral("Leave the items' elements out."));
    const QCommandLineOption json(
        QStringLiteral("json"),
        QStringLiteral("One JSON object per item and line: "
                       "{\"name\":..., \"attributes\":[[n,v],...], \"elements\":[[n,v],...]}."));
    parser.addOptions({ kindOption, attributesOnly, json });
    QString pathTemplate;
    const int status = line.parseTemplate(arguments, &pathTemplate);
    if (status >= 0)
        return status;
    QStringList kinds;
    if (parser.isSet(kindOption)) {
        kinds.append(parser.value(kindOption));
        // An unknown kind would print nothing, as if the set held none of it.
        if (!ImpExp_Format::isItemKind(kinds.constFirst()))
            return line.usageError(QStringLiteral("--kind takes contact, contactMap, appointment "
                                                  "or appointmentMap, not '%1'")
                                       .arg(kinds.constFirst()));
    }
    // Read first, so that an incomplete set is known for what it is.
    ImpExp_SetCheck check(pathTemplate);
    Progress progress(line.name());
    runCheck(check, progress);
    if (check.pages().isEmpty())
        return noPageFile(line, pathTemplate);
    if (kinds.isEmpty()) {
        for (const ImpExp_SetCheck::Page &page : check.pages()) {
            for (const ImpExp_SetCheck::KindCount &kind : page.kinds) {
                if (!kinds.contains(kind.itemName))
                    kinds.append(kind.itemName);
            }
        }
    }

    QTextStream &out = standardOutput();
    const bool readElements = !parser.isSet(attributesOnly);
    const bool asJson = parser.isSet(json);
    progress.setStage(QStringLiteral("items"));
    qint64 done = 0;
    const QString readOnlyElement = QStringLiteral("readOnly");
    try {
        for (const QString &kind : qAsConst(kinds)) {
            ImpExp_XMLParser reader(pathTemplate);
            for (;;) {
                ImpExp_Item item(kind);
                if (!reader.getItem(item, readElements))
                    break;
                if (asJson) {
                    // The reader leaves the flag clear; the set shows it in an
                    // appointment's readOnly element, and export needs it back.
                    item.setReadOnlyItem(item.getElement(readOnlyElement) == QLatin1String("true"));
                    out << itemToJson(item) << '\n';
                } else
                    out << item.toString() << '\n';
                progress.update(-1, ++done);
            }
        }
    } catch (const ImpExp_Exception &e) {
        progress.clear();
        const int status
            = line.dataError(QStringLiteral("%1: %2").arg(pathTemplate, QLatin1String(e.what())));
        return qMax(status, refuseIncomplete(line, pathTemplate, check));
    }
    progress.clear();
    const int incomplete = refuseIncomplete(line, pathTemplate, check);
    out.flush();
    return incomplete >= 0 ? incomplete : ExitOk;
}
