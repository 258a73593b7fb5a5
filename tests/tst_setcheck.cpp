// The set check against each kind of damage a set can take, on a set the
// library wrote.
#include "Deadline.h"
#include "SampleSet.h"
#include "Thrown.h"

#include <ImpExp_SetCheck.h>
#include <ImpExp_XMLParser.h>
#include <xml/ImpExp_Format.h>

#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <functional>
#include <iterator>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace
{

using Kind = ImpExp_SetCheck::ProblemKind;

const char *const kindNames[]
    = { "MissingPage",     "PageAfterGap",       "LeftOverPage",  "Unreadable",
        "NotWellFormed",   "RootRefused",        "BadHeader",     "HeaderMismatch",
        "PageNumber",      "PageOverfull",       "ForeignKind",   "MissingDuid",
        "BadLastModified", "BadAppointmentDate", "DuplicateDuid", "NestedItem" };

// "Kind file:line:column" for each problem found.
QStringList found(const ImpExp_SetCheck &check)
{
    QStringList problems;
    for (const ImpExp_SetCheck::Problem &problem : check.problems())
        problems.append(QStringLiteral("%1 %2:%3:%4")
                            .arg(QLatin1String(kindNames[int(problem.kind)]),
                                 QFileInfo(problem.fileName).fileName())
                            .arg(problem.line)
                            .arg(problem.column));
    return problems;
}

// "Kind file" for each problem that makes the set incomplete.
QStringList breakers(const ImpExp_SetCheck &check)
{
    QStringList problems;
    for (int i = 0; i < check.problems().size(); ++i) {
        if (check.breaksSet(i))
            problems.append(QStringLiteral("%1 %2").arg(
                QLatin1String(kindNames[int(check.problems().at(i).kind)]),
                QFileInfo(check.problems().at(i).fileName).fileName()));
    }
    return problems;
}

// How many items of kind @p kind a reader gets from the set, or -1 when it throws.
int readerCount(const QString &pathTemplate, const QString &kind)
{
    ImpExp_XMLParser reader(pathTemplate);
    int count = 0;
    try {
        for (ImpExp_Item item(kind); reader.getItem(item, true); item = ImpExp_Item(kind))
            ++count;
    } catch (const ImpExp_FatalException &) {
        return -1;
    }
    return count;
}

// Items of kind @p kind the check counted, over all pages.
int checkCount(const ImpExp_SetCheck &check, const QString &kind)
{
    int count = 0;
    for (const ImpExp_SetCheck::Page &page : check.pages()) {
        for (const ImpExp_SetCheck::KindCount &counted : page.kinds) {
            if (counted.itemName == kind)
                count += counted.items;
        }
    }
    return count;
}

const QStringList itemKinds = { QStringLiteral("contact"), QStringLiteral("contactMap"),
                                QStringLiteral("appointment"), QStringLiteral("appointmentMap") };

// Where the check's counts and the reader's differ, "kind check/reader", on
// every set a reader reads to its end; and a complete set must read so.
QString countsDiffer(const QString &pathTemplate)
{
    ImpExp_SetCheck check(pathTemplate);
    check.run();
    QString differences;
    for (const QString &kind : itemKinds) {
        const int checked = checkCount(check, kind), read = readerCount(pathTemplate, kind);
        if (read < 0 ? check.isComplete() : checked != read)
            differences += QStringLiteral("%1 %2/%3 ").arg(kind).arg(checked).arg(read);
    }
    return differences;
}

} // namespace

class TestSetCheck : public QObject
{
    Q_OBJECT

private slots:
    void damage_data();
    void damage();
    void intactSetShowsItsPages_data();
    void intactSetShowsItsPages();
    void steppingAndLimits();
    void notOneExport_data();
    void notOneExport();
    void nestedItems_data();
    void nestedItems();
    void specialFilesAnsweredAtOnce_data();
    void specialFilesAnsweredAtOnce();
    void hugeHeaderValueKeptShort();
    void itemCountsAgreeWithTheReader();
};

