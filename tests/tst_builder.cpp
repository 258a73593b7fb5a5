#include <ImpExp_XMLBuilder.h>

#include "TimeZoneScope.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <functional>
#include <memory>

namespace
{

const QString deviceId = QStringLiteral("DEV-1");
const QString exportId = QStringLiteral("EXP-7");
const QDateTime created(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC);
// Qt keeps a local date-time's wall clock, so the full-export date is made
// under the zone the test runs in.
QDateTime epoch()
{
    return QDateTime::fromTime_t(0);
}

QString utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC)
        .toString(QStringLiteral("yyyyMMddThhmmssZ"));
}

ImpExp_Item contact(const QString &duid, const QString &lastModified = QString(),
                    bool readOnly = false)
{
    ImpExp_Item item(QStringLiteral("contact"));
    item.addAttribute(QStringLiteral("duid"), duid);
    if (!lastModified.isNull())
        item.addAttribute(QStringLiteral("lastModified"), lastModified);
    item.addElement(QStringLiteral("lastName"), QStringLiteral("Doe"));
    item.setReadOnlyItem(readOnly);
    return item;
}

QString readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing %1>").arg(path);
    return QString::fromUtf8(file.readAll());
}

bool wellFormed(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QXmlStreamReader reader(&file);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

// Item elements of a page in order: duid and whether it has children.
QList<QPair<QString, bool>> itemsOf(const QString &path)
{
    QList<QPair<QString, bool>> items;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return items;
    QXmlStreamReader reader(&file);
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("moxara") || reader.name() == QLatin1String("directory")
            || reader.name() == QLatin1String("agenda"))
            continue;
        const QString duid = reader.attributes().value(QLatin1String("duid")).toString();
        const bool children = reader.readNextStartElement();
        items.append(qMakePair(duid, children));
        if (children) {
            reader.skipCurrentElement();
            reader.skipCurrentElement();
        }
    }
    return items;
}

// The "what()" of the ImpExp_FatalException @p call throws.
QString fatal(const std::function<void()> &call)
{
    try {
        call();
    } catch (const ImpExp_FatalException &e) {
        return QString::fromLatin1(e.what());
    } catch (...) {
        return QStringLiteral("another exception");
    }
    return QStringLiteral("nothing thrown");
}

struct LogEntry {
    QString category, file, function, message;
};
QList<LogEntry> logged;
QtMessageHandler previousHandler = nullptr;
QLoggingCategory::CategoryFilter previousFilter = nullptr;
bool logEnabled = true;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && qstrcmp(context.category, "velxml.impexp") == 0)
        logged.append({ QString::fromLatin1(context.category), QString::fromLatin1(context.file),
                        QString::fromLatin1(context.function), message });
}

// Wins over QT_LOGGING_RULES, which setFilterRules() does not.
void forceLogging(QLoggingCategory *category)
{
    previousFilter(category);
    if (qstrcmp(category->categoryName(), "velxml.impexp") == 0)
        category->setEnabled(QtDebugMsg, logEnabled);
}

} // namespace

class tst_Builder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void exactThreePages();
    void exactEmptyExport();
    void paging_data();
    void paging();
    void incremental_data();
    void incremental();
    void incrementalAgreesWithQt_data();
    void incrementalAgreesWithQt();
    void constructorRefuses_data();
    void constructorRefuses();
    void cannotCreateFileThenRetry();
    void destructionMidPage();
    void closeBuilderEndsExport();
    void copiesStartTheSameExport();
    void putIdListIsObsolete();
    void startNewXMLFileCompletesOpenPage();
    void valuesXmlCannotCarry();
    void debugMessages();

private:
    std::unique_ptr<TimeZoneScope> zone;
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

void tst_Builder::initTestCase()
{
    // Data rows with local date-times are made outside the test functions.
    zone = std::make_unique<TimeZoneScope>("CET-1CEST,M3.5.0,M10.5.0/3");
    QVERIFY(dir.isValid());
}

void tst_Builder::cleanupTestCase()
{
    zone.reset();
}

