// What the builder tells a host about pages it could not write, and which
// items it can write at all. Write failures are made without root: a page
// file linked to /dev/full, a child process under a file size limit, a page
// in a folder that does not exist.

#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include "../fuzz/XmlText.h"
#include "Thrown.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const QDateTime created(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC);

ImpExp_XMLBuilder make(const QString &pattern, int pageSize, int totalItems)
{
    return ImpExp_XMLBuilder(QStringLiteral("DEV-1"), QStringLiteral("EXP-7"), pattern, pageSize,
                             created, totalItems, 0, QStringLiteral("VelDirectory"),
                             QDateTime::fromSecsSinceEpoch(0));
}

// A contact whose element holds @p size characters.
ImpExp_Item contact(int number, int size = 10)
{
    ImpExp_Item item(QStringLiteral("contact"));
    item.addAttribute(QStringLiteral("duid"), QString::number(number));
    item.addElement(QStringLiteral("lastName"), QString(size, QLatin1Char('x')));
    return item;
}

// The duids on one page file, read by the library's reader; "broken" when it
// refuses the page.
QString duidsOn(const QString &page)
{
    QTemporaryDir alone;
    if (!QFile::copy(page, alone.filePath(QStringLiteral("p_00.xml"))))
        return QStringLiteral("missing");
    QStringList duids;
    try {
        ImpExp_XMLParser parser(alone.filePath(QStringLiteral("p_%1.xml")));
        for (ImpExp_Item item(QStringLiteral("contact")); parser.getItem(item, true);
             item = ImpExp_Item(QStringLiteral("contact")))
            duids << item.getAttribute(QStringLiteral("duid"));
    } catch (const ImpExp_Exception &) {
        return QStringLiteral("broken");
    }
    return duids.join(QLatin1Char(' '));
}

using Pairs = QList<QPair<QString, QString>>;

} // namespace

Q_DECLARE_METATYPE(Pairs)

class tst_WriteStatus : public QObject
{
    Q_OBJECT

private slots:
    void fullDevice();
    void fileSizeLimit();
    void missingFolder();
    void names_data();
    void names();
    void runLimit_data();
    void runLimit();

private:
    QTemporaryDir dir;
};

// Page 01 cannot be written at all; the export goes on without a word, and
// the status tells which page failed and why. A new export starts clean.
void tst_WriteStatus::fullDevice()
{
    const QString pattern = dir.filePath(QStringLiteral("full_%1.xml"));
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), pattern.arg(QStringLiteral("01"))));
    ImpExp_XMLBuilder builder = make(pattern, 2, 5);
    for (int i = 1; i <= 5; ++i)
        builder.putItem(contact(i));
    builder.closeBuilder();
    QVERIFY(builder.hasWriteError());
    QCOMPARE(builder.writeErrorFileName(), pattern.arg(QStringLiteral("01")));
    QCOMPARE(builder.writeErrorString(), QStringLiteral("No space left on device"));
    QCOMPARE(duidsOn(pattern.arg(QStringLiteral("00"))), QStringLiteral("1 2"));
    QCOMPARE(duidsOn(pattern.arg(QStringLiteral("02"))), QStringLiteral("5"));

    // Assigning a new export is the one way to start one in the same
    // builder; it is deprecated with the copy.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    builder = make(dir.filePath(QStringLiteral("again_%1.xml")), 2, 1);
    QT_WARNING_POP
    QVERIFY(!builder.hasWriteError());
    QVERIFY(builder.writeErrorFileName().isEmpty() && builder.writeErrorString().isEmpty());
    builder.putItem(contact(1));
    QVERIFY(!builder.hasWriteError());
}

