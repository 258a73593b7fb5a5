#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include "TimeZoneScope.h"

#include <QtTest>

#include <functional>

namespace
{

// The header every hand-written page starts with, as the writer lays it out.
const QByteArray pageHead = R"(<?xml version="1.0" encoding="UTF-8"?>
<vel:moxara xmlns:vel="http://ns.velxml.org/impexp/1.0" xmlns:xs="http://www.w3.org/2001/XMLSchema-instance" created="20260101T120000Z" schemaVersion="1.0" id="exp1" deviceId="dev1">
    <vel:directory max="7" pageSize="2" page="1" totalPage="1">
)";
const QByteArray pageTail = R"(    </vel:directory>
</vel:moxara>
)";

QByteArray page(const QByteArray &items)
{
    return pageHead + items + pageTail;
}

QByteArray contact(const QByteArray &duid)
{
    return "        <vel:contact duid=\"" + duid + "\"><vel:lastName xml:space=\"preserve\">N"
        + duid + "</vel:lastName></vel:contact>\n";
}

// "name=value" per pair, so whole lists compare in one QCOMPARE.
QStringList flat(const ImpExp_PairList &pairs)
{
    QStringList out;
    for (const auto &pair : pairs)
        out << pair.first + QLatin1Char('=') + pair.second;
    return out;
}

QString fatal(const std::function<void()> &call)
{
    try {
        call();
    } catch (const ImpExp_FatalException &e) {
        return QString::fromLatin1(e.what());
    }
    return QStringLiteral("<nothing thrown>");
}

// A page file set in a temporary directory.
class PageSet
{
public:
    QString pathTemplate() const { return dir.filePath(QStringLiteral("dir_%1.xml")); }
    QString fileName(int number) const
    {
        return dir.filePath(QStringLiteral("dir_%1.xml").arg(number, 2, 10, QLatin1Char('0')));
    }
    void write(int number, const QByteArray &content) const
    {
        QFile file(fileName(number));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), qint64(content.size()));
    }

private:
    QTemporaryDir dir;
};

// Reads every item of the kind through one parser; the duids in order.
QStringList readAll(ImpExp_XMLParser &parser, const QString &kind)
{
    QStringList duids;
    for (;;) {
        ImpExp_Item item(kind);
        if (!parser.getItem(item, false))
            return duids;
        duids << item.getAttribute(QStringLiteral("duid"));
    }
}

} // namespace

class TestParser : public QObject
{
    Q_OBJECT

private slots:
    void writerMadeSet_data();
    void writerMadeSet();
    void writerMadeEmptySet();
    void badPath_data();
    void badPath();
    void fileNames_data();
    void fileNames();
    void itemContent_data();
    void itemContent();
    void prefilledRecordKeepsItsPairs();
    void skippedKindIsLost();
    void pagesInSequence();
    void gapEndsTheSet();
    void falseStaysFalse();
    void emptySet();
    void noFileToRead();
    void itemHasNoName();
    void rootAccepted_data();
    void rootAccepted();
    void invalidInputFile_data();
    void invalidInputFile();
    void invalidInputFileReadsOn();
    void invalidSecondPage();
    void parsingFailed_data();
    void parsingFailed();
    void badEncodingDeepInFile();
    void entityExpansionStops();
    void hugeTextValue();
    void copyAndAssignment();
    void debugMessages();
};

void TestParser::writerMadeSet_data()
{
    QTest::addColumn<bool>("readElements");
    QTest::newRow("with elements") << true;
    QTest::newRow("attributes only") << false;
}

