// Drives the built velxml executable: validate's verdicts on damaged sets,
// the dump/export round trip, the demo, and exit statuses.

#include <Appointment_Item.h>
#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

const char utcZone[] = "UTC0";
const char cetZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs velxml in @p zone; the zone only matters for the text it prints.
Run velxml(const QStringList &arguments, const char *zone = utcZone)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TZ"), QString::fromLatin1(zone));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VELXML_EXECUTABLE), arguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QDateTime utc(int day, int hour)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, 0), Qt::UTC);
}

// Five contacts on three pages (2, 2, 1), written by the library, full export.
QString writeDirectory(const QString &directory)
{
    const QString pathTemplate = directory + QStringLiteral("/dir_%1.xml");
    ImpExp_XMLBuilder builder(QStringLiteral("dev-1"), QStringLiteral("exp-1"), pathTemplate, 2,
                              utc(2, 8), 5, 5, QStringLiteral("VelDirectory"),
                              QDateTime::fromSecsSinceEpoch(0));
    const QString names[]
        = { QStringLiteral("Doe"), QStringLiteral("Ångström"), QStringLiteral("Παπαδοπούλου"),
            QStringLiteral("O'Brien & Sons"), QStringLiteral("Tab\there") };
    for (int i = 0; i < 5; ++i)
        builder.putItem(Contact_Item(QStringLiteral("c%1").arg(i + 1), QString(), utc(1, i),
                                     QStringLiteral("First"), names[i], QString(), QString(),
                                     QString(), QString(), QString(), QByteArray(), QString(),
                                     QString(), QString(), QString(), QString(), QString()));
    return pathTemplate;
}

// Three appointments on two pages, one of them read-only.
QString writeAgenda(const QString &directory)
{
    const QString pathTemplate = directory + QStringLiteral("/agenda_%1.xml");
    ImpExp_XMLBuilder builder(QStringLiteral("dev-1"), QStringLiteral("exp-2"), pathTemplate, 2,
                              utc(2, 8), 3, 3, QStringLiteral("Agenda"),
                              QDateTime::fromSecsSinceEpoch(0));
    for (int i = 0; i < 3; ++i)
        builder.putItem(Appointment_Item(QStringLiteral("a%1").arg(i + 1), QString(), utc(1, i),
                                         QStringLiteral("Meeting %1").arg(i + 1),
                                         QStringLiteral("Room \"%1\"").arg(i), utc(3 + i, 9),
                                         utc(3 + i, 10), QStringLiteral("WEEKLY"),
                                         QDate(2026, 6, 30), QString(), i == 1, 15, i == 2));
    return pathTemplate;
}

QByteArray readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &fileName, const QByteArray &content)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(content) == content.size();
}