void TestSetCheck::damage_data()
{
    QTest::addColumn<QString>("file");
    // Text replaced by "to"; or "remove", "folder", "empty", "copy" (see damageSampleSet).
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    // "Kind file:line" or "Kind file:line:column", '|' between; every problem, in order.
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("message"); // a piece of one problem's message

    const auto row = [](const char *name, const char *file, const char *from, const char *to,
                        const char *expected, bool complete, const char *message) {
        QTest::newRow(name) << QString::fromLatin1(file) << QByteArray(from) << QByteArray(to)
                            << QString::fromLatin1(expected) << complete
                            << QString::fromUtf8(message);
    };
    row("a page that does not open, and the one after it", "dir_01.xml", "folder", "",
        "Unreadable dir_01.xml:0:0|PageAfterGap dir_02.xml:0:0", false, "cannot be opened");
    row("a missing page in the middle", "dir_01.xml", "remove", "",
        "MissingPage dir_01.xml:0:0|PageAfterGap dir_02.xml:0:0", false,
        "missing: totalPage announces 3 page files");
    row("the last page missing", "dir_02.xml", "remove", "", "MissingPage dir_02.xml:0:0", false,
        "missing");
    row("the first page missing", "dir_00.xml", "remove", "", "MissingPage dir_00.xml:0:0", false,
        "a reader reads nothing");
    row("a left-over file after the last page: read twice", "dir_02.xml", "copy", "dir_03.xml",
        "LeftOverPage dir_03.xml:0:0|PageNumber dir_03.xml:3|DuplicateDuid dir_03.xml:4"
        "|DuplicateDuid dir_03.xml:8",
        false, "unexpected file after the announced last page (totalPage 3)");
    row("a page cut short", "dir_01.xml", "</vel:moxara>", "", "NotWellFormed dir_01.xml:14:0",
        false, "Premature end of document");
    row("an empty page file", "dir_01.xml", "empty", "", "RootRefused dir_01.xml:1:0", false,
        "Invalid input file: Premature end of document");
    row("a comment before the root", "dir_01.xml", "<vel:moxara", "<!-- x --><vel:moxara",
        "RootRefused dir_01.xml:2:10", false, "Invalid input file: a Comment comes before");
    row("a root of another name", "agenda_01.xml", "vel:moxara", "vel:other",
        "RootRefused agenda_01.xml:2", false, R"(the root element is "other", not "moxara")");
    row("an undeclared prefix", "dir_01.xml", "<vel:contact duid=\"c3\"", "<no:contact duid=\"c3\"",
        "NotWellFormed dir_01.xml:4", false, "");
    row("totalPage far beyond the files", "dir_00.xml", R"(totalPage="3")", R"(totalPage="500")",
        "HeaderMismatch dir_01.xml:3|HeaderMismatch dir_02.xml:3|MissingPage dir_03.xml:0:0", false,
        "missing, and so is every page file up to dir_499.xml: totalPage announces 500");
    row("page attribute against the file number", "dir_01.xml", R"(page="2")", R"(page="7")",
        "PageNumber dir_01.xml:3", false, R"("page" is 7 but file number 01 means page 2)");
    row("totalPage differing between pages", "dir_02.xml", R"(totalPage="3")", R"(totalPage="4")",
        "HeaderMismatch dir_02.xml:3", false, R"("totalPage" is "4" but dir_00.xml says "3")");
    row("created, id and deviceId differing between pages", "dir_01.xml",
        R"(created="20260302T080000Z" schemaVersion="1.0" id="exp-1" deviceId="dev-1")",
        R"(created="20260302T080001Z" schemaVersion="1.0" id="exp-9" deviceId="dev-2")",
        "HeaderMismatch dir_01.xml:2|HeaderMismatch dir_01.xml:2|HeaderMismatch dir_01.xml:2",
        false, R"("created" is "20260302T080001Z")");
    row("another application element on a later page", "agenda_01.xml", "vel:agenda",
        "vel:directory", "HeaderMismatch agenda_01.xml:3|ForeignKind agenda_01.xml:4", false,
        R"("application element" is "directory" but agenda_00.xml says "agenda")");
    row("a header attribute missing, one not a number", "dir_00.xml", R"(schemaVersion="1.0" )", "",
        "BadHeader dir_00.xml:2", true, R"(no "schemaVersion" attribute)");
    row("page not a number", "dir_01.xml", R"(page="2")", R"(page="two")", "BadHeader dir_01.xml:3",
        false, R"("page" is "two", not a whole number of at least 1)");
    row("more items than the pageSize", "dir_00.xml", R"(pageSize="2")", R"(pageSize="1")",
        "PageOverfull dir_00.xml:8", true, "2 items, more than its pageSize 1");
    row("an unknown item kind", "dir_02.xml", "</vel:directory>",
        R"(<vel:colleague duid="x"/></vel:directory>)",
        "PageOverfull dir_02.xml:9|ForeignKind dir_02.xml:9", true,
        R"(unknown item kind "colleague" (1 item))");
    row("a contact in an agenda page", "agenda_00.xml", "</vel:agenda>",
        R"(<vel:contact duid="x"/></vel:agenda>)",
        "PageOverfull agenda_00.xml:23|ForeignKind agenda_00.xml:23", true,
        R"(item kind "contact" in an agenda page)");
    row("an item without duid", "dir_01.xml", R"(duid="c4")", R"(duid="")",
        "MissingDuid dir_01.xml:8", true, "contact #2: no duid");
    row("the same duid twice", "dir_01.xml", R"(duid="c4")", R"(duid="c1")",
        "DuplicateDuid dir_01.xml:8", true, "contact #2 (duid c1): duid also used by an earlier");
    row("a lastModified that does not parse", "dir_02.xml", "20260301T040000Z", "2026-03-01",
        "BadLastModified dir_02.xml:4", true, R"(lastModified "2026-03-01" does not parse)");
    row("appointment begin and end that do not parse", "agenda_01.xml", "20260305T", "20260305X",
        "BadAppointmentDate agenda_01.xml:4|BadAppointmentDate agenda_01.xml:4", true,
        R"(begin "20260305X090000Z" does not parse)");
    row("an appointment with fields but no begin", "agenda_00.xml",
        R"(<vel:begin xml:space="preserve">20260303T090000Z</vel:begin>)", "",
        "BadAppointmentDate agenda_00.xml:4", true,
        "appointment #1 (duid a1): has fields but no begin");
}

