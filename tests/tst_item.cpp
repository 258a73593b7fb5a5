#include <ImpExp_Item.h>

#include "Thrown.h"
#include "TimeZoneScope.h"
#include "model/ImpExp_Guard.h"

#include <QtTest>

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

// Data rows need a default-constructible type.
struct Item : ImpExp_Item {
    Item(const ImpExp_Item &item = ImpExp_Item(QString()))
        : ImpExp_Item(item)
    {
    }
};
Q_DECLARE_METATYPE(Item)

namespace
{
const char *const cet = "CET-1CEST,M3.5.0,M10.5.0/3";

// An item from "name=value" texts.
Item makeItem(const QString &name, const QStringList &attributes, const QStringList &elements = {})
{
    ImpExp_Item item(name);
    for (const QString &pair : attributes)
        item.addAttribute(pair.section('=', 0, 0), pair.section('=', 1));
    for (const QString &pair : elements)
        item.addElement(pair.section('=', 0, 0), pair.section('=', 1));
    return item;
}

QString pairs(const ImpExp_PairList &list)
{
    QStringList texts;
    for (const auto &pair : list)
        texts << pair.first + '=' + pair.second;
    return texts.join(' ');
}

constexpr auto errorOf = &messageOf<ImpExp_ErrorException>;
} // namespace

class TestItem : public QObject
{
    Q_OBJECT

private slots:
    void identity_data();
    void identity();
    void lastModified_data();
    void lastModified();
    void lookup();
    void toStringText_data();
    void toStringText();
    void equality_data();
    void equality();
    void exceptionMessages_data();
    void exceptionMessages();
    void exceptionHierarchy();
    void guardPassesOnlyDeclaredKinds_data();
    void guardPassesOnlyDeclaredKinds();
};

void TestItem::identity_data()
{
    QTest::addColumn<QString>("duid");
    QTest::addColumn<QString>("puid");
    QTest::addColumn<QDateTime>("lastModified");
    QTest::addColumn<QString>("attributes"); // or the error message

    const QDateTime utc(QDate(2026, 1, 31), QTime(23, 59, 59, 999), Qt::UTC);
    QTest::newRow("all three, in order")
        << "17"
        << "p7" << utc << "duid=17 puid=p7 lastModified=20260131T235959Z";
    QTest::newRow("null puid adds none")
        << "17" << QString() << utc << "duid=17 lastModified=20260131T235959Z";
    QTest::newRow("empty puid is kept") << "17"
                                        << "" << QDateTime() << "duid=17 puid=";
    QTest::newRow("offset date converted to UTC")
        << "17" << QString() << QDateTime(QDate(2026, 2, 1), QTime(1, 0), Qt::OffsetFromUTC, 3600)
        << "duid=17 lastModified=20260201T000000Z";
    QTest::newRow("before the epoch, milliseconds dropped")
        << "17" << QString() << QDateTime::fromMSecsSinceEpoch(-500, Qt::UTC)
        << "duid=17 lastModified=19691231T235959Z";
    QTest::newRow("year 9999") << "17" << QString()
                               << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC)
                               << "duid=17 lastModified=99991231T235959Z";
    QTest::newRow("set but invalid date gives an empty text")
        << "17" << QString() << QDateTime(QDate(2026, 2, 30), QTime(1, 0), Qt::UTC)
        << "duid=17 lastModified=";
    QTest::newRow("null duid") << QString() << "p" << utc << "Empty duid for Item";
    QTest::newRow("empty duid") << ""
                                << "p" << utc << "Empty duid for Item";
}

void TestItem::identity()
{
    QFETCH(QString, duid);
    QFETCH(QString, puid);
    QFETCH(QDateTime, lastModified);
    QFETCH(QString, attributes);

    if (duid.isEmpty()) {
        QCOMPARE(errorOf([&] { ImpExp_Item("contact", duid, puid, lastModified); }), attributes);
        return;
    }
    const ImpExp_Item item("contact", duid, puid, lastModified);
    QCOMPARE(pairs(item.getAttributes()), attributes);
    QVERIFY(item.getItemElements().isEmpty());
    QVERIFY(!item.getReadOnlyItem());
    QCOMPARE(item.getAttribute("puid").isNull(), puid.isNull());
}

