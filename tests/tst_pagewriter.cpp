// The builder's page writer writes the bytes that QXmlStreamWriter (with
// auto-formatting, after the library's cleaning) writes for the same page: an
// escaping table of awkward values and a few hundred random items (fixed
// seed), run on every Qt version the library builds with.
#include "xml/ImpExp_PageWriter.h"
#include "xml/ImpExp_XmlText.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QXmlStreamWriter>
#include <QtTest>

namespace
{

using Pairs = QList<QPair<QString, QString>>;

struct Item {
    QString name;
    Pairs attributes;
    Pairs elements;
    bool withElements = true;
};

// A page as the builder lays it out, written by Qt's writer from cleaned texts.
QByteArray withQt(const QList<Item> &items)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter out(&buffer);
    out.setAutoFormatting(true);
    const auto clean = [](const QString &text) { return ImpExp_XmlText::cleaned(text); };
    out.writeStartDocument();
    out.writeStartElement(QStringLiteral("vel:moxara"));
    out.writeNamespace(QStringLiteral("http://ns.velxml.org/impexp/1.0"), QStringLiteral("vel"));
    out.writeAttribute(QStringLiteral("created"), QStringLiteral("20240305T140709Z"));
    out.writeStartElement(QStringLiteral("vel:directory"));
    out.writeAttribute(QStringLiteral("page"), QStringLiteral("1"));
    for (const Item &item : items) {
        out.writeStartElement(QStringLiteral("vel:") + clean(item.name));
        for (const auto &attribute : item.attributes)
            out.writeAttribute(clean(attribute.first), clean(attribute.second));
        for (const auto &element : item.withElements ? item.elements : Pairs()) {
            out.writeStartElement(QStringLiteral("vel:") + clean(element.first));
            out.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
            out.writeCharacters(clean(element.second));
            out.writeEndElement();
        }
        out.writeEndElement();
    }
    out.writeEndDocument();
    return buffer.data();
}

// The same page by the page writer. @p cleanedValues collects the answers
// to "was this value cleaned", values in the order written.
QByteArray withPageWriter(const QList<Item> &items, QList<bool> *cleanedValues = nullptr)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ImpExp_PageWriter out;
    const QLatin1String vel("vel");
    const auto note = [&](bool cleaned) {
        if (cleanedValues)
            *cleanedValues << cleaned;
    };
    out.startPage(&buffer);
    out.startElement(vel, u"moxara");
    out.namespaceDeclaration(vel, QLatin1String("http://ns.velxml.org/impexp/1.0"));
    out.attribute(u"created", u"20240305T140709Z");
    out.startElement(vel, u"directory");
    out.attribute(QLatin1String("page"), QLatin1String("1"));
    for (const Item &item : items) {
        out.startElement(vel, item.name);
        for (const auto &attribute : item.attributes)
            note(out.attribute(attribute.first, attribute.second));
        for (const auto &element : item.withElements ? item.elements : Pairs()) {
            out.startElement(vel, element.first);
            out.attribute(QLatin1String("xml:space"), QLatin1String("preserve"));
            note(out.characters(element.second));
            out.endElement();
        }
        out.endElement();
    }
    out.endPage();
    return buffer.data();
}

// Where two pages first differ, with a little context, for the failure text.
QByteArray firstDifference(const QByteArray &expected, const QByteArray &actual)
{
    qsizetype at = 0;
    while (at < expected.size() && at < actual.size() && expected.at(at) == actual.at(at))
        ++at;
    const qsizetype from = qMax<qsizetype>(0, at - 20);
    return "at byte " + QByteArray::number(qint64(at)) + ": expected ..."
        + expected.mid(from, 40).toPercentEncoding(" <>=\"/:") + "... got ..."
        + actual.mid(from, 40).toPercentEncoding(" <>=\"/:") + "...";
}

QString repeated(const char *text, int times)
{
    return QString::fromUtf8(text).repeated(times);
}

// Random text of the kinds that break writers: markup, line breaks, controls,
// lone surrogates, U+FFFE/U+FFFF, characters of every UTF-8 length.
QString randomText(QRandomGenerator &random, int length)
{
    static const char markup[] = "<>&\"';]]>";
    QString text;
    while (text.size() < length) {
        const int kind = int(random.bounded(10));
        const char32_t above = 0x10000 + random.bounded(0x100000u);
        if (kind == 0)
            text += QLatin1Char(markup[random.bounded(int(sizeof markup) - 1)]);
        else if (kind == 1)
            text += random.bounded(2) ? QStringLiteral("\r\n") : QStringLiteral("\t\n");
        else if (kind == 2)
            text += QString::fromUcs4(&above, 1);
        else if (kind == 3) // any BMP unit
            text += QChar(char16_t(random.bounded(0x10000u)));
        else if (kind == 4)
            text += QChar(char16_t(0x80 + random.bounded(0x780u)));
        else
            text += QLatin1Char(char(0x20 + random.bounded(95)));
    }
    return text;
}

} // namespace

class tst_PageWriter : public QObject
{
    Q_OBJECT

private slots:
    void escaping_data();
    void escaping();
    void randomItems();
};