void TestParser::writerMadeSet()
{
    QFETCH(bool, readElements);
    TimeZoneScope tz("CET-1CEST,M3.5.0,M10.5.0/3");
    PageSet set;
    QList<ImpExp_Item> written;
    for (int i = 0; i < 5; ++i) {
        ImpExp_Item item(QStringLiteral("contact"), QString::number(100 + i),
                         i % 2 ? QString() : QStringLiteral("p%1").arg(i),
                         QDateTime(QDate(2026, 3, 29), QTime(1, i, 30), Qt::UTC));
        item.addAttribute(QStringLiteral("note"), QStringLiteral("tab\there\r\nquote\" <&>"));
        item.addElement(QStringLiteral("lastName"), QStringLiteral("D\u00F6e <&> \"%1\"").arg(i));
        item.addElement(QStringLiteral("nickName"), QString());
        item.addElement(QStringLiteral("address"), QStringLiteral("  line one\nline two  "));
        written << item;
    }
    {
        ImpExp_XMLBuilder builder(QStringLiteral("dev"), QStringLiteral("exp"), set.pathTemplate(),
                                  2, QDateTime(QDate(2026, 3, 29), QTime(12, 0), Qt::UTC), 5, 9,
                                  QStringLiteral("VelDirectory"), QDateTime::fromTime_t(0));
        for (const ImpExp_Item &item : qAsConst(written))
            builder.putItem(item);
    }
    QVERIFY(QFile::exists(set.fileName(2)));
    QVERIFY(!QFile::exists(set.fileName(3)));

    ImpExp_XMLParser parser(set.pathTemplate());
    for (const ImpExp_Item &original : qAsConst(written)) {
        ImpExp_Item item(QStringLiteral("contact"));
        QVERIFY(parser.getItem(item, readElements));
        QCOMPARE(flat(item.getAttributes()), flat(original.getAttributes()));
        QCOMPARE(flat(item.getItemElements()),
                 readElements ? flat(original.getItemElements()) : QStringList());
        QCOMPARE(item.getLastModificationDate(), original.getLastModificationDate());
    }
    ImpExp_Item item(QStringLiteral("contact"));
    QVERIFY(!parser.getItem(item, readElements));
    QVERIFY(item.getAttributes().isEmpty());
}

void TestParser::writerMadeEmptySet()
{
    PageSet set;
    {
        ImpExp_XMLBuilder builder(QStringLiteral("dev"), QStringLiteral("exp"), set.pathTemplate(),
                                  2, QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC), 0, 0,
                                  QStringLiteral("Agenda"), QDateTime::fromTime_t(0));
    }
    QVERIFY(QFile::exists(set.fileName(0)));
    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item item(QStringLiteral("appointment"));
    QVERIFY(!parser.getItem(item, true));
}

void TestParser::badPath_data()
{
    QTest::addColumn<QString>("pathTemplate");
    QTest::newRow("no marker") << QStringLiteral("export.xml");
    QTest::newRow("empty template") << QString();
    QTest::newRow("other marker") << QStringLiteral("export%2.xml");
    QTest::newRow("marker split by a character") << QStringLiteral("export%_1.xml");
}

void TestParser::badPath()
{
    QFETCH(QString, pathTemplate);
    QCOMPARE(fatal([&] { ImpExp_XMLParser parser(pathTemplate); }), QStringLiteral("Bad path"));
}

void TestParser::fileNames_data()
{
    QTest::addColumn<QString>("pathTemplate");
    QTest::addColumn<QString>("firstFile");
    QTest::newRow("one marker") << QStringLiteral("export%1.xml") << QStringLiteral("export00.xml");
    QTest::newRow("two markers, same number")
        << QStringLiteral("p%1/items%1.xml") << QStringLiteral("p00/items00.xml");
}

void TestParser::fileNames()
{
    QFETCH(QString, pathTemplate);
    QFETCH(QString, firstFile);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("p00")));
    QFile file(dir.filePath(firstFile));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(page(contact("1")));
    file.close();

    ImpExp_XMLParser parser(dir.filePath(pathTemplate));
    QCOMPARE(readAll(parser, QStringLiteral("contact")), QStringList { QStringLiteral("1") });
}