void TestSetCheck::damage()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, expected);
    QFETCH(bool, complete);
    QFETCH(QString, message);

    QTemporaryDir dir;
    const QString pathTemplate = writeSampleSet(dir.path(), file.section(QLatin1Char('_'), 0, 0));
    QVERIFY2(damageSampleSet(dir.path(), file, from, to), "the damage must hit the written text");

    ImpExp_SetCheck check(pathTemplate);
    check.run();
    const QStringList problems = found(check);
    const QStringList wanted = expected.split(QLatin1Char('|'));
    QVERIFY2(problems.size() == wanted.size(), qPrintable(problems.join(QLatin1Char('\n'))));
    for (int i = 0; i < problems.size(); ++i)
        QVERIFY2(problems.at(i) == wanted.at(i) || problems.at(i).startsWith(wanted.at(i) + ':'),
                 qPrintable(problems.join(QLatin1Char('\n'))));
    QStringList messages;
    for (const ImpExp_SetCheck::Problem &problem : check.problems())
        messages.append(problem.message);
    QVERIFY2(messages.join(QLatin1Char('\n')).contains(message), qPrintable(messages.join('\n')));
    QCOMPARE(check.isComplete(), complete);
    QVERIFY(!check.isClean());
    QCOMPARE(check.problemCount(), qint64(problems.size()));

    // Without the duplicate search the same judgement, less the duplicates.
    ImpExp_SetCheck withoutDuplicates(pathTemplate);
    withoutDuplicates.setFindsDuplicateDuids(false);
    withoutDuplicates.run();
    QStringList others;
    for (const QString &problem : problems) {
        if (!problem.startsWith(QLatin1String("DuplicateDuid ")))
            others.append(problem);
    }
    QCOMPARE(found(withoutDuplicates), others);
    QCOMPARE(withoutDuplicates.isComplete(), complete);
}

void TestSetCheck::intactSetShowsItsPages_data()
{
    QTest::addColumn<QString>("set");
    // Per page: file, application, page/totalPage, then kind items(with elements) ...
    QTest::addColumn<QStringList>("pages");

    QTest::newRow("contacts and a map entry")
        << "dir"
        << QStringList { "dir_00.xml directory 1/3 contact 2(2)",
                         "dir_01.xml directory 2/3 contact 2(2)",
                         "dir_02.xml directory 3/3 contact 1(1) contactMap 1(0)" };
    QTest::newRow("appointments") << "agenda"
                                  << QStringList { "agenda_00.xml agenda 1/2 appointment 2(2)",
                                                   "agenda_01.xml agenda 2/2 appointment 1(1)" };
    QTest::newRow("no items: one page") << "empty" << QStringList { "empty_00.xml directory 1/1" };
}

