// Page files written to hurt the reader: it must refuse them cleanly, with the
// items before the damage intact, in time and memory that grow with the input.
#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QFile>
#include <QTemporaryDir>
#include <QVector>
#include <QtTest>

namespace
{

const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
const QByteArray rootStart
    = "<vel:moxara xmlns:vel=\"http://ns.velxml.org/impexp/1.0\" created=\"20260101T120000Z\" "
      "schemaVersion=\"1.0\" id=\"e\" deviceId=\"d\"><vel:directory max=\"0\" pageSize=\"9\" "
      "page=\"1\" totalPage=\"1\">";
const QByteArray rootEnd = "</vel:directory></vel:moxara>\n";

QByteArray page(const QByteArray &items)
{
    return declaration + rootStart + items + rootEnd;
}

QByteArray contact(const QByteArray &duid, const QByteArray &lastName = "Doe")
{
    return "<vel:contact duid=\"" + duid + "\"><vel:lastName xml:space=\"preserve\">" + lastName
        + "</vel:lastName></vel:contact>";
}

// The billion laughs: ten levels of ten references each.
QByteArray entityBomb()
{
    QByteArray dtd = "<!DOCTYPE vel:moxara [\n<!ENTITY l0 \"ha\">\n";
    for (int level = 1; level < 10; ++level) {
        QByteArray value;
        for (int i = 0; i < 10; ++i)
            value += "&l" + QByteArray::number(level - 1) + ';';
        dtd += "<!ENTITY l" + QByteArray::number(level) + " \"" + value + "\">\n";
    }
    return declaration + dtd + "]>\n" + rootStart + contact("&l9;") + rootEnd;
}

// @p text as UTF-16 bytes, with no byte-order mark.
QByteArray utf16(const QString &text, QSysInfo::Endian order)
{
    QByteArray bytes;
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xff);
        bytes += order == QSysInfo::BigEndian ? high : low;
        bytes += order == QSysInfo::BigEndian ? low : high;
    }
    return bytes;
}

struct Outcome {
    QVector<ImpExp_Item> items;
    QString message; // empty when the set ended with false
};

// Reads contacts with their elements until false or an exception.
Outcome readContacts(const QString &pathTemplate)
{
    Outcome outcome;
    ImpExp_XMLParser parser(pathTemplate);
    try {
        for (;;) {
            ImpExp_Item item(QStringLiteral("contact"));
            if (!parser.getItem(item, true))
                return outcome;
            outcome.items.append(item);
        }
    } catch (const ImpExp_FatalException &e) {
        outcome.message = QString::fromLatin1(e.what());
    }
    return outcome;
}

// Peak resident memory of this process in KiB, from /proc.
qint64 peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts a new peak at the current resident size (Linux 4.0 and later).
bool resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace

class HostileTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void refused_data();
    void refused();
    void accepted_data();
    void accepted();
    void hugeValueInBoundedMemory();
    void cutEvery97thByte();

private:
    QTemporaryDir directory;
    QString pathTemplate;
    void writePage(int fileNumber, const QByteArray &content);
};

void HostileTest::init()
{
    QVERIFY(directory.isValid());
    pathTemplate = directory.filePath(QStringLiteral("page_%1.xml"));
    for (int fileNumber = 0; fileNumber < 3; ++fileNumber)
        QFile::remove(pathTemplate.arg(fileNumber, 2, 10, QLatin1Char('0')));
}