void TestParser::itemContent_data()
{
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<bool>("readElements");
    QTest::addColumn<QStringList>("attributes");
    QTest::addColumn<QStringList>("elements");

    const QByteArray full = R"(
        <vel:contact duid="17" puid="" lastModified="20260131T235959Z">
            <vel:lastName xml:space="preserve">Doe</vel:lastName>
            <vel:nickName xml:space="preserve"></vel:nickName>
            <vel:note xml:space="preserve"/>
            <vel:firstName xml:space="preserve">Jane</vel:firstName>
        </vel:contact>
)";
    const QStringList attributes { QStringLiteral("duid=17"), QStringLiteral("puid="),
                                   QStringLiteral("lastModified=20260131T235959Z") };
    QTest::newRow("attributes only: children skipped")
        << full << false << attributes << QStringList();
    QTest::newRow("one pair per child, empty children give empty values")
        << full << true << attributes
        << QStringList { QStringLiteral("lastName=Doe"), QStringLiteral("nickName="),
                         QStringLiteral("note="), QStringLiteral("firstName=Jane") };
    QTest::newRow("escaped text arrives in one piece") << QByteArray(
        R"(<vel:contact duid="a&amp;b"><vel:note>x &lt; y &amp;&amp; z&#10;&#x263A;</vel:note></vel:contact>)")
                                                       << true
                                                       << QStringList { QStringLiteral("duid=a&b") }
                                                       << QStringList { QStringLiteral(
                                                                            "note=x < y && z\n")
                                                                        + QChar(0x263A) };
    QTest::newRow("line breaks and spaces inside text kept")
        << QByteArray("<vel:contact duid=\"1\"><vel:note>  two\n lines  </vel:note></vel:contact>")
        << true << QStringList { QStringLiteral("duid=1") }
        << QStringList { QStringLiteral("note=  two\n lines  ") };
    QTest::newRow("CDATA section is text") << QByteArray(
        R"(<vel:contact duid="1"><vel:note><![CDATA[<b>&amp;</b>]]></vel:note></vel:contact>)")
                                           << true << QStringList { QStringLiteral("duid=1") }
                                           << QStringList { QStringLiteral("note=<b>&amp;</b>") };
    QTest::newRow("text split by a comment keeps its last piece")
        << QByteArray(
               R"(<vel:contact duid="1"><vel:note>first<!-- c -->last</vel:note></vel:contact>)")
        << true << QStringList { QStringLiteral("duid=1") }
        << QStringList { QStringLiteral("note=last") };
    QTest::newRow("nesting flattens: inner child only") << QByteArray(
        R"(<vel:contact duid="1"><vel:outer>a<vel:inner>b</vel:inner>c</vel:outer><vel:x>y</vel:x></vel:contact>)")
                                                        << true
                                                        << QStringList { QStringLiteral("duid=1") }
                                                        << QStringList { QStringLiteral("inner=b"),
                                                                         QStringLiteral("x=y") };
    QTest::newRow("text directly inside the item ignored")
        << QByteArray(R"(<vel:contact duid="1">loose<vel:x>y</vel:x>more</vel:contact>)") << true
        << QStringList { QStringLiteral("duid=1") } << QStringList { QStringLiteral("x=y") };
    QTest::newRow("prefixed attribute under its local name, no namespace declarations")
        << QByteArray(
               R"(<p:contact xmlns:p="urn:other" xmlns:q="urn:q" q:duid="1" xml:lang="en"/>)")
        << true << QStringList { QStringLiteral("duid=1"), QStringLiteral("lang=en") }
        << QStringList();
    QTest::newRow("child attributes not read, names are local names") << QByteArray(
        R"(<vel:contact duid="1"><vel:x a="b" xml:space="preserve">y</vel:x><z>w</z></vel:contact>)")
                                                                      << true
                                                                      << QStringList { QStringLiteral(
                                                                             "duid=1") }
                                                                      << QStringList {
                                                                             QStringLiteral("x=y"),
                                                                             QStringLiteral(
                                                                                 "z=w")
                                                                         };
    QTest::newRow("names compared case-sensitively")
        << QByteArray(R"(<vel:Contact duid="0"/><vel:contact duid="1"/>)") << true
        << QStringList { QStringLiteral("duid=1") } << QStringList();
}

void TestParser::itemContent()
{
    QFETCH(QByteArray, items);
    QFETCH(bool, readElements);
    QFETCH(QStringList, attributes);
    QFETCH(QStringList, elements);
    PageSet set;
    set.write(0, page(items));

    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item item(QStringLiteral("contact"));
    QVERIFY(parser.getItem(item, readElements));
    QCOMPARE(flat(item.getAttributes()), attributes);
    QCOMPARE(flat(item.getItemElements()), elements);
    QCOMPARE(item.getItemName(), QStringLiteral("contact"));
}