void tst_Builder::exactThreePages()
{
    TimeZoneScope tz("CET-1CEST,M3.5.0,M10.5.0/3");
    const QString pattern = path(QStringLiteral("three_%1.xml"));
    {
        // A local creation date is written in UTC.
        ImpExp_XMLBuilder builder(
            deviceId, exportId, pattern, 2, QDateTime(QDate(2024, 3, 5), QTime(15, 7, 9)), 5, 42,
            QStringLiteral("VelDirectory"), QDateTime(QDate(2024, 1, 1), QTime(1, 0)));
        ImpExp_Item changed = contact(QStringLiteral("17"), utc(2024, 2, 1, 8, 30));
        changed.addElement(QStringLiteral("firstName"), QStringLiteral("Jane"));
        builder.putItem(changed);
        builder.putItem(contact(QStringLiteral("18"), utc(2023, 12, 31, 23, 59, 59)));
        ImpExp_Item noDate(QStringLiteral("contact"), QStringLiteral("19"), QStringLiteral(""),
                           QDateTime());
        noDate.addElement(QStringLiteral("note"), QStringLiteral("a < b & \"c\"\nline 2"));
        noDate.addElement(QStringLiteral("title"), QString());
        builder.putItem(noDate);
        builder.putItem(contact(QStringLiteral("20"), utc(2024, 6, 1), true));
        builder.putItem(ImpExp_Item(QStringLiteral("contactMap")));
    }
    const QString head = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<vel:moxara xmlns:vel=\"http://ns.velxml.org/impexp/1.0\" "
        "xmlns:xs=\"http://www.w3.org/2001/XMLSchema-instance\" created=\"20240305T140709Z\" "
        "schemaVersion=\"1.0\" id=\"EXP-7\" deviceId=\"DEV-1\">\n");
    QCOMPARE(
        readAll(path(QStringLiteral("three_00.xml"))),
        head + QStringLiteral(R"xml(    <vel:directory max="42" pageSize="2" page="1" totalPage="3">
        <vel:contact duid="17" lastModified="20240201T083000Z">
            <vel:lastName xml:space="preserve">Doe</vel:lastName>
            <vel:firstName xml:space="preserve">Jane</vel:firstName>
        </vel:contact>
        <vel:contact duid="18" lastModified="20231231T235959Z"/>
    </vel:directory>
</vel:moxara>
)xml"));
    QCOMPARE(
        readAll(path(QStringLiteral("three_01.xml"))),
        head + QStringLiteral(R"xml(    <vel:directory max="42" pageSize="2" page="2" totalPage="3">
        <vel:contact duid="19" puid="">
            <vel:note xml:space="preserve">a &lt; b &amp; &quot;c&quot;
line 2</vel:note>
            <vel:title xml:space="preserve"></vel:title>
        </vel:contact>
        <vel:contact duid="20" lastModified="20240601T000000Z"/>
    </vel:directory>
</vel:moxara>
)xml"));
    QCOMPARE(
        readAll(path(QStringLiteral("three_02.xml"))),
        head + QStringLiteral(R"xml(    <vel:directory max="42" pageSize="2" page="3" totalPage="3">
        <vel:contactMap/>
    </vel:directory>
</vel:moxara>
)xml"));
    QVERIFY(!QFile::exists(path(QStringLiteral("three_03.xml"))));
}

void tst_Builder::exactEmptyExport()
{
    const QString file = path(QStringLiteral("empty_00.xml"));
    {
        QFile old(file); // an older, longer page is truncated
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4096, 'x'));
    }
    ImpExp_XMLBuilder builder(deviceId, exportId, path(QStringLiteral("empty_%1.xml")), 0, created,
                              0, -3, QStringLiteral("Agenda"), QDateTime());
    const QString expected = QStringLiteral(R"xml(<?xml version="1.0" encoding="UTF-8"?>
<vel:moxara xmlns:vel="http://ns.velxml.org/impexp/1.0" xmlns:xs="http://www.w3.org/2001/XMLSchema-instance" created="20240305T140709Z" schemaVersion="1.0" id="EXP-7" deviceId="DEV-1">
    <vel:agenda max="-3" pageSize="0" page="1" totalPage="1"/>
</vel:moxara>
)xml");
    QCOMPARE(readAll(file), expected);
    builder.closeBuilder();
    QCOMPARE(readAll(file), expected);

    // The export is over: its page is never written again.
    QVERIFY(QFile::remove(file));
    QCOMPARE(fatal([&] { builder.putItem(contact(QStringLiteral("1"))); }),
             QStringLiteral("Too much items !"));
    QVERIFY(!QFile::exists(file));
}

