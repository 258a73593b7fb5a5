// An incremental export: the items changed since the last exchange carry
// their fields, the others only their identifiers, and read-only items carry
// their fields in a full export only. Exits 1 when the set read back says
// otherwise.

#include <Appointment_Item.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QTemporaryDir>

namespace
{

const QDateTime lastSync = QDateTime::fromSecsSinceEpoch(1780000000, Qt::UTC);

AppointmentFields meeting(bool readOnly)
{
    AppointmentFields f;
    f.title = QStringLiteral("Planning");
    f.beginDate = lastSync.addDays(7);
    f.endDate = f.beginDate.addSecs(3600);
    f.readOnly = readOnly;
    return f;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("agenda_%1.xml"));

    //! [incremental export]
    // lastSyncDate is the date of the last exchange: an item changed at or
    // after it is written with its fields, an older one with its identifiers.
    ImpExp_XMLBuilder builder(QStringLiteral("device-1"), QStringLiteral("export-3"), pathTemplate,
                              100, lastSync.addDays(1), 3, 0, QStringLiteral("Agenda"), lastSync);
    builder.putItem(Appointment_Item(QStringLiteral("changed"), QString(), lastSync.addSecs(60),
                                     meeting(false)));
    builder.putItem(Appointment_Item(QStringLiteral("unchanged"), QString(), lastSync.addDays(-3),
                                     meeting(false)));
    // Read-only: fields only in a full export (lastSyncDate the Unix epoch).
    builder.putItem(Appointment_Item(QStringLiteral("read-only"), QString(), lastSync.addSecs(60),
                                     meeting(true)));
    builder.closeBuilder();
    //! [incremental export]
    if (builder.hasWriteError())
        return 1;

    //! [incremental reading]
    QStringList withFields, identifiersOnly;
    ImpExp_XMLParser reader(pathTemplate);
    for (;;) {
        ImpExp_Item record(QStringLiteral("appointment"));
        if (!reader.getItem(record, true))
            break;
        // No elements: the item is known and unchanged; keep the host's copy.
        (record.getItemElements().isEmpty() ? identifiersOnly : withFields)
            << record.getAttribute(QStringLiteral("duid"));
    }
    //! [incremental reading]
    return withFields == QStringList { QStringLiteral("changed") }
            && identifiersOnly
                == QStringList({ QStringLiteral("unchanged"), QStringLiteral("read-only") })
        ? 0
        : 1;
}
