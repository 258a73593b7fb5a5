// Page files written to hurt the reader: it must refuse them cleanly, with the
// items before the damage intact, in time and memory that grow with the input.
// The set check gives the same verdict on each.
#include <ImpExp_SetCheck.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <xml/ImpExp_Format.h>

#include <QFile>
#include <QTemporaryDir>
#include <QVector>
#include <QtTest>

#include <algorithm>
#include <utility>

static const QTemporaryDir directory;
static const QString pathTemplate = directory.filePath(QStringLiteral("page_%1.xml"));
static const QString firstPage = pathTemplate.arg(0, 2, 10, QLatin1Char('0'));

static const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
static const QByteArray rootStart
    = "<vel:moxara xmlns:vel=\"http://ns.velxml.org/impexp/1.0\" created=\"20260101T120000Z\" "
      "schemaVersion=\"1.0\" id=\"e\" deviceId=\"d\"><vel:directory max=\"0\" pageSize=\"9\" "
      "page=\"1\" totalPage=\"1\">";
static const QByteArray rootEnd = "</vel:directory></vel:moxara>\n";
// Every contact's last name, as written (ASCII, so any encoding carries it) and as read.
static const QByteArray lastNameXml = "D&#246;e &amp; &#x20AC;";
static const QString lastName = QString::fromUtf8("D\xC3\xB6"
                                                  "e & \xE2\x82\xAC");

static QByteArray page(const QByteArray &items)
{
    return declaration + rootStart + items + rootEnd;
}

static QByteArray contact(const QByteArray &duid, const QByteArray &name = lastNameXml)
{
    return "<vel:contact duid=\"" + duid + "\"><vel:lastName xml:space=\"preserve\">" + name
        + "</vel:lastName></vel:contact>";
}

// @p text as big-endian UTF-16 bytes, with no byte-order mark.
static QByteArray utf16(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text)
        bytes.append(char(c.row())).append(char(c.cell()));
    return bytes;
}

static bool writeFile(const QString &fileName, const QByteArray &content)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

static void writePage(const QByteArray &content)
{
    QFile file(firstPage);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

// The set check's verdict on the page, in the reader's words: it must refuse
// what the reader refuses, and accept what the reader reads through.
static QString checkVerdict()
{
    ImpExp_SetCheck check(pathTemplate);
    check.run();
    for (const ImpExp_SetCheck::Problem &problem : check.problems()) {
        if (problem.kind == ImpExp_SetCheck::ProblemKind::RootRefused)
            return QStringLiteral("Invalid input file");
        if (problem.kind == ImpExp_SetCheck::ProblemKind::NotWellFormed)
            return QStringLiteral("xml parsing failed");
    }
    return check.isComplete() ? QString() : QStringLiteral("incomplete");
}

// The contacts the set check counts on the page.
static int checkedContacts()
{
    ImpExp_SetCheck check(pathTemplate);
    check.run();
    int contacts = 0;
    for (const ImpExp_SetCheck::Page &page : check.pages()) {
        for (const ImpExp_SetCheck::KindCount &kind : page.kinds)
            contacts += kind.itemName == QLatin1String("contact") ? kind.items : 0;
    }
    return contacts;
}

// Reads contacts with their elements into @p items until false or an
// exception; returns the exception's message, or an empty one.
static QString readContacts(QVector<ImpExp_Item> &items)
{
    ImpExp_XMLParser parser(pathTemplate);
    try {
        for (ImpExp_Item item(QStringLiteral("contact")); parser.getItem(item, true);)
            items.append(std::exchange(item, ImpExp_Item(QStringLiteral("contact"))));
    } catch (const ImpExp_FatalException &e) {
        return QString::fromLatin1(e.what());
    }
    return QString();
}

// How far the peak resident memory grows while @p work runs, in KiB, or -1
// where /proc cannot say (resetting the peak needs Linux 4.0 or later).
template<typename Work> static qint64 peakGrowth(Work work)
{
    const auto peakKiB = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
        const int at = text.indexOf("VmHWM:");
        return at < 0 ? -1 : text.mid(at + 6).trimmed().split(' ')[0].toLongLong();
    };
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    const bool reset
        = clearRefs.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && clearRefs.write("5") == 1;
    const qint64 before = peakKiB();
    work();
    return reset && before >= 0 ? peakKiB() - before : -1;
}