// The lines of validate's report that name a file (all but the summary).
QStringList problemLines(const QString &report)
{
    QStringList lines = report.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (!lines.isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestVelxml : public QObject
{
    Q_OBJECT

private slots:
    void validatePassesWriterMadeSets();
    void validateNamesTheDamagedFile_data();
    void validateNamesTheDamagedFile();
    void dumpExportDumpIsIdentical_data();
    void dumpExportDumpIsIdentical();
    void exportFollowsSinceAndReadOnly();
    void exportRefusesBadItems_data();
    void exportRefusesBadItems();
    void usageErrorsExitTwo_data();
    void usageErrorsExitTwo();
    void everyCommandHasHelp_data();
    void everyCommandHasHelp();
    void demoWritesSetsThatValidate();
    void longRunsStayQuietWithoutTerminal();
};

void TestVelxml::validatePassesWriterMadeSets()
{
    QTemporaryDir dir;
    for (const QString &pathTemplate : { writeDirectory(dir.path()), writeAgenda(dir.path()) }) {
        const Run run = velxml({ QStringLiteral("validate"), pathTemplate });
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.startsWith(QLatin1String("OK: ")), qPrintable(run.out));
        QVERIFY(run.err.isEmpty());
    }
}

void TestVelxml::validateNamesTheDamagedFile_data()
{
    // operation: replace (text "from" by "to"), truncate (keep "from" bytes),
    // remove, directory (a folder in the file's place), copy (file to "to").
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("blamed");
    QTest::addColumn<QString>("message");

    const QString dir = QStringLiteral("dir");
    const QString replace = QStringLiteral("replace");
    QTest::newRow("a page that does not open")
        << dir << "dir_01.xml"
        << "directory" << QByteArray() << QByteArray() << "dir_01.xml"
        << "No file to read";
    QTest::newRow("a page cut off inside an item")
        << dir << "dir_01.xml"
        << "truncate" << QByteArray("300") << QByteArray() << "dir_01.xml"
        << "xml parsing failed";
    QTest::newRow("a page that is no exchange document")
        << dir << "dir_02.xml" << replace << QByteArray("vel:moxara") << QByteArray("vel:other")
        << "dir_02.xml"
        << "Invalid input file";
    QTest::newRow("page attribute against the file number")
        << dir << "dir_01.xml" << replace << QByteArray("page=\"2\"") << QByteArray("page=\"7\"")
        << "dir_01.xml"
        << "\"page\" is 7";
    QTest::newRow("totalPage differing between pages")
        << dir << "dir_02.xml" << replace << QByteArray("totalPage=\"3\"")
        << QByteArray("totalPage=\"4\"") << "dir_02.xml"
        << "\"totalPage\" is \"4\"";
    QTest::newRow("totalPage against the files: one missing")
        << dir << "dir_02.xml"
        << "remove" << QByteArray() << QByteArray() << "dir_02.xml"
        << "missing";
    QTest::newRow("created differing between pages")
        << dir << "dir_01.xml" << replace << QByteArray("20260302T080000Z")
        << QByteArray("20260302T080001Z") << "dir_01.xml"
        << "\"created\"";
    QTest::newRow("id differing between pages")
        << dir << "dir_02.xml" << replace << QByteArray("id=\"exp-1\"")
        << QByteArray("id=\"exp-9\"") << "dir_02.xml"
        << "\"id\" is \"exp-9\"";
    QTest::newRow("deviceId differing between pages")
        << dir << "dir_01.xml" << replace << QByteArray("deviceId=\"dev-1\"")
        << QByteArray("deviceId=\"dev-2\"") << "dir_01.xml"
        << "\"deviceId\" is \"dev-2\"";
    QTest::newRow("more items than the pageSize")
        << dir << "dir_00.xml" << replace << QByteArray("pageSize=\"2\"")
        << QByteArray("pageSize=\"1\"") << "dir_00.xml"
        << "2 items, more than its pageSize 1";
    QTest::newRow("an unknown item kind")
        << dir << "dir_02.xml" << replace << QByteArray("</vel:directory>")
        << QByteArray("<vel:colleague duid=\"x\"/></vel:directory>") << "dir_02.xml"
        << "unknown item kind \"colleague\"";
    QTest::newRow("an item without duid")
        << dir << "dir_01.xml" << replace << QByteArray("duid=\"c4\"") << QByteArray("duid=\"\"")
        << "dir_01.xml"
        << "contact #2: no duid";
    QTest::newRow("a lastModified that does not parse")
        << dir << "dir_02.xml" << replace << QByteArray("20260301T040000Z")
        << QByteArray("2026-03-01T04:00:00") << "dir_02.xml"
        << "lastModified \"2026-03-01T04:00:00\" does not parse";
    QTest::newRow("an appointment begin that does not parse")
        << "agenda"
        << "agenda_01.xml" << replace << QByteArray("20260305T090000Z")
        << QByteArray("20260305T250000Z") << "agenda_01.xml"
        << "begin \"20260305T250000Z\" does not parse";
    QTest::newRow("an appointment end that does not parse")
        << "agenda"
        << "agenda_00.xml" << replace << QByteArray("20260304T100000Z") << QByteArray("tomorrow")
        << "agenda_00.xml"
        << "end \"tomorrow\" does not parse";
    QTest::newRow("a left-over file after the last page")
        << dir << "dir_02.xml"
        << "copy" << QByteArray() << QByteArray("dir_03.xml") << "dir_03.xml"
        << "unexpected file after the announced last page";
}

void TestVelxml::validateNamesTheDamagedFile()
{
    QFETCH(QString, set);
    QFETCH(QString, file);
    QFETCH(QString, operation);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, blamed);
    QFETCH(QString, message);

    QTemporaryDir dir;
    const QString pathTemplate
        = set == QLatin1String("dir") ? writeDirectory(dir.path()) : writeAgenda(dir.path());
    const QString fileName = dir.filePath(file);
    QByteArray content = readFile(fileName);
    QVERIFY(!content.isEmpty());
    if (operation == QLatin1String("replace")) {
        QVERIFY2(content.contains(from), "the damage must hit the written text");
        QVERIFY(writeFile(fileName, content.replace(from, to)));
    } else if (operation == QLatin1String("truncate")) {
        QVERIFY(content.size() > from.toInt());
        QVERIFY(writeFile(fileName, content.left(from.toInt())));
    } else if (operation == QLatin1String("remove")) {
        QVERIFY(QFile::remove(fileName));
    } else if (operation == QLatin1String("directory")) {
        QVERIFY(QFile::remove(fileName));
        QVERIFY(QDir(dir.path()).mkdir(file));
    } else {
        QVERIFY(QFile::copy(fileName, dir.filePath(QString::fromLatin1(to))));
    }

    const Run run = velxml({ QStringLiteral("validate"), pathTemplate });
    QCOMPARE(run.exitCode, 1);
    const QStringList problems = problemLines(run.out);
    QVERIFY2(!problems.isEmpty(), qPrintable(run.out));
    bool found = false;
    for (const QString &problem : problems) {
        QVERIFY2(problem.startsWith(blamed + QLatin1String(": ")),
                 qPrintable(QStringLiteral("blames another file: ") + problem));
        found = found || problem.contains(message);
    }
    QVERIFY2(found, qPrintable(run.out));
}

