#include <ImpExp_XMLBuilder.h>

#include "DebugLog.h"
#include "Thrown.h"
#include "TimeZoneScope.h"

#include "DebugLog.h"
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <QtTest>

#include <functional>

namespace
{

const QString directory = QStringLiteral("VelDirectory");
const QString agenda = QStringLiteral("Agenda");
const QString tooMuch = QStringLiteral("Too much items !");
const QDateTime created(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC);

ImpExp_XMLBuilder make(const QString &pattern, int pageSize, int totalItems,
                       const QString &application = directory,
                       const QDateTime &lastSyncDate = QDateTime(), int max = 0)
{
    return ImpExp_XMLBuilder(QStringLiteral("DEV-1"), QStringLiteral("EXP-7"), pattern, pageSize,
                             created, totalItems, max, application, lastSyncDate);
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

// The declaration and the root start tag of a page of this export.
QString head(const QString &id = QStringLiteral("EXP-7"),
             const QString &device = QStringLiteral("DEV-1"))
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vel:moxara "
                          "xmlns:vel=\"http://ns.velxml.org/impexp/1.0\" "
                          "xmlns:xs=\"http://www.w3.org/2001/XMLSchema-instance\" "
                          "created=\"20240305T140709Z\" schemaVersion=\"1.0\" id=\"%1\" "
                          "deviceId=\"%2\">\n")
        .arg(id, device);
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The page files of a set in short, " | " between them: application element,
// "page/totalPage:", then each item's duid, "+" when it has children; a page
// that is not well-formed shows as "broken".
QString summary(const QString &pattern)
{
    QStringList pages;
    for (int number = 0;; ++number) {
        QFile file(pattern.arg(number, 2, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::ReadOnly))
            return pages.join(QLatin1String(" | "));
        QXmlStreamReader reader(&file);
        const auto value = [&](const char *name) {
            return reader.attributes().value(QLatin1String(name)).toString();
        };
        reader.readNextStartElement(); // the root
        reader.readNextStartElement();
        QString out = reader.name().toString() + QLatin1Char(' ') + value("page") + QLatin1Char('/')
            + value("totalPage") + QLatin1Char(':');
        while (reader.readNextStartElement()) {
            out += QLatin1Char(' ') + value("duid");
            if (reader.readNextStartElement()) { // a first child: skip it, then the item
                out += QLatin1Char('+');
                reader.skipCurrentElement();
                reader.skipCurrentElement();
            }
        }
        while (!reader.atEnd())
            reader.readNext();
        pages << (reader.hasError() ? QStringLiteral("broken") : out);
    }
}

constexpr auto fatal = &messageOf<ImpExp_FatalException>;

// Puts one contact per duid of the space-separated @p duids; fatal() of it.
QString put(ImpExp_XMLBuilder &builder, const char *duids)
{
    return fatal([&] {
        for (const QString &duid : QString::fromLatin1(duids).split(QLatin1Char(' ')))
            builder.putItem(contact(duid));
    });
}

} // namespace