void TestParser::prefilledRecordKeepsItsPairs()
{
    PageSet set;
    set.write(0, page(contact("5")));
    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item item(QStringLiteral("contact"));
    item.addAttribute(QStringLiteral("duid"), QStringLiteral("old"));
    item.addElement(QStringLiteral("lastName"), QStringLiteral("Old"));
    QVERIFY(parser.getItem(item, true));
    QCOMPARE(flat(item.getAttributes()),
             (QStringList { QStringLiteral("duid=old"), QStringLiteral("duid=5") }));
    QCOMPARE(flat(item.getItemElements()),
             (QStringList { QStringLiteral("lastName=Old"), QStringLiteral("lastName=N5") }));
}

void TestParser::skippedKindIsLost()
{
    PageSet set;
    set.write(0, page(R"(<vel:contact duid="c1"/><vel:contactMap duid="m1" puid="p1"/>
                        <vel:contact duid="c2"/><vel:contactMap duid="m2"/><vel:contact duid="c3"/>)"));
    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item map(QStringLiteral("contactMap"));
    QVERIFY(parser.getItem(map, true));
    QCOMPARE(flat(map.getAttributes()),
             (QStringList { QStringLiteral("duid=m1"), QStringLiteral("puid=p1") }));
    // c1 went by while looking for m1.
    QCOMPARE(readAll(parser, QStringLiteral("contact")),
             (QStringList { QStringLiteral("c2"), QStringLiteral("c3") }));
}

void TestParser::pagesInSequence()
{
    PageSet set;
    set.write(0, page(contact("1") + contact("2")));
    set.write(1, page(QByteArray())); // a page without items is passed over
    set.write(2, page(contact("3")));
    set.write(3, page(contact("4")));
    ImpExp_XMLParser parser(set.pathTemplate());
    QCOMPARE(readAll(parser, QStringLiteral("contact")),
             (QStringList { QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                            QStringLiteral("4") }));

    // File number 100 follows 99; 98 pages without items go by in one call.
    PageSet many;
    for (int number = 0; number < 100; ++number)
        many.write(number, page(number == 1 ? contact("one") : QByteArray()));
    many.write(100, page(contact("hundred")));
    ImpExp_XMLParser manyParser(many.pathTemplate());
    QCOMPARE(readAll(manyParser, QStringLiteral("contact")),
             (QStringList { QStringLiteral("one"), QStringLiteral("hundred") }));
}

void TestParser::gapEndsTheSet()
{
    PageSet set;
    set.write(0, page(contact("1")));
    set.write(1, page(contact("2")));
    set.write(3, page(contact("4")));
    ImpExp_XMLParser parser(set.pathTemplate());
    QCOMPARE(readAll(parser, QStringLiteral("contact")),
             (QStringList { QStringLiteral("1"), QStringLiteral("2") }));
}

void TestParser::falseStaysFalse()
{
    PageSet set;
    set.write(0, page(contact("1")));
    ImpExp_XMLParser parser(set.pathTemplate());
    QCOMPARE(readAll(parser, QStringLiteral("contact")), QStringList { QStringLiteral("1") });

    // The missing page appears, and page 00 goes: the parser is done and
    // looks at neither.
    set.write(1, page(contact("2")));
    QVERIFY(QFile::remove(set.fileName(0)));
    ImpExp_Item item(QStringLiteral("contact"));
    QVERIFY(!parser.getItem(item, true));
    QVERIFY(!parser.getItem(item, false));
    QVERIFY(item.getAttributes().isEmpty());
    // An empty name is still refused.
    ImpExp_Item nameless { QString() };
    QCOMPARE(fatal([&] { parser.getItem(nameless, true); }), QStringLiteral("item has no name"));
}

void TestParser::emptySet()
{
    PageSet set;
    set.write(0, R"(<?xml version="1.0" encoding="UTF-8"?>
<vel:moxara xmlns:vel="http://ns.velxml.org/impexp/1.0" xmlns:xs="http://www.w3.org/2001/XMLSchema-instance" created="20260101T120000Z" schemaVersion="1.0" id="exp1" deviceId="dev1">
    <vel:directory max="0" pageSize="2" page="1" totalPage="1"/>
</vel:moxara>
)");
    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item item(QStringLiteral("contact"));
    QVERIFY(!parser.getItem(item, true));
    QVERIFY(item.getAttributes().isEmpty());
}

void TestParser::noFileToRead()
{
    PageSet set;
    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item item(QStringLiteral("contact"));
    QCOMPARE(fatal([&] { parser.getItem(item, true); }), QStringLiteral("No file to read"));
    QCOMPARE(fatal([&] { parser.getItem(item, true); }), QStringLiteral("No file to read"));
    // The next call tries page 00 again.
    set.write(0, page(contact("1")));
    QCOMPARE(readAll(parser, QStringLiteral("contact")), QStringList { QStringLiteral("1") });
}

void TestParser::itemHasNoName()
{
    PageSet set;
    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item nameless { QString() };
    // Refused before any file is tried: page 00 does not even exist.
    QCOMPARE(fatal([&] { parser.getItem(nameless, false); }), QStringLiteral("item has no name"));
    set.write(0, page(contact("1")));
    QCOMPARE(fatal([&] { parser.getItem(nameless, true); }), QStringLiteral("item has no name"));
    QVERIFY(nameless.getAttributes().isEmpty());
    QCOMPARE(readAll(parser, QStringLiteral("contact")), QStringList { QStringLiteral("1") });
}

void TestParser::rootAccepted_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray item = "<contact duid=\"1\"/>";
    QTest::newRow("writer's vel prefix") << page(contact("1"));
    QTest::newRow("no prefix, no namespace") << "<moxara>" + item + "</moxara>";
    QTest::newRow("other declared prefix, other URI")
        << "<?xml version=\"1.0\"?><q:moxara xmlns:q=\"urn:x\">" + item + "</q:moxara>";
    QTest::newRow("whitespace before the root")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n  \t\n<moxara>" + item + "</moxara>";
    QTest::newRow("byte order mark, no declaration") << "\xEF\xBB\xBF<moxara>" + item + "</moxara>";
    QTest::newRow("declared Latin-1")
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><moxara>" + item + "</moxara>";
}

