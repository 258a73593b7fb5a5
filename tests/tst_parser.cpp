#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include "Deadline.h"
#include "DebugLog.h"
#include "Thrown.h"

#include <xml/ImpExp_RunLimitDevice.h>

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <functional>

namespace
{

// The start of a hand-written page, laid out as the writer does.
const QByteArray pageHead = R"(<?xml version="1.0" encoding="UTF-8"?>
<vel:moxara xmlns:vel="http://ns.velxml.org/impexp/1.0" created="20260101T120000Z" schemaVersion="1.0" id="exp1" deviceId="dev1">
    <vel:directory max="7" pageSize="2" page="1" totalPage="1">
)";
const QByteArray pageTail = "    </vel:directory>\n</vel:moxara>\n";

QByteArray page(const QByteArray &items)
{
    return pageHead + items + pageTail;
}

QByteArray contact(const QByteArray &duid)
{
    return "        <vel:contact duid=\"" + duid + "\"><vel:lastName xml:space=\"preserve\">N"
        + duid + "</vel:lastName></vel:contact>\n";
}

// "name=value" per pair, "|" between pairs, so whole lists compare at once.
QString flat(const ImpExp_PairList &pairs)
{
    QStringList out;
    for (const auto &pair : pairs)
        out << pair.first + QLatin1Char('=') + pair.second;
    return out.join(QLatin1Char('|'));
}

constexpr auto fatal = &messageOf<ImpExp_FatalException>;

// Reads contacts until false, a failure or @p limit items: the duids, then
// the failure's message in brackets.
QString read(ImpExp_XMLParser &parser, int limit = -1)
{
    QStringList out;
    const QString message = fatal([&] {
        ImpExp_Item item(QStringLiteral("contact"));
        for (; out.size() != limit && parser.getItem(item, false);
             item = ImpExp_Item(QStringLiteral("contact")))
            out << item.getAttribute(QStringLiteral("duid"));
    });
    if (!message.isEmpty())
        out << QLatin1Char('[') + message + QLatin1Char(']');
    return out.join(QLatin1Char(' '));
}

// A page file set in a temporary directory.
struct PageSet {
    QTemporaryDir dir;
    QString pathTemplate = dir.filePath(QStringLiteral("dir_%1.xml"));
    void write(int number, const QByteArray &content) const
    {
        QFile file(pathTemplate.arg(number, 2, 10, QLatin1Char('0')));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), qint64(content.size()));
    }
};

} // namespace

class TestParser : public QObject
{
    Q_OBJECT

private slots:
    void writerMadeSet_data();
    void writerMadeSet();
    void pathTemplates();
    void itemContent_data();
    void itemContent();
    void prefilledRecordKeepsItsPairs();
    void skippedKindIsLost();
    void pageSequence();
    void falseStaysFalse();
    void nothingOpenedYet();
    void rootCheck_data();
    void rootCheck();
    void parsingFailed_data();
    void parsingFailed();
    void copyAndAssignment();
    void debugMessages();
    void runLimitCounting_data();
    void runLimitCounting();
    void fifoPageEndsTheSet();
};

void TestParser::writerMadeSet_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("readElements");
    QTest::newRow("with elements") << 5 << true;
    QTest::newRow("attributes only") << 5 << false;
    QTest::newRow("empty export") << 0 << true;
}