void tst_Builder::paging_data()
{
    QTest::addColumn<int>("totalItems");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<QList<int>>("perPage");
    QTest::newRow("4/2: two full pages") << 4 << 2 << QList<int> { 2, 2 };
    QTest::newRow("5/2: the announced last item closes a short page")
        << 5 << 2 << QList<int> { 2, 2, 1 };
    QTest::newRow("3/10: one page") << 3 << 10 << QList<int> { 3 };
    QTest::newRow("11/1: file number 10 has two digits")
        << 11 << 1 << QList<int> { 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1 };
}

void tst_Builder::paging()
{
    QFETCH(int, totalItems);
    QFETCH(int, pageSize);
    QFETCH(QList<int>, perPage);
    QTemporaryDir pages;
    const QString pattern = pages.filePath(QStringLiteral("p%1_%1.xml")); // every "%1" is replaced
    ImpExp_XMLBuilder builder(deviceId, exportId, pattern, pageSize, created, totalItems, 0,
                              QStringLiteral("VelDirectory"), QDateTime());
    for (int i = 0; i < totalItems; ++i)
        builder.putItem(contact(QString::number(i)));

    QCOMPARE(fatal([&] { builder.putItem(contact(QStringLiteral("extra"))); }),
             QStringLiteral("Too much items !"));
    QCOMPARE(QDir(pages.path()).entryList(QDir::Files).size(), perPage.size());
    int duid = 0;
    for (int page = 0; page < perPage.size(); ++page) {
        const QString file = pattern.arg(page, 2, 10, QLatin1Char('0'));
        QVERIFY2(wellFormed(file), qPrintable(file));
        QVERIFY(
            readAll(file).contains(QStringLiteral("pageSize=\"%1\" page=\"%2\" totalPage=\"%3\"")
                                       .arg(pageSize)
                                       .arg(page + 1)
                                       .arg(perPage.size())));
        const auto items = itemsOf(file);
        QCOMPARE(items.size(), perPage[page]);
        for (const auto &item : items)
            QCOMPARE(item.first, QString::number(duid++));
    }
}

void tst_Builder::incremental_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("lastModified");
    QTest::addColumn<QDateTime>("lastSyncDate");
    QTest::addColumn<bool>("elements");

    const QDateTime sync(QDate(2024, 1, 1), QTime(12, 0), Qt::UTC);
    const QString after = utc(2024, 1, 2);
    const QString before = utc(2023, 12, 1);
    QTest::newRow("changed after the sync") << false << after << sync << true;
    QTest::newRow("changed at the sync instant") << false << utc(2024, 1, 1, 12) << sync << true;
    QTest::newRow("changed one second before")
        << false << utc(2024, 1, 1, 11, 59, 59) << sync << false;
    QTest::newRow("changed before, full export") << false << before << epoch() << true;
    QTest::newRow("read-only, changed after") << true << after << sync << false;
    QTest::newRow("read-only, full export") << true << before << epoch() << true;
    QTest::newRow("full export given in UTC")
        << true << before << QDateTime::fromMSecsSinceEpoch(0, Qt::UTC) << true;
    QTest::newRow("no lastModified") << false << QString() << sync << true;
    QTest::newRow("empty lastModified") << false << QStringLiteral("") << sync << true;
    QTest::newRow("null sync") << false << before << QDateTime() << true;
    QTest::newRow("null sync, read-only") << true << after << QDateTime() << false;
    QTest::newRow("unparsable date is sent")
        << false << QStringLiteral("20231301T000000Z") << sync << true;
    QTest::newRow("unparsable date, read-only")
        << true << QStringLiteral("2023-12-01") << sync << false;
    QTest::newRow("sync half a second into the same second")
        << false << utc(2024, 1, 1, 12) << sync.addMSecs(500) << false;
    QTest::newRow("sync as a local time of the same instant")
        << false << utc(2024, 1, 1, 12) << QDateTime(QDate(2024, 1, 1), QTime(13, 0)) << true;
    QTest::newRow("invalid but not null sync: as Qt compares")
        << false << before << QDateTime(QDate(), QTime(10, 0)) << true;
}

