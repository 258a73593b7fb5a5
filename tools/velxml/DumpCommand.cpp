#include "CommandLine.h"
#include "Commands.h"
#include "ItemJson.h"
#include "PageScan.h"
#include "Progress.h"

#include <ImpExp_XMLParser.h>
#include <xml/ImpExp_Format.h>

int runDump(const QStringList &arguments)
{
    CommandLine line(QStringLiteral("velxml dump"), QStringLiteral("TEMPLATE"),
                     QStringLiteral("Prints every item of a page file set, kind by kind, as the "
                                    "library reads it back: the item's text form, or one JSON "
                                    "object per line that 'velxml export' takes back."));
    QCommandLineParser &parser = line.parser();
    const QCommandLineOption kindOption(
        QStringLiteral("kind"),
        QStringLiteral("Only items of this kind (contact, contactMap, appointment, "
                       "appointmentMap, ...). Default: every kind found in the set."),
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
        if (kinds.constFirst().isEmpty())
            return line.usageError(QStringLiteral("--kind needs a name"));
    } else {
        const SetScan scan = scanSet(pathTemplate);
        if (scan.pages.isEmpty())
            return line.dataError(QStringLiteral("no page file %1")
                                      .arg(ImpExp_Format::pageFileName(pathTemplate, 0)));
        for (const PageHeader::KindCount &kind : scan.kinds())
            kinds.append(kind.kind);
    }

    QTextStream &out = standardOutput();
    const bool readElements = !parser.isSet(attributesOnly);
    const bool asJson = parser.isSet(json);
    Progress progress(line.name());
    qint64 done = 0;
    try {
        for (const QString &kind : qAsConst(kinds)) {
            ImpExp_XMLParser reader(pathTemplate);
            for (;;) {
                ImpExp_Item item(kind);
                if (!reader.getItem(item, readElements))
                    break;
                if (asJson)
                    out << itemToJson(item) << '\n';
                else
                    out << item.toString() << '\n';
                progress.update(-1, ++done);
            }
        }
    } catch (const ImpExp_Exception &e) {
        progress.clear();
        return line.dataError(QStringLiteral("%1: %2").arg(pathTemplate, QLatin1String(e.what())));
    }
    out.flush();
    return ExitOk;
}