void TestParser::writerMadeSet()
{
    QFETCH(int, count);
    QFETCH(bool, readElements);
    PageSet set;
    QList<ImpExp_Item> written;
    {
        ImpExp_XMLBuilder builder(QStringLiteral("dev"), QStringLiteral("exp"), set.pathTemplate, 2,
                                  QDateTime(QDate(2026, 3, 29), QTime(12, 0), Qt::UTC), count, 9,
                                  QStringLiteral("VelDirectory"), QDateTime::fromSecsSinceEpoch(0));
        for (int i = 0; i < count; ++i) {
            ImpExp_Item item(QStringLiteral("contact"), QString::number(100 + i),
                             i % 2 ? QString() : QStringLiteral("p%1").arg(i),
                             QDateTime(QDate(2026, 3, 29), QTime(1, i, 30), Qt::UTC));
            item.addAttribute(QStringLiteral("note"), QStringLiteral("tab\there\r\nquote\" <&>"));
            item.addElement(QStringLiteral("lastName"), QStringLiteral("D\u00F6e <&> %1").arg(i));
            item.addElement(QStringLiteral("nickName"), QString());
            item.addElement(QStringLiteral("address"), QStringLiteral("  line one\nline two  "));
            builder.putItem(item);
            written << item;
        }
    }
    ImpExp_XMLParser parser(set.pathTemplate);
    for (const ImpExp_Item &original : qAsConst(written)) {
        ImpExp_Item item(QStringLiteral("contact"));
        QVERIFY(parser.getItem(item, readElements));
        QCOMPARE(flat(item.getAttributes()), flat(original.getAttributes()));
        QCOMPARE(flat(item.getItemElements()),
                 readElements ? flat(original.getItemElements()) : QString());
    }
    ImpExp_Item item(QStringLiteral("contact"));
    QVERIFY(!parser.getItem(item, readElements));
    QVERIFY(item.getAttributes().isEmpty());
}

void TestParser::pathTemplates()
{
    for (const char *bad : { "export.xml", "export%_1.xml" })
        QCOMPARE(fatal([&] { ImpExp_XMLParser parser(QString::fromLatin1(bad)); }),
                 QStringLiteral("Bad path"));

    PageSet set;
    set.pathTemplate = set.dir.filePath(QStringLiteral("p%1_items%1.xml")); // every "%1"
    set.write(0, page(contact("1")));
    ImpExp_XMLParser parser(set.pathTemplate);
    QCOMPARE(read(parser), QStringLiteral("1"));
}

void TestParser::itemContent_data()
{
    QTest::addColumn<QByteArray>("items");
    QTest::addColumn<bool>("readElements");
    QTest::addColumn<QString>("pairs"); // attributes, " / ", elements
    const auto row
        = [](const char *name, const QByteArray &items, bool readElements, const char *pairs) {
              QTest::newRow(name) << items << readElements << QString::fromUtf8(pairs);
          };
    const QByteArray full = R"(<vel:contact duid="17" puid="" lastModified="20260131T235959Z">
            <vel:lastName xml:space="preserve">Doe</vel:lastName>
            <vel:nickName xml:space="preserve"></vel:nickName>
            <vel:note xml:space="preserve"/>
            <vel:firstName xml:space="preserve">Jane</vel:firstName>
        </vel:contact>)";
    row("attributes only: children skipped", full, false,
        "duid=17|puid=|lastModified=20260131T235959Z / ");
    row("one pair per child, empty ones too", full, true,
        "duid=17|puid=|lastModified=20260131T235959Z / "
        "lastName=Doe|nickName=|note=|firstName=Jane");
    row("escaped text arrives in one piece",
        R"(<contact duid="a&amp;b"><note>x &lt; y &amp;&amp; z&#10;&#x263A;</note></contact>)",
        true, "duid=a&b / note=x < y && z\n\xE2\x98\xBA");
    row("CDATA section is text", R"(<contact duid="1"><x><![CDATA[<b>&amp;</b>]]></x></contact>)",
        true, "duid=1 / x=<b>&amp;</b>");
    row("text split by a comment keeps its last piece",
        R"(<contact duid="1"><x>first<!-- c -->last</x></contact>)", true, "duid=1 / x=last");
    row("nesting flattens, loose text ignored",
        R"(<contact duid="1">loose<o>a<i>b</i>c</o><x>y</x></contact>)", true, "duid=1 / i=b|x=y");
    row("local names; no namespace declarations, no child attributes",
        R"(<p:contact xmlns:p="urn:p" p:duid="1" xml:lang="en"><p:x a="b">y</p:x></p:contact>)",
        true, "duid=1|lang=en / x=y");
    row("names compared case-sensitively", R"(<Contact duid="0"/><contact duid="1"/>)", true,
        "duid=1 / ");
    row("names and flags near the format's own come back as they are",
        R"(<contact Duid="1" duid2="2" pui="3"><titl>true</titl><Title>True</Title>)"
        R"(<readOnly>falsey</readOnly><alarmReminderDelays>fals</alarmReminderDelays>)"
        R"(<repetitiveEndDateAndMore>x</repetitiveEndDateAndMore></contact>)",
        true,
        "Duid=1|duid2=2|pui=3 / titl=true|Title=True|readOnly=falsey|alarmReminderDelays=fals|"
        "repetitiveEndDateAndMore=x");
}