void TestVelxml::dumpExportDumpIsIdentical_data()
{
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("application");
    QTest::addColumn<QStringList>("extraKinds");

    QTest::newRow("contacts with markup, tabs and non-ASCII text")
        << "dir"
        << "VelDirectory" << QStringList();
    QTest::newRow("appointments, read-only one included") << "agenda"
                                                          << "Agenda" << QStringList();
    QTest::newRow("two kinds in one set")
        << "dir"
        << "VelDirectory" << QStringList { QStringLiteral("contactMap") };
    QTest::newRow("an empty set") << "empty"
                                  << "Agenda" << QStringList();
}

void TestVelxml::dumpExportDumpIsIdentical()
{
    QFETCH(QString, set);
    QFETCH(QString, application);
    QFETCH(QStringList, extraKinds);

    QTemporaryDir dir;
    QString pathTemplate;
    if (set == QLatin1String("dir")) {
        pathTemplate = writeDirectory(dir.path());
    } else if (set == QLatin1String("agenda")) {
        pathTemplate = writeAgenda(dir.path());
    } else {
        pathTemplate = dir.filePath(QStringLiteral("empty_%1.xml"));
        const ImpExp_XMLBuilder empty(QStringLiteral("d"), QStringLiteral("e"), pathTemplate, 5,
                                      utc(2, 8), 0, 0, QStringLiteral("Agenda"), QDateTime());
    }
    if (!extraKinds.isEmpty()) {
        // Map entries appended on the last page, written by hand in the
        // writer's form.
        const QString last = dir.filePath(QStringLiteral("dir_02.xml"));
        QByteArray content = readFile(last);
        content.replace("</vel:directory>",
                        "<vel:contactMap duid=\"c1\" puid=\"p1\"/></vel:directory>");
        QVERIFY(writeFile(last, content));
    }

    const Run first = velxml({ QStringLiteral("dump"), QStringLiteral("--json"), pathTemplate });
    QCOMPARE(first.exitCode, 0);
    const QString items = dir.filePath(QStringLiteral("items.jsonl"));
    QVERIFY(writeFile(items, first.out.toUtf8()));
    const QString copy = dir.filePath(QStringLiteral("copy_%1.xml"));
    const Run exported
        = velxml({ QStringLiteral("export"), QStringLiteral("--application"), application,
                   QStringLiteral("--page-size"), QStringLiteral("3"), items, copy });
    QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));
    const Run second = velxml({ QStringLiteral("dump"), QStringLiteral("--json"), copy });
    QCOMPARE(second.exitCode, 0);
    QCOMPARE(second.out, first.out);

    if (set == QLatin1String("dir"))
        QVERIFY(first.out.contains(
            QStringLiteral("[\"lastName\",\"Tab\\there\"]"))); // JSON escapes the tab
    if (set == QLatin1String("agenda"))
        QVERIFY(first.out.contains(QStringLiteral("[\"place\",\"Room \\\"1\\\"\"]")));
    const int expected = set == QLatin1String("empty") ? 0
        : set == QLatin1String("agenda")               ? 3
                                                       : 5 + extraKinds.size();
    QCOMPARE(first.out.count(QLatin1Char('\n')), expected);
}