void TestSetCheck::intactSetShowsItsPages()
{
    QFETCH(QString, set);
    QFETCH(QStringList, pages);

    QTemporaryDir dir;
    ImpExp_SetCheck check(writeSampleSet(dir.path(), set));
    check.run();
    QVERIFY2(check.isClean() && check.isComplete(), qPrintable(found(check).join('\n')));
    QCOMPARE(check.announcedPages(), pages.size());
    QStringList shown;
    int items = 0;
    for (const ImpExp_SetCheck::Page &page : check.pages()) {
        QVERIFY(page.opened && page.rootAccepted && page.wellFormed);
        QCOMPARE(page.created + page.schemaVersion + page.id + page.deviceId,
                 QStringLiteral("20260302T080000Z1.0exp-1dev-1"));
        QCOMPARE(page.pageSize, QStringLiteral("2"));
        QString line = QStringLiteral("%1 %2 %3/%4")
                           .arg(QFileInfo(page.fileName).fileName(), page.application, page.page,
                                page.totalPage);
        for (const ImpExp_SetCheck::KindCount &kind : page.kinds)
            line += QStringLiteral(" %1 %2(%3)")
                        .arg(kind.itemName)
                        .arg(kind.items)
                        .arg(kind.withElements);
        shown.append(line);
        items += page.items;
    }
    QCOMPARE(shown, pages);
    QCOMPARE(check.itemCount(), qint64(items));
}

void TestSetCheck::steppingAndLimits()
{
    QTemporaryDir dir;
    const QString pathTemplate = writeSampleSet(dir.path(), QStringLiteral("dir"));
    ImpExp_SetCheck stepped(pathTemplate);
    for (int page = 1; page <= 3; ++page) {
        QVERIFY(stepped.checkNextPage());
        QCOMPARE(stepped.pages().size(), page);
    }
    QVERIFY(!stepped.checkNextPage());
    QVERIFY(!stepped.checkNextPage());
    QVERIFY(stepped.isClean());

    // An item's problem says which item it is.
    QVERIFY(
        damageSampleSet(dir.path(), QStringLiteral("dir_01.xml"), R"(duid="c4")", R"(duid="c1")"));
    ImpExp_SetCheck twice(pathTemplate);
    twice.run();
    QCOMPARE(twice.problems().size(), 1);
    const ImpExp_SetCheck::Problem &problem = twice.problems().constFirst();
    QCOMPARE(problem.itemName + problem.duid, QStringLiteral("contactc1"));
    QCOMPARE(problem.itemIndex, 1);
    QVERIFY(twice.isComplete());

    // Four problems (the duid too), two kept, all counted.
    QVERIFY(damageSampleSet(dir.path(), QStringLiteral("dir_01.xml"),
                            R"(id="exp-1" deviceId="dev-1")", R"(id="exp-9" deviceId="dev-2")"));
    QVERIFY(damageSampleSet(dir.path(), QStringLiteral("dir_02.xml"), "remove", ""));
    ImpExp_SetCheck limited(pathTemplate);
    limited.setProblemLimit(2);
    limited.run();
    QCOMPARE(limited.problems().size(), 2);
    QCOMPARE(limited.problemCount(), qint64(4));
    QVERIFY(!limited.isComplete());

    QCOMPARE(
        messageOf<ImpExp_FatalException>([] { ImpExp_SetCheck check(QStringLiteral("a.xml")); }),
        QStringLiteral("Bad path"));
    ImpExp_SetCheck nothing(dir.filePath(QStringLiteral("none_%1.xml")));
    nothing.run();
    QCOMPARE(found(nothing), QStringList { QStringLiteral("MissingPage none_00.xml:0:0") });
    QVERIFY(nothing.pages().isEmpty() && !nothing.isComplete());
    QCOMPARE(nothing.announcedPages(), 0);
}