void TestParser::rootAccepted()
{
    QFETCH(QByteArray, content);
    PageSet set;
    set.write(0, content);
    ImpExp_XMLParser parser(set.pathTemplate());
    QCOMPARE(readAll(parser, QStringLiteral("contact")), QStringList { QStringLiteral("1") });
}

void TestParser::invalidInputFile_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const QByteArray body = "<moxara><contact duid=\"1\"/></moxara>\n";
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("declaration only") << decl;
    QTest::newRow("whitespace only") << QByteArray("  \n\n");
    QTest::newRow("plain text, not XML") << QByteArray("duid;name\n17;Doe\n");
    QTest::newRow("binary bytes") << QByteArray("\x00\x01\x02\xFF\xFEgarbage", 12);
    QTest::newRow("root in another case") << decl + "<Moxara><contact duid=\"1\"/></Moxara>";
    QTest::newRow("foreign root") << decl + "<html><contact duid=\"1\"/></html>";
    QTest::newRow("root local name only starts right") << decl + "<moxaraX/>";
    QTest::newRow("comment before the root") << decl + "<!-- exported -->" + body;
    QTest::newRow("processing instruction before the root") << decl + "<?style x?>" + body;
    QTest::newRow("document type declaration") << decl + "<!DOCTYPE moxara>" + body;
    QTest::newRow("undeclared prefix on the root") << decl + "<vel:moxara/>";
    QTest::newRow("unsupported encoding")
        << "<?xml version=\"1.0\" encoding=\"X-NOWHERE\"?>" + body;
    QTest::newRow("truncated declaration") << QByteArray("<?xml vers");
    QTest::newRow("truncated root tag") << decl + "<moxara xmlns:vel=\"ur";
    QTest::newRow("invalid UTF-8 early in the file")
        << decl + "<moxara><contact duid=\"caf\xE9\"/></moxara>";
}