void TestVelxml::exportFollowsSinceAndReadOnly()
{
    QTemporaryDir dir;
    const QString items = dir.filePath(QStringLiteral("items.jsonl"));
    QVERIFY(writeFile(
        items,
        "{\"name\":\"contact\",\"attributes\":[[\"duid\",\"old\"],"
        "[\"lastModified\",\"20260220T000000Z\"]],\"elements\":[[\"lastName\",\"A\"]]}\n"
        "\n"
        "{\"name\":\"contact\",\"attributes\":[[\"duid\",\"new\"],"
        "[\"lastModified\",\"20260305T000000Z\"]],\"elements\":[[\"lastName\",\"B\"]]}\n"
        "{\"name\":\"contact\",\"readOnly\":true,\"attributes\":[[\"duid\",\"ro\"],"
        "[\"lastModified\",\"20260305T000000Z\"]],\"elements\":[[\"lastName\",\"C\"]]}\n"));
    const QString pathTemplate = dir.filePath(QStringLiteral("out_%1.xml"));
    const Run exported = velxml({ QStringLiteral("export"), QStringLiteral("--application"),
                                  QStringLiteral("VelDirectory"), QStringLiteral("--page-size"),
                                  QStringLiteral("2"), QStringLiteral("--since"),
                                  QStringLiteral("2026-03-01"), items, pathTemplate });
    QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));
    const Run dump = velxml({ QStringLiteral("dump"), QStringLiteral("--json"), pathTemplate });
    QCOMPARE(
        dump.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
        QStringList({ QStringLiteral("{\"name\":\"contact\",\"attributes\":[[\"duid\",\"old\"],"
                                     "[\"lastModified\",\"20260220T000000Z\"]],"
                                     "\"elements\":[]}"),
                      QStringLiteral("{\"name\":\"contact\",\"attributes\":[[\"duid\",\"new\"],"
                                     "[\"lastModified\",\"20260305T000000Z\"]],"
                                     "\"elements\":[[\"lastName\",\"B\"]]}"),
                      QStringLiteral("{\"name\":\"contact\",\"attributes\":[[\"duid\",\"ro\"],"
                                     "[\"lastModified\",\"20260305T000000Z\"]],"
                                     "\"elements\":[]}") }));
    const Run info = velxml({ QStringLiteral("info"), pathTemplate });
    QCOMPARE(info.exitCode, 0);
    QVERIFY2(info.out.contains(QLatin1String("1 with fields, 2 identifiers only")),
             qPrintable(info.out));
}

void TestVelxml::exportRefusesBadItems_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("message");

    QTest::newRow("not JSON") << QByteArray("{\"name\":") << "items.jsonl:2: not JSON";
    QTest::newRow("no name") << QByteArray("{\"attributes\":[]}") << "no \"name\"";
    QTest::newRow("a pair of three") << QByteArray("{\"name\":\"contact\",\"attributes\":"
                                                   "[[\"duid\",\"1\",\"x\"]]}")
                                     << "\"attributes\"[0] is not a [name, value] pair";
    QTest::newRow("a number for a value")
        << QByteArray("{\"name\":\"contact\",\"elements\":[[\"fax\",5]]}")
        << "\"elements\"[0] is not a [name, value] pair";
    QTest::newRow("an unknown field")
        << QByteArray("{\"name\":\"contact\",\"readonly\":true}") << "unknown field";
    QTest::newRow("readOnly not a boolean")
        << QByteArray("{\"name\":\"contact\",\"readOnly\":\"yes\"}") << "\"readOnly\"";
}

void TestVelxml::exportRefusesBadItems()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, message);

    QTemporaryDir dir;
    const QString items = dir.filePath(QStringLiteral("items.jsonl"));
    QVERIFY(writeFile(items,
                      "{\"name\":\"contact\",\"attributes\":[[\"duid\",\"1\"]]}\n" + line + '\n'));
    const Run run
        = velxml({ QStringLiteral("export"), QStringLiteral("--application"),
                   QStringLiteral("VelDirectory"), QStringLiteral("--page-size"),
                   QStringLiteral("5"), items, dir.filePath(QStringLiteral("out_%1.xml")) });
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY2(!QFile::exists(dir.filePath(QStringLiteral("out_00.xml"))),
             "nothing is written from bad input");
}

