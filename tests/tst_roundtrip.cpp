#include <Appointment_Item.h>
#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include "TimeZoneScope.h"

#include <QtTest>

namespace
{

const char *const cet = "CET-1CEST,M3.5.0,M10.5.0/3";

// The full-export date, the Unix epoch.
const QDateTime fullExport = QDateTime::fromSecsSinceEpoch(0, Qt::UTC);

// Writes @p items as one export and reads every item of @p kind back.
QList<ImpExp_Item> exportAndImport(const QString &pathTemplate, const QString &application,
                                   const QList<const ImpExp_Item *> &items, const QString &kind,
                                   const QDateTime &lastSyncDate = fullExport)
{
    {
        ImpExp_XMLBuilder builder(QStringLiteral("device-1"), QStringLiteral("export-1"),
                                  pathTemplate, 2,
                                  QDateTime(QDate(2026, 6, 1), QTime(12, 0), Qt::UTC), items.size(),
                                  100, application, lastSyncDate);
        for (const ImpExp_Item *item : items)
            builder.putItem(*item);
    }
    QList<ImpExp_Item> read;
    ImpExp_XMLParser parser(pathTemplate);
    for (;;) {
        ImpExp_Item record(kind);
        if (!parser.getItem(record, true))
            break;
        read.append(record);
    }
    return read;
}

void compareFields(const ImpExp_Item &read, const ImpExp_Item &written)
{
    QCOMPARE(read.getItemName(), written.getItemName());
    QCOMPARE(read.getAttributes().size(), written.getAttributes().size());
    for (const auto &pair : written.getAttributes())
        QCOMPARE(read.getAttribute(pair.first), pair.second);
    QCOMPARE(read.getItemElements().size(), written.getItemElements().size());
    for (int i = 0; i < written.getItemElements().size(); ++i) {
        QCOMPARE(read.getItemElements().at(i).first, written.getItemElements().at(i).first);
        QCOMPARE(read.getItemElements().at(i).second, written.getItemElements().at(i).second);
    }
}

QDateTime withoutMsecs(const QDateTime &dateTime)
{
    return QDateTime::fromSecsSinceEpoch(dateTime.toSecsSinceEpoch(), Qt::LocalTime);
}

} // namespace

class TestRoundtrip : public QObject
{
    Q_OBJECT

private slots:
    void contacts();
    void appointments();
    void readOnlyAppointmentInIncrementalExport();
};

void TestRoundtrip::contacts()
{
    TimeZoneScope tz(cet);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pathTemplate = dir.filePath(QStringLiteral("directory_%1.xml"));

    const QDateTime changed(QDate(2026, 7, 14), QTime(8, 30, 15, 250), Qt::LocalTime);
    const QString none;
    const Contact_Item full(
        QStringLiteral("c1"), QStringLiteral("p1"), changed, QStringLiteral("Jane"),
        QStringLiteral("Doe"), QStringLiteral("jane@example.org"), QStringLiteral("jd@example.net"),
        QStringLiteral("+33 1 00 00 00 01"), QStringLiteral("+33 1 00 00 00 02"),
        QStringLiteral("+33 6 00 00 00 03"), QByteArray("aGVsbG8="), QStringLiteral("collab-9"),
        QStringLiteral("+33 1 00 00 00 04"), QStringLiteral("+33 1 00 00 00 05"),
        QStringLiteral("Smith & Sons <Ltd> \"quoted\""), QStringLiteral("+33 1 00 00 00 06"),
        QStringLiteral("Head of\nthings"));
    const Contact_Item sparse(QStringLiteral("c2"), QString(QLatin1String("")), QDateTime(), none,
                              QString::fromUtf8("\xc3\x89lodie \xce\xb1"), QStringLiteral(" "),
                              none, none, none, none, QByteArray(""), none, none, none, none, none,
                              none);
    const Contact_Item bare(QStringLiteral("c3"), QString(), changed, none, none, none, none, none,
                            none, none, QByteArray(), none, none, none, none, none, none);
    const ContactMap_Item map(QStringLiteral("c4"), QStringLiteral("p4"));
    const QList<const ImpExp_Item *> contacts { &full, &sparse, &bare };

    const QList<ImpExp_Item> read = exportAndImport(pathTemplate, QStringLiteral("VelDirectory"),
                                                    contacts, QStringLiteral("contact"));
    QCOMPARE(read.size(), contacts.size());
    for (int i = 0; i < read.size(); ++i)
        compareFields(read.at(i), *contacts.at(i));
    QCOMPARE(read.at(0).getLastModificationDate(), withoutMsecs(changed));
    QCOMPARE(read.at(1).getElement(QStringLiteral("email")), QStringLiteral(" "));
    QVERIFY(read.at(1).getLastModificationDate().isNull());
    // Three items at two a page: the second page holds the last one.
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("directory_01.xml"))));

    const QString mapTemplate = dir.filePath(QStringLiteral("map_%1.xml"));
    const QList<ImpExp_Item> maps = exportAndImport(mapTemplate, QStringLiteral("VelDirectory"),
                                                    { &map }, QStringLiteral("contactMap"));
    QCOMPARE(maps.size(), 1);
    compareFields(maps.at(0), map);
}