void TestItem::lastModified_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("local"); // wall-clock time there, or "refused"

    QTest::newRow("winter, east of UTC") << QByteArray(cet) << "20260131T090000Z"
                                         << "2026-01-31T10:00:00";
    // 02:30 local does not exist that night; 02:30 UTC is 04:30 summer time.
    QTest::newRow("digits inside the spring gap") << QByteArray(cet) << "20260329T023000Z"
                                                  << "2026-03-29T04:30:00";
    QTest::newRow("leap day") << QByteArray("UTC0") << "20240229T120000Z"
                              << "2024-02-29T12:00:00";
    QTest::newRow("year 0001") << QByteArray("UTC0") << "00010101T000000Z"
                               << "0001-01-01T00:00:00";

    const char *const refused[][2] = {
        { "hyphens and colons", "2026-01-31T23:59:59Z" },
        { "no final Z", "20260131T235959" },
        { "lower-case t", "20260131t235959Z" },
        { "month 13", "20261331T235959Z" },
        { "30 February", "20260230T120000Z" },
        { "29 February, common year", "20250229T120000Z" },
        { "hour 24", "20260131T240000Z" },
        { "second 60", "20261231T235960Z" },
        { "year 0000", "00000101T000000Z" },
        { "signed year", "+2026131T235959Z" },
        { "five-digit year", "120260131T235959Z" },
        { "trailing text", "20260131T235959Zx" },
        { "non-ASCII digit", "2026013\xd9\xa1T235959Z" },
        { "leading space", " 20260131T23595Z" },
    };
    for (const auto &row : refused)
        QTest::newRow(row[0]) << QByteArray("UTC0") << QString::fromUtf8(row[1]) << "refused";
}

void TestItem::lastModified()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, text);
    QFETCH(QString, local);
    const TimeZoneScope tz(zone.constData());

    ImpExp_Item item("contact");
    QVERIFY(item.getLastModificationDate().isNull()); // absent
    item.addAttribute("lastModified", text);
    if (local == "refused") {
        QCOMPARE(errorOf([&] { item.getLastModificationDate(); }), "invalid LastModificationDate");
        return;
    }
    const QDateTime read = item.getLastModificationDate();
    QCOMPARE(read.timeSpec(), Qt::LocalTime);
    QCOMPARE(read.toString(Qt::ISODate), local);
    // And back: the identity constructor writes the same text, milliseconds dropped.
    const ImpExp_Item written("contact", "1", QString(), read.addMSecs(999));
    QCOMPARE(written.getAttribute("lastModified"), text);

    ImpExp_Item empty("contact");
    empty.addAttribute("lastModified", "");
    QVERIFY(empty.getLastModificationDate().isNull());
}

void TestItem::lookup()
{
    const Item item
        = makeItem("contact", { "duid=first", "duid=second" }, { "lastName=Doe", "=nameless" });
    QCOMPARE(item.getAttribute("duid"), "first");
    QCOMPARE(pairs(item.getAttributes()), "duid=first duid=second");
    QVERIFY(item.getElement("LastName").isNull());
    QVERIFY(item.getElement("firstName").isNull());
    QCOMPARE(item.getElement(QString()), "nameless"); // a null name finds the empty one
}

void TestItem::toStringText_data()
{
    QTest::addColumn<Item>("item");
    QTest::addColumn<QString>("text");

    QTest::newRow("no pairs") << makeItem("X", {}) << "name=<X>\n  Attributes: \n  Elements: ";
    QTest::newRow("one of each")
        << makeItem("contact", { "duid=17" }, { "lastName=Doe" })
        << "name=<contact>\n  Attributes: duid=<17> \n  Elements: lastName=<Doe> ";
    QTest::newRow("placeholders are not substituted twice, duplicates listed")
        << makeItem("a%1", { "n%2=v%1", "n=dup", "n=dup2" })
        << "name=<a%1>\n  Attributes: n%2=<v%1> n=<dup> n=<dup2> \n  Elements: ";
}

void TestItem::toStringText()
{
    QFETCH(Item, item);
    QFETCH(QString, text);
    QCOMPARE(item.toString(), text);
}

