#include <ImpExp_Item.h>

#include "TimeZoneScope.h"
#include "model/ImpExp_Guard.h"

#include <QtTest>

#include <functional>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// Data rows need a default-constructible type.
struct Item : ImpExp_Item {
    Item()
        : ImpExp_Item(QString())
    {
    }
    Item(const ImpExp_Item &item)
        : ImpExp_Item(item)
    {
    }
};
Q_DECLARE_METATYPE(Item)

namespace
{
// An item from "name=value" texts; a value after '=' may be empty.
Item makeItem(const QString &name, const QStringList &attributes, const QStringList &elements = {})
{
    ImpExp_Item item(name);
    for (const QString &pair : attributes)
        item.addAttribute(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    for (const QString &pair : elements)
        item.addElement(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    return Item(item);
}
} // namespace

namespace
{
const char *const cet = "CET-1CEST,M3.5.0,M10.5.0/3";

QString expectError(const std::function<void()> &call)
{
    try {
        call();
    } catch (const ImpExp_ErrorException &e) {
        return QString::fromLatin1(e.what());
    }
    return QStringLiteral("<nothing thrown>");
}
} // namespace

class TestItem : public QObject
{
    Q_OBJECT

private slots:
    void nameOnly();
    void identity_data();
    void identity();
    void emptyDuidRefused_data();
    void emptyDuidRefused();
    void lastModifiedRoundTrip_data();
    void lastModifiedRoundTrip();
    void lastModifiedRefused_data();
    void lastModifiedRefused();
    void timestampFormat_data();
    void timestampFormat();
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

void TestItem::nameOnly()
{
    const ImpExp_Item item(QStringLiteral("contact"));
    QCOMPARE(item.getItemName(), QStringLiteral("contact"));
    QVERIFY(item.getAttributes().isEmpty());
    QVERIFY(item.getItemElements().isEmpty());
    QVERIFY(!item.getReadOnlyItem());
    QVERIFY(item.getLastModificationDate().isNull());
}

void TestItem::identity_data()
{
    QTest::addColumn<QString>("puid");
    QTest::addColumn<QDateTime>("lastModified");
    QTest::addColumn<QStringList>("expected"); // name=value, in order

    const QDateTime utc(QDate(2026, 1, 31), QTime(23, 59, 59, 999), Qt::UTC);
    QTest::newRow("all three, in order")
        << QStringLiteral("p7") << utc
        << QStringList { QStringLiteral("duid=17"), QStringLiteral("puid=p7"),
                         QStringLiteral("lastModified=20260131T235959Z") };
    QTest::newRow("null puid adds none")
        << QString() << utc
        << QStringList { QStringLiteral("duid=17"),
                         QStringLiteral("lastModified=20260131T235959Z") };
    QTest::newRow("empty puid is kept")
        << QStringLiteral("") << QDateTime()
        << QStringList { QStringLiteral("duid=17"), QStringLiteral("puid=") };
    QTest::newRow("null date adds none")
        << QString() << QDateTime() << QStringList { QStringLiteral("duid=17") };
    QTest::newRow("offset date converted to UTC")
        << QString() << QDateTime(QDate(2026, 2, 1), QTime(1, 0, 0), Qt::OffsetFromUTC, 3600)
        << QStringList { QStringLiteral("duid=17"),
                         QStringLiteral("lastModified=20260201T000000Z") };
}

void TestItem::identity()
{
    QFETCH(QString, puid);
    QFETCH(QDateTime, lastModified);
    QFETCH(QStringList, expected);

    const ImpExp_Item item(QStringLiteral("contact"), QStringLiteral("17"), puid, lastModified);
    QStringList actual;
    for (const auto &pair : item.getAttributes())
        actual << pair.first + QLatin1Char('=') + pair.second;
    QCOMPARE(actual, expected);
    QVERIFY(item.getItemElements().isEmpty());
    QCOMPARE(item.getAttribute(QStringLiteral("puid")).isNull(), puid.isNull());
}

void TestItem::emptyDuidRefused_data()
{
    QTest::addColumn<QString>("duid");
    QTest::newRow("null") << QString();
    QTest::newRow("empty") << QStringLiteral("");
}

void TestItem::emptyDuidRefused()
{
    QFETCH(QString, duid);
    QCOMPARE(expectError([&] {
                 ImpExp_Item(QStringLiteral("contact"), duid, QStringLiteral("p"), QDateTime());
             }),
             QStringLiteral("Empty duid for Item"));
}

void TestItem::lastModifiedRoundTrip_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("local"); // wall-clock time in that zone

    QTest::newRow("winter, east of UTC") << QByteArray(cet) << QStringLiteral("20260131T090000Z")
                                         << QStringLiteral("2026-01-31T10:00:00");
    // 02:30 local does not exist that night; 02:30 UTC is 04:30 summer time.
    QTest::newRow("digits inside the spring gap")
        << QByteArray(cet) << QStringLiteral("20260329T023000Z")
        << QStringLiteral("2026-03-29T04:30:00");
    QTest::newRow("leap day") << QByteArray("UTC0") << QStringLiteral("20240229T120000Z")
                              << QStringLiteral("2024-02-29T12:00:00");
    QTest::newRow("before the epoch") << QByteArray("UTC0") << QStringLiteral("19691231T235959Z")
                                      << QStringLiteral("1969-12-31T23:59:59");
    QTest::newRow("year 0001") << QByteArray("UTC0") << QStringLiteral("00010101T000000Z")
                               << QStringLiteral("0001-01-01T00:00:00");
}

void TestItem::lastModifiedRoundTrip()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, text);
    QFETCH(QString, local);
    const TimeZoneScope tz(zone.constData());

