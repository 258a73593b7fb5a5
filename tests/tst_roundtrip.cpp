#include <Appointment_Item.h>
#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include "TimeZoneScope.h"

#include <QtTest>

#include <tuple>

namespace
{

// Writes @p items as one export, two to a page, and reads back every @p kind, then its map items.
QList<ImpExp_Item> exportAndImport(const QString &pathTemplate, const QString &application,
                                   const QList<const ImpExp_Item *> &items, const QString &kind,
                                   const QDateTime &lastSyncDate)
{
    {
        ImpExp_XMLBuilder builder("device-1", "export-1", pathTemplate, 2, lastSyncDate.addDays(9),
                                  items.size(), 100, application, lastSyncDate);
        for (const ImpExp_Item *item : items)
            builder.putItem(*item);
    }
    QList<ImpExp_Item> read;
    for (const QString &name : { kind, kind + QLatin1String("Map") }) {
        ImpExp_XMLParser parser(pathTemplate);
        for (ImpExp_Item record(name); parser.getItem(record, true); record = ImpExp_Item(name))
            read.append(record);
    }
    return read;
}

const char *const cet = "CET-1CEST,M3.5.0,M10.5.0/3";

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
};

void TestRoundtrip::contacts()
{
    TimeZoneScope tz(cet);
    QTemporaryDir dir;
    const QDateTime changed(QDate(2026, 7, 14), QTime(8, 30, 15, 250), Qt::LocalTime);
    const Contact_Item full("c1", "p1", changed, "Jane", "Doe", "j@example.org", "jd@example.net",
                            "1", "2", "3", QByteArray("aGVsbG8="), "collab-9", "4", "5",
                            "Smith & Sons <Ltd> \"quoted\"", "6", "Head of\nthings");
    const Contact_Item sparse("c2", QLatin1String(""), {}, {}, "\xc3\x89lodie \xce\xb1", " ", {},
                              {}, {}, {}, QByteArray(""), {}, {}, {}, {}, {}, {});
    const ContactMap_Item map("c4", "p4");
    const QList<const ImpExp_Item *> written { &full, &sparse, &map };

    const QList<ImpExp_Item> read
        = exportAndImport(dir.filePath("directory_%1.xml"), "VelDirectory", written, "contact",
                          QDateTime::fromSecsSinceEpoch(0));
    QCOMPARE(read.size(), written.size());
    for (int i = 0; i < read.size(); ++i)
        QCOMPARE(read.at(i).toString(), written.at(i)->toString());
    QCOMPARE(read.at(0).getLastModificationDate(), withoutMsecs(changed));
    // Three items at two a page: the second page holds the last one.
    QVERIFY(QFile::exists(dir.filePath("directory_01.xml")));
}

void TestRoundtrip::appointments()
{
    TimeZoneScope tz(cet);
    QTemporaryDir dir;
    const auto at
        = [](int month, int day, int hour, int minute, Qt::TimeSpec spec = Qt::LocalTime) {
              return QDateTime(QDate(2026, month, day), QTime(hour, minute), spec);
          };
    // begin, end, repetition period, repetition end date, read-only
    const QList<std::tuple<QDateTime, QDateTime, QString, QDate, bool>> fields {
        // Summer time, milliseconds, a weekly rule ending on the DST switch day.
        { at(7, 14, 9, 0).addMSecs(500), at(7, 14, 10, 0), "WEEKLY", QDate(2026, 10, 25), false },
        // Winter time, given in UTC, ending before it begins.
        { at(1, 31, 9, 0, Qt::UTC), at(1, 30, 23, 0, Qt::UTC), "ONE_TIME", QDate(), false },
        // Across the spring switch; read-only, so an incremental export sends its identifiers only.
        { at(3, 28, 23, 30), at(3, 29, 3, 30), "MONTHLY", QDate(2026, 3, 29), true },
    };
    QList<Appointment_Item> written;
    for (const auto &[begin, end, period, repetitionEnd, readOnly] : fields)
        written.append(Appointment_Item(QStringLiteral("a%1").arg(written.size()), "p",
                                        begin.addDays(-1), "Review <draft> & plan", "Room 4", begin,
                                        end, period, repetitionEnd, "line one\nline two", true, 10,
                                        readOnly));
    const AppointmentMap_Item map("a9", "p9");
    QList<const ImpExp_Item *> items { &map };
    for (const Appointment_Item &item : written)
        items.append(&item);

    // Every appointment changed after the last synchronisation.
    const QList<ImpExp_Item> read = exportAndImport(dir.filePath("agenda_%1.xml"), "Agenda", items,
                                                    "appointment", at(1, 1, 0, 0));
    QCOMPARE(read.size(), items.size());
    QCOMPARE(read.last().toString(), map.toString());
    for (int i = 0; i < fields.size(); ++i) {
        const auto &[begin, end, period, repetitionEnd, readOnly] = fields.at(i);
        const Appointment_Item imported(read.at(i));
        QCOMPARE(imported.getLastModificationDate(), withoutMsecs(begin.addDays(-1)));
        if (readOnly) {
            QCOMPARE(imported.getAttributes(), written.at(i).getAttributes());
            QVERIFY(imported.getItemElements().isEmpty());
            QVERIFY_EXCEPTION_THROWN(imported.getBeginDate(), ImpExp_ErrorException);
            continue;
        }
        QCOMPARE(imported.toString(), written.at(i).toString());
        QCOMPARE(imported.getBeginDate(), withoutMsecs(begin));
        QCOMPARE(imported.getBeginDate().timeSpec(), Qt::LocalTime);
        QCOMPARE(imported.getEndDate(), withoutMsecs(end));
        QCOMPARE(imported.getRepetitionPeriod(), period);
        QCOMPARE(imported.getRepetitionEndDate(), repetitionEnd);
    }
}

QTEST_APPLESS_MAIN(TestRoundtrip)
#include "tst_roundtrip.moc"