void TestItem::equality_data()
{
    QTest::addColumn<Item>("a");
    QTest::addColumn<Item>("b");
    QTest::addColumn<bool>("equal");

    const QStringList ids { "duid=1", "puid=2" };
    const Item base = makeItem("contact", ids, { "lastName=x" });
    Item readOnly = base;
    readOnly.setReadOnlyItem(true);
    Item nullValue = makeItem("contact", ids);
    nullValue.addElement("lastName", QString());
    Item emptyValue = makeItem("contact", ids);
    emptyValue.addElement("lastName", "");

    QTest::newRow("read-only flag ignored") << base << readOnly << true;
    QTest::newRow("null and empty values are equal") << nullValue << emptyValue << true;
    QTest::newRow("order matters")
        << base << makeItem("contact", { ids[1], ids[0] }, { "lastName=x" }) << false;
    QTest::newRow("names differ") << base << makeItem("contactMap", ids, { "lastName=x" }) << false;
    QTest::newRow("one more pair")
        << base << makeItem("contact", ids, { "lastName=x", "lastName=x" }) << false;
}

void TestItem::equality()
{
    QFETCH(Item, a);
    QFETCH(Item, b);
    QFETCH(bool, equal);
    QCOMPARE(a == b, equal);
    QCOMPARE(b == a, equal);
}

void TestItem::exceptionMessages_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("what");
    QTest::newRow("Latin-1 kept") << QString::fromUtf8("caf\xc3\xa9") << QByteArray("caf\xe9");
    QTest::newRow("Greek letter becomes ?") << QString::fromUtf8("x\xce\xb1y") << QByteArray("x?y");
    QTest::newRow("cut at NUL") << QString::fromLatin1("before\0after", 12) << QByteArray("before");
}

void TestItem::exceptionMessages()
{
    QFETCH(QString, message);
    QFETCH(QByteArray, what);
    QCOMPARE(QByteArray(ImpExp_FatalException(message).what()), what);
    QCOMPARE(QByteArray(ImpExp_ErrorException(message).what()), what);
}

void TestItem::exceptionHierarchy()
{
    // Thrown inside the library, caught by the host through every base, and
    // never by the other kind's handler.
    const auto throwFromLibrary = [] { ImpExp_Item("c", QString(), QString(), QDateTime()); };
    QVERIFY_EXCEPTION_THROWN(throwFromLibrary(), ImpExp_Exception);
    QVERIFY_EXCEPTION_THROWN(throwFromLibrary(), std::runtime_error);
    QVERIFY_EXCEPTION_THROWN(throwFromLibrary(), std::exception);
    QVERIFY_EXCEPTION_THROWN(
        try { throwFromLibrary(); } catch (const ImpExp_FatalException &) {},
        ImpExp_ErrorException);
    QVERIFY_EXCEPTION_THROWN(
        try { throw ImpExp_FatalException(QString()); } catch (const ImpExp_ErrorException &) {},
        ImpExp_FatalException);
}

void TestItem::guardPassesOnlyDeclaredKinds_data()
{
    QTest::addColumn<int>("thrown"); // 0 declared, 1 the other kind, 2 std::bad_alloc
    QTest::addColumn<bool>("passedOn");
    QTest::newRow("declared kind passes") << 0 << true;
    QTest::newRow("other kind ends the process") << 1 << false;
    QTest::newRow("bad_alloc ends the process") << 2 << false;
}

void TestItem::guardPassesOnlyDeclaredKinds()
{
    QFETCH(int, thrown);
    QFETCH(bool, passedOn);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        try {
            try {
                if (thrown == 0)
                    throw ImpExp_ErrorException(QString());
                if (thrown == 1)
                    throw ImpExp_FatalException(QString());
                throw std::bad_alloc();
            } catch (...) {
                ImpExp_Guard<ImpExp_ErrorException>::passOn();
            }
        } catch (const ImpExp_ErrorException &) {
            _exit(0);
        }
        _exit(1);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    if (passedOn)
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    else
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
}

QTEST_APPLESS_MAIN(TestItem)
#include "tst_item.moc"