// A write cut short part-way through page 01 (in its second block): the
// status names it with the system's text, and page 00 stays whole.
void tst_WriteStatus::fileSizeLimit()
{
    constexpr rlim_t limit = 100 * 1024;
    const QString pattern = dir.filePath(QStringLiteral("limit_%1.xml"));
    int report[2];
    QVERIFY(pipe(report) == 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        close(report[0]);
        const rlimit small { limit, limit };
        signal(SIGXFSZ, SIG_IGN);
        if (setrlimit(RLIMIT_FSIZE, &small) != 0)
            _exit(2);
        {
            ImpExp_XMLBuilder builder = make(pattern, 20, 40);
            for (int i = 1; i <= 40; ++i) // page 00 about 20 KB, page 01 about 200 KB
                builder.putItem(contact(i, i <= 20 ? 1000 : 10000));
            builder.closeBuilder();
            const QByteArray status
                = (builder.writeErrorFileName() + QLatin1Char('\n') + builder.writeErrorString())
                      .toUtf8();
            if (write(report[1], status.constData(), size_t(status.size())) != status.size())
                _exit(3);
        }
        _exit(0);
    }
    close(report[1]);
    QByteArray status;
    char buffer[512];
    for (ssize_t got; (got = read(report[0], buffer, sizeof buffer)) > 0;)
        status.append(buffer, int(got));
    close(report[0]);
    int exitStatus = 0;
    QCOMPARE(waitpid(child, &exitStatus, 0), child);
    QVERIFY(WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0);
    QCOMPARE(QString::fromUtf8(status),
             pattern.arg(QStringLiteral("01")) + QStringLiteral("\nFile too large"));
    QCOMPARE(QFileInfo(pattern.arg(QStringLiteral("01"))).size(), qint64(limit));
    QStringList first;
    for (int i = 1; i <= 20; ++i)
        first << QString::number(i);
    QCOMPARE(duidsOn(pattern.arg(QStringLiteral("00"))), first.join(QLatin1Char(' ')));
}

// A page that cannot be created is putItem()'s exception, not a write
// failure: the status stays clean, and the page before it stays whole.
void tst_WriteStatus::missingFolder()
{
    const QString pattern = dir.filePath(QStringLiteral("%1/page.xml"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("00")));
    ImpExp_XMLBuilder builder = make(pattern, 1, 2);
    builder.putItem(contact(1));
    const QString message = messageOf<ImpExp_FatalException>([&] { builder.putItem(contact(2)); });
    QVERIFY2(message.startsWith(QStringLiteral("Cannot create file ") + pattern.arg("01")),
             qPrintable(message));
    QVERIFY(!builder.hasWriteError());
    QVERIFY(builder.writeErrorFileName().isEmpty() && builder.writeErrorString().isEmpty());
    QCOMPARE(duidsOn(pattern.arg(QStringLiteral("00"))), QStringLiteral("1"));
}

