// A host's whole exchange with named fields: 2,000 contacts and 2,000
// appointments exported into one set each, the sets checked, read back with
// fromItem, and every field compared with what was exported. Exits 1 on any
// difference.

#include <Appointment_Item.h>
#include <Contact_Item.h>
#include <ImpExp_SetCheck.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QDebug>
#include <QHash>
#include <QTemporaryDir>

namespace
{

const int count = 2000;
const QDateTime created = QDateTime::fromSecsSinceEpoch(1780000000, Qt::UTC);

//! [contact fields]
ContactFields contact(int i)
{
    ContactFields f;
    f.firstName = QStringLiteral("Jane");
    f.lastName = QStringLiteral("Doe %1").arg(i);
    f.company = i % 3 ? QStringLiteral("Acme") : QString(); // empty: no element
    f.email = QStringLiteral("jane%1@example.org").arg(i);
    f.officePhone = QStringLiteral("+33 1 23 45 %1").arg(i, 4, 10, QLatin1Char('0'));
    f.personalMobile = QStringLiteral("+33 6 00 00 %1").arg(i);
    f.jobTitle = QStringLiteral("Engineer \u00e9 & <co>");
    if (i % 5 == 0)
        f.photo = QByteArray("iVBORw0KGgo="); // the photo travels as text, here base64
    return f;
}
//! [contact fields]

//! [appointment fields]
AppointmentFields appointment(int i)
{
    AppointmentFields f;
    f.title = QStringLiteral("Review %1").arg(i);
    f.place = i % 2 ? QStringLiteral("Room 4") : QString();
    f.beginDate = QDateTime::fromSecsSinceEpoch(1780000000 + i * 5400, Qt::UTC);
    f.endDate = f.beginDate.addSecs(3600);
    if (i % 4 == 1) {
        f.repetitionPeriod = AppointmentFields::RepetitionPeriod::Weekly;
        f.repetitionEndDate = QDate(2027, 6, 30);
    }
    f.hasAlarm = i % 3 == 0;
    f.alarmReminderDelay = f.hasAlarm ? 15 : 0;
    f.readOnly = i % 7 == 0;
    return f;
}
//! [appointment fields]

//! [full export]
// Returns false when a page could not be written whole (a full disk, ...).
bool exportContacts(const QString &pathTemplate)
{
    ImpExp_XMLBuilder builder(QStringLiteral("device-1"), QStringLiteral("export-1"), pathTemplate,
                              500, created, count, 0, QStringLiteral("VelDirectory"),
                              QDateTime::fromSecsSinceEpoch(0, Qt::UTC)); // full export
    for (int i = 0; i < count; ++i)
        builder.putItem(Contact_Item(QString::number(i), QString(), created, contact(i)));
    builder.closeBuilder();
    return !builder.hasWriteError();
}
//! [full export]

bool exportAppointments(const QString &pathTemplate)
{
    ImpExp_XMLBuilder builder(QStringLiteral("device-1"), QStringLiteral("export-2"), pathTemplate,
                              500, created, count, 0, QStringLiteral("Agenda"),
                              QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
    for (int i = 0; i < count; ++i)
        builder.putItem(Appointment_Item(QString::number(i), QString(), created, appointment(i)));
    builder.closeBuilder();
    return !builder.hasWriteError();
}

//! [reading loop]
// The contacts of a set by duid; false when the set is not complete.
bool readContacts(const QString &pathTemplate, QHash<QString, ContactFields> *contacts)
{
    ImpExp_SetCheck check(pathTemplate); // the gate: no half set is imported
    check.run();
    if (!check.isComplete())
        return false;
    ImpExp_XMLParser reader(pathTemplate); // one reader per kind
    for (;;) {
        ImpExp_Item record(QStringLiteral("contact")); // a new record for each item
        if (!reader.getItem(record, true))
            break;
        QList<FieldProblem> problems;
        const ContactFields fields = ContactFields::fromItem(record, &problems);
        for (const FieldProblem &problem : problems)
            qWarning() << "contact" << record.getAttribute(QStringLiteral("duid")) << problem.field
                       << problem.text << problem.why;
        contacts->insert(record.getAttribute(QStringLiteral("duid")), fields);
    }
    return true;
}
//! [reading loop]

bool readAppointments(const QString &pathTemplate, QHash<QString, AppointmentFields> *appointments)
{
    ImpExp_SetCheck check(pathTemplate);
    check.run();
    if (!check.isComplete())
        return false;
    ImpExp_XMLParser reader(pathTemplate);
    for (;;) {
        ImpExp_Item record(QStringLiteral("appointment"));
        if (!reader.getItem(record, true))
            break;
        QList<FieldProblem> problems;
        appointments->insert(record.getAttribute(QStringLiteral("duid")),
                             AppointmentFields::fromItem(record, &problems));
        if (!problems.isEmpty())
            return false;
    }
    return true;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString contactSet = dir.filePath(QStringLiteral("dir_%1.xml"));
    const QString agendaSet = dir.filePath(QStringLiteral("agenda_%1.xml"));
    QHash<QString, ContactFields> contacts;
    QHash<QString, AppointmentFields> appointments;
    try {
        if (!exportContacts(contactSet) || !exportAppointments(agendaSet)
            || !readContacts(contactSet, &contacts) || !readAppointments(agendaSet, &appointments))
            return 1;
    } catch (const ImpExp_Exception &e) {
        qWarning() << e.what();
        return 1;
    }
    int differences = 0;
    for (int i = 0; i < count; ++i) {
        const QString duid = QString::number(i);
        differences += contacts.value(duid) != contact(i) || !contacts.contains(duid);
        differences += appointments.value(duid) != appointment(i) || !appointments.contains(duid);
    }
    qInfo("%d contacts and %d appointments read back, %d different", int(contacts.size()),
          int(appointments.size()), differences);
    return differences == 0 && contacts.size() == count && appointments.size() == count ? 0 : 1;
}
