#include "../CommandLine.h"
#include "../Commands.h"
#include "BridgeCommon.h"
#include "ContactMapping.h"

#include <KContacts/VCardConverter>

#include <QFileInfo>
#include <QSet>
#include <QTextStream>

#include <limits>

using namespace Bridge;

int runFromVCard(const QStringList &arguments)
{
    const QString command = arguments.value(0);
    CommandLine line(
        command, QStringLiteral("FILE.vcf... TEMPLATE"),
        QStringLiteral(
            "Turns every card of the vCard files (2.1, 3.0, 4.0) into a contact of a directory "
            "set (\"VelDirectory\")."));
    QCommandLineParser &parser = line.parser();
    addCommonOptions(parser);
    addSetOptions(parser);
    parser.addPositionalArgument(QStringLiteral("FILE.vcf"), QStringLiteral("vCard files to read."),
                                 QStringLiteral("FILE.vcf..."));
    parser.addPositionalArgument(QStringLiteral("TEMPLATE"),
                                 QStringLiteral("Path template of the page files, holding %1."));
    const int status = line.parse(arguments, 2, std::numeric_limits<int>::max());
    if (status >= 0)
        return status;
    QStringList files = parser.positionalArguments();
    const QString pathTemplate = files.takeLast();
    if (!isPathTemplate(pathTemplate))
        return line.usageError(QStringLiteral("TEMPLATE must contain %1"));
    SetOptions options;
    QString error;
    if (!readSetOptions(parser, &options, &error))
        return line.usageError(error);
    const bool verbose = parser.isSet(QStringLiteral("verbose"));

    Report report(QStringLiteral("from-vcard"), verbose);
    QList<ImpExp_Item> items;
    QSet<QString> duids;
    for (const QString &file : qAsConst(files)) {
        QByteArray data;
        if (!readFile(file, &data, &error))
            return inputError(command, error);
        KContacts::VCardConverter converter;
        const KContacts::Addressee::List cards = converter.parseVCards(data);
        if (cards.isEmpty())
            return inputError(command, QStringLiteral("%1: no vCard found").arg(file));
        const QList<bool> ownUid = cardsWithOwnUid(data, cards);
        const QString name = QFileInfo(file).fileName();
        for (int i = 0; i < cards.size(); ++i) {
            report.read();
            QStringList notCarried, approximations;
            const ContactFields fields = contactFromAddressee(
                cards.at(i), ownUid.at(i), verbose ? &notCarried : nullptr, &approximations);
            const QString label
                = QStringLiteral("%1 card %2 uid=%3").arg(name).arg(i + 1).arg(fields.duid);
            if (fields.carriesNothing()) {
                report.skipped(label,
                               QStringLiteral("no name, organisation, e-mail address, number, "
                                              "photo or title to carry"));
                continue;
            }
            if (duids.contains(fields.duid)) {
                report.skipped(label, QStringLiteral("duplicate UID: an earlier card has it"));
                continue;
            }
            try {
                items << contactItem(fields);
            } catch (const ImpExp_Exception &e) {
                report.skipped(label, QString::fromLatin1(e.what()));
                continue;
            }
            duids.insert(fields.duid);
            report.approximated(label, approximations);
            report.notCarried(label, notCarried);
        }
    }

    QTextStream &out = standardOutput();
    if (parser.isSet(QStringLiteral("strict")) && report.approximatedCount() > 0) {
        report.print(out);
        standardError() << command
                        << ": nothing written: some cards would be approximated (--strict)\n";
        return ExitDataProblem;
    }
    if (!writeSet(items, pathTemplate, QStringLiteral("VelDirectory"), options, &error))
        return inputError(command, error);
    report.written(items.size());
    report.print(out);
    return report.exitStatus();
}