void TestParser::itemContent()
{
    QFETCH(QByteArray, items);
    QFETCH(bool, readElements);
    QFETCH(QString, pairs);
    PageSet set;
    set.write(0, page(items));
    ImpExp_XMLParser parser(set.pathTemplate);
    ImpExp_Item item(QStringLiteral("contact"));
    QVERIFY(parser.getItem(item, readElements));
    QCOMPARE(flat(item.getAttributes()) + QLatin1String(" / ") + flat(item.getItemElements()),
             pairs);
    QCOMPARE(item.getItemName(), QStringLiteral("contact"));
}

void TestParser::prefilledRecordKeepsItsPairs()
{
    PageSet set;
    set.write(0, page(contact("5")));
    ImpExp_XMLParser parser(set.pathTemplate);
    ImpExp_Item item(QStringLiteral("contact"));
    item.addAttribute(QStringLiteral("duid"), QStringLiteral("old"));
    item.addElement(QStringLiteral("lastName"), QStringLiteral("Old"));
    QVERIFY(parser.getItem(item, true));
    QCOMPARE(flat(item.getAttributes()), QStringLiteral("duid=old|duid=5"));
    QCOMPARE(flat(item.getItemElements()), QStringLiteral("lastName=Old|lastName=N5"));
}

void TestParser::skippedKindIsLost()
{
    PageSet set;
    set.write(0, page(R"(<vel:contact duid="c1"/><vel:contactMap duid="m1" puid="p1"/>
                        <vel:contact duid="c2"/><vel:contactMap duid="m2"/><vel:contact duid="c3"/>)"));
    ImpExp_XMLParser parser(set.pathTemplate);
    ImpExp_Item map(QStringLiteral("contactMap"));
    QVERIFY(parser.getItem(map, true));
    QCOMPARE(flat(map.getAttributes()), QStringLiteral("duid=m1|puid=p1"));
    QCOMPARE(read(parser), QStringLiteral("c2 c3")); // c1 went by while looking for m1
}

void TestParser::pageSequence()
{
    // A page without items is passed over; a gap in the numbering ends the set.
    PageSet set;
    set.write(0, page(contact("1") + contact("2")));
    set.write(1, page(QByteArray()));
    set.write(2, page(contact("3")));
    set.write(4, page(contact("5")));
    ImpExp_XMLParser parser(set.pathTemplate);
    QCOMPARE(read(parser), QStringLiteral("1 2 3"));

    // File number 100 follows 99; 98 pages without items go by in one call.
    PageSet many;
    for (int number = 0; number < 100; ++number)
        many.write(number, page(number == 1 ? contact("one") : QByteArray()));
    many.write(100, page(contact("hundred")));
    ImpExp_XMLParser manyParser(many.pathTemplate);
    QCOMPARE(read(manyParser), QStringLiteral("one hundred"));
}

void TestParser::falseStaysFalse()
{
    PageSet set;
    set.write(0, page(contact("1")));
    ImpExp_XMLParser parser(set.pathTemplate);
    QCOMPARE(read(parser), QStringLiteral("1"));
    // The missing page appears, and page 00 goes: the parser looks at neither.
    set.write(1, page(contact("2")));
    QVERIFY(QFile::remove(set.pathTemplate.arg(QStringLiteral("00"))));
    ImpExp_Item item(QStringLiteral("contact"));
    QVERIFY(!parser.getItem(item, true));
    QVERIFY(!parser.getItem(item, false));
    QVERIFY(item.getAttributes().isEmpty());
}

// "item has no name" comes before any file is tried; "No file to read"
// leaves the parser trying the same page again.
void TestParser::nothingOpenedYet()
{
    PageSet set;
    ImpExp_XMLParser parser(set.pathTemplate);
    ImpExp_Item nameless { QString() };
    QCOMPARE(fatal([&] { parser.getItem(nameless, false); }), QStringLiteral("item has no name"));
    QCOMPARE(read(parser), QStringLiteral("[No file to read]"));
    set.write(0, page(contact("1") + contact("2")));
    QCOMPARE(fatal([&] { parser.getItem(nameless, true); }), QStringLiteral("item has no name"));
    QVERIFY(nameless.getAttributes().isEmpty());
    QCOMPARE(read(parser), QStringLiteral("1 2"));
}

void TestParser::rootCheck_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("first"); // what reading gives
    QTest::addColumn<QString>("readOn"); // what a host reading on then gets
    const QByteArray decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    const QByteArray item = "<contact duid=\"1\"/>";
    const QByteArray body = "<moxara>" + item + "</moxara>\n";
    const QString all = QStringLiteral("1 next"); // item 1, then page "next"
    const QString refused = QStringLiteral("[Invalid input file]");
    const QString failed = QStringLiteral("[xml parsing failed]");
    // Nested entities that would expand to 10^9 characters.
    QByteArray bomb = "<!ENTITY e0 \"lol\">";
    for (int level = 1; level <= 9; ++level)
        bomb += "<!ENTITY e" + QByteArray::number(level) + " \""
            + QByteArray("&e" + QByteArray::number(level - 1) + ';').repeated(10) + "\">";
    QTest::newRow("no prefix, no namespace") << body << all << QString();
    QTest::newRow("other declared prefix, other URI")
        << "<?xml version=\"1.0\"?><q:moxara xmlns:q=\"urn:x\">" + item + "</q:moxara>" << all
        << QString();
    QTest::newRow("whitespace before the root") << decl + "\n  \t\n" + body << all << QString();
    QTest::newRow("byte order mark, no declaration") << "\xEF\xBB\xBF" + body << all << QString();
    QTest::newRow("empty file") << QByteArray() << refused << failed;
    QTest::newRow("declaration only") << decl << refused << failed;
    QTest::newRow("not XML") << QByteArray("duid;name\n17;Doe\n") << refused << failed;
    QTest::newRow("unsupported encoding")
        << "<?xml version=\"1.0\" encoding=\"X-NOWHERE\"?>" + body << refused << failed;
    QTest::newRow("root in another case")
        << decl + "<Moxara>" + item + "</Moxara>" << refused << all;
    QTest::newRow("root name longer") << decl + "<moxaraX/>" << refused << QStringLiteral("next");
    QTest::newRow("comment before the root") << decl + "<!-- exported -->" + body << refused << all;
    QTest::newRow("processing instruction before the root")
        << decl + "<?style x?>" + body << refused << all;
    QTest::newRow("undeclared prefix on the root") << decl + "<vel:moxara/>" << refused << failed;
    const QByteArray doctype = decl + "<!DOCTYPE moxara [" + bomb + "]>";
    QTest::newRow("document type declaration with an entity bomb")
        << doctype + "<moxara><contact duid=\"1\"><x>&e9;</x></contact></moxara>" << refused
        << failed;
}

