// What the builder tells a host about the set it writes: items written
// against announced, page files of an older export that a reader would take
// for part of this one, and values written otherwise than handed over.

#include <Appointment_Item.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include "TimeZoneScope.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

const QDateTime created(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC);

ImpExp_XMLBuilder make(const QString &pattern, int pageSize, int totalItems,
                       const QString &id = QStringLiteral("EXP-7"),
                       const QString &application = QStringLiteral("VelDirectory"))
{
    return ImpExp_XMLBuilder(QStringLiteral("DEV-1"), id, pattern, pageSize, created, totalItems, 0,
                             application, QDateTime::fromSecsSinceEpoch(0));
}

ImpExp_Item contact(int number)
{
    ImpExp_Item item(QStringLiteral("contact"));
    item.addAttribute(QStringLiteral("duid"), QString::number(number));
    item.addElement(QStringLiteral("lastName"), QStringLiteral("x"));
    return item;
}

// Writes a whole export of @p count contacts, one per page.
void writeExport(const QString &pattern, int count)
{
    ImpExp_XMLBuilder builder = make(pattern, 1, count);
    for (int i = 1; i <= count; ++i)
        builder.putItem(contact(i));
}

// The duids a plain reader returns from the set.
QStringList readDuids(const QString &pattern)
{
    QStringList duids;
    ImpExp_XMLParser parser(pattern);
    for (ImpExp_Item item(QStringLiteral("contact")); parser.getItem(item, true);
         item = ImpExp_Item(QStringLiteral("contact")))
        duids << item.getAttribute(QStringLiteral("duid"));
    return duids;
}

QStringList pageNames(const QString &pattern, const QList<int> &numbers)
{
    QStringList names;
    for (int number : numbers)
        names << pattern.arg(number, 2, 10, QLatin1Char('0'));
    return names;
}

QString controlCharacter()
{
    return QStringLiteral("a") + QChar(0x1) + QStringLiteral("b");
}

QString loneSurrogate()
{
    return QStringLiteral("a") + QChar(0xD800);
}

Appointment_Item appointment(const QString &duid, const QDateTime &begin, const QString &title,
                             const QDate &repetitionEnd = QDate())
{
    const QDateTime lastModified(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
    return Appointment_Item(duid, QStringLiteral("p"), lastModified, title, QString(), begin,
                            begin.isValid() ? begin.addSecs(3600) : begin, QString(), repetitionEnd,
                            QString(), false, 0, false);
}

// An item as a test row holds it.
struct Record : ImpExp_Item {
    Record(const ImpExp_Item &item = ImpExp_Item(QString()))
        : ImpExp_Item(item)
    {
    }
};

} // namespace

Q_DECLARE_METATYPE(Record)

class tst_ExportStatus : public QObject
{
    Q_OBJECT

private slots:
    void counts_data();
    void counts();
    void leftOverPages_data();
    void leftOverPages();
    void failedRemoval();
    void alteredValues_data();
    void alteredValues();
    void alteredHeader();

private:
    QTemporaryDir dir;
};

void tst_ExportStatus::counts_data()
{
    QTest::addColumn<int>("announced");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("put");
    QTest::addColumn<bool>("close");
    QTest::addColumn<bool>("finished");

    QTest::newRow("4 of 10 put, then closed: short") << 10 << 3 << 4 << true << false;
    QTest::newRow("4 of 10 put, still open") << 10 << 3 << 4 << false << false;
    QTest::newRow("a full page of a longer export") << 10 << 2 << 4 << false << false;
    QTest::newRow("all put: the last item closes the set") << 10 << 3 << 10 << false << true;
    QTest::newRow("all put and closed again") << 10 << 3 << 10 << true << true;
    QTest::newRow("no items announced") << 0 << 1 << 0 << false << true;
    QTest::newRow("nothing put of one, closed") << 1 << 1 << 0 << true << false;
}

void tst_ExportStatus::counts()
{
    QFETCH(int, announced);
    QFETCH(int, pageSize);
    QFETCH(int, put);
    QFETCH(bool, close);
    QFETCH(bool, finished);

    QTemporaryDir here;
    ImpExp_XMLBuilder builder
        = make(here.filePath(QStringLiteral("c_%1.xml")), pageSize, announced);
    for (int i = 1; i <= put; ++i)
        builder.putItem(contact(i));
    if (close)
        builder.closeBuilder();
    QCOMPARE(builder.writtenItemCount(), put);
    QCOMPARE(builder.announcedItemCount(), announced);
    QCOMPARE(builder.isFinished(), finished);

    // A new export by assignment starts counting afresh.
    // Assigning a new export is deprecated with the copy; it still works.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    builder = make(here.filePath(QStringLiteral("d_%1.xml")), 1, 2);
    QT_WARNING_POP
    QCOMPARE(builder.writtenItemCount(), 0);
    QCOMPARE(builder.announcedItemCount(), 2);
    QVERIFY(!builder.isFinished());
}