void tst_Builder::incremental()
{
    QFETCH(bool, readOnly);
    QFETCH(QString, lastModified);
    QFETCH(QDateTime, lastSyncDate);
    QFETCH(bool, elements);
    TimeZoneScope tz("CET-1CEST,M3.5.0,M10.5.0/3");
    QTemporaryDir pages;
    const QString pattern = pages.filePath(QStringLiteral("i_%1.xml"));
    {
        ImpExp_XMLBuilder builder(deviceId, exportId, pattern, 1, created, 1, 0,
                                  QStringLiteral("VelDirectory"), lastSyncDate);
        builder.putItem(contact(QStringLiteral("1"), lastModified, readOnly));
    }
    const auto items = itemsOf(pattern.arg(QStringLiteral("00")));
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].second, elements);
}

void tst_Builder::incrementalAgreesWithQt_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("central Europe") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3");
    QTest::newRow("UTC") << QByteArray("UTC0");
    QTest::newRow("US east") << QByteArray("EST5EDT,M3.2.0,M11.1.0");
    QTest::newRow("standard offset changed") << QByteArray("Europe/Moscow");
    QTest::newRow("a skipped day") << QByteArray("Pacific/Apia");
    QTest::newRow("half-hour DST") << QByteArray("Australia/Lord_Howe");
}

// Every decision equals getLastModificationDate() compared by QDateTime,
// around DST changes and with every kind of reference date.
void tst_Builder::incrementalAgreesWithQt()
{
    QFETCH(QByteArray, zone);
    TimeZoneScope tz(zone.constData());
    const QList<QDateTime> syncs = {
        QDateTime(QDate(2021, 10, 31), QTime(2, 30)), // repeated hour in Europe
        QDateTime(QDate(2021, 3, 28), QTime(2, 30)), // skipped hour in Europe
        QDateTime(QDate(2014, 10, 26), QTime(1, 30)), // Moscow's repeated hour
        QDateTime(QDate(2011, 12, 29), QTime(23, 30)), // Apia's skipped day
        QDateTime(QDate(2021, 11, 7), QTime(1, 30, 0, 250)),
        QDateTime(QDate(2021, 4, 4), QTime(1, 45), Qt::UTC),
        QDateTime(QDate(1960, 6, 1), QTime(0, 0), Qt::OffsetFromUTC, 5400),
        QDateTime(QDate(2200, 7, 1), QTime(3, 0)),
        QDateTime(QDate(2020, 2, 30), QTime(1, 0)), // invalid, not null
        QDateTime(),
        epoch(),
    };
    const QList<qint64> deltas
        = { 0,         1,         -1,         999,       -1000,     1799999,   -1800000,
            3599000,   -3600000,  5400000,    -7200000,  46800000,  -50400000, 86400000,
            -90000000, 172799000, -172800000, 172801000, -259200000 };
    const QList<qint64> fixed
        = { Q_INT64_C(-62135596800000), Q_INT64_C(253402300799000), Q_INT64_C(1635640200000),
            Q_INT64_C(1414272600000), Q_INT64_C(1325239200000) };
    int file = 0;
    for (const QDateTime &sync : syncs) {
        QList<qint64> instants = fixed;
        const qint64 base = sync.isValid() ? sync.toMSecsSinceEpoch() : Q_INT64_C(1635640200000);
        for (qint64 delta : deltas)
            instants.append((base + delta) / 1000 * 1000);

        QList<ImpExp_Item> items;
        QList<bool> expected;
        for (int i = 0; i < instants.size(); ++i) {
            for (bool readOnly : { false, true }) {
                const QString text = QDateTime::fromMSecsSinceEpoch(instants[i], Qt::UTC)
                                         .toString(QStringLiteral("yyyyMMddThhmmssZ"));
                items.append(contact(QString::number(items.size()), text, readOnly));
                const QDateTime modified = items.last().getLastModificationDate();
                expected.append(
                    (!readOnly && (modified.isNull() || sync.isNull() || modified >= sync))
                    || sync == QDateTime::fromTime_t(0));
            }
        }
        const QString pattern
            = dir.filePath(QStringLiteral("agree%1").arg(file++)) + QStringLiteral("_%1.xml");
        {
            ImpExp_XMLBuilder builder(deviceId, exportId, pattern, items.size(), created,
                                      items.size(), 0, QStringLiteral("VelDirectory"), sync);
            for (const ImpExp_Item &item : items)
                builder.putItem(item);
        }
        const auto written = itemsOf(pattern.arg(QStringLiteral("00")));
        QCOMPARE(written.size(), items.size());
        for (int i = 0; i < items.size(); ++i)
            QVERIFY2(written[i].second == expected[i],
                     qPrintable(sync.toString(Qt::ISODateWithMs) + QLatin1Char(' ')
                                + items[i].toString()));
    }
}