void tst_WriteStatus::names_data()
{
    QTest::addColumn<QString>("itemName");
    QTest::addColumn<Pairs>("attributes");
    QTest::addColumn<Pairs>("elements");
    QTest::addColumn<QString>("reason"); // empty: writable

    const Pairs duid { { "duid", "1" } };
    const auto element = [](const QString &name) { return Pairs { { name, "v" } }; };
    QTest::newRow("the usual names")
        << "contact" << Pairs { { "duid", "1" }, { "puid", "2" } } << element("lastName") << "";
    QTest::newRow("digits, dot, hyphen, underscore after the first character")
        << "_a-b.c9" << duid << element("x_1.2-3") << "";
    QTest::newRow("non-ASCII letters")
        << QString::fromUtf8("kontakt_ä") << duid << element(QString::fromUtf8("名前")) << "";
    QTest::newRow("a combining mark after the first character")
        << "contact" << duid << element(QString::fromUtf8("e\xCC\x81")) << "";
    QTest::newRow("no attributes and no elements") << "contact" << Pairs() << Pairs() << "";

    QTest::newRow("item name with a space")
        << "a b" << duid << Pairs() << "item name \"a b\" is not an XML name";
    QTest::newRow("empty item name")
        << "" << duid << Pairs() << "item name \"\" is not an XML name";
    QTest::newRow("element name with a leading digit")
        << "contact" << duid << element("1st") << "element name \"1st\" is not an XML name";
    QTest::newRow("element name with a colon")
        << "contact" << duid << element("a:b") << "element name \"a:b\" has a colon";
    QTest::newRow("empty element name")
        << "contact" << duid << element("") << "element name \"\" is not an XML name";
    QTest::newRow("attribute name xml:space")
        << "contact" << Pairs { { "xml:space", "preserve" } } << Pairs()
        << "attribute name \"xml:space\" has a colon";
    QTest::newRow("attribute name xmlns") << "contact" << Pairs { { "xmlns", "urn:x" } } << Pairs()
                                          << "attribute name \"xmlns\" is reserved for namespaces";
    QTest::newRow("duid twice") << "contact" << Pairs { { "duid", "1" }, { "duid", "2" } }
                                << Pairs() << "attribute \"duid\" appears twice";
    Pairs many;
    for (int i = 0; i < 40; ++i)
        many << qMakePair(QStringLiteral("a%1").arg(i), QString());
    many << qMakePair(QStringLiteral("a7"), QString());
    QTest::newRow("a repeat among many attributes")
        << "contact" << many << Pairs() << "attribute \"a7\" appears twice";
    QTest::newRow("a character beyond U+FFFF: an XML name that Qt's reader refuses")
        << "contact" << duid << element(QString::fromUtf8("a\xF0\x90\x80\x80"))
        << QString::fromUtf8("element name \"a\xF0\x90\x80\x80\" is an XML name that Qt's "
                             "reader refuses");
    QTest::newRow("an element name of XML 1.0's fifth edition, not of its fourth")
        << "contact" << duid << element(QString::fromUtf8("a\xE2\x80\xBF"))
        << QString::fromUtf8("element name \"a\xE2\x80\xBF\" is an XML name that Qt's reader "
                             "refuses");
    QTest::newRow("the same name is an attribute name Qt's reader takes")
        << "contact" << Pairs { { QString::fromUtf8("a\xE2\x80\xBF"), "" } } << Pairs() << "";
    QTest::newRow("an unpaired surrogate") << "contact" << duid << element(QString(QChar(0xD800)))
                                           << QString::fromUtf8("element name \"\xEF\xBF\xBD\" is "
                                                                "not an XML name");
    QTest::newRow("a symbol XML names leave out")
        << "contact" << duid << element(QString::fromUtf8("a\xC3\x97"))
        << QString::fromUtf8("element name \"a\xC3\x97\" "
                             "is not an XML name");
    const QString longName = QString(59, QLatin1Char('a')) + QStringLiteral("b...");
    QTest::newRow("an element name of 4096 characters with the prefix")
        << "contact" << duid << element(QString(4092, QLatin1Char('a'))) << "";
    QTest::newRow("an element name of 4097 characters with the prefix")
        << "contact" << duid << element(QString(59, QLatin1Char('a')) + QString(4034, 'b'))
        << "element name \"" + longName
            + "\" is longer than Qt's reader takes (4096 characters with the prefix)";
    QTest::newRow("an item name of 4097 characters with the prefix")
        << QString(59, QLatin1Char('a')) + QString(4034, 'b') << duid << Pairs()
        << "item name \"" + longName
            + "\" is longer than Qt's reader takes (4096 characters with the prefix)";
    QTest::newRow("an attribute name of 4096 characters")
        << "contact" << Pairs { { QString(4096, QLatin1Char('a')), "" } } << Pairs() << "";
    QTest::newRow("an attribute name of 4097 characters")
        << "contact" << Pairs { { QString(59, QLatin1Char('a')) + QString(4038, 'b'), "" } }
        << Pairs()
        << "attribute name \"" + longName + "\" is longer than Qt's reader takes (4096 characters)";
    for (const char *header : { "directory", "agenda" })
        QTest::newRow(qPrintable(QStringLiteral("an item named %1").arg(header)))
            << header << duid << Pairs()
            << QStringLiteral("item name \"%1\" is the name of the page's application element")
                   .arg(header);
    QTest::newRow("an item named moxara")
        << "moxara" << duid << Pairs()
        << "item name \"moxara\" is the name of the page's root element";
    for (const char *kind : { "contact", "contactMap", "appointment", "appointmentMap" })
        QTest::newRow(qPrintable(QStringLiteral("an element named %1").arg(kind)))
            << "note" << duid << element(kind)
            << QStringLiteral("element name \"%1\" is an item kind").arg(kind);
    QTest::newRow("an element named agenda")
        << "contact" << duid << element("agenda")
        << "element name \"agenda\" is the name of an application element";
    QTest::newRow("an element named moxara")
        << "contact" << duid << element("moxara")
        << "element name \"moxara\" is the name of the page's root element";
    QTest::newRow("an element named like its item")
        << "note" << duid << element("note") << "element name \"note\" is the item's own name";
    QTest::newRow("a control character in a duid")
        << "contact" << Pairs { { "duid", QStringLiteral("a\x01") } } << Pairs()
        << "identifier \"duid\" holds U+0001, which would be written as U+FFFD";
    QTest::newRow("a lone surrogate in a puid")
        << "contact" << Pairs { { "puid", QStringLiteral("a") + QChar(0xDC00) } } << Pairs()
        << "identifier \"puid\" holds U+DC00, which would be written as U+FFFD";
    QTest::newRow("U+FFFF in lastModified")
        << "contact" << Pairs { { "lastModified", QString(QChar(0xFFFF)) } } << Pairs()
        << "identifier \"lastModified\" holds U+FFFF, which would be written as U+FFFD";
    QTest::newRow("U+FEFF in an element name")
        << "contact" << duid << element(QStringLiteral("a") + QChar(0xFEFF))
        << QString::fromUtf8("element name \"a\xEF\xBB\xBF\" holds U+FEFF, which Qt 5's reader "
                             "drops at some places of a page");
    QTest::newRow("U+FEFF in a duid")
        << "contact" << Pairs { { "duid", QStringLiteral("a") + QChar(0xFEFF) } } << Pairs()
        << "identifier \"duid\" holds U+FEFF, which Qt 5's reader drops at some places of a page";
    QTest::newRow("a control character elsewhere is cleaned, not refused")
        << "contact" << Pairs { { "duid", "1" }, { "note", QStringLiteral("a\x01") } }
        << Pairs { { "lastName", QStringLiteral("b\x02") } } << "";
    QTest::newRow("a line break, quoted as U+FFFD") << "a\nb" << duid << Pairs()
                                                    << QString::fromUtf8("item name \"a\xEF\xBF\xBD"
                                                                         "b\" is not an XML name");
}