void TestVelxml::usageErrorsExitTwo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    const QString t = QStringLiteral("x_%1.xml");
    const QString e = QStringLiteral("export");
    const QString a = QStringLiteral("--application");
    const QString p = QStringLiteral("--page-size");
    const QString items = QStringLiteral("items.jsonl");
    QTest::newRow("no command") << QStringList() << "Usage: velxml <command>";
    QTest::newRow("unknown command")
        << QStringList { QStringLiteral("frob") } << "unknown command 'frob'";
    QTest::newRow("unknown option")
        << QStringList { QStringLiteral("dump"), QStringLiteral("--bogus"), t }
        << "Unknown option 'bogus'";
    QTest::newRow("missing argument")
        << QStringList { QStringLiteral("info") } << "missing argument: TEMPLATE";
    QTest::newRow("one argument too many")
        << QStringList { QStringLiteral("validate"), t, QStringLiteral("y") }
        << "unexpected argument 'y'";
    QTest::newRow("missing option value")
        << QStringList { QStringLiteral("dump"), t, QStringLiteral("--kind") }
        << "Missing value after '--kind'";
    QTest::newRow("template without %1")
        << QStringList { QStringLiteral("dump"), QStringLiteral("x.xml") } << "must hold %1";
    QTest::newRow("page size not a number")
        << QStringList { e, a, QStringLiteral("Agenda"), p, QStringLiteral("ten"), items, t }
        << "--page-size must be a whole number";
    QTest::newRow("page size zero")
        << QStringList { e, a, QStringLiteral("Agenda"), p, QStringLiteral("0"), items, t }
        << "--page-size must be a whole number";
    QTest::newRow("no application")
        << QStringList { e, p, QStringLiteral("5"), items, t } << "--application is required";
    QTest::newRow("application in the wrong case")
        << QStringList { e, a, QStringLiteral("agenda"), p, QStringLiteral("5"), items, t }
        << "must be VelDirectory or Agenda";
    QTest::newRow("since not a date") << QStringList { e,
                                                       a,
                                                       QStringLiteral("Agenda"),
                                                       p,
                                                       QStringLiteral("5"),
                                                       QStringLiteral("--since"),
                                                       QStringLiteral("yesterday"),
                                                       items,
                                                       t }
                                      << "is not a date";
    QTest::newRow("demo with two folders")
        << QStringList { QStringLiteral("demo"), QStringLiteral("a"), QStringLiteral("b") }
        << "unexpected argument 'b'";
}

void TestVelxml::usageErrorsExitTwo()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const Run run = velxml(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestVelxml::everyCommandHasHelp_data()
{
    QTest::addColumn<QString>("command");
    for (const char *command : { "demo", "info", "validate", "dump", "export" })
        QTest::newRow(command) << QString::fromLatin1(command);
}

void TestVelxml::everyCommandHasHelp()
{
    QFETCH(QString, command);
    const Run run = velxml({ command, QStringLiteral("--help") });
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(QStringLiteral("Usage: velxml %1 [options]").arg(command)),
             qPrintable(run.out));
}

void TestVelxml::demoWritesSetsThatValidate()
{
    QTemporaryDir dir;
    const Run run = velxml({ QStringLiteral("demo"), dir.path() }, cetZone);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(run.err.isEmpty());
    for (const char *expected :
         { "dir_00.xml  page 1 of 3  5 items", "12 contacts (8 with their fields, 4 with",
           "12 appointments (7 with their fields, 5 with",
           // local time: 09:12 UTC is 10:12 in the zone the demo ran in
           "c-101  Doe, Jane  (puid srv-4711, changed Sun 1 Mar 2026 10:12)",
           "Mon 2 Mar 2026 09:00–09:15  Team stand-up", "repeats weekly until Tue 30 Jun 2026",
           "a-204  identifiers only: read-only" })
        QVERIFY2(run.out.contains(QString::fromUtf8(expected)), expected);
    for (const char *set : { "dir_%1.xml", "agenda_%1.xml" }) {
        const Run check = velxml({ QStringLiteral("validate"), dir.filePath(QLatin1String(set)) });
        QVERIFY2(check.exitCode == 0, qPrintable(check.out));
    }
}

void TestVelxml::longRunsStayQuietWithoutTerminal()
{
    QTemporaryDir dir;
    QByteArray lines;
    for (int i = 0; i < 3000; ++i)
        lines += "{\"name\":\"contactMap\",\"attributes\":[[\"duid\",\"" + QByteArray::number(i)
            + "\"]]}\n";
    const QString items = dir.filePath(QStringLiteral("items.jsonl"));
    QVERIFY(writeFile(items, lines));
    const QString pathTemplate = dir.filePath(QStringLiteral("map_%1.xml"));
    const Run exported = velxml({ QStringLiteral("export"), QStringLiteral("--application"),
                                  QStringLiteral("VelDirectory"), QStringLiteral("--page-size"),
                                  QStringLiteral("100"), items, pathTemplate });
    QCOMPARE(exported.exitCode, 0);
    QCOMPARE(exported.err, QString());
    const Run validated = velxml({ QStringLiteral("validate"), pathTemplate });
    QCOMPARE(validated.exitCode, 0);
    QCOMPARE(validated.err, QString());
    QVERIFY(validated.out.contains(QLatin1String("30 page files, 3000 items")));
}

QTEST_GUILESS_MAIN(TestVelxml)
#include "tst_velxml.moc"
