#include "../CommandLine.h"
#include "../Commands.h"
#include "BridgeCommon.h"
#include "ContactMapping.h"

#include <KContacts/VCardConverter>

#include <QFileInfo>

using namespace Bridge;

int runFromVCard(const QStringList &arguments)
{
    const QString command = arguments.value(0);
    CommandLine line(
        command, QStringLiteral("FILE.vcf... TEMPLATE"),
        QStringLiteral(
            "Turns every card of the vCard files (2.1, 3.0, 4.0) into a contact of a directory "
            "set (\"VelDirectory\")."));
    Arguments request;
    const int status = parseFromArguments(line, arguments, QStringLiteral("FILE.vcf"),
                                          QStringLiteral("vCard files to read."), &request);
    if (status >= 0)
        return status;

    Report report(QStringLiteral("from-vcard"), request.verbose);
    ItemCollector collector(&report, "card");
    QString error;
    for (const QString &file : qAsConst(request.inputs)) {
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
            Losses notCarried;
            QStringList approximations;
            const ContactFields fields
                = contactFromAddressee(cards.at(i), ownUid.at(i), &notCarried, &approximations);
            const QString label
                = QStringLiteral("%1 card %2 uid=%3").arg(name).arg(i + 1).arg(fields.duid);
            if (fields.carriesNothing()) {
                report.skipped(label,
                               QStringLiteral("no name, organisation, e-mail address, number, "
                                              "photo or title to carry"));
                continue;
            }
            collector.add(label, fields, contactItem, approximations, notCarried);
        }
    }

    if (const int refused = report.refuseApproximations(request.strict, command, "card");
        refused >= 0)
        return refused;
    if (!writeSet(collector.items(), request.pathTemplate, QStringLiteral("VelDirectory"),
                  request.options, &error))
        return writeError(command, error);
    return report.finish(collector.items().size());
}
