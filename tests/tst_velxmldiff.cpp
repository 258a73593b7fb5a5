// Drives velxml diff and velxml apply: the demo's directory items exported in
// full, against a copy with one field changed, one contact removed and one
// added.

#include "VelxmlRun.h"

#include <QtTest>

namespace
{

QByteArray readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray withoutCreated(QByteArray page)
{
    const int at = page.indexOf(" created=\"");
    return at < 0 ? page : page.remove(at, page.indexOf('"', at + 10) + 1 - at);
}

} // namespace

class TestVelxmlDiff : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void diff_data();
    void diff();
    void applyWritesTheEditedSet();

private:
    QTemporaryDir dir;
    QString path(const char *set) const { return dir.filePath(QLatin1String(set)) + "_%1.xml"; }
};

void TestVelxmlDiff::initTestCase()
{
    QVERIFY(dir.isValid());
    // A carriage return before a line feed does not survive a reader, so a
    // set written again from what was read could not carry it.
    const QByteArray items
        = readFile(QStringLiteral(VELXML_TEST_DATA "/sets/dir.jsonl")).replace(R"(\r\n)", R"(\n)");
    QVERIFY(writeFile(dir.filePath("old.jsonl"), items));
    QList<QByteArray> lines = items.split('\n');
    QByteArray edited;
    for (const QByteArray &line : lines) {
        if (line.isEmpty() || line.contains(R"(["duid","c-103"])"))
            continue;
        edited
            += QByteArray(line).replace(R"(["lastName","Doe"])", R"(["lastName","Dough"])") + '\n';
    }
    edited += R"({"name":"contact","attributes":[["duid","c-900"],["lastModified",)"
              R"("20260305T100000Z"]],"elements":[["lastName","Newcomer"]]})"
              "\n";
    QVERIFY(writeFile(dir.filePath("new.jsonl"), edited));
    for (const char *set : { "old", "new" }) {
        const VelxmlRun run = runVelxml({ "export", "--application", "VelDirectory", "--page-size",
                                          "5", dir.filePath(set + QString(".jsonl")), path(set) });
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    }
}

void TestVelxmlDiff::diff_data()
{
    QTest::addColumn<QStringList>("arguments"); // "old", "new", "missing" name sets
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");

    QTest::newRow("an edited copy") << QStringList { "old", "new" } << 1
                                    << "contact: 1 added, 1 changed, 11 unchanged, 1 removed\n"
                                       "changed contact c-101: lastName \"Doe\" → \"Dough\"\n"
                                       "added contact c-900\n"
                                       "removed contact c-103\n";
    QTest::newRow("as JSON") << QStringList { "--json", "old", "new" } << 1
                             << R"({"duid":"c-101","elements":[{"name":"lastName","new":"Dough",)"
                                R"("old":"Doe"}],"kind":"contact","status":"changed"})"
                                "\n"
                                R"({"duid":"c-900","kind":"contact","status":"added"})"
                                "\n"
                                R"({"duid":"c-103","kind":"contact","status":"removed"})"
                                "\n";
    QTest::newRow("a set against itself")
        << QStringList { "new", "new" } << 0
        << "contact: 0 added, 0 changed, 13 unchanged, 0 removed\n";
    QTest::newRow("the other way") << QStringList { "new", "old" } << 1
                                   << "contact: 1 added, 1 changed, 11 unchanged, 1 removed\n"
                                      "changed contact c-101: lastName \"Dough\" → \"Doe\"\n"
                                      "added contact c-103\n"
                                      "removed contact c-900\n";
    QTest::newRow("a set that is not there") << QStringList { "old", "missing" } << 2 << "";
    QTest::newRow("one set only") << QStringList { "old" } << 2 << "";
}

void TestVelxmlDiff::diff()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    for (QString &argument : arguments)
        if (!argument.startsWith(QLatin1Char('-')))
            argument = path(qPrintable(argument));
    const VelxmlRun run = runVelxml(QStringList { "diff" } + arguments);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.out, out);
    QCOMPARE(run.err.isEmpty(), exitCode < 2);
}

// apply of old and new gives the bytes of new, and refuses to write over a set.
void TestVelxmlDiff::applyWritesTheEditedSet()
{
    const VelxmlRun run = runVelxml({ "apply", path("old"), path("new"), path("applied") });
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    for (const char *page : { "_00.xml", "_01.xml", "_02.xml" })
        QCOMPARE(withoutCreated(readFile(dir.filePath("applied") + page)),
                 withoutCreated(readFile(dir.filePath("new") + page)));
    QVERIFY(!QFile::exists(dir.filePath("applied_03.xml")));
    const VelxmlRun again = runVelxml({ "apply", path("old"), path("new"), path("applied") });
    QCOMPARE(again.exitCode, 2);
    QVERIFY2(again.err.contains("exists"), qPrintable(again.err));
}

QTEST_GUILESS_MAIN(TestVelxmlDiff)
#include "tst_velxmldiff.moc"