// Writes page 00 streaming, never holding the run in memory: @p before, then
// @p count times the code unit(s) @p filler, then @p after, each already in the
// page's encoding.
static bool writeLongRun(const QByteArray &before, const QByteArray &filler, qint64 count,
                         const QByteArray &after)
{
    QFile file(firstPage);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(before) != before.size())
        return false;
    const qint64 perChunk = 1 << 16;
    const QByteArray chunk = filler.repeated(int(perChunk));
    for (qint64 left = count; left > 0; left -= perChunk) {
        const QByteArray piece = left >= perChunk ? chunk : filler.repeated(int(left));
        if (file.write(piece) != piece.size())
            return false;
    }
    return file.write(after) == after.size();
}

// @p text in UTF-16LE, with no byte-order mark.
static QByteArray utf16le(const QByteArray &text)
{
    QByteArray bytes;
    for (const char c : text)
        bytes.append(c).append('\0');
    return bytes;
}

class HostileTest : public QObject
{
    Q_OBJECT

private slots:
    void pages_data();
    void pages();
    void hugeValueInBoundedMemory();
    void cutEvery97thByte();
    void runLimit_data();
    void runLimit();
};

void HostileTest::pages_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("items"); // read before the message, duids "1", "2"...
    QTest::addColumn<QString>("message"); // empty when the page is accepted

    const QString invalid = QStringLiteral("Invalid input file");
    const QString failed = QStringLiteral("xml parsing failed");
    const QByteArray one = contact("1");

    // The billion laughs: ten levels of ten references each.
    QByteArray bomb = "<!DOCTYPE vel:moxara [\n<!ENTITY l0 \"ha\">\n";
    for (char level = '1'; level <= '9'; ++level)
        bomb += QByteArray("<!ENTITY l") + level + " \""
            + (QByteArray("&l") + char(level - 1) + ';').repeated(10) + "\">\n";
    QTest::newRow("entity expansion bomb in an internal DTD subset")
        << declaration + bomb + "]>\n" + rootStart + contact("&l9;") + rootEnd << 0 << invalid;
    // Nesting flattens: only the innermost child gives a pair.
    QTest::newRow("100,000 elements deep inside an item, accepted")
        << page("<vel:contact duid=\"1\">" + QByteArray("<vel:lastName>").repeated(100000)
                + lastNameXml + QByteArray("</vel:lastName>").repeated(100000) + "</vel:contact>")
        << 1 << QString();
    // The reader decodes its input a block of some kilobytes at a time, and
    // bad bytes in the first block fail the first token: the whole file is
    // refused, items before the bad bytes too. Further on, the items before
    // the damage come back first.
    QTest::newRow("invalid UTF-8 early in the file")
        << page(one + contact("2", "D\xC3\x28oe")) << 0 << invalid;
    QTest::newRow("overlong UTF-8 for a less-than sign, after an item")
        << page(one + "<!--" + QByteArray(20000, '-').replace("--", "- ") + "-->"
                + contact("2", "\xC0\xBC"))
        << 1 << failed;
    QTest::newRow("NUL byte in a value")
        << page(contact("1", QByteArray("a\0b", 3))) << 0 << failed;
    QTest::newRow("forbidden character reference")
        << page(one + contact("2", "&#1;")) << 1 << failed;
    // No byte-order mark and a declaration that says UTF-8. Qt 5's reader
    // goes by the first bytes and reads the items, but refuses the page's
    // end; Qt 6's believes the declaration and refuses the page at its root.
    // Either way the page is refused with a message.
    const bool qt5 = QT_VERSION_MAJOR == 5;
    QTest::newRow("UTF-16 without a byte-order mark, declaring UTF-8")
        << utf16(QString::fromLatin1(page(one + contact("2")))) << (qt5 ? 2 : 0)
        << (qt5 ? failed : invalid);
    // A byte-order mark is no fault: a page saved as UTF-16 reads as written.
    QTest::newRow("UTF-16 with a byte-order mark, accepted") << QByteArray("\xFE\xFF", 2)
            + utf16(QString::fromLatin1(page(one)).replace(QLatin1String("UTF-8"),
                                                           QLatin1String("UTF-16")))
                                                             << 1 << QString();
    QTest::newRow("two root elements")
        << page(one) + rootStart + contact("2") + rootEnd << 1 << failed;
}