void TestRoundtrip::appointments()
{
    TimeZoneScope tz(cet);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pathTemplate = dir.filePath(QStringLiteral("agenda_%1.xml"));

    struct Fields {
        QDateTime begin;
        QDateTime end;
        QString period;
        QDate repetitionEnd;
        bool readOnly;
    };
    const QList<Fields> fields {
        // Summer time, milliseconds, a weekly rule ending on the DST switch day.
        { QDateTime(QDate(2026, 7, 14), QTime(9, 0, 0, 500), Qt::LocalTime),
          QDateTime(QDate(2026, 7, 14), QTime(10, 0), Qt::LocalTime), QStringLiteral("WEEKLY"),
          QDate(2026, 10, 25), true },
        // Winter time, given in UTC, ending before it begins.
        { QDateTime(QDate(2026, 1, 31), QTime(9, 0), Qt::UTC),
          QDateTime(QDate(2026, 1, 30), QTime(23, 0), Qt::UTC), QStringLiteral("ONE_TIME"), QDate(),
          false },
        { QDateTime(QDate(2026, 3, 28), QTime(23, 30), Qt::LocalTime),
          QDateTime(QDate(2026, 3, 29), QTime(3, 30), Qt::LocalTime), QStringLiteral("MONTHLY"),
          QDate(2026, 3, 29), false },
    };
    QList<Appointment_Item> written;
    for (const Fields &f : fields)
        written.append(
            Appointment_Item(QStringLiteral("a%1").arg(written.size()), QStringLiteral("p"),
                             f.begin.addDays(-1), QStringLiteral("Review <draft> & plan"),
                             QStringLiteral("Room 4"), f.begin, f.end, f.period, f.repetitionEnd,
                             QStringLiteral("line one\nline two"), f.readOnly, 10, f.readOnly));
    const AppointmentMap_Item map(QStringLiteral("a9"), QStringLiteral("p9"));
    QList<const ImpExp_Item *> items;
    for (const Appointment_Item &item : written)
        items.append(&item);

    const QList<ImpExp_Item> read = exportAndImport(pathTemplate, QStringLiteral("Agenda"), items,
                                                    QStringLiteral("appointment"));
    QCOMPARE(read.size(), written.size());
    for (int i = 0; i < read.size(); ++i) {
        compareFields(read.at(i), written.at(i));
        const Fields &f = fields.at(i);
        const Appointment_Item imported(read.at(i));
        QCOMPARE(imported.getBeginDate(), withoutMsecs(f.begin));
        QCOMPARE(imported.getBeginDate().timeSpec(), Qt::LocalTime);
        QCOMPARE(imported.getEndDate(), withoutMsecs(f.end));
        QCOMPARE(imported.getRepetitionPeriod(), f.period);
        QCOMPARE(imported.getRepetitionEndDate(), f.repetitionEnd);
        QCOMPARE(imported.getElement(QStringLiteral("readOnly")),
                 f.readOnly ? QStringLiteral("true") : QStringLiteral("false"));
        QCOMPARE(imported.getLastModificationDate(), withoutMsecs(f.begin.addDays(-1)));
    }

    const QList<ImpExp_Item> maps
        = exportAndImport(dir.filePath(QStringLiteral("map_%1.xml")), QStringLiteral("Agenda"),
                          { &map }, QStringLiteral("appointmentMap"));
    QCOMPARE(maps.size(), 1);
    compareFields(maps.at(0), map);
}

void TestRoundtrip::readOnlyAppointmentInIncrementalExport()
{
    TimeZoneScope tz(cet);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QDateTime begin(QDate(2026, 7, 14), QTime(9, 0), Qt::LocalTime);
    const Appointment_Item readOnly(QStringLiteral("a1"), QString(), begin, QString(), QString(),
                                    begin, begin, QString(), QDate(), QString(), false, 0, true);

    // Not a full export: a read-only item travels with its attributes only.
    const QList<ImpExp_Item> read
        = exportAndImport(dir.filePath(QStringLiteral("agenda_%1.xml")), QStringLiteral("Agenda"),
                          { &readOnly }, QStringLiteral("appointment"), QDateTime());
    QCOMPARE(read.size(), 1);
    QCOMPARE(read.at(0).getAttributes(), readOnly.getAttributes());
    QVERIFY(read.at(0).getItemElements().isEmpty());
    try {
        Appointment_Item(read.at(0)).getBeginDate();
        QFAIL("nothing thrown");
    } catch (const ImpExp_ErrorException &e) {
        QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("invalid beginDate"));
    }
}

QTEST_APPLESS_MAIN(TestRoundtrip)
#include "tst_roundtrip.moc"