void TestSetCheck::notOneExport_data()
{
    // Each edit: "file|from|to" as damageSampleSet takes it, on the sample sets "dir" and "agenda"
    // written side by side.
    QTest::addColumn<QStringList>("edits");
    QTest::addColumn<QString>("set");
    QTest::addColumn<QStringList>("breaking"); // "Kind file" of each problem that breaks the set

    const auto row = [](const char *name, const QStringList &edits, const char *set,
                        const QStringList &breaking) {
        QTest::newRow(name) << edits << QString::fromLatin1(set) << breaking;
    };
    row("page 00 of a later export over an earlier one",
        { R"(dir_00.xml|created="20260302T080000Z"|created="20260309T100000Z")",
          R"(dir_00.xml|id="exp-1"|id="exp-2")" },
        "dir",
        { "HeaderMismatch dir_01.xml", "HeaderMismatch dir_01.xml", "HeaderMismatch dir_02.xml",
          "HeaderMismatch dir_02.xml" });
    row("a page of another device", { R"(dir_02.xml|deviceId="dev-1"|deviceId="dev-7")" }, "dir",
        { "HeaderMismatch dir_02.xml" });
    row("a renumbered page", { "dir_02.xml|remove|", "dir_01.xml|copy|dir_02.xml" }, "dir",
        { "PageNumber dir_02.xml" });
    row("a directory page among agenda pages",
        { "agenda_01.xml|remove|", "dir_01.xml|copy|agenda_01.xml" }, "agenda",
        { "HeaderMismatch agenda_01.xml", "HeaderMismatch agenda_01.xml" });
    row("a page without id", { R"(dir_01.xml| id="exp-1"|)" }, "dir", { "BadHeader dir_01.xml" });
    row("a page without application element",
        { R"(dir_01.xml|<vel:directory max="6" pageSize="2" page="2" totalPage="3">|)",
          "dir_01.xml|</vel:directory>|" },
        "dir", { "BadHeader dir_01.xml" });
    // Header numbers are decimal digits, as written; anything else is not the page's number.
    for (const char *page : { R"(page=" 2")", R"(page="+2")", R"(page="2&#10;")", R"(page="02 ")" })
        row(qPrintable(QStringLiteral("page written as %1").arg(QLatin1String(page))),
            { QStringLiteral("dir_01.xml|page=\"2\"|") + QLatin1String(page) }, "dir",
            { "BadHeader dir_01.xml" });
    row("totalPage with a sign", { R"(dir_01.xml|totalPage="3"|totalPage="+3")" }, "dir",
        { "BadHeader dir_01.xml" });
    // "max" and "pageSize" do not tie a page to its export: bad ones leave the set complete.
    row("max with a sign", { R"(dir_01.xml|max="6"|max="+6")" }, "dir", {});
    row("pageSize with a space", { R"(dir_01.xml|pageSize="2"|pageSize="2 ")" }, "dir", {});
}

void TestSetCheck::notOneExport()
{
    QFETCH(QStringList, edits);
    QFETCH(QString, set);
    QFETCH(QStringList, breaking);

    QTemporaryDir dir;
    writeSampleSet(dir.path(), QStringLiteral("dir"));
    writeSampleSet(dir.path(), QStringLiteral("agenda"));
    for (const QString &edit : edits) {
        const QStringList parts = edit.split(QLatin1Char('|'));
        QVERIFY2(
            damageSampleSet(dir.path(), parts.at(0), parts.at(1).toUtf8(), parts.at(2).toUtf8()),
            qPrintable(edit));
    }
    ImpExp_SetCheck check(dir.filePath(set + QStringLiteral("_%1.xml")));
    check.run();
    QCOMPARE(breakers(check), breaking);
    QCOMPARE(check.isComplete(), breaking.isEmpty());
    QVERIFY(!check.isClean());
    QVERIFY(!check.breaksSet(-1) && !check.breaksSet(check.problems().size()));
}

void TestSetCheck::nestedItems_data()
{
    QTest::addColumn<QByteArray>("items"); // inside the application element of a one-page set
    QTest::addColumn<QString>("expected"); // found() of the check
    QTest::addColumn<int>("contacts"); // as the check and the reader count them

    QTest::newRow("a contact inside a contact")
        << QByteArray(R"(<contact duid="1"><contact duid="2"/><lastName>x</lastName></contact>)")
        << "NestedItem p_00.xml:1:167" << 2;
    QTest::newRow("a contact inside a field")
        << QByteArray(R"(<contact duid="1"><note><contact duid="2"/></note></contact>)")
        << "NestedItem p_00.xml:1:173" << 2;
    QTest::newRow("a contact map inside an unknown element")
        << QByteArray(R"(<group duid="g"><contactMap duid="1" puid="p"/></group>)")
        << "NestedItem p_00.xml:1:177|ForeignKind p_00.xml:1:146" << 0;
    QTest::newRow("fields named like nothing of the format")
        << QByteArray(R"(<contact duid="1"><group><lastName>x</lastName></group></contact>)") << ""
        << 1;
}

void TestSetCheck::nestedItems()
{
    QFETCH(QByteArray, items);
    QFETCH(QString, expected);
    QFETCH(int, contacts);

    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("p_%1.xml"));
    QVERIFY(writeFile(pathTemplate.arg(QStringLiteral("00")),
                      R"(<moxara created="20260101T000000Z" schemaVersion="1.0" id="e" )"
                      R"(deviceId="d"><directory max="0" pageSize="9" page="1" totalPage="1">)"
                          + items + "</directory></moxara>"));
    ImpExp_SetCheck check(pathTemplate);
    check.run();
    QCOMPARE(found(check).join(QLatin1Char('|')), expected);
    QVERIFY(check.isComplete());
    QCOMPARE(checkCount(check, QStringLiteral("contact")), contacts);
    QCOMPARE(countsDiffer(pathTemplate), QString());
}

void TestSetCheck::specialFilesAnsweredAtOnce_data()
{
    QTest::addColumn<QString>("file"); // of the sample set "dir"
    QTest::addColumn<QString>("special"); // what takes its place: fifo, socket, loop
    QTest::addColumn<QString>("expected"); // found(), then the contacts a reader gets

    const QString stops = QStringLiteral(
        "Unreadable dir_01.xml:0:0|PageAfterGap dir_02.xml:0:0 incomplete; reader 2");
    QTest::newRow("a FIFO as page 01") << "dir_01.xml"
                                       << "fifo" << stops;
    QTest::newRow("a socket as page 01") << "dir_01.xml"
                                         << "socket" << stops;
    QTest::newRow("a symlink loop as page 01") << "dir_01.xml"
                                               << "loop" << stops;
    // After the last page a reader ends the set where it should.
    QTest::newRow("a FIFO after the last page") << "dir_03.xml"
                                                << "fifo"
                                                << "Unreadable dir_03.xml:0:0 complete; reader 5";
}

void TestSetCheck::specialFilesAnsweredAtOnce()
{
    QFETCH(QString, file);
    QFETCH(QString, special);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    const QString pathTemplate = writeSampleSet(dir.path(), QStringLiteral("dir"));
    const QString fileName = dir.filePath(file);
    QFile::remove(fileName);
    const QByteArray path = QFile::encodeName(fileName);
    QString reason; // what the check must say about the file
    if (special == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        reason = QStringLiteral("not a regular file but a FIFO");
    } else if (special == QLatin1String("socket")) {
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(path.size()) < sizeof address.sun_path);
        std::strcpy(address.sun_path, path.constData());
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(listener); // the socket file stays
        reason = QString::fromLocal8Bit(std::strerror(ENXIO));
    } else {
        QVERIFY(QFile::link(fileName, fileName));
        reason = QString::fromLocal8Bit(std::strerror(ELOOP));
    }

    const QByteArray answer = withDeadline([&] {
        ImpExp_SetCheck check(pathTemplate);
        check.run();
        QString text = found(check).join(QLatin1Char('|'))
            + (check.isComplete() ? QStringLiteral(" complete") : QStringLiteral(" incomplete"));
        text += QStringLiteral("; reader %1")
                    .arg(readerCount(pathTemplate, QStringLiteral("contact")));
        for (const ImpExp_SetCheck::Problem &problem : check.problems()) {
            if (problem.kind == ImpExp_SetCheck::ProblemKind::Unreadable)
                text += QLatin1Char('\n') + problem.message;
        }
        return text.toUtf8();
    });
    const QStringList lines = QString::fromUtf8(answer).split(QLatin1Char('\n'));
    QCOMPARE(lines.constFirst(), expected);
    QCOMPARE(lines.value(1), QStringLiteral("cannot be opened: ") + reason);
}

