#include <Contact_Item.h>

#include "TimeZoneScope.h"

#include <QtTest>

Q_DECLARE_METATYPE(ImpExp_PairList)

namespace
{

typedef QMap<QString, QString> Fields;

// A contact with the given fields by parameter name; fields not given are null.
Contact_Item makeContact(const Fields &f, const QByteArray &photo = QByteArray())
{
    return Contact_Item(
        QStringLiteral("c1"), QString(), QDateTime(), f.value(QStringLiteral("firstName")),
        f.value(QStringLiteral("lastName")), f.value(QStringLiteral("email")),
        f.value(QStringLiteral("personalEmail")), f.value(QStringLiteral("officePhone")),
        f.value(QStringLiteral("personalHome")), f.value(QStringLiteral("personalMobile")), photo,
        f.value(QStringLiteral("collaborationId")), f.value(QStringLiteral("officePhone2")),
        f.value(QStringLiteral("fax")), f.value(QStringLiteral("company")),
        f.value(QStringLiteral("otherPhone")), f.value(QStringLiteral("jobTitle")));
}

ImpExp_PairList pairs(std::initializer_list<std::pair<const char *, const char *>> list)
{
    ImpExp_PairList result;
    for (const auto &p : list)
        result.append(qMakePair(QString::fromUtf8(p.first), QString::fromUtf8(p.second)));
    return result;
}

} // namespace

class TestContact : public QObject
{
    Q_OBJECT

private slots:
    void elements_data();
    void elements();
    void attributes_data();
    void attributes();
    void emptyDuidRefused_data();
    void emptyDuidRefused();
};

void TestContact::elements_data()
{
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QByteArray>("photo");
    QTest::addColumn<ImpExp_PairList>("expected");

    Fields all;
    for (const char *name : { "firstName", "lastName", "email", "personalEmail", "officePhone",
                              "personalHome", "personalMobile", "collaborationId", "officePhone2",
                              "fax", "company", "otherPhone", "jobTitle" })
        all.insert(QString::fromLatin1(name), QString::fromLatin1(name).toUpper());

    QTest::newRow("duid only: no elements") << Fields() << QByteArray() << ImpExp_PairList();
    QTest::newRow("lastName comes before firstName")
        << Fields { { QStringLiteral("firstName"), QStringLiteral("Jane") },
                    { QStringLiteral("lastName"), QStringLiteral("Doe") } }
        << QByteArray() << pairs({ { "lastName", "Doe" }, { "firstName", "Jane" } });
    QTest::newRow("company, fax, officePhone2 in table order")
        << Fields { { QStringLiteral("officePhone2"), QStringLiteral("2") },
                    { QStringLiteral("fax"), QStringLiteral("F") },
                    { QStringLiteral("company"), QStringLiteral("C") } }
        << QByteArray() << pairs({ { "company", "C" }, { "fax", "F" }, { "officePhone2", "2" } });
    QTest::newRow("every field in table order") << all << QByteArray("cGhvdG8=")
                                                << pairs({ { "lastName", "LASTNAME" },
                                                           { "firstName", "FIRSTNAME" },
                                                           { "company", "COMPANY" },
                                                           { "email", "EMAIL" },
                                                           { "personalEmail", "PERSONALEMAIL" },
                                                           { "officePhone", "OFFICEPHONE" },
                                                           { "personalHome", "PERSONALHOME" },
                                                           { "personalMobile", "PERSONALMOBILE" },
                                                           { "fax", "FAX" },
                                                           { "officePhone2", "OFFICEPHONE2" },
                                                           { "photo", "cGhvdG8=" },
                                                           { "collaborationId", "COLLABORATIONID" },
                                                           { "otherPhone", "OTHERPHONE" },
                                                           { "jobTitle", "JOBTITLE" } });
    QTest::newRow("a single space is kept as it is")
        << Fields { { QStringLiteral("email"), QStringLiteral(" ") } } << QByteArray()
        << pairs({ { "email", " " } });
    QTest::newRow("an empty non-null text field is left out")
        << Fields { { QStringLiteral("firstName"), QLatin1String("") } } << QByteArray()
        << ImpExp_PairList();
    QTest::newRow("an empty non-null photo is stored empty")
        << Fields() << QByteArray("") << pairs({ { "photo", "" } });
    QTest::newRow("the photo is cut at a zero byte")
        << Fields() << QByteArray("ab\0cd", 5) << pairs({ { "photo", "ab" } });
    QTest::newRow("a photo starting with a zero byte is stored empty")
        << Fields() << QByteArray("\0ab", 3) << pairs({ { "photo", "" } });
    QTest::newRow("the photo is decoded as UTF-8") << Fields() << QByteArray("\xc3\xa9t\xc3\xa9")
                                                   << pairs({ { "photo", "\xc3\xa9t\xc3\xa9" } });
}

