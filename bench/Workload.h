#ifndef VELXML_BENCH_WORKLOAD_H
#define VELXML_BENCH_WORKLOAD_H

// The data sets of the benchmarks and the two ways of moving them through the
// exchange format: the library, and a bare QXmlStreamWriter/QXmlStreamReader
// baseline that produces or collects exactly the same bytes and pairs.

#include <ImpExp_Item.h>

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QPair>
#include <QString>
#include <QVector>

#include <vector>

enum class Kind { Contacts, Appointments };

// What the host knows about one contact, in the types it hands to the library.
struct ContactData {
    QString duid;
    QString puid;
    QDateTime lastModified;
    QString firstName;
    QString lastName;
    QString email;
    QString personalEmail;
    QString officePhone;
    QString personalHome;
    QString personalMobile;
    QByteArray photo;
    QString collaborationId;
    QString officePhone2;
    QString fax;
    QString company;
    QString otherPhone;
    QString jobTitle;
};

struct AppointmentData {
    QString duid;
    QString puid;
    QDateTime lastModified;
    QString title;
    QString place;
    QDateTime beginDate;
    QDateTime endDate;
    QString repetitionPeriod;
    QDate repetitionEndDate;
    QString description;
    bool hasAlarm = false;
    int alarmReminderDelay = 0;
    bool readOnly = false;
};

typedef QVector<QPair<QString, QString>> TextPairs;

// One item as the baseline writes it: qualified names ("vel:...") and texts
// prepared beforehand, and whether its children are written in this export.
struct PrebuiltItem {
    TextPairs attributes;
    TextPairs elements;
    bool withElements = true;
};

// The parameters of one export, shared by the library run and the baseline.
struct ExportSetup {
    Kind kind = Kind::Contacts;
    QString deviceId;
    QString id;
    int pageSize = 1000;
    QDateTime created;
    int max = 0;
    QDateTime lastSyncDate;

    QString applicationName() const;
    QString applicationElement() const;
    // Full export (every item with its children) or incremental against a
    // reference date that half of the items were changed after.
    static ExportSetup full(Kind kind);
    static ExportSetup incremental(Kind kind);
};

// Item i of a set: deterministic, realistic field contents; the even items
// were changed after the incremental reference date, the odd ones before it.
ContactData makeContact(int i);
AppointmentData makeAppointment(int i);

// The typed items of the contacts, as a host builds them for putItem().
std::vector<ImpExp_Item> contactItems(const QVector<ContactData> &contacts);

// The bytes the format asks for, prepared the straightforward Qt way.
PrebuiltItem prebuild(const ContactData &contact, const ExportSetup &setup);
PrebuiltItem prebuild(const AppointmentData &appointment, const ExportSetup &setup);

// Every run returns a checksum of what it produced or collected, so that the
// library and the baseline can be compared and nothing is optimised away.
struct RunResult {
    qint64 items = 0;
    qint64 pairs = 0;
    qint64 textLength = 0;
    qint64 accessorSum = 0;
    bool operator==(const RunResult &other) const
    {
        return items == other.items && pairs == other.pairs && textLength == other.textLength;
    }
};

// Export through Contact_Item/Appointment_Item and ImpExp_XMLBuilder::putItem.
RunResult libraryExportContacts(const QVector<ContactData> &items, const ExportSetup &setup,
                                const QString &pathTemplate);
RunResult libraryExportAppointments(const QVector<AppointmentData> &items, const ExportSetup &setup,
                                    const QString &pathTemplate);
// putItem() alone, of typed items built beforehand.
RunResult libraryPut(const std::vector<ImpExp_Item> &items, const ExportSetup &setup,
                     const QString &pathTemplate);
// ImpExp_XMLBuilder::isWritable() on each item, as a careful host asks before
// putItem(); items counts those it accepts.
RunResult nameCheck(const std::vector<ImpExp_Item> &items);
// The same bytes written with a bare QXmlStreamWriter from prebuilt texts.
RunResult baselineExport(const QVector<PrebuiltItem> &items, const ExportSetup &setup,
                         const QString &pathTemplate);
// A hand-written host of the incremental export: like baselineExport(), but
// the decision (changed since the reference date, not read-only) and the
// timestamp texts are made per item inside the run, from the host's data.
RunResult baselineExportHandWritten(const QVector<AppointmentData> &items, const ExportSetup &setup,
                                    const QString &pathTemplate);

// Import with ImpExp_XMLParser::getItem(item, true); with @p accessors, every
// appointment is also read back through the Appointment_Item accessors.
RunResult libraryImport(Kind kind, const QString &pathTemplate, bool accessors = false);
// The same pairs collected by a bare QXmlStreamReader loop.
RunResult baselineImport(Kind kind, const QString &pathTemplate);

// The items of one kind in a set, read with the library.
std::vector<ImpExp_Item> importAll(Kind kind, const QString &pathTemplate);
// The four Appointment_Item accessors on each item, and the same results got
// the literal way (QDate/QTime::fromString, UTC, toLocalTime). The results go
// into the checksum (textLength).
RunResult libraryAccessors(const std::vector<ImpExp_Item> &appointments);
RunResult literalAccessors(const std::vector<ImpExp_Item> &appointments);

// Streaming variants for the memory runs: items are made one at a time, so
// that nothing but the export or import itself can grow with the count.
RunResult libraryExportGenerated(int count, const QString &pathTemplate);
RunResult baselineExportGenerated(int count, const QString &pathTemplate);

// Bytes of the page files of a set.
qint64 setSize(const QString &pathTemplate);
// Empty when both sets hold the same files with the same bytes; otherwise
// where they first differ.
QString compareSets(const QString &a, const QString &b);

#endif // VELXML_BENCH_WORKLOAD_H
