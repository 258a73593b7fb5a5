#include <Contact_Item.h>

#include "TimeZoneScope.h"

#include <QtTest>

namespace
{

// The attributes, then the elements, as name=value; with each list closed by '|'.
QString text(const ImpExp_Item &item)
{
    QString out;
    for (const ImpExp_PairList &list : { item.getAttributes(), item.getItemElements() }) {
        for (const auto &pair : list)
            out += pair.first + QLatin1Char('=') + pair.second + QLatin1Char(';');
        out += QLatin1Char('|');
    }
    return out;
}

} // namespace

class TestContact : public QObject
{
    Q_OBJECT

private slots:
    void contact_data();
    void contact();
    void map();
};

void TestContact::contact_data()
{
    QTest::addColumn<QString>("duid");
    QTest::addColumn<QString>("puid");
    QTest::addColumn<QDateTime>("lastModified");
    QTest::addColumn<QString>("field"); // the one text field given the value; "*": every one
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("photo");
    QTest::addColumn<QString>("expected"); // or the message thrown

    const QString d = QStringLiteral("d"), x = QStringLiteral("x"), none, empty = QLatin1String("");
    const QDateTime noDate;
    QTest::newRow("every field: lastName before firstName; company, fax, officePhone2")
        << d << none << noDate << "*" << x << QByteArray("x")
        << "duid=d;|lastName=x;firstName=x;company=x;email=x;personalEmail=x;officePhone=x;"
           "personalHome=x;personalMobile=x;fax=x;officePhone2=x;photo=x;collaborationId=x;"
           "otherPhone=x;jobTitle=x;|";
    QTest::newRow("null puid and date, empty text field, null photo: duid alone")
        << d << none << noDate << "firstName" << empty << QByteArray() << "duid=d;||";
    QTest::newRow("a single space is kept") << d << none << noDate << "email" << QStringLiteral(" ")
                                            << QByteArray() << "duid=d;|email= ;|";
    QTest::newRow("empty puid kept, date in UTC, empty photo stored empty")
        << d << empty << QDateTime(QDate(2026, 1, 31), QTime(10, 0, 0, 500), Qt::LocalTime) << none
        << none << QByteArray("") << "duid=d;puid=;lastModified=20260131T090000Z;|photo=;|";
    QTest::newRow("the photo is UTF-8 cut at a zero byte")
        << d << none << noDate << none << none << QByteArray("\xc3\xa9\0cd", 5)
        << "duid=d;|photo=\xc3\xa9;|";
    QTest::newRow("empty duid refused, whatever else is set")
        << empty << d << noDate << "*" << x << QByteArray("x") << "Empty duid for Item";
}

void TestContact::contact()
{
    QFETCH(QString, duid);
    QFETCH(QString, puid);
    QFETCH(QDateTime, lastModified);
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QByteArray, photo);
    QFETCH(QString, expected);

    TimeZoneScope tz("CET-1");
    const auto v = [&](const char *name) {
        const QString n = QLatin1String(name);
        return field == QLatin1String("*") || field == n ? value : QString();
    };
    try {
        const Contact_Item item(duid, puid, lastModified, v("firstName"), v("lastName"), v("email"),
                                v("personalEmail"), v("officePhone"), v("personalHome"),
                                v("personalMobile"), photo, v("collaborationId"), v("officePhone2"),
                                v("fax"), v("company"), v("otherPhone"), v("jobTitle"));
        QCOMPARE(item.getItemName(), QStringLiteral("contact"));
        QCOMPARE(text(item), expected);
        QVERIFY(!item.getReadOnlyItem());
    } catch (const ImpExp_ErrorException &e) {
        QCOMPARE(QString::fromLatin1(e.what()), expected);
    }
}

void TestContact::map()
{
    const ContactMap_Item map(QStringLiteral("d"), QLatin1String(""));
    QCOMPARE(map.getItemName(), QStringLiteral("contactMap"));
    QCOMPARE(text(map), QStringLiteral("duid=d;puid=;||"));
    QCOMPARE(text(ContactMap_Item(QStringLiteral("d"), QString())), QStringLiteral("duid=d;||"));
    QVERIFY_EXCEPTION_THROWN(ContactMap_Item(QString(), QStringLiteral("p")),
                             ImpExp_ErrorException);
}

QTEST_APPLESS_MAIN(TestContact)
#include "tst_contact.moc"