class tst_Builder : public QObject
{
    Q_OBJECT

private slots:
    void exactFiles();
    void paging_data();
    void paging();
    void incremental_data();
    void incremental();
    void constructorRefuses_data();
    void constructorRefuses();
    void pageEnds();
    void copiesStartTheSameExport();
    void debugMessages();

private:
    // Data rows with local date-times are made outside the test functions.
    // Here an hour repeats without a change of daylight-saving status, so Qt
    // compares such local times by their wall clock.
    TimeZoneScope zone { "Europe/Moscow" };
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

void tst_Builder::exactFiles()
{
    // Characters XML cannot carry become U+FFFD in every value, header values
    // included, and the rest of the value is kept.
    const QString kept = QString::fromUtf8("\xF0\x9F\x98\x80\xC2\x85\x7F"); // a pair, NEL, DEL
    const QString bad = QStringLiteral("a\x01") + QChar(0xD800) + QStringLiteral("b")
        + QChar(0xDC00) + QChar(0xFFFE) + QChar(0xFFFF) + QStringLiteral("\x0b\x1f") + kept
        + QChar(0xD83D);
    const QChar r(QChar::ReplacementCharacter);
    const QString fixed
        = QStringLiteral("a") + QString(2, r) + QStringLiteral("b") + QString(5, r) + kept + r;
    const QString pattern = path(QStringLiteral("three_%1.xml"));
    {
        // A local creation date is written in UTC.
        ImpExp_XMLBuilder builder(bad, QStringLiteral("id\x02"), pattern, 2,
                                  QDateTime(QDate(2024, 3, 5), QTime(17, 7, 9)), 5, 42, directory,
                                  QDateTime(QDate(2024, 1, 1), QTime(3, 0)));
        ImpExp_Item changed = contact(QStringLiteral("17"), QStringLiteral("20240201T083000Z"));
        changed.addElement(QStringLiteral("firstName"), QStringLiteral("Jane"));
        builder.putItem(changed);
        builder.putItem(contact(QStringLiteral("18"), QStringLiteral("20231231T235959Z")));
        ImpExp_Item noDate(QStringLiteral("contact"), QStringLiteral("19"), QStringLiteral(""),
                           QDateTime());
        noDate.addAttribute(QStringLiteral("tag"), QStringLiteral("<&>\"\n\r\t end"));
        noDate.addAttribute(QStringLiteral("bad"), bad);
        noDate.addElement(QStringLiteral("note"), QStringLiteral("a < b & \"c\"\nline 2"));
        noDate.addElement(QStringLiteral("title"), QString());
        noDate.addElement(QStringLiteral("bad"), bad);
        builder.putItem(noDate);
        builder.putItem(contact(QStringLiteral("20"), QStringLiteral("20240601T000000Z"), true));
        builder.putItem(ImpExp_Item(QStringLiteral("contactMap")));
    }
    // The three files one after the other, the head and the cleaned value
    // shown by name.
    QString files;
    for (const char *name : { "three_00.xml", "three_01.xml", "three_02.xml" })
        files += readAll(path(QLatin1String(name)))
                     .replace(head(QStringLiteral("id") + r, fixed), QLatin1String("HEAD\n"))
                     .replace(fixed, QLatin1String("FIXED"));
    QCOMPARE(files, QStringLiteral(R"xml(HEAD
    <vel:directory max="42" pageSize="2" page="1" totalPage="3">
        <vel:contact duid="17" lastModified="20240201T083000Z">
            <vel:lastName xml:space="preserve">Doe</vel:lastName>
            <vel:firstName xml:space="preserve">Jane</vel:firstName>
        </vel:contact>
        <vel:contact duid="18" lastModified="20231231T235959Z"/>
    </vel:directory>
</vel:moxara>
HEAD
    <vel:directory max="42" pageSize="2" page="2" totalPage="3">
        <vel:contact duid="19" puid="" tag="&lt;&amp;&gt;&quot;&#10;&#13;&#9; end" bad="FIXED">
            <vel:note xml:space="preserve">a &lt; b &amp; &quot;c&quot;
line 2</vel:note>
            <vel:title xml:space="preserve"></vel:title>
            <vel:bad xml:space="preserve">FIXED</vel:bad>
        </vel:contact>
        <vel:contact duid="20" lastModified="20240601T000000Z"/>
    </vel:directory>
</vel:moxara>
HEAD
    <vel:directory max="42" pageSize="2" page="3" totalPage="3">
        <vel:contactMap/>
    </vel:directory>
</vel:moxara>
)xml"));
    QVERIFY(!QFile::exists(path(QStringLiteral("three_03.xml"))));

    // An export of no items: its page is written at once.

    const QString file = path(QStringLiteral("empty_00.xml"));
    QFile old(file); // an older, longer page is truncated
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(4096, 'x')) == 4096);
    old.close();
    ImpExp_XMLBuilder builder = make(path(QStringLiteral("empty_%1.xml")), 0, 0, agenda, {}, -3);
    const QString expected = head()
        + QStringLiteral(R"xml(    <vel:agenda max="-3" pageSize="0" page="1" totalPage="1"/>
</vel:moxara>
)xml");
    QCOMPARE(readAll(file), expected);
    builder.closeBuilder();
    QCOMPARE(readAll(file), expected);

