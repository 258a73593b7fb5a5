#include "../CommandLine.h"
#include "../Commands.h"
#include "BridgeCommon.h"
#include "ContactMapping.h"

#include <KContacts/VCardConverter>

using namespace Bridge;

int runToVCard(const QStringList &arguments)
{
    const QString command = arguments.value(0);
    CommandLine line(
        command, QStringLiteral("TEMPLATE OUT.vcf"),
        QStringLiteral("Turns every contact of a directory set into a card of one vCard file."));
    const QCommandLineOption versionOption(
        QStringLiteral("vcard"), QStringLiteral("vCard version to write: 3 or 4 (default 4)."),
        QStringLiteral("VERSION"), QStringLiteral("4"));
    Arguments request;
    const int status
        = parseToArguments(line, arguments, { versionOption }, QStringLiteral("OUT.vcf"),
                           QStringLiteral("vCard file to write."), &request);
    if (status >= 0)
        return status;
    const QString version = line.parser().value(versionOption);
    if (version != QLatin1String("3") && version != QLatin1String("4"))
        return line.usageError(QStringLiteral("--vcard takes 3 or 4, not '%1'").arg(version));

    QList<ImpExp_Item> records;
    QString error;
    if (!readSet(request.pathTemplate, QStringLiteral("contact"), &records, &error))
        return inputError(command, error);

    Report report(QStringLiteral("to-vcard"), request.verbose);
    KContacts::Addressee::List cards;
    forEachRecord(records, &report, contactFromItem,
                  [&](const QString &label, const ContactFields &fields) {
                      QStringList approximations;
                      cards << addresseeFromContact(fields, &approximations);
                      report.approximated(label, approximations);
                  });

    if (const int refused = report.refuseApproximations(request.strict, command, "contact");
        refused >= 0)
        return refused;
    KContacts::VCardConverter converter;
    const QByteArray data
        = converter.createVCards(cards,
                                 version == QLatin1String("3") ? KContacts::VCardConverter::v3_0
                                                               : KContacts::VCardConverter::v4_0);
    if (!writeFile(request.output, data, &error))
        return inputError(command, error);
    return report.finish(cards.size());
}