void TestContact::elements()
{
    QFETCH(Fields, fields);
    QFETCH(QByteArray, photo);
    QFETCH(ImpExp_PairList, expected);

    const Contact_Item contact = makeContact(fields, photo);
    QCOMPARE(contact.getItemName(), QStringLiteral("contact"));
    QCOMPARE(contact.getItemElements(), expected);
    QVERIFY(!contact.getReadOnlyItem());
    // An empty field reads back as a null string, a stored one as itself.
    for (const auto &pair : expected)
        QCOMPARE(contact.getElement(pair.first), pair.second);
    if (!fields.contains(QStringLiteral("jobTitle")))
        QVERIFY(contact.getElement(QStringLiteral("jobTitle")).isNull());
}

void TestContact::attributes_data()
{
    QTest::addColumn<bool>("map");
    QTest::addColumn<QString>("puid");
    QTest::addColumn<QDateTime>("lastModified");
    QTest::addColumn<ImpExp_PairList>("expected");

    const QDateTime local(QDate(2026, 1, 31), QTime(10, 0, 0, 500), Qt::LocalTime);
    QTest::newRow("contact: null puid and date add neither")
        << false << QString() << QDateTime() << pairs({ { "duid", "d" } });
    QTest::newRow("contact: empty puid is kept, date in UTC")
        << false << QString(QLatin1String("")) << local
        << pairs({ { "duid", "d" }, { "puid", "" }, { "lastModified", "20260131T090000Z" } });
    QTest::newRow("map: duid then puid") << true << QStringLiteral("p") << QDateTime()
                                         << pairs({ { "duid", "d" }, { "puid", "p" } });
    QTest::newRow("map: null puid left out")
        << true << QString() << QDateTime() << pairs({ { "duid", "d" } });
    QTest::newRow("map: empty puid kept") << true << QString(QLatin1String("")) << QDateTime()
                                          << pairs({ { "duid", "d" }, { "puid", "" } });
}

void TestContact::attributes()
{
    QFETCH(bool, map);
    QFETCH(QString, puid);
    QFETCH(QDateTime, lastModified);
    QFETCH(ImpExp_PairList, expected);

    TimeZoneScope tz("CET-1");
    const QString duid = QStringLiteral("d");
    if (map) {
        const ContactMap_Item item(duid, puid);
        QCOMPARE(item.getItemName(), QStringLiteral("contactMap"));
        QCOMPARE(item.getAttributes(), expected);
        QVERIFY(item.getItemElements().isEmpty());
        QVERIFY(!item.getReadOnlyItem());
        QCOMPARE(item.getAttribute(QStringLiteral("puid")).isNull(), puid.isNull());
    } else {
        const Contact_Item item(duid, puid, lastModified, QString(), QString(), QString(),
                                QString(), QString(), QString(), QString(), QByteArray(), QString(),
                                QString(), QString(), QString(), QString(), QString());
        QCOMPARE(item.getAttributes(), expected);
        QCOMPARE(item.getAttribute(QStringLiteral("puid")).isNull(), puid.isNull());
    }
}

void TestContact::emptyDuidRefused_data()
{
    QTest::addColumn<bool>("map");
    QTest::addColumn<QString>("duid");
    QTest::newRow("contact, null duid") << false << QString();
    QTest::newRow("contact, empty duid") << false << QString(QLatin1String(""));
    QTest::newRow("map, null duid") << true << QString();
    QTest::newRow("map, empty duid") << true << QString(QLatin1String(""));
}

void TestContact::emptyDuidRefused()
{
    QFETCH(bool, map);
    QFETCH(QString, duid);
    const QString name = QStringLiteral("Doe");
    try {
        if (map) {
            const ContactMap_Item item(duid, name);
        } else {
            const Contact_Item item(duid, QString(), QDateTime(), name, name, name, name, name,
                                    name, name, QByteArray("x"), name, name, name, name, name,
                                    name);
        }
        QFAIL("nothing thrown");
    } catch (const ImpExp_ErrorException &e) {
        QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("Empty duid for Item"));
    }
}

QTEST_APPLESS_MAIN(TestContact)
#include "tst_contact.moc"