void HostileTest::writePage(int fileNumber, const QByteArray &content)
{
    QFile file(pathTemplate.arg(fileNumber, 2, 10, QLatin1Char('0')));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

void HostileTest::refused_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second"); // page file 01, when not empty
    QTest::addColumn<int>("itemsBefore");
    QTest::addColumn<QString>("message");

    const QString invalid = QStringLiteral("Invalid input file");
    const QString failed = QStringLiteral("xml parsing failed");
    const QByteArray one = contact("1");

    QTest::newRow("entity expansion bomb in an internal DTD subset")
        << entityBomb() << QByteArray() << 0 << invalid;
    QTest::newRow("entity expansion bomb on the second page")
        << page(one) << entityBomb() << 1 << invalid;
    QTest::newRow("external entity in a DTD")
        << declaration + "<!DOCTYPE m [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + rootStart
            + contact("&x;") + rootEnd
        << QByteArray() << 0 << invalid;
    QTest::newRow("100,000 elements deep, never closed")
        << declaration + rootStart + "<vel:contact duid=\"1\">" + QByteArray("<a>").repeated(100000)
        << QByteArray() << 0 << failed;
    // The reader decodes its input a block of some kilobytes at a time, and
    // bad bytes in the first block fail the first token: the whole file is
    // refused, items before the bad bytes too.
    QTest::newRow("invalid UTF-8 early in the file")
        << page(one + contact("2", "D\xC3\x28oe")) << QByteArray() << 0 << invalid;
    // Further on, the items before the damage come back first.
    const QByteArray padded = one + "<!--" + QByteArray(20000, '-').replace("--", "- ") + "-->";
    QTest::newRow("invalid UTF-8 after an item")
        << page(padded + contact("2", "\xFF\xFE")) << QByteArray() << 1 << failed;
    QTest::newRow("overlong UTF-8 for a less-than sign")
        << page(padded + contact("2", "\xC0\xBC")) << QByteArray() << 1 << failed;
    QTest::newRow("UTF-8 encoded surrogate")
        << page(padded + contact("2", "\xED\xA0\x80")) << QByteArray() << 1 << failed;
    QTest::newRow("UTF-8 cut inside a character")
        << page(padded + contact("2", "\xE2\x82")) << QByteArray() << 1 << failed;
    QTest::newRow("NUL byte in a value")
        << page(contact("1", QByteArray("a\0b", 3))) << QByteArray() << 0 << failed;
    QTest::newRow("forbidden character reference")
        << page(one + contact("2", "&#1;")) << QByteArray() << 1 << failed;
    // No byte-order mark and a declaration that says UTF-8: the reader goes
    // by the first bytes and reads the items, but refuses the page's end.
    QTest::newRow("UTF-16 without a byte-order mark, declaring UTF-8")
        << utf16(QString::fromLatin1(page(one + contact("2"))), QSysInfo::BigEndian) << QByteArray()
        << 2 << failed;
    QTest::newRow("two root elements")
        << page(one) + rootStart + contact("2") + rootEnd << QByteArray() << 1 << failed;
    QTest::newRow("content after the root")
        << page(one) + "<vel:contact duid=\"2\"/>" << QByteArray() << 1 << failed;
}

// Refused with the given message after the given items, quickly, and the
// parser stays refused.
void HostileTest::refused()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(int, itemsBefore);
    QFETCH(QString, message);
    writePage(0, first);
    if (!second.isEmpty())
        writePage(1, second);

    const Outcome outcome = readContacts(pathTemplate);
    QCOMPARE(outcome.items.size(), itemsBefore);
    for (int i = 0; i < itemsBefore; ++i)
        QCOMPARE(outcome.items.at(i).getAttribute(QStringLiteral("duid")), QString::number(i + 1));
    QCOMPARE(outcome.message, message);
}

void HostileTest::accepted_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("lastName"); // of the single contact on the page

    const QByteArray one = page(contact("1", "D&#246;e &amp; \xE2\x82\xAC"));
    const QString name = QString::fromUtf8("D\xC3\xB6"
                                           "e & \xE2\x82\xAC");
    // A byte-order mark is no fault: a page saved as UTF-16 reads as written.
    QTest::newRow("UTF-16 little endian with a byte-order mark") << QByteArray("\xFF\xFE", 2)
            + utf16(QString::fromUtf8(one).replace(QLatin1String("UTF-8"), QLatin1String("UTF-16")),
                    QSysInfo::LittleEndian) << name;
    QTest::newRow("UTF-16 big endian with a byte-order mark, no declaration")
        << QByteArray("\xFE\xFF", 2)
            + utf16(QString::fromUtf8(one.mid(declaration.size())), QSysInfo::BigEndian)
        << name;
    // Nesting flattens: only the innermost child gives a pair.
    QTest::newRow("100,000 elements deep inside an item")
        << page("<vel:contact duid=\"1\">" + QByteArray("<vel:lastName>").repeated(100000) + "x"
                + QByteArray("</vel:lastName>").repeated(100000) + "</vel:contact>")
        << QStringLiteral("x");
}

void HostileTest::accepted()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, lastName);
    writePage(0, content);

    const Outcome outcome = readContacts(pathTemplate);
    QCOMPARE(outcome.message, QString());
    QCOMPARE(outcome.items.size(), 1);
    const ImpExp_Item &item = outcome.items.at(0);
    QCOMPARE(item.getAttribute(QStringLiteral("duid")), QStringLiteral("1"));
    QCOMPARE(item.getItemElements().size(), 1);
    QCOMPARE(item.getElement(QStringLiteral("lastName")), lastName);
}