void HostileTest::pages()
{
    QFETCH(QByteArray, content);
    QFETCH(int, items);
    QFETCH(QString, message);
    writePage(content);

    QVector<ImpExp_Item> read;
    QCOMPARE(readContacts(read), message);
    QCOMPARE(read.size(), items);
    QCOMPARE(checkVerdict(), message);
    // Where the reader reads through, the check counts the contacts it gets.
    if (message.isEmpty())
        QCOMPARE(checkedContacts(), read.size());
    for (int i = 0; i < items; ++i) {
        QCOMPARE(read.at(i).getAttribute(QStringLiteral("duid")), QString::number(i + 1));
        QCOMPARE(read.at(i).getItemElements(),
                 ImpExp_PairList({ qMakePair(QStringLiteral("lastName"), lastName) }));
    }
}

// A value of 36 M characters (some 60 MB written, just under the limit on a
// run between two '<') is written and read back whole; neither side needs
// more than a few copies of it (UTF-16 in memory, so 72 MB each).
void HostileTest::hugeValueInBoundedMemory()
{
    const QString value = QStringLiteral("Jane & <Doe> \"\u00e9\u20ac\" \n\t").repeated(1500000);
    const qint64 writing = peakGrowth([&] {
        ImpExp_Item item(QStringLiteral("contact"), QStringLiteral("1"), QString(), QDateTime());
        item.addElement(QStringLiteral("note"), value);
        ImpExp_XMLBuilder builder(QStringLiteral("d"), QStringLiteral("e"), pathTemplate, 1,
                                  QDateTime::fromSecsSinceEpoch(0, Qt::UTC), 1, 0,
                                  QStringLiteral("VelDirectory"), QDateTime());
        builder.putItem(item);
    });
    QVector<ImpExp_Item> read;
    QString message;
    const qint64 reading = peakGrowth([&] { message = readContacts(read); });
    QCOMPARE(message, QString());
    QCOMPARE(read.size(), 1);
    QVERIFY(read.at(0).getElement(QStringLiteral("note")) == value);

    if (writing < 0 || reading < 0)
        QSKIP("peak memory cannot be reset here");
    qInfo("peak grew by %lld KiB writing, %lld KiB reading", writing, reading);
    // Eight copies of two bytes a character, in KiB.
    QVERIFY2(qMax(writing, reading) < value.size() / 64, "a huge value needs too much memory");
}

// A valid page cut after every 97th byte: the items wholly before the cut come
// back unchanged, then the reader refuses the rest.
void HostileTest::cutEvery97thByte()
{
    QVector<ImpExp_Item> written;
    {
        ImpExp_XMLBuilder builder(QStringLiteral("dev"), QStringLiteral("exp"), pathTemplate, 50,
                                  QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC), 12, 3,
                                  QStringLiteral("VelDirectory"), QDateTime::fromSecsSinceEpoch(0));
        for (int i = 0; i < 12; ++i) {
            const QString n = QString::number(i + 1);
            ImpExp_Item item(QStringLiteral("contact"), n,
                             i % 3 ? QString() : QStringLiteral("p") + n,
                             QDateTime::fromSecsSinceEpoch(1600000000 + i, Qt::UTC));
            item.addElement(QStringLiteral("firstName"), QStringLiteral("J\u00f6rg ") + n);
            item.addElement(QStringLiteral("note"),
                            QStringLiteral("<Doe & \u20ac\U0001F600>\nLine"));
            builder.putItem(item);
            written.append(item);
        }
    }
    QFile full(firstPage);
    QVERIFY(full.open(QIODevice::ReadOnly));
    const QByteArray content = full.readAll();
    QCOMPARE(content.count("</vel:contact>"), written.size());

    // Items are complete once their end tag is; the root's start tag and the
    // document's end decide the message.
    const int rootTagEnd = content.indexOf('>', content.indexOf("<vel:moxara")) + 1;
    const int documentEnd = content.lastIndexOf("</vel:moxara>") + int(qstrlen("</vel:moxara>"));
    for (int cut = 97; cut < content.size(); cut += 97) {
        writePage(content.left(cut));
        QVector<ImpExp_Item> read;
        const QString message = readContacts(read);
        const int complete = content.left(cut).count("</vel:contact>");
        const QString expected = cut < rootTagEnd ? QStringLiteral("Invalid input file")
            : cut < documentEnd                   ? QStringLiteral("xml parsing failed")
                                                  : QString();
        QVERIFY2(message == expected && checkVerdict() == expected && read.size() == complete
                     && std::equal(written.cbegin(), written.cbegin() + complete, read.cbegin()),
                 qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(message)));
    }
}