    // The export is over: its page is never written again.
    QVERIFY(QFile::remove(file));
    QCOMPARE(put(builder, "1"), tooMuch);
    QVERIFY(!QFile::exists(file));
}

void tst_Builder::paging_data()
{
    QTest::addColumn<int>("totalItems");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<QString>("pages");
    QTest::newRow("4/2: two full pages")
        << 4 << 2 << QStringLiteral("directory 1/2: 0+ 1+ | directory 2/2: 2+ 3+");
    QTest::newRow("5/2: the announced last item closes a short page")
        << 5 << 2
        << QStringLiteral("directory 1/3: 0+ 1+ | directory 2/3: 2+ 3+ | directory 3/3: 4+");
    QTest::newRow("3/10: one page") << 3 << 10 << QStringLiteral("directory 1/1: 0+ 1+ 2+");
}

void tst_Builder::paging()
{
    QFETCH(int, totalItems);
    QFETCH(int, pageSize);
    QFETCH(QString, pages);
    // Every "%1" is replaced.
    const QString pattern = path(QStringLiteral("p%1_%1_") + QString::number(totalItems));
    ImpExp_XMLBuilder builder = make(pattern, pageSize, totalItems);
    for (int i = 0; i < totalItems; ++i)
        builder.putItem(contact(QString::number(i)));
    QCOMPARE(put(builder, "extra"), tooMuch);
    QCOMPARE(summary(pattern), pages);
}

void tst_Builder::incremental_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("lastModified");
    QTest::addColumn<QDateTime>("lastSyncDate");
    QTest::addColumn<bool>("elements");

    const QDateTime sync(QDate(2024, 1, 1), QTime(12, 0), Qt::UTC);
    const QDateTime full = QDateTime::fromSecsSinceEpoch(0); // in the test's zone
    const QString after = QStringLiteral("20240102T000000Z");
    const QString before = QStringLiteral("20231201T000000Z");
    const QString unparsable = QStringLiteral("20231301T000000Z");
    const QString atSync = QStringLiteral("20240101T120000Z");
    const QString secondBefore = QStringLiteral("20240101T115959Z");
    QTest::newRow("changed after the sync") << false << after << sync << true;
    QTest::newRow("changed at the sync instant") << false << atSync << sync << true;
    QTest::newRow("one second before") << false << secondBefore << sync << false;
    QTest::newRow("changed before, full export") << false << before << full << true;
    QTest::newRow("read-only, changed after") << true << after << sync << false;
    QTest::newRow("read-only, full export") << true << before << full << true;
    QTest::newRow("full export in UTC") << true << before << full.toUTC() << true;
    QTest::newRow("no lastModified") << false << QString() << sync << true;
    QTest::newRow("null sync") << false << before << QDateTime() << true;
    QTest::newRow("null sync, read-only") << true << after << QDateTime() << false;
    QTest::newRow("unparsable date is sent") << false << unparsable << sync << true;
    QTest::newRow("unparsable date, read-only") << true << unparsable << sync << false;
    QTest::newRow("sync half a second later") << false << atSync << sync.addMSecs(500) << false;
    QTest::newRow("sync as local time") << false << atSync << sync.toLocalTime() << true;
    QTest::newRow("sync invalid, not null")
        << false << before << QDateTime(QDate(), QTime(1, 0)) << true; // as Qt compares

    // Around the hour that repeated in 2014 and at two days' distance: the
    // decision is getLastModificationDate() >= sync, as Qt compares them.
    const QDateTime near(QDate(2014, 10, 26), QTime(1, 30));
    for (qint64 delta : { 0, 1000, -1000, 3599000, -3600000, 172799000, -172800000, 172801000 }) {
        const QString text
            = QDateTime::fromMSecsSinceEpoch(near.toMSecsSinceEpoch() + delta, Qt::UTC)
                  .toString(QStringLiteral("yyyyMMddThhmmssZ"));
        const QDateTime modified = contact(QString(), text).getLastModificationDate();
        QTest::addRow("%s against the repeated hour", qPrintable(text))
            << false << text << near << (modified >= near);
    }
}