void tst_Builder::constructorRefuses_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("application");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("totalItems");
    QTest::addColumn<QString>("message");
    const QString good = QStringLiteral("/nonexistent/x_%1.xml");
    const QString app = QStringLiteral("VelDirectory");
    QTest::newRow("no %1") << QStringLiteral("/tmp/x.xml") << app << 2 << 4
                           << QStringLiteral("Bad path");
    QTest::newRow("bad path wins over bad name")
        << QStringLiteral("/tmp/x%2.xml") << QStringLiteral("nope") << 0 << -1
        << QStringLiteral("Bad path");
    for (const char *name : { "agenda", "directory", "AGENDA", "velDirectory", "VelDirectory " })
        QTest::newRow(name) << good << QString::fromLatin1(name) << 2 << 4
                            << QStringLiteral("Invalid application name");
    QTest::newRow("bad name wins over bad count")
        << good << QStringLiteral("x") << 2 << -1 << QStringLiteral("Invalid application name");
    QTest::newRow("negative count")
        << good << app << 2 << -1 << QStringLiteral("Invalid item count");
    QTest::newRow("count tested before page size")
        << good << app << 0 << -5 << QStringLiteral("Invalid item count");
    QTest::newRow("page size 0") << good << app << 0 << 4 << QStringLiteral("Invalid page size");
    QTest::newRow("negative page size")
        << good << app << -2 << 1 << QStringLiteral("Invalid page size");
    QTest::newRow("empty export in a missing directory")
        << good << QStringLiteral("Agenda") << 0 << 0
        << QStringLiteral("Cannot create file /nonexistent/x_00.xml, ");
}

void tst_Builder::constructorRefuses()
{
    QFETCH(QString, pattern);
    QFETCH(QString, application);
    QFETCH(int, pageSize);
    QFETCH(int, totalItems);
    QFETCH(QString, message);
    const QString thrown = fatal([&] {
        ImpExp_XMLBuilder(deviceId, exportId, pattern, pageSize, created, totalItems, 0,
                          application, QDateTime());
    });
    if (message.endsWith(QLatin1String(", ")))
        QVERIFY2(thrown.startsWith(message) && thrown.size() > message.size(), qPrintable(thrown));
    else
        QCOMPARE(thrown, message);
}

void tst_Builder::cannotCreateFileThenRetry()
{
    const QString sub = path(QStringLiteral("later"));
    const QString pattern = sub + QStringLiteral("/c_%1.xml");
    const QString name = sub + QStringLiteral("/c_00.xml");
    ImpExp_XMLBuilder builder(deviceId, exportId, pattern, 2, created, 2, 0,
                              QStringLiteral("VelDirectory"), QDateTime());
    QFile probe(name);
    QVERIFY(!probe.open(QIODevice::WriteOnly));
    QCOMPARE(fatal([&] { builder.putItem(contact(QStringLiteral("1"))); }),
             QStringLiteral("Cannot create file %1, %2").arg(name, probe.errorString()));

    QVERIFY(QDir().mkpath(sub));
    builder.putItem(contact(QStringLiteral("1")));
    builder.putItem(contact(QStringLiteral("2")));
    const auto items = itemsOf(name);
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0].first, QStringLiteral("1"));
    QVERIFY(readAll(name).contains(QLatin1String("page=\"1\" totalPage=\"1\"")));
}