void TestParser::invalidInputFile()
{
    QFETCH(QByteArray, content);
    PageSet set;
    set.write(0, content);
    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item item(QStringLiteral("contact"));
    QCOMPARE(fatal([&] { parser.getItem(item, true); }), QStringLiteral("Invalid input file"));
    QVERIFY(item.getAttributes().isEmpty());
    // Whatever follows ends normally or in the reader's failure, never worse.
    const QString next = fatal([&] { readAll(parser, QStringLiteral("contact")); });
    QVERIFY2(next == QLatin1String("<nothing thrown>")
                 || next == QLatin1String("xml parsing failed"),
             qPrintable(next));
}

void TestParser::invalidInputFileReadsOn()
{
    // The check stops on the comment; the file stays open and the next
    // call reads on from there.
    PageSet set;
    set.write(0, "<?xml version=\"1.0\"?><!-- c --><moxara><contact duid=\"1\"/></moxara>");
    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item item(QStringLiteral("contact"));
    QCOMPARE(fatal([&] { parser.getItem(item, true); }), QStringLiteral("Invalid input file"));
    QCOMPARE(readAll(parser, QStringLiteral("contact")), QStringList { QStringLiteral("1") });

    // An error at the check: the next call meets the same error.
    PageSet bad;
    bad.write(0, "<?xml version=\"1.0\"?>");
    ImpExp_XMLParser badParser(bad.pathTemplate());
    QCOMPARE(fatal([&] { badParser.getItem(item, true); }), QStringLiteral("Invalid input file"));
    QCOMPARE(fatal([&] { badParser.getItem(item, true); }), QStringLiteral("xml parsing failed"));
    QCOMPARE(fatal([&] { badParser.getItem(item, true); }), QStringLiteral("xml parsing failed"));
}

void TestParser::invalidSecondPage()
{
    PageSet set;
    set.write(0, page(contact("1")));
    set.write(1, "<?xml version=\"1.0\"?><?pi?><moxara><contact duid=\"2\"/></moxara>");
    set.write(2, page(contact("3")));
    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item first(QStringLiteral("contact"));
    QVERIFY(parser.getItem(first, false));
    ImpExp_Item item(QStringLiteral("contact"));
    QCOMPARE(fatal([&] { parser.getItem(item, false); }), QStringLiteral("Invalid input file"));
    // Still on page 01, which is read on, then page 02.
    QCOMPARE(readAll(parser, QStringLiteral("contact")),
             (QStringList { QStringLiteral("2"), QStringLiteral("3") }));
    QCOMPARE(first.getAttribute(QStringLiteral("duid")), QStringLiteral("1"));
}

void TestParser::parsingFailed_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("before"); // duids returned before the failure

    const QByteArray two = pageHead + contact("1") + contact("2");
    const QStringList both { QStringLiteral("1"), QStringLiteral("2") };
    QTest::newRow("truncated inside an item")
        << two + "        <vel:contact duid=\"3\"><vel:lastName>Tru" << both;
    QTest::newRow("truncated inside a tag") << two + "        <vel:contact du" << both;
    QTest::newRow("truncated after the last item") << two << both;
    QTest::newRow("mismatched end tag") << two + "<vel:contact duid=\"3\"></vel:contactX>" << both;
    QTest::newRow("undeclared prefix on an item") << two + "<foo:contact duid=\"3\"/>" << both;
    QTest::newRow("undefined entity") << two + "<vel:contact duid=\"&nope;\"/>" << both;
    QTest::newRow("forbidden character reference")
        << two + "<vel:contact duid=\"3\"><vel:x>&#0;</vel:x></vel:contact>" << both;
    QTest::newRow("raw markup character in an attribute")
        << two + "<vel:contact duid=\"<\"/>" << both;
    QTest::newRow("second root") << page(contact("1") + contact("2")) + "<moxara/>" << both;
    QTest::newRow("DOCTYPE after the root")
        << page(contact("1") + contact("2")) + "<!DOCTYPE x>" << both;
}