// On the first page and on a later one. A refused file stays open, and a
// further call reads on from where the check stopped.
void TestParser::rootCheck()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, first);
    QFETCH(QString, readOn);
    for (int at : { 0, 1 }) {
        PageSet set;
        set.write(0, page(contact("0")));
        set.write(at, content);
        set.write(at + 1, page(contact("next")));
        ImpExp_XMLParser parser(set.pathTemplate);
        QCOMPARE(read(parser), (at ? QStringLiteral("0 ") : QString()) + first);
        QCOMPARE(read(parser), readOn);
    }
}

void TestParser::parsingFailed_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray two = pageHead + contact("1") + contact("2");
    QTest::newRow("truncated inside an item") << two + "<vel:contact duid=\"3\"><vel:lastName>Tr";
    QTest::newRow("truncated after the last item") << two;
    QTest::newRow("mismatched end tag") << two + "<vel:contact duid=\"3\"></vel:contactX>";
    QTest::newRow("undeclared prefix on an item") << two + "<foo:contact duid=\"3\"/>";
    QTest::newRow("undefined entity") << two + "<vel:contact duid=\"&nope;\"/>";
}

// The items before the damage come back; then the same failure for good,
// without going on to page 01.
void TestParser::parsingFailed()
{
    QFETCH(QByteArray, content);
    PageSet set;
    set.write(0, content);
    set.write(1, page(contact("next")));
    ImpExp_XMLParser parser(set.pathTemplate);
    QCOMPARE(read(parser), QStringLiteral("1 2 [xml parsing failed]"));
    QCOMPARE(read(parser), QStringLiteral("[xml parsing failed]"));
}

