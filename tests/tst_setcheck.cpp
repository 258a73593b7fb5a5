// The set check against each kind of damage a set can take, on a set the
// library wrote.
#include "SampleSet.h"
#include "Thrown.h"

#include <ImpExp_SetCheck.h>

#include <QTemporaryDir>
#include <QtTest>

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

QTEST_GUILESS_MAIN(TestSetCheck)
#include "tst_setcheck.moc"