void tst_ExportStatus::leftOverPages_data()
{
    QTest::addColumn<QList<int>>("oldPages"); // page files there before the export
    QTest::addColumn<int>("items"); // of the new export, one per page
    QTest::addColumn<QList<int>>("leftOver");

    QTest::newRow("an older, longer export")
        << QList<int> { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 } << 4 << QList<int> { 4, 5, 6, 7, 8, 9 };
    QTest::newRow("as long as the new one") << QList<int> { 0, 1, 2 } << 3 << QList<int>();
    QTest::newRow("shorter") << QList<int> { 0 } << 3 << QList<int>();
    QTest::newRow("an empty folder") << QList<int>() << 2 << QList<int>();
    QTest::newRow("a gap of 100 numbers is looked past")
        << QList<int> { 0, 1, 102 } << 2 << QList<int> { 102 };
    QTest::newRow("a gap of 101 numbers ends the search")
        << QList<int> { 0, 1, 3, 105 } << 2 << QList<int> { 3 };
    QTest::newRow("a page of its own after a gap") << QList<int> { 7 } << 1 << QList<int> { 7 };
    QTest::newRow("an export of no items leaves page 00 only")
        << QList<int> { 0, 1 } << 0 << QList<int> { 1 };
}

// The stale pages are listed before and after the export, removed only on
// request, and then the plain reader gets the new items alone.
void tst_ExportStatus::leftOverPages()
{
    QFETCH(QList<int>, oldPages);
    QFETCH(int, items);
    QFETCH(QList<int>, leftOver);

    QTemporaryDir here;
    const QString pattern = here.filePath(QStringLiteral("p_%1.xml"));
    writeExport(pattern, 200);
    for (int number = 0; number < 200; ++number) {
        if (!oldPages.contains(number))
            QVERIFY(QFile::remove(pattern.arg(number, 2, 10, QLatin1Char('0'))));
    }

    ImpExp_XMLBuilder builder = make(pattern, 1, items);
    QCOMPARE(builder.leftOverPages(), pageNames(pattern, leftOver));
    for (int i = 1; i <= items; ++i)
        builder.putItem(contact(1000 + i));
    QCOMPARE(builder.leftOverPages(), pageNames(pattern, leftOver));
    for (const QString &name : pageNames(pattern, leftOver))
        QVERIFY(QFile::exists(name));

    QString failure = QStringLiteral("untouched");
    QVERIFY(builder.removeLeftOverPages(&failure));
    QCOMPARE(failure, QStringLiteral("untouched"));
    QVERIFY(builder.leftOverPages().isEmpty());
    QStringList expected;
    for (int i = 1; i <= items; ++i)
        expected << QString::number(1000 + i);
    QCOMPARE(readDuids(pattern), expected);
}

// A page that cannot be removed (here a directory with a file in it) is
// reported by name with the system's text; the others are removed.
void tst_ExportStatus::failedRemoval()
{
    QTemporaryDir here;
    const QString pattern = here.filePath(QStringLiteral("p_%1.xml"));
    writeExport(pattern, 5);
    const QString stuck = pattern.arg(QStringLiteral("03"));
    QVERIFY(QFile::remove(stuck));
    QVERIFY(QDir().mkpath(stuck + QStringLiteral("/inside")));

    ImpExp_XMLBuilder builder = make(pattern, 1, 2);
    builder.putItem(contact(1));
    builder.putItem(contact(2));
    QCOMPARE(builder.leftOverPages(), pageNames(pattern, { 2, 3, 4 }));
    QString failure;
    QVERIFY(!builder.removeLeftOverPages(&failure));
    QVERIFY2(failure.startsWith(stuck + QStringLiteral(": ")) && failure.size() > stuck.size() + 2,
             qPrintable(failure));
    QVERIFY(!builder.removeLeftOverPages());
    QCOMPARE(builder.leftOverPages(), QStringList { stuck });
}