// A 50 MB value is written and read back whole; neither side needs more than
// a few copies of it.
void HostileTest::hugeValueInBoundedMemory()
{
    const int size = 50 * 1000 * 1000;
    QString value;
    value.reserve(size);
    const QString chunk = QStringLiteral("Jane & <Doe> \"\u00e9\u20ac\" \n\t");
    while (value.size() + chunk.size() <= size)
        value += chunk;
    value += QString(size - value.size(), QLatin1Char('x'));
    const qint64 valueKiB = qint64(size) * 2 / 1024; // UTF-16 in memory

    const bool measured = resetPeak();
    const qint64 before = peakKiB();
    {
        ImpExp_Item item(QStringLiteral("contact"), QStringLiteral("1"), QString(), QDateTime());
        item.addElement(QStringLiteral("note"), value);
        ImpExp_XMLBuilder builder(QStringLiteral("d"), QStringLiteral("e"), pathTemplate, 1,
                                  QDateTime::fromSecsSinceEpoch(0, Qt::UTC), 1, 0,
                                  QStringLiteral("VelDirectory"), QDateTime());
        builder.putItem(item);
    }
    const qint64 afterWriting = peakKiB();
    QVERIFY(QFileInfo(pathTemplate.arg(0, 2, 10, QLatin1Char('0'))).size() > size);

    const bool measuredReading = resetPeak();
    const qint64 beforeReading = peakKiB();
    const Outcome outcome = readContacts(pathTemplate);
    const qint64 afterReading = peakKiB();
    QCOMPARE(outcome.message, QString());
    QCOMPARE(outcome.items.size(), 1);
    QVERIFY(outcome.items.at(0).getElement(QStringLiteral("note")) == value);

    if (!measured || !measuredReading || before < 0)
        QSKIP("peak memory cannot be reset here");
    qInfo("value %lld KiB; peak grew by %lld KiB writing, %lld KiB reading", valueKiB,
          afterWriting - before, afterReading - beforeReading);
    QVERIFY2(afterWriting - before < 8 * valueKiB, "writing needs too much memory");
    QVERIFY2(afterReading - beforeReading < 8 * valueKiB, "reading needs too much memory");
}

// A valid page cut after every 97th byte: the items wholly before the cut come
// back unchanged, then the reader refuses the rest.
void HostileTest::cutEvery97thByte()
{
    QVector<ImpExp_Item> written;
    {
        ImpExp_XMLBuilder builder(QStringLiteral("dev"), QStringLiteral("exp"), pathTemplate, 50,
                                  QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC), 12, 3,
                                  QStringLiteral("VelDirectory"), QDateTime::fromTime_t(0));
        for (int i = 0; i < 12; ++i) {
            const QString n = QString::number(i + 1);
            const Contact_Item item(
                n, i % 3 ? QString() : QStringLiteral("p") + n,
                QDateTime::fromSecsSinceEpoch(1600000000 + i, Qt::UTC),
                QStringLiteral("J\u00f6rg ") + n, QStringLiteral("<Doe & \u20ac\U0001F600>"),
                QStringLiteral("j%1@example.org").arg(n), QString(), QStringLiteral("+49 1"),
                QString(), QString(), i % 2 ? QByteArray("aGVsbG8=") : QByteArray(), QString(),
                QString(), QString(), QStringLiteral("Line\none"), QString(), QString());
            builder.putItem(item);
            written.append(item);
        }
    }
    QFile full(pathTemplate.arg(0, 2, 10, QLatin1Char('0')));
    QVERIFY(full.open(QIODevice::ReadOnly));
    const QByteArray content = full.readAll();
    full.close();

    // Where each item's end tag ends, where the root's start tag ends, and
    // where the document is complete.
    QVector<int> itemEnds;
    const QByteArray itemEnd = "</vel:contact>";
    for (int at = content.indexOf(itemEnd); at >= 0; at = content.indexOf(itemEnd, at + 1))
        itemEnds.append(at + itemEnd.size());
    QCOMPARE(itemEnds.size(), written.size());
    const int rootTagEnd = content.indexOf('>', content.indexOf("<vel:moxara")) + 1;
    const int documentEnd = content.lastIndexOf("</vel:moxara>") + int(qstrlen("</vel:moxara>"));

    int cuts = 0;
    for (int cut = 97; cut < content.size(); cut += 97, ++cuts) {
        const QByteArray where = QByteArray("cut at ") + QByteArray::number(cut);
        writePage(0, content.left(cut));
        const Outcome outcome = readContacts(pathTemplate);

        int complete = 0;
        while (complete < itemEnds.size() && itemEnds.at(complete) <= cut)
            ++complete;
        QVERIFY2(outcome.items.size() == complete, where.constData());
        for (int i = 0; i < complete; ++i)
            QVERIFY2(outcome.items.at(i) == written.at(i), where.constData());
        const QString expected = cut < rootTagEnd ? QStringLiteral("Invalid input file")
            : cut < documentEnd                   ? QStringLiteral("xml parsing failed")
                                                  : QString();
        QVERIFY2(outcome.message == expected,
                 (where + ": " + outcome.message.toUtf8()).constData());
    }
    QVERIFY(cuts > 10);
}

QTEST_GUILESS_MAIN(HostileTest)
#include "tst_hostile.moc"