    ImpExp_Item item(QStringLiteral("contact"));
    item.addAttribute(QStringLiteral("lastModified"), text);
    const QDateTime read = item.getLastModificationDate();
    QCOMPARE(read.timeSpec(), Qt::LocalTime);
    QCOMPARE(read.toString(Qt::ISODate), local);

    // And back: the identity constructor writes the same text, milliseconds dropped.
    const ImpExp_Item written(QStringLiteral("contact"), QStringLiteral("1"), QString(),
                              read.addMSecs(999));
    QCOMPARE(written.getAttribute(QStringLiteral("lastModified")), text);
}

void TestItem::lastModifiedRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("hyphens and colons") << QStringLiteral("2026-01-31T23:59:59Z");
    QTest::newRow("no final Z") << QStringLiteral("20260131T235959");
    QTest::newRow("lower-case t") << QStringLiteral("20260131t235959Z");
    QTest::newRow("month 13") << QStringLiteral("20261331T235959Z");
    QTest::newRow("30 February") << QStringLiteral("20260230T120000Z");
    QTest::newRow("29 February of a common year") << QStringLiteral("20250229T120000Z");
    QTest::newRow("hour 24") << QStringLiteral("20260131T240000Z");
    QTest::newRow("second 60") << QStringLiteral("20261231T235960Z");
    QTest::newRow("year 0000") << QStringLiteral("00000101T000000Z");
    QTest::newRow("signed year") << QStringLiteral("+2026131T235959Z");
    QTest::newRow("five-digit year") << QStringLiteral("120260131T235959Z");
    QTest::newRow("trailing text") << QStringLiteral("20260131T235959Zx");
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("2026013\xd9\xa1T235959Z");
    QTest::newRow("whitespace") << QStringLiteral(" 20260131T23595Z");
}

void TestItem::lastModifiedRefused()
{
    QFETCH(QString, text);
    ImpExp_Item item(QStringLiteral("contact"));
    item.addAttribute(QStringLiteral("lastModified"), text);
    QCOMPARE(expectError([&] { item.getLastModificationDate(); }),
             QStringLiteral("invalid LastModificationDate"));

    ImpExp_Item empty(QStringLiteral("contact"));
    empty.addAttribute(QStringLiteral("lastModified"), QStringLiteral(""));
    QVERIFY(empty.getLastModificationDate().isNull());
}

void TestItem::timestampFormat_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<QString>("text");
    QTest::newRow("half a second before the epoch")
        << QDateTime::fromMSecsSinceEpoch(-500, Qt::UTC) << QStringLiteral("19691231T235959Z");
    QTest::newRow("last second of a leap year")
        << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999), Qt::UTC)
        << QStringLiteral("20241231T235959Z");
    QTest::newRow("year 9999") << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC)
                               << QStringLiteral("99991231T235959Z");
    QTest::newRow("set but invalid gives an empty text")
        << QDateTime(QDate(2026, 2, 30), QTime(1, 0), Qt::UTC) << QString();
}