// Every name the check accepts makes a page the reader takes back whole.
void tst_WriteStatus::names()
{
    QFETCH(QString, itemName);
    QFETCH(Pairs, attributes);
    QFETCH(Pairs, elements);
    QFETCH(QString, reason);

    ImpExp_Item item(itemName);
    for (const auto &pair : attributes)
        item.addAttribute(pair.first, pair.second);
    for (const auto &pair : elements)
        item.addElement(pair.first, pair.second);
    QString why = QStringLiteral("untouched");
    QCOMPARE(ImpExp_XMLBuilder::isWritable(item, &why), reason.isEmpty());
    QCOMPARE(ImpExp_XMLBuilder::isWritable(item), reason.isEmpty());
    if (!reason.isEmpty()) {
        QCOMPARE(why, reason);
        return;
    }
    QCOMPARE(why, QStringLiteral("untouched"));
    const QString pattern = dir.filePath(QStringLiteral("names_%1.xml"));
    make(pattern, 1, 1).putItem(item);
    ImpExp_XMLParser parser(pattern);
    ImpExp_Item back(itemName);
    QVERIFY(parser.getItem(back, true));
    ImpExp_Item cleaned(itemName);
    for (const auto &pair : attributes)
        cleaned.addAttribute(pair.first,
                             XmlText::afterRoundTrip(pair.second, XmlText::InAttribute));
    for (const auto &pair : elements)
        cleaned.addElement(pair.first, XmlText::afterRoundTrip(pair.second, XmlText::InText));
    QCOMPARE(back.getAttributes(), cleaned.getAttributes());
    QCOMPARE(back.getItemElements(), cleaned.getItemElements());
}

