#include "../CommandLine.h"
#include "../Commands.h"
#include "BridgeCommon.h"
#include "ContactMapping.h"

#include <KContacts/VCardConverter>

#include <QTextStream>

using namespace Bridge;

int runToVCard(const QStringList &arguments)
{
    const QString command = arguments.value(0);
    CommandLine line(
        command, QStringLiteral("TEMPLATE OUT.vcf"),
        QStringLiteral("Turns every contact of a directory set into a card of one vCard file."));
    QCommandLineParser &parser = line.parser();
    addCommonOptions(parser);
    parser.addOption({ QStringLiteral("vcard"),
                       QStringLiteral("vCard version to write: 3 or 4 (default 4)."),
                       QStringLiteral("VERSION"), QStringLiteral("4") });
    parser.addPositionalArgument(QStringLiteral("TEMPLATE"),
                                 QStringLiteral("Path template of the page files, holding %1."));
    parser.addPositionalArgument(QStringLiteral("OUT.vcf"), QStringLiteral("vCard file to write."));
    const int status = line.parse(arguments, 2, 2);
    if (status >= 0)
        return status;
    const QStringList positional = parser.positionalArguments();
    const QString version = parser.value(QStringLiteral("vcard"));
    if (version != QLatin1String("3") && version != QLatin1String("4"))
        return line.usageError(QStringLiteral("--vcard takes 3 or 4, not '%1'").arg(version));
    const bool verbose = parser.isSet(QStringLiteral("verbose"));

    QList<ImpExp_Item> records;
    QString error;
    if (!readSet(positional.at(0), QStringLiteral("contact"), &records, &error))
        return inputError(command, error);

    Report report(QStringLiteral("to-vcard"), verbose);
    KContacts::Addressee::List cards;
    for (int i = 0; i < records.size(); ++i) {
        const ImpExp_Item &record = records.at(i);
        report.read();
        const QString label = QStringLiteral("contact %1 duid=%2")
                                  .arg(i + 1)
                                  .arg(record.getAttribute(QStringLiteral("duid")));
        if (record.getAttribute(QStringLiteral("duid")).isEmpty()) {
            report.skipped(label, QStringLiteral("no duid"));
            continue;
        }
        if (record.getItemElements().isEmpty()) {
            report.skipped(
                label,
                QStringLiteral("identifiers only (unchanged since the export's reference date)"));
            continue;
        }
        ContactFields fields;
        try {
            fields = contactFromItem(record);
        } catch (const ImpExp_Exception &e) {
            report.skipped(label, QString::fromLatin1(e.what()));
            continue;
        }
        QStringList approximations;
        cards << addresseeFromContact(fields, &approximations);
        report.approximated(label, approximations);
    }

    QTextStream &out = standardOutput();
    if (parser.isSet(QStringLiteral("strict")) && report.approximatedCount() > 0) {
        report.print(out);
        standardError() << command
                        << ": nothing written: some contacts would be approximated (--strict)\n";
        return ExitDataProblem;
    }
    KContacts::VCardConverter converter;
    const QByteArray data
        = converter.createVCards(cards,
                                 version == QLatin1String("3") ? KContacts::VCardConverter::v3_0
                                                               : KContacts::VCardConverter::v4_0);
    if (!writeFile(positional.at(1), data, &error))
        return inputError(command, error);
    report.written(cards.size());
    report.print(out);
    return report.exitStatus();
}