void TestParser::parsingFailed()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, before);
    PageSet set;
    set.write(0, content);
    set.write(1, page(contact("next")));
    ImpExp_XMLParser parser(set.pathTemplate());
    QList<ImpExp_Item> returned;
    const QString message = fatal([&] {
        for (;;) {
            ImpExp_Item item(QStringLiteral("contact"));
            if (!parser.getItem(item, true))
                return;
            returned << item;
        }
    });
    QCOMPARE(message, QStringLiteral("xml parsing failed"));
    QCOMPARE(returned.size(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        QCOMPARE(returned.at(i).getAttribute(QStringLiteral("duid")), before.at(i));
        QCOMPARE(returned.at(i).getElement(QStringLiteral("lastName")),
                 QLatin1Char('N') + before.at(i));
    }
    // The reader was left without input: the same failure, not page 01.
    ImpExp_Item item(QStringLiteral("contact"));
    QCOMPARE(fatal([&] { parser.getItem(item, true); }), QStringLiteral("xml parsing failed"));
    QVERIFY(item.getAttributes().isEmpty());
}

void TestParser::badEncodingDeepInFile()
{
    // Found only after the reader has decoded a good part of the page.
    QByteArray items;
    const int count = 3000;
    for (int i = 0; i < count; ++i)
        items += contact(QByteArray::number(i));
    PageSet set;
    set.write(0, pageHead + items + "<vel:contact duid=\"bad\xC3\x28\"/>" + pageTail);
    ImpExp_XMLParser parser(set.pathTemplate());
    QStringList duids;
    const QString message = fatal([&] {
        for (;;) {
            ImpExp_Item item(QStringLiteral("contact"));
            if (!parser.getItem(item, false))
                return;
            duids << item.getAttribute(QStringLiteral("duid"));
        }
    });
    QCOMPARE(message, QStringLiteral("xml parsing failed"));
    QVERIFY(duids.size() > 0);
    QVERIFY(duids.size() <= count);
    for (int i = 0; i < duids.size(); ++i)
        QCOMPARE(duids.at(i), QString::number(i));
}

void TestParser::entityExpansionStops()
{
    // Nested entities that would expand to 10^9 characters. The DTD fails
    // the root check; a host reading on meets the reader's expansion limit.
    QByteArray dtd = "<!ENTITY e0 \"lol\">";
    for (int level = 1; level <= 9; ++level) {
        dtd += "<!ENTITY e" + QByteArray::number(level) + " \"";
        for (int i = 0; i < 10; ++i)
            dtd += "&e" + QByteArray::number(level - 1) + ';';
        dtd += "\">";
    }
    for (const QByteArray &item : { QByteArray("<contact duid=\"1\"><x>&e9;</x></contact>"),
                                    QByteArray("<contact duid=\"&e9;\"/>") }) {
        PageSet set;
        set.write(0,
                  "<?xml version=\"1.0\"?><!DOCTYPE moxara [" + dtd + "]><moxara>" + item
                      + "</moxara>");
        ImpExp_XMLParser parser(set.pathTemplate());
        ImpExp_Item record(QStringLiteral("contact"));
        QCOMPARE(fatal([&] { parser.getItem(record, true); }),
                 QStringLiteral("Invalid input file"));
        QCOMPARE(fatal([&] { parser.getItem(record, true); }),
                 QStringLiteral("xml parsing failed"));
    }
}

void TestParser::hugeTextValue()
{
    const int size = 8 * 1024 * 1024;
    const QByteArray value(size, 'v');
    PageSet set;
    set.write(0, page("<vel:contact duid=\"1\"><vel:note>" + value + "</vel:note></vel:contact>"));
    set.write(1, pageHead + "<vel:contact duid=\"" + value + "\"/><vel:contact><vel:note>" + value);
    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item item(QStringLiteral("contact"));
    QVERIFY(parser.getItem(item, true));
    QCOMPARE(item.getElement(QStringLiteral("note")).size(), size);
    QVERIFY(item.getElement(QStringLiteral("note")) == QLatin1String(value));
    ImpExp_Item second(QStringLiteral("contact"));
    QVERIFY(parser.getItem(second, true));
    QCOMPARE(second.getAttribute(QStringLiteral("duid")).size(), size);
    // The page ends in an unfinished huge value.
    ImpExp_Item third(QStringLiteral("contact"));
    QCOMPARE(fatal([&] { parser.getItem(third, true); }), QStringLiteral("xml parsing failed"));
}