// The copy and the assignment are deprecated, but still do what they did.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
void TestParser::copyAndAssignment()
{
    PageSet set;
    set.write(0, page(contact("1") + contact("2")));
    set.write(1, page(contact("3") + contact("4")));
    PageSet other;
    other.write(0, page(contact("o1")));

    ImpExp_XMLParser parser(set.pathTemplate);
    QCOMPARE(read(parser, 3), QStringLiteral("1 2 3"));
    // A copy starts afresh from page 00, whatever the original has read.
    ImpExp_XMLParser copy(parser);
    QCOMPARE(read(copy), QStringLiteral("1 2 3 4"));
    // Self-assignment changes nothing: reading goes on on page 01.
    ImpExp_XMLParser &self = parser;
    parser = self;
    QCOMPARE(read(parser), QStringLiteral("4"));

    // Assignment makes a fresh parser on the other's template, whatever
    // state this one was in.
    ImpExp_XMLParser target(other.pathTemplate);
    QCOMPARE(read(target), QStringLiteral("o1"));
    target = parser;
    QCOMPARE(read(target), QStringLiteral("1 2 3 4"));
    target = ImpExp_XMLParser(other.pathTemplate);
    QCOMPARE(read(target), QStringLiteral("o1"));
}
QT_WARNING_POP

void TestParser::debugMessages()
{
    PageSet set;
    set.write(0, page(contact("1")));
    set.write(1, page(QByteArray()));
    const QStringList logged = captureDebugLog("ImpExp_XMLParser.cpp", [&] {
        ImpExp_XMLParser parser(set.pathTemplate);
        read(parser);
    });
    // Two calls; the second passes page 01 and stops at page 02.
    QCOMPARE(logged.join(QLatin1Char('\n')),
             QStringLiteral("bool ImpExp_XMLParser::getItem(ImpExp_Item&, bool): getItem\n"
                            "bool ImpExp_XMLParser::getNextXMLFile(): startNewXMLFile\n"
                            "bool ImpExp_XMLParser::getItem(ImpExp_Item&, bool): getItem\n"
                            "bool ImpExp_XMLParser::getNextXMLFile(): startNewXMLFile\n"
                            "bool ImpExp_XMLParser::getNextXMLFile(): startNewXMLFile"));
}