void tst_Builder::incremental()
{
    QFETCH(bool, readOnly);
    QFETCH(QString, lastModified);
    QFETCH(QDateTime, lastSyncDate);
    QFETCH(bool, elements);
    const QString pattern = path(QLatin1String(QTest::currentDataTag()) + QStringLiteral("_%1"));
    make(pattern, 1, 1, directory, lastSyncDate)
        .putItem(contact(QStringLiteral("1"), lastModified, readOnly));
    QCOMPARE(summary(pattern), QLatin1String(elements ? "directory 1/1: 1+" : "directory 1/1: 1"));
}

void tst_Builder::constructorRefuses_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("application");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("totalItems");
    QTest::addColumn<QString>("message");
    const auto row = [](const char *name, const char *pattern, const char *application,
                        int pageSize, int totalItems, const char *message) {
        QTest::newRow(name) << QString::fromLatin1(pattern) << QString::fromLatin1(application)
                            << pageSize << totalItems << QString::fromLatin1(message);
    };
    row("bad path first", "x%2", "nope", 0, -1, "Bad path");
    row("element name", "x%1", "agenda", 2, 4, "Invalid application name");
    row("trailing space", "x%1", "VelDirectory ", 2, 4, "Invalid application name");
    row("bad name wins over bad count", "x%1", "x", 2, -1, "Invalid application name");
    row("negative count", "x%1", "VelDirectory", 2, -1, "Invalid item count");
    row("count tested before page size", "x%1", "VelDirectory", 0, -5, "Invalid item count");
    row("page size 0", "x%1", "VelDirectory", 0, 4, "Invalid page size");
    row("negative page size", "x%1", "VelDirectory", -2, 1, "Invalid page size");
    QFile probe(QStringLiteral("/nonexistent/x_00.xml"));
    QVERIFY(!probe.open(QIODevice::WriteOnly));
    QTest::newRow("empty export in a missing directory")
        << QStringLiteral("/nonexistent/x_%1.xml") << agenda << 0 << 0
        << QStringLiteral("Cannot create file %1, %2").arg(probe.fileName(), probe.errorString());
}

void tst_Builder::constructorRefuses()
{
    QFETCH(QString, pattern);
    QFETCH(QString, application);
    QFETCH(int, pageSize);
    QFETCH(int, totalItems);
    QFETCH(QString, message);
    QCOMPARE(fatal([&] { make(pattern, pageSize, totalItems, application); }), message);
}

// However a page ends, it is ended once and well-formed; after the host's
// own closeBuilder no page is started or re-created.
void tst_Builder::pageEnds()
{
    const QString mid = path(QStringLiteral("mid_%1.xml"));
    make(mid, 2, 4, agenda).putItem(contact(QStringLiteral("a1"))); // destroyed mid-page
    QCOMPARE(summary(mid), QStringLiteral("agenda 1/2: a1+"));

    const QString pattern = path(QStringLiteral("close_%1.xml"));
    const QString last = pattern.arg(QStringLiteral("02"));
    ImpExp_XMLBuilder builder = make(pattern, 2, 6);
    put(builder, "1");
    QCOMPARE(fatal([&] { builder.putIdList({ qMakePair(QString(), QString()) }); }),
             QStringLiteral("Obsolete"));
    put(builder, "2 3"); // putIdList left the open page and the counts alone
    builder.startNewXMLFile(); // completes the open page first
    put(builder, "4");
    builder.closeBuilder();
    const QString closed = readAll(last);
    builder.closeBuilder();
    QCOMPARE(put(builder, "5"), tooMuch); // the host ended the export
    QCOMPARE(readAll(last), closed);
    QCOMPARE(summary(pattern),
             QStringLiteral("directory 1/3: 1+ 2+ | directory 2/3: 3+ | directory 3/3: 4+"));

    ImpExp_XMLBuilder inert;
    QCOMPARE(put(inert, "1"), tooMuch);
    inert.closeBuilder();

    // A page that cannot be created is tried again by the next putItem.
    const QString later = path(QStringLiteral("later/c_%1.xml"));
    ImpExp_XMLBuilder retrying = make(later, 2, 2);
    QFile probe(later.arg(QStringLiteral("00")));
    QVERIFY(!probe.open(QIODevice::WriteOnly));
    QCOMPARE(
        put(retrying, "1"),
        QStringLiteral("Cannot create file %1, %2").arg(probe.fileName(), probe.errorString()));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("later")));
    put(retrying, "1 2");
    QCOMPARE(summary(later), QStringLiteral("directory 1/1: 1+ 2+"));
}