// A 5 MB id on page 00 and 199 pages that say otherwise: each message quotes
// a few dozen characters of it, not the whole, so the problems kept stay small.
void TestSetCheck::hugeHeaderValueKeptShort()
{
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("p_%1.xml"));
    const int pages = 200;
    for (int n = 0; n < pages; ++n) {
        const QByteArray id = n == 0 ? QByteArray(5 * 1000 * 1000, 'x') : QByteArray("e");
        QVERIFY(writeFile(ImpExp_Format::pageFileName(pathTemplate, n),
                          R"(<moxara created="20260101T000000Z" schemaVersion="1.0" id=")" + id
                              + R"(" deviceId="d"><directory max="0" pageSize="9" page=")"
                              + QByteArray::number(n + 1) + R"(" totalPage="200"/></moxara>)"));
    }
    ImpExp_SetCheck check(pathTemplate);
    check.run();
    QCOMPARE(check.problemCount(), qint64(pages - 1));
    QVERIFY(!check.isComplete());
    qint64 kept = 0;
    for (const ImpExp_SetCheck::Problem &problem : check.problems())
        kept += problem.message.size();
    QVERIFY2(kept < (pages - 1) * 200, qPrintable(QString::number(kept)));
    QVERIFY2(
        check.problems().constLast().message.contains(QStringLiteral("but p_00.xml says \"xxx")),
        qPrintable(check.problems().constLast().message));
    QVERIFY(check.problems().constLast().message.endsWith(
        QStringLiteral("xxx...\" (5000000 characters)")));

    // A lower limit drops what is kept beyond it; the count stays.
    check.setProblemLimit(3);
    QCOMPARE(check.problems().size(), 3);
    QCOMPARE(check.problemCount(), qint64(pages - 1));
    QVERIFY(check.breaksSet(2) && !check.breaksSet(3));
}