void TestItem::timestampFormat()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(QString, text);
    const ImpExp_Item item(QStringLiteral("contact"), QStringLiteral("1"), QString(), dateTime);
    QCOMPARE(item.getAttribute(QStringLiteral("lastModified")), text);
    if (dateTime.isValid()) // the same text as Qt's own formatting
        QCOMPARE(text, dateTime.toUTC().toString(QStringLiteral("yyyyMMddThhmmssZ")));
}

void TestItem::lookup()
{
    ImpExp_Item item(QStringLiteral("contact"));
    item.addAttribute(QStringLiteral("duid"), QStringLiteral("first"));
    item.addAttribute(QStringLiteral("duid"), QStringLiteral("second"));
    item.addElement(QStringLiteral("lastName"), QStringLiteral("Doe"));
    item.addElement(QString(), QStringLiteral("nameless"));

    QCOMPARE(item.getAttribute(QStringLiteral("duid")), QStringLiteral("first"));
    QCOMPARE(item.getAttributes().size(), 2);
    QCOMPARE(item.getAttributes().at(1).second, QStringLiteral("second"));
    QVERIFY(item.getElement(QStringLiteral("LastName")).isNull());
    QVERIFY(item.getElement(QStringLiteral("firstName")).isNull());
    QCOMPARE(item.getElement(QStringLiteral("")), QStringLiteral("nameless")); // empty equals null
}

void TestItem::toStringText_data()
{
    QTest::addColumn<Item>("item");
    QTest::addColumn<QString>("text");

    QTest::newRow("no pairs") << makeItem(QStringLiteral("X"), {})
                              << QStringLiteral("name=<X>\n  Attributes: \n  Elements: ");
    QTest::newRow("one of each")
        << makeItem(QStringLiteral("contact"), { QStringLiteral("duid=17") },
                    { QStringLiteral("lastName=Doe") })
        << QStringLiteral("name=<contact>\n  Attributes: duid=<17> \n  Elements: lastName=<Doe> ");
    QTest::newRow("placeholders are not substituted twice, duplicates listed")
        << makeItem(
               QStringLiteral("a%1"),
               { QStringLiteral("n%2=v%1"), QStringLiteral("n=dup"), QStringLiteral("n=dup2") })
        << QStringLiteral("name=<a%1>\n  Attributes: n%2=<v%1> n=<dup> n=<dup2> \n  Elements: ");
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

    const QStringList ids { QStringLiteral("duid=1"), QStringLiteral("puid=2") };
    const Item base = makeItem(QStringLiteral("contact"), ids, { QStringLiteral("lastName=") });
    Item readOnly = base;
    readOnly.setReadOnlyItem(true);
    Item nullValue = makeItem(QStringLiteral("contact"), ids);
    nullValue.addElement(QStringLiteral("lastName"), QString());
    Item emptyValue = makeItem(QStringLiteral("contact"), ids);
    emptyValue.addElement(QStringLiteral("lastName"), QStringLiteral(""));

    QTest::newRow("read-only flag ignored") << base << readOnly << true;
    QTest::newRow("null and empty values are equal") << nullValue << emptyValue << true;
    QTest::newRow("order matters")
        << base
        << makeItem(QStringLiteral("contact"), { ids[1], ids[0] }, { QStringLiteral("lastName=") })
        << false;
    QTest::newRow("names differ") << base
                                  << makeItem(QStringLiteral("contactMap"), ids,
                                              { QStringLiteral("lastName=") })
                                  << false;
    QTest::newRow("one more pair")
        << base
        << makeItem(QStringLiteral("contact"), ids,
                    { QStringLiteral("lastName="), QStringLiteral("lastName=") })
        << false;
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
    QTest::newRow("plain") << QStringLiteral("Bad path") << QByteArray("Bad path");
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
    const auto throwFromLibrary
        = [] { ImpExp_Item(QStringLiteral("c"), QString(), QString(), QDateTime()); };
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