void HostileTest::runLimit_data()
{
    QTest::addColumn<QString>("encoding"); // "UTF-8", or "UTF-16LE" with a byte-order mark
    QTest::addColumn<QByteArray>("filler"); // one character of the run, as written
    QTest::addColumn<qint64>("overLimit"); // filler characters beyond what the limit allows
    QTest::addColumn<QString>("where"); // the run: "note" (a field's text) or "after" the root
    QTest::addColumn<QString>("message"); // the reader's, and the check's verdict
    QTest::addColumn<bool>("slow"); // run only with VELXML_SLOW_TESTS set (ctest -L slow)

    const QString failed = QStringLiteral("xml parsing failed");
    QTest::newRow("a text at the limit")
        << "UTF-8" << QByteArray("a") << qint64(0) << "note" << QString() << false;
    QTest::newRow("a text one byte over")
        << "UTF-8" << QByteArray("a") << qint64(1) << "note" << failed << false;
    // The page ends cleanly where the run is cut off: the reader must still fail.
    QTest::newRow("whitespace after the root, over")
        << "UTF-8" << QByteArray(" ") << qint64(1) << "after" << failed << true;
    // U+3C3C is the bytes 3C 3C: each looks like '<' to a byte count.
    QTest::newRow("UTF-16 text over the limit, its bytes like '<'")
        << "UTF-16LE" << QByteArray("\x3C\x3C") << qint64(1) << "note" << failed << true;
}

// A run between two '<' longer than the limit fails the page like any
// malformed one, for the reader and the check; up to the limit it reads.
void HostileTest::runLimit()
{
    QFETCH(QString, encoding);
    QFETCH(QByteArray, filler);
    QFETCH(qint64, overLimit);
    QFETCH(QString, where);
    QFETCH(QString, message);
    QFETCH(bool, slow);
    if (slow && qEnvironmentVariableIsEmpty("VELXML_SLOW_TESTS"))
        QSKIP("slow: set VELXML_SLOW_TESTS (ctest -L slow runs it)");

    const bool wide = encoding == QLatin1String("UTF-16LE");
    const auto encoded = [&](const QByteArray &text) { return wide ? utf16le(text) : text; };
    const QByteArray noteStart = "<vel:note>";
    QByteArray before = (wide ? QByteArray("\xFF\xFE") : declaration)
        + encoded(rootStart + R"(<vel:contact duid="1">)" + noteStart);
    QByteArray after = encoded("</vel:note></vel:contact>" + rootEnd);
    // The limit counts the bytes after one '<' up to the next.
    qint64 allowed = ImpExp_Format::runLimitBytes - (noteStart.size() - 1) * (wide ? 2 : 1);
    if (where == QLatin1String("after")) {
        before += after;
        after.clear();
        allowed = ImpExp_Format::runLimitBytes - qint64(qstrlen("/vel:moxara>\n"));
    }
    const qint64 count = allowed / filler.size() + overLimit;
    QVERIFY(writeLongRun(before, filler, count, after));

    QVector<ImpExp_Item> read;
    QCOMPARE(readContacts(read), message);
    QCOMPARE(read.size(), message.isEmpty() || where == QLatin1String("after") ? 1 : 0);
    if (message.isEmpty() && where == QLatin1String("note"))
        QCOMPARE(read.at(0).getElement(QStringLiteral("note")).size(), int(count));
    QCOMPARE(checkVerdict(), message);

    // The check names the limit, and goes on with the next page.
    const QString secondPage = pathTemplate.arg(1, 2, 10, QLatin1Char('0'));
    QVERIFY(writeFile(secondPage, page(contact("2"))));
    ImpExp_SetCheck check(pathTemplate);
    check.run();
    QFile::remove(secondPage);
    QCOMPARE(check.pages().size(), 2);
    if (!message.isEmpty())
        QVERIFY(check.problems().constFirst().message.contains(QStringLiteral("64 MiB")));
}

QTEST_GUILESS_MAIN(HostileTest)
#include "tst_hostile.moc"