void tst_PageWriter::escaping_data()
{
    QTest::addColumn<QString>("value");

    QTest::newRow("empty") << QString();
    QTest::newRow("tab") << QStringLiteral("a\tb");
    QTest::newRow("line feed") << QStringLiteral("a\nb");
    QTest::newRow("carriage return") << QStringLiteral("a\rb");
    QTest::newRow("CRLF") << QStringLiteral("a\r\nb\r\n");
    for (char16_t c = 0; c < 0x80; ++c)
        QTest::addRow("ASCII %02x", unsigned(c)) << QStringLiteral("<%1>").arg(QChar(c));
    for (char16_t c = 0x80; c < 0xA0; ++c)
        QTest::addRow("C1 %02x", unsigned(c)) << QStringLiteral("x%1y").arg(QChar(c));
    QTest::newRow("two-byte") << QStringLiteral("\u00e9\u00df\u07ff\u0080");
    QTest::newRow("three-byte") << QStringLiteral("\u20ac\u4e2d\u0800\ud7ff\ue000\ufffd");
    QTest::newRow("four-byte") << QString::fromUtf8("\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF");
    QTest::newRow("lone high at the end") << QStringLiteral("a") + QChar(0xD83D);
    QTest::newRow("lone high before text") << QChar(0xD83D) + QStringLiteral("a");
    QTest::newRow("two highs, one low") << QString(QChar(0xD83D)) + QChar(0xD83D) + QChar(0xDE00);
    QTest::newRow("lone low") << QStringLiteral("a") + QChar(0xDE00) + QStringLiteral("b");
    QTest::newRow("low before high") << QString(QChar(0xDE00)) + QChar(0xD83D);
    QTest::newRow("U+FFFE, U+FFFF") << QString(QChar(0xFFFE)) + QChar(0xFFFF);
    QTest::newRow("run of &") << repeated("&", 100000);
    QTest::newRow("run of <") << repeated("<", 100000);
    QTest::newRow("run of ]]>") << repeated("]]>", 50000);
    QTest::newRow("run of quotes and line breaks") << repeated("\"\r\n\t", 30000);
    // A pair, a reference and a three-byte character across every block end.
    QTest::newRow("pairs across blocks") << repeated("\xF0\x9F\x98\x80"
                                                     "a",
                                                     70000);
    QTest::newRow("entities across blocks") << repeated("&\"b", 70000);
    QRandomGenerator random(20);
    QTest::newRow("1 MB") << randomText(random, 1024 * 1024);
}

// Every value as an attribute value and as element text, in an item with
// elements, one without (an empty-element tag) and one with an empty element.
void tst_PageWriter::escaping()
{
    QFETCH(QString, value);
    Item full { QStringLiteral("contact"),
                { { QStringLiteral("duid"), value } },
                { { QStringLiteral("note"), value }, { QStringLiteral("empty"), QString() } } };
    Item bare = full;
    bare.withElements = false;
    const QList<Item> items { full, bare };

    QList<bool> cleaned;
    const QByteArray expected = withQt(items);
    const QByteArray actual = withPageWriter(items, &cleaned);
    QVERIFY2(actual == expected, firstDifference(expected, actual).constData());
    const bool dirty = !ImpExp_XmlText::isClean(value);
    QCOMPARE(cleaned, (QList<bool> { dirty, dirty, false, dirty }));
}

// Random names (written as they are, but cleaned) and values, pages of many
// items, so that blocks end anywhere.
void tst_PageWriter::randomItems()
{
    QRandomGenerator random(2020);
    for (int page = 0; page < 20; ++page) {
        QList<Item> items;
        QList<bool> expectedCleaned;
        for (int i = int(random.bounded(40)); i >= 0; --i) {
            Item item;
            item.name = randomText(random, 1 + int(random.bounded(8)));
            item.withElements = random.bounded(4) != 0;
            for (int a = int(random.bounded(4)); a > 0; --a) {
                item.attributes << qMakePair(randomText(random, 1 + int(random.bounded(6))),
                                             randomText(random, int(random.bounded(30))));
                expectedCleaned << !ImpExp_XmlText::isClean(item.attributes.last().second);
            }
            for (int e = int(random.bounded(6)); e > 0; --e) {
                const int length = random.bounded(10) ? int(random.bounded(60)) : 5000;
                item.elements << qMakePair(randomText(random, 1 + int(random.bounded(6))),
                                           randomText(random, length));
                if (item.withElements)
                    expectedCleaned << !ImpExp_XmlText::isClean(item.elements.last().second);
            }
            items << item;
        }
        QList<bool> cleaned;
        const QByteArray expected = withQt(items);
        const QByteArray actual = withPageWriter(items, &cleaned);
        QVERIFY2(actual == expected,
                 qPrintable(QStringLiteral("page %1 ").arg(page)
                            + QString::fromLatin1(firstDifference(expected, actual))));
        QCOMPARE(cleaned, expectedCleaned);
    }
}

QTEST_APPLESS_MAIN(tst_PageWriter)
#include "tst_pagewriter.moc"