void tst_ExportStatus::alteredValues_data()
{
    QTest::addColumn<Record>("item");
    QTest::addColumn<int>("altered"); // values of the item
    QTest::addColumn<QString>("field"); // the first of them; null when none

    // 02:30 on 29 March 2026 does not exist in Berlin: clocks go from 02:00 to
    // 03:00. An appointment writes its dates when it is built.
    const TimeZoneScope berlin("CET-1CEST,M3.5.0,M10.5.0/3");
    const QDateTime skipped(QDate(2026, 3, 29), QTime(2, 30), Qt::LocalTime);
    const QDateTime usual(QDate(2026, 3, 29), QTime(4, 30), Qt::LocalTime);
    const QDateTime farFuture(QDate(10000, 1, 1), QTime(12, 0), Qt::UTC);

    QTest::newRow("nothing altered") << Record(appointment("A", usual, "t")) << 0 << QString();
    QTest::newRow("a control character in the title")
        << Record(appointment("A", usual, controlCharacter())) << 1 << "title";
    QTest::newRow("a lone surrogate in the title")
        << Record(appointment("A", usual, loneSurrogate())) << 1 << "title";
    ImpExp_Item reserved(QStringLiteral("contact"));
    reserved.addAttribute(QStringLiteral("duid"), QStringLiteral("A"));
    reserved.addElement(QStringLiteral("lastName"), QString(QChar(0xFFFE)));
    QTest::newRow("U+FFFE in a contact's element") << Record(reserved) << 1 << "lastName";
    QTest::newRow("begin in the hour a clock change skips: begin and end")
        << Record(appointment("A", skipped, "t")) << 2 << "begin";
    QTest::newRow("begin in the year 10000: begin and end")
        << Record(appointment("A", farFuture, "t")) << 2 << "begin";
    QTest::newRow("a repetition end in the year 10000")
        << Record(appointment("A", usual, "t", QDate(10000, 6, 1))) << 1 << "repetitiveEndDate";
    ImpExp_Item lastModified(QStringLiteral("contact"));
    lastModified.addAttribute(QStringLiteral("duid"), QStringLiteral("A"));
    lastModified.addAttribute(QStringLiteral("lastModified"), QString());
    QTest::newRow("an empty lastModified") << Record(lastModified) << 1 << "lastModified";
    ImpExp_Item named(QStringLiteral("event"));
    named.addAttribute(QStringLiteral("duid"), QStringLiteral("A"));
    named.addElement(QStringLiteral("begin"), QString());
    QTest::newRow("an empty begin outside an appointment is no date-time")
        << Record(named) << 0 << QString();
    ImpExp_Item both(QStringLiteral("contact"));
    both.addAttribute(QStringLiteral("duid"), QStringLiteral("A"));
    both.addAttribute(QStringLiteral("note"), controlCharacter());
    both.addElement(QStringLiteral("lastName"), loneSurrogate());
    QTest::newRow("an attribute, then an element") << Record(both) << 2 << "note";
}

// Each row's item goes between two untouched ones; the status names it
// whatever comes after it.
void tst_ExportStatus::alteredValues()
{
    QFETCH(Record, item);
    QFETCH(int, altered);
    QFETCH(QString, field);

    QTemporaryDir here;
    ImpExp_XMLBuilder builder = make(here.filePath(QStringLiteral("a_%1.xml")), 2, 3,
                                     QStringLiteral("E"), QStringLiteral("Agenda"));
    builder.putItem(contact(1));
    QCOMPARE(builder.alteredValueCount(), 0);
    QVERIFY(builder.firstAlteredDuid().isNull() && builder.firstAlteredField().isNull());
    builder.putItem(item);
    builder.putItem(ImpExp_Item(appointment("B", created, controlCharacter())));
    QCOMPARE(builder.alteredValueCount(), altered + 1);
    QCOMPARE(builder.firstAlteredDuid(), altered ? QStringLiteral("A") : QStringLiteral("B"));
    QCOMPARE(builder.firstAlteredField(), altered ? field : QStringLiteral("title"));

    // Assigning a new export is deprecated with the copy; it still works.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    builder = make(here.filePath(QStringLiteral("b_%1.xml")), 1, 1);
    QT_WARNING_POP
    QCOMPARE(builder.alteredValueCount(), 0);
    QVERIFY(builder.firstAlteredDuid().isNull() && builder.firstAlteredField().isNull());
}

// The export's id is written on every page but counts once, with no duid.
void tst_ExportStatus::alteredHeader()
{
    QTemporaryDir here;
    ImpExp_XMLBuilder builder
        = make(here.filePath(QStringLiteral("h_%1.xml")), 1, 3, controlCharacter());
    for (int i = 1; i <= 3; ++i)
        builder.putItem(contact(i));
    QCOMPARE(builder.alteredValueCount(), 1);
    QVERIFY(builder.firstAlteredDuid().isNull());
    QCOMPARE(builder.firstAlteredField(), QStringLiteral("id"));
}

QTEST_GUILESS_MAIN(tst_ExportStatus)
#include "tst_exportstatus.moc"
