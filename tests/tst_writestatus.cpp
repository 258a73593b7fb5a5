// What the builder tells a host about pages it could not write, and which
// items it can write at all. Write failures are made without root: a page
// file linked to /dev/full, a child process under a file size limit, a page
// in a folder that does not exist.

#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

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
    QCOMPARE(back.getAttributes(), item.getAttributes());
    QCOMPARE(back.getItemElements(), item.getItemElements());
}

QTEST_GUILESS_MAIN(tst_WriteStatus)
#include "tst_writestatus.moc"