void TestParser::runLimitCounting_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("limit"); // bytes after one '<' up to the next
    QTest::addColumn<int>("passed"); // bytes the device lets through; all of them unless cut off

    const QByteArray le16 = "\xFF\xFE", be16 = "\xFE\xFF";
    QTest::newRow("runs within the limit") << QByteArray("<ab>c<d") << 5 << -1;
    QTest::newRow("a run at the limit") << QByteArray("<abcde<f") << 5 << -1;
    QTest::newRow("a run one over") << QByteArray("<abcdef<g") << 5 << 6;
    QTest::newRow("the start counts as after a '<'") << QByteArray("abcdef<") << 5 << 5;
    QTest::newRow("no '<' at all, within") << QByteArray("abcde") << 5 << -1;
    QTest::newRow("a long run after many short ones")
        << QByteArray("<a<b<c<d<e<f<g<h<abcdef") << 5 << 22;
    // Wide encodings count whole code units: the byte 3C of U+3C3C or U+413C is no '<'.
    QTest::newRow("UTF-16LE: '<' bytes inside characters")
        << le16 + QByteArray("<\0\x3C\x3C\x3C\x41<\0", 8) << 4 << -1;
    QTest::newRow("UTF-16LE: a run one over")
        << le16 + QByteArray("<\0\x3C\x3C\x3C\x3C\x3C\x3C<\0", 10) << 5 << 9;
    QTest::newRow("UTF-16BE: a run one over")
        << be16 + QByteArray("\0<\x3C\x3C\x3C\x3C\x3C\x3C\0<", 10) << 5 << 9;
    QTest::newRow("UTF-16BE without a mark, known by its '<?'")
        << QByteArray("\0<\0?\x3C\x3C\x3C\x3C\0<", 10) << 5 << 7;
    QTest::newRow("UTF-32LE: a run at the limit")
        << QByteArray("<\0\0\0\x3C\x3C\0\0\x3C\0\0\x01<\0\0\0", 16) << 8 << -1;
    QTest::newRow("UTF-32LE: a run one over")
        << QByteArray("<\0\0\0\x3C\x3C\0\0\x3C\0\0\x01<\0\0\0", 16) << 7 << 11;
}

// The counting device between a page and the XML reader, with a small limit,
// read in chunks of several sizes.
void TestParser::runLimitCounting()
{
    QFETCH(QByteArray, input);
    QFETCH(int, limit);
    QFETCH(int, passed);

    for (const int chunk : { 4, 8, 8192 }) {
        QBuffer source(&input);
        QVERIFY(source.open(QIODevice::ReadOnly));
        ImpExp_RunLimitDevice device(&source, limit);
        QByteArray through;
        char buffer[8192];
        for (qint64 got; (got = device.read(buffer, chunk)) > 0;)
            through.append(buffer, int(got));
        QCOMPARE(through, input.left(passed < 0 ? input.size() : passed));
        QCOMPARE(device.overLimit(), passed >= 0);
        QVERIFY(device.atEnd());
    }
}

// A FIFO named like the first page gives "No file to read" at once; nothing
// waits for a writer.
void TestParser::fifoPageEndsTheSet()
{
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("p_%1.xml"));
    QVERIFY(::mkfifo(QFile::encodeName(pathTemplate.arg(QStringLiteral("00"))).constData(), 0600)
            == 0);
    const QByteArray first = withDeadline([&] {
        ImpExp_XMLParser parser(pathTemplate);
        ImpExp_Item item(QStringLiteral("contact"));
        return messageOf<ImpExp_FatalException>([&] { parser.getItem(item, false); }).toUtf8();
    });
    QCOMPARE(first, QByteArray("No file to read"));

    // A FIFO after the last page: tst_setcheck's special files, for the reader too.
}

QTEST_GUILESS_MAIN(TestParser)
#include "tst_parser.moc"