// The check counts items as a reader takes them: on every complete set of the
// fuzz corpus, and on random nestings of item and field elements.
void TestSetCheck::itemCountsAgreeWithTheReader()
{
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("p_%1.xml"));
    const QString firstPage = pathTemplate.arg(QStringLiteral("00"));
    int compared = 0, complete = 0, readThrough = 0;
    QDirIterator corpus(QStringLiteral(VELXML_TEST_DATA "/../../fuzz/corpus/reader"), QDir::Files);
    while (corpus.hasNext()) {
        const QString input = corpus.next();
        QFile::remove(firstPage);
        QVERIFY(QFile::copy(input, firstPage));
        QCOMPARE(countsDiffer(pathTemplate) + QFileInfo(input).fileName(),
                 QFileInfo(input).fileName());
        ImpExp_SetCheck check(pathTemplate);
        check.run();
        ++compared;
        complete += check.isComplete();
        readThrough += readerCount(pathTemplate, QStringLiteral("contact")) >= 0;
    }
    QVERIFY(compared >= 20);

    // Seeded: the same pages on every run.
    QRandomGenerator random(18);
    const char *names[] = { "contact",  "contactMap", "appointment", "appointmentMap",
                            "lastName", "begin",      "directory",   "x" };
    for (int round = 0; round < 300; ++round) {
        QByteArray items;
        std::function<void(int)> element = [&](int depth) {
            const char *name = names[random.bounded(int(std::size(names)))];
            items += QByteArray("<") + name + " duid=\"" + QByteArray::number(round) + "\">";
            for (int children = depth < 4 ? random.bounded(3) : 0; children > 0; --children)
                element(depth + 1);
            if (random.bounded(2))
                items += "text";
            items += QByteArray("</") + name + ">";
        };
        for (int top = random.bounded(4); top > 0; --top)
            element(0);
        QFile::remove(firstPage);
        QVERIFY(writeFile(firstPage,
                          R"(<moxara created="20260101T000000Z" schemaVersion="1.0" id="e" )"
                          R"(deviceId="d"><directory max="0" pageSize="99" page="1" )"
                          R"(totalPage="1">)"
                              + items + "</directory></moxara>"));
        QCOMPARE(countsDiffer(pathTemplate) + items, QString::fromLatin1(items));
        ++compared;
        ImpExp_SetCheck check(pathTemplate);
        check.run();
        complete += check.isComplete();
        ++readThrough;
    }
    qInfo("item counts of check and reader compared on %d sets: %d read through, %d complete",
          compared, readThrough, complete);
}

QTEST_GUILESS_MAIN(TestSetCheck)
#include "tst_setcheck.moc"