// The longest run of bytes from one '<' up to the next in a file.
static qint64 longestRun(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    qint64 longest = 0;
    qint64 last = -1;
    qint64 offset = 0;
    for (QByteArray block; !(block = file.read(1 << 20)).isEmpty(); offset += block.size()) {
        for (int i = block.indexOf('<'); i >= 0; i = block.indexOf('<', i + 1)) {
            if (last >= 0)
                longest = qMax(longest, offset + i - last);
            last = offset + i;
        }
    }
    return longest;
}

void tst_WriteStatus::runLimit_data()
{
    QTest::addColumn<bool>("inAttribute"); // else an element's text
    QTest::addColumn<QString>("filler"); // its bytes on the page: one, or escaped, or UTF-8
    QTest::addColumn<int>("over"); // bytes beyond the limit

    QTest::newRow("attribute, ASCII, at the limit") << true << "x" << 0;
    QTest::newRow("attribute, quotes, one byte over") << true << "\"" << 1;
    QTest::newRow("text, characters beyond U+FFFF, at the limit")
        << false << QString::fromUtf8("\xF0\x90\x80\x80") << 0;
    QTest::newRow("text, lone surrogates, one byte over") << false << QString(QChar(0xD800)) << 1;
}

// The check counts the bytes between two '<' exactly as the writer writes
// them: at the limit an item passes, one byte more and it is refused.
void tst_WriteStatus::runLimit()
{
    QFETCH(bool, inAttribute);
    QFETCH(QString, filler);
    QFETCH(int, over);

    constexpr qint64 limit = 64 * 1024 * 1024;
    // The fixed bytes of the run: `<vel:contact note="` ... `">` with the line
    // break and indentation before the element; or `<vel:note
    // xml:space="preserve">` ... before its end tag.
    const qint64 frame = inAttribute ? 34 : 31;
    const qint64 fillerBytes = filler == QLatin1String("\"") ? 6
        : filler.at(0).isSurrogate() && filler.size() == 1   ? 3
                                                             : filler.toUtf8().size();
    const qint64 valueBytes = limit + over - frame;
    QString value;
    value.reserve(int(valueBytes));
    for (qint64 n = valueBytes / fillerBytes; n > 0; --n)
        value += filler;
    value += QString(int(valueBytes % fillerBytes), QLatin1Char('x'));

    ImpExp_Item item(QStringLiteral("contact"));
    if (inAttribute) {
        item.addAttribute(QStringLiteral("note"), value);
        item.addElement(QStringLiteral("e"), QStringLiteral("v"));
    } else {
        item.addElement(QStringLiteral("note"), value);
    }
    value = QString();
    QString reason;
    QCOMPARE(ImpExp_XMLBuilder::isWritable(item, &reason), over == 0);
    if (over > 0)
        QVERIFY2(reason.contains(QString::number(limit + over) + QStringLiteral(" bytes")),
                 qPrintable(reason));

    const QString pattern = dir.filePath(QStringLiteral("run_%1.xml"));
    make(pattern, 1, 1).putItem(item);
    QCOMPARE(longestRun(pattern.arg(QStringLiteral("00"))), limit + over);
    QVERIFY(QFile::remove(pattern.arg(QStringLiteral("00"))));
}

QTEST_GUILESS_MAIN(tst_WriteStatus)
#include "tst_writestatus.moc"