void TestParser::copyAndAssignment()
{
    PageSet set;
    set.write(0, page(contact("1") + contact("2")));
    set.write(1, page(contact("3")));
    PageSet other;
    other.write(0, page(contact("o1")));

    ImpExp_XMLParser parser(set.pathTemplate());
    ImpExp_Item item(QStringLiteral("contact"));
    QVERIFY(parser.getItem(item, false));

    // A copy starts afresh from page 00, whatever the original has read.
    ImpExp_XMLParser copy(parser);
    QCOMPARE(readAll(copy, QStringLiteral("contact")),
             (QStringList { QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3") }));

    // Self-assignment changes nothing: reading goes on at item 2.
    ImpExp_XMLParser &self = parser;
    parser = self;
    ImpExp_Item second(QStringLiteral("contact"));
    QVERIFY(parser.getItem(second, false));
    QCOMPARE(second.getAttribute(QStringLiteral("duid")), QStringLiteral("2"));

    // Assignment makes a fresh parser on the other's template, whatever
    // state this one was in: used up, failed, or mid-page.
    ImpExp_XMLParser target(other.pathTemplate());
    QCOMPARE(readAll(target, QStringLiteral("contact")), QStringList { QStringLiteral("o1") });
    target = parser;
    QCOMPARE(readAll(target, QStringLiteral("contact")),
             (QStringList { QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3") }));
    target = ImpExp_XMLParser(other.pathTemplate());
    QCOMPARE(readAll(target, QStringLiteral("contact")), QStringList { QStringLiteral("o1") });
}

namespace
{
struct Logged {
    QString message;
    QString category;
    QString file;
    QString function;
    int line;
};
QList<Logged> logged;

void recordMessage(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    logged << Logged { message, QString::fromLatin1(context.category),
                       QString::fromLatin1(context.file), QString::fromLatin1(context.function),
                       context.line };
}

bool libraryDebug = false;
void libraryFilter(QLoggingCategory *category)
{
    if (qstrcmp(category->categoryName(), "velxml.impexp") == 0)
        category->setEnabled(QtDebugMsg, libraryDebug);
}
} // namespace

void TestParser::debugMessages()
{
    PageSet set;
    set.write(0, page(contact("1")));
    set.write(1, page(QByteArray()));

    libraryDebug = true;
    const auto previousFilter = QLoggingCategory::installFilter(libraryFilter);
    const auto previousHandler = qInstallMessageHandler(recordMessage);
    logged.clear();
    {
        ImpExp_XMLParser parser(set.pathTemplate());
        QCOMPARE(readAll(parser, QStringLiteral("contact")), QStringList { QStringLiteral("1") });
    }
    libraryDebug = false;
    QLoggingCategory::installFilter(libraryFilter);
    {
        ImpExp_XMLParser parser(set.pathTemplate());
        readAll(parser, QStringLiteral("contact"));
    }
    qInstallMessageHandler(previousHandler);
    QLoggingCategory::installFilter(previousFilter);

    // Two calls; the second passes page 01 and stops at page 02. Nothing
    // from the silenced run.
    QStringList messages;
    for (const Logged &entry : qAsConst(logged))
        messages << entry.message;
    QCOMPARE(messages,
             (QStringList { QStringLiteral("getItem"), QStringLiteral("startNewXMLFile"),
                            QStringLiteral("getItem"), QStringLiteral("startNewXMLFile"),
                            QStringLiteral("startNewXMLFile") }));
    for (const Logged &entry : qAsConst(logged)) {
        QCOMPARE(entry.category, QStringLiteral("velxml.impexp"));
        QVERIFY2(entry.file.endsWith(QLatin1String("ImpExp_XMLParser.cpp")),
                 qPrintable(entry.file));
        QVERIFY(entry.line > 0);
        QVERIFY2(entry.function.contains(entry.message == QLatin1String("getItem")
                                             ? QLatin1String("ImpExp_XMLParser::getItem(")
                                             : QLatin1String("ImpExp_XMLParser::getNextXMLFile(")),
                 qPrintable(entry.function));
    }
}

QTEST_GUILESS_MAIN(TestParser)
#include "tst_parser.moc"