void tst_Builder::destructionMidPage()
{
    const QString pattern = path(QStringLiteral("mid_%1.xml"));
    {
        ImpExp_XMLBuilder builder(deviceId, exportId, pattern, 2, created, 4, 9,
                                  QStringLiteral("Agenda"), epoch());
        ImpExp_Item item(QStringLiteral("appointment"));
        item.addAttribute(QStringLiteral("duid"), QStringLiteral("a1"));
        builder.putItem(item);
    }
    QCOMPARE(readAll(pattern.arg(QStringLiteral("00"))),
             QStringLiteral(R"xml(<?xml version="1.0" encoding="UTF-8"?>
<vel:moxara xmlns:vel="http://ns.velxml.org/impexp/1.0" xmlns:xs="http://www.w3.org/2001/XMLSchema-instance" created="20240305T140709Z" schemaVersion="1.0" id="EXP-7" deviceId="DEV-1">
    <vel:agenda max="9" pageSize="2" page="1" totalPage="2">
        <vel:appointment duid="a1"/>
    </vel:agenda>
</vel:moxara>
)xml"));
    QVERIFY(!QFile::exists(pattern.arg(QStringLiteral("01"))));
}

void tst_Builder::closeBuilderEndsExport()
{
    const QString pattern = path(QStringLiteral("close_%1.xml"));
    const QString first = pattern.arg(QStringLiteral("00"));
    ImpExp_XMLBuilder builder(deviceId, exportId, pattern, 2, created, 4, 0,
                              QStringLiteral("VelDirectory"), QDateTime());
    builder.putItem(contact(QStringLiteral("1")));
    builder.closeBuilder();
    const QString closed = readAll(first);
    QVERIFY(closed.endsWith(QLatin1String("    </vel:directory>\n</vel:moxara>\n")));
    builder.closeBuilder();
    QCOMPARE(readAll(first), closed);
    QCOMPARE(closed.count(QLatin1String("</vel:moxara>")), 1);

    QVERIFY(QFile::remove(first));
    QCOMPARE(fatal([&] { builder.putItem(contact(QStringLiteral("2"))); }),
             QStringLiteral("Too much items !"));
    QVERIFY(QDir(dir.path()).entryList({ QStringLiteral("close_*") }).isEmpty());

    ImpExp_XMLBuilder inert;
    QCOMPARE(fatal([&] { inert.putItem(contact(QStringLiteral("1"))); }),
             QStringLiteral("Too much items !"));
    inert.closeBuilder();
}

void tst_Builder::copiesStartTheSameExport()
{
    const QString pattern = path(QStringLiteral("copy_%1.xml"));
    ImpExp_XMLBuilder original(deviceId, exportId, pattern, 2, created, 3, 5,
                               QStringLiteral("Agenda"), QDateTime());
    original.putItem(contact(QStringLiteral("o1")));
    {
        ImpExp_XMLBuilder copy(original); // nothing written yet, the original's page stays open
        original.putItem(contact(QStringLiteral("o2")));
        QCOMPARE(itemsOf(pattern.arg(QStringLiteral("00"))).size(), 2);
        for (const char *duid : { "c1", "c2", "c3" })
            copy.putItem(contact(QString::fromLatin1(duid)));
        QCOMPARE(fatal([&] { copy.putItem(contact(QStringLiteral("c4"))); }),
                 QStringLiteral("Too much items !"));
    }
    const QString second = readAll(pattern.arg(QStringLiteral("01")));
    QVERIFY(second.contains(
        QLatin1String("<vel:agenda max=\"5\" pageSize=\"2\" page=\"2\" totalPage=\"2\">")));
    QCOMPARE(itemsOf(pattern.arg(QStringLiteral("01"))).value(0).first, QStringLiteral("c3"));

    // Assignment completes the target's open page and starts the source's
    // export afresh; the source is untouched.
    const QString other = path(QStringLiteral("assigned_%1.xml"));
    ImpExp_XMLBuilder target(deviceId, exportId, path(QStringLiteral("target_%1.xml")), 5, created,
                             5, 0, QStringLiteral("VelDirectory"), QDateTime());
    target.putItem(contact(QStringLiteral("t1")));
    target = target;
    target.putItem(contact(QStringLiteral("t2")));
    ImpExp_XMLBuilder source(deviceId, exportId, other, 1, created, 1, 0, QStringLiteral("Agenda"),
                             QDateTime());
    target = source;
    QVERIFY(wellFormed(path(QStringLiteral("target_00.xml"))));
    QCOMPARE(itemsOf(path(QStringLiteral("target_00.xml"))).size(), 2);
    target.putItem(contact(QStringLiteral("s1")));
    QVERIFY(readAll(other.arg(QStringLiteral("00"))).contains(QLatin1String("<vel:agenda")));
    source.putItem(contact(QStringLiteral("s1")));
    QCOMPARE(itemsOf(other.arg(QStringLiteral("00"))).size(), 1);

    // An empty export's copy is over as well.
    ImpExp_XMLBuilder empty(deviceId, exportId, path(QStringLiteral("none_%1.xml")), 1, created, 0,
                            0, QStringLiteral("Agenda"), QDateTime());
    ImpExp_XMLBuilder emptyCopy(empty);
    QCOMPARE(fatal([&] { emptyCopy.putItem(contact(QStringLiteral("1"))); }),
             QStringLiteral("Too much items !"));
}

void tst_Builder::putIdListIsObsolete()
{
    const QString pattern = path(QStringLiteral("ids_%1.xml"));
    ImpExp_XMLBuilder builder(deviceId, exportId, pattern, 2, created, 2, 0,
                              QStringLiteral("VelDirectory"), QDateTime());
    builder.putItem(contact(QStringLiteral("1")));
    for (const ImpExp_PairList &list :
         { ImpExp_PairList(),
           ImpExp_PairList { qMakePair(QStringLiteral("a"), QStringLiteral("b")) } })
        QCOMPARE(fatal([&] { builder.putIdList(list); }), QStringLiteral("Obsolete"));
    builder.putItem(contact(QStringLiteral("2")));
    QCOMPARE(itemsOf(pattern.arg(QStringLiteral("00"))).size(), 2);
}

void tst_Builder::startNewXMLFileCompletesOpenPage()
{
    const QString pattern = path(QStringLiteral("turn_%1.xml"));
    ImpExp_XMLBuilder builder(deviceId, exportId, pattern, 2, created, 4, 0,
                              QStringLiteral("VelDirectory"), QDateTime());
    builder.putItem(contact(QStringLiteral("1")));
    builder.startNewXMLFile();
    QVERIFY(wellFormed(pattern.arg(QStringLiteral("00"))));
    builder.putItem(contact(QStringLiteral("2")));
    builder.closeBuilder();
    QCOMPARE(itemsOf(pattern.arg(QStringLiteral("00"))).size(), 1);
    QCOMPARE(itemsOf(pattern.arg(QStringLiteral("01"))).value(0).first, QStringLiteral("2"));
}

void tst_Builder::valuesXmlCannotCarry()
{
    const QString pattern = path(QStringLiteral("chars_%1.xml"));
    const QString kept = QString::fromUtf8("\xF0\x9F\x98\x80\xC2\x85\x7F"); // a pair, NEL, DEL
    const QString bad = QStringLiteral("a\x01") + QChar(0xD800) + QStringLiteral("b")
        + QChar(0xDC00) + QChar(0xFFFE) + QChar(0xFFFF) + QStringLiteral("\x0b\x1f") + kept
        + QChar(0xD83D);
    const QChar r(QChar::ReplacementCharacter);
    const QString fixed
        = QStringLiteral("a") + QString(2, r) + QStringLiteral("b") + QString(5, r) + kept + r;
    {
        ImpExp_XMLBuilder builder(bad, QStringLiteral("id\x02"), pattern, 1, created, 2, 0,
                                  QStringLiteral("VelDirectory"), QDateTime());
        ImpExp_Item item(QStringLiteral("contact"));
        item.addAttribute(QStringLiteral("duid"), QStringLiteral("<&>\"'\n\r\t end"));
        item.addAttribute(QStringLiteral("puid"), bad);
        item.addElement(QStringLiteral("note"), QStringLiteral("<&>\"\ttab\r\nnext"));
        item.addElement(QStringLiteral("bad"), bad);
        builder.putItem(item);
        builder.putItem(contact(QStringLiteral("after")));
    }
    const QString expected
        = QStringLiteral(
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<vel:moxara xmlns:vel=\"http://ns.velxml.org/impexp/1.0\" "
              "xmlns:xs=\"http://www.w3.org/2001/XMLSchema-instance\" created=\"20240305T140709Z\" "
              "schemaVersion=\"1.0\" id=\"id%1\" deviceId=\"%2\">\n"
              "    <vel:directory max=\"0\" pageSize=\"1\" page=\"1\" totalPage=\"2\">\n"
              "        <vel:contact duid=\"&lt;&amp;&gt;&quot;'&#10;&#13;&#9; end\" puid=\"%2\">\n"
              "            <vel:note "
              "xml:space=\"preserve\">&lt;&amp;&gt;&quot;\ttab\r\nnext</vel:note>\n"
              "            <vel:bad xml:space=\"preserve\">%2</vel:bad>\n"
              "        </vel:contact>\n"
              "    </vel:directory>\n"
              "</vel:moxara>\n")
              .arg(QString(r), fixed);
    QCOMPARE(readAll(pattern.arg(QStringLiteral("00"))), expected);
    // The writer stays sound for the pages after.
    QVERIFY(wellFormed(pattern.arg(QStringLiteral("01"))));
    QCOMPARE(itemsOf(pattern.arg(QStringLiteral("01"))).value(0),
             qMakePair(QStringLiteral("after"), true));
}

void tst_Builder::debugMessages()
{
    previousHandler = qInstallMessageHandler(collect);
    // installFilter() runs the new filter at once, so the old one is fetched first.
    previousFilter = QLoggingCategory::installFilter([](QLoggingCategory *) {});
    QLoggingCategory::installFilter(forceLogging);
    logged.clear();
    const QString pattern = path(QStringLiteral("log_%1.xml"));
    {
        ImpExp_XMLBuilder builder(deviceId, exportId, pattern, 1, created, 1, 0,
                                  QStringLiteral("VelDirectory"), QDateTime());
        builder.putItem(contact(QStringLiteral("1")));
        fatal([&] { builder.putItem(contact(QStringLiteral("2"))); });
    }
    const QString putItem = QStringLiteral("void ImpExp_XMLBuilder::putItem(const ImpExp_Item&)");
    const QString start = QStringLiteral("void ImpExp_XMLBuilder::startNewXMLFile()");
    const QString close = QStringLiteral("void ImpExp_XMLBuilder::closeBuilder()");
    const QList<QPair<QString, QString>> expected = {
        { QStringLiteral("putItem"), putItem },
        { QStringLiteral("startNewXMLFile"), start },
        { QStringLiteral("write attributes"), putItem },
        { QStringLiteral("write elements"), putItem },
        { QStringLiteral("close builder"), close },
        { QStringLiteral("putItem"), putItem },
        { QStringLiteral("startNewXMLFile"), start },
        { QStringLiteral("close builder"), close }, // the destructor's
    };
    QList<QPair<QString, QString>> seen;
    for (const LogEntry &entry : logged) {
        seen.append(qMakePair(entry.message, entry.function));
        QVERIFY2(entry.file.endsWith(QLatin1String("ImpExp_XMLBuilder.cpp")),
                 qPrintable(entry.file));
    }

    // Silenced, nothing reaches the handler.
    logEnabled = false;
    QLoggingCategory::installFilter(forceLogging);
    logged.clear();
    {
        ImpExp_XMLBuilder builder(deviceId, exportId, pattern, 1, created, 1, 0,
                                  QStringLiteral("VelDirectory"), QDateTime());
        builder.putItem(contact(QStringLiteral("1")));
    }
    const int silenced = logged.size();
    logEnabled = true;
    QLoggingCategory::installFilter(previousFilter);
    qInstallMessageHandler(previousHandler);
    QCOMPARE(seen, expected);
    QCOMPARE(silenced, 0);
}

QTEST_GUILESS_MAIN(tst_Builder)
#include "tst_builder.moc"