// The copy and the assignment are deprecated, but still do what they did.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
void tst_Builder::copiesStartTheSameExport()
{
    const QString pattern = path(QStringLiteral("copy_%1.xml"));
    ImpExp_XMLBuilder original = make(pattern, 2, 3, agenda);
    put(original, "o1");
    {
        ImpExp_XMLBuilder copy(original); // nothing written yet, the original's page stays open
        put(original, "o2");
        QCOMPARE(summary(pattern), QStringLiteral("agenda 1/2: o1+ o2+"));
        QCOMPARE(put(copy, "c1 c2 c3 c4"), tooMuch);
    }
    QCOMPARE(summary(pattern), QStringLiteral("agenda 1/2: c1+ c2+ | agenda 2/2: c3+"));

    // Assignment completes the target's open page and starts the source's
    // export afresh; the source is untouched.
    const QString sourcePattern = path(QStringLiteral("source_%1.xml"));
    ImpExp_XMLBuilder target = make(path(QStringLiteral("target_%1.xml")), 5, 5);
    put(target, "t1");
    target = target;
    put(target, "t2");
    ImpExp_XMLBuilder source = make(sourcePattern, 1, 1, agenda);
    target = source;
    QCOMPARE(summary(path(QStringLiteral("target_%1.xml"))),
             QStringLiteral("directory 1/1: t1+ t2+"));
    put(target, "s1");
    QCOMPARE(summary(sourcePattern), QStringLiteral("agenda 1/1: s1+"));
    put(source, "s2");
    QCOMPARE(summary(sourcePattern), QStringLiteral("agenda 1/1: s2+"));

    // An empty export's copy is over as well.
    ImpExp_XMLBuilder empty = make(path(QStringLiteral("none_%1.xml")), 1, 0);
    ImpExp_XMLBuilder emptyCopy(empty);
    QCOMPARE(put(emptyCopy, "1"), tooMuch);
}
QT_WARNING_POP

void tst_Builder::debugMessages()
{
    const QStringList logged = captureDebugLog("ImpExp_XMLBuilder.cpp", [&] {
        make(path(QStringLiteral("log_%1.xml")), 1, 1).putItem(contact(QStringLiteral("1")));
    });
    QCOMPARE(logged.join(QLatin1Char('\n')),
             QStringLiteral(R"(void ImpExp_XMLBuilder::putItem(const ImpExp_Item&): putItem
void ImpExp_XMLBuilder::startNewXMLFile(): startNewXMLFile
void ImpExp_XMLBuilder::putItem(const ImpExp_Item&): write attributes
void ImpExp_XMLBuilder::putItem(const ImpExp_Item&): write elements
void ImpExp_XMLBuilder::closeBuilder(): close builder
void ImpExp_XMLBuilder::closeBuilder(): close builder)")); // the last from the destructor
}

QTEST_GUILESS_MAIN(tst_Builder)
#include "tst_builder.moc"
