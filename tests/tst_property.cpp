// Export followed by import gives back what was exported, for a few thousand
// random contacts and appointments (fixed seed, so every run sees the same
// items and a failure can be replayed).
#include "../fuzz/XmlText.h"
#include "TimeZoneScope.h"

#include <Appointment_Item.h>
#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QVector>
#include <QtTest>

namespace
{

const int itemsPerKind = 1500;

// Random values of the kinds that break naive writers and readers.
class ValueSource
{
public:
    explicit ValueSource(quint32 seed)
        : random(seed)
    {
    }

    int below(int bound) { return int(random.bounded(bound)); }
    bool chance(int percent) { return below(100) < percent; }

    QString text()
    {
        switch (below(12)) {
        case 0:
            return QString(); // absent
        case 1:
            return QStringLiteral(""); // empty but present
        case 2:
            return whitespace(1 + below(6));
        case 3:
            return characters(2000 + below(8000)); // long
        default:
            return characters(below(40));
        }
    }

    QString whitespace(int length)
    {
        static const char spaces[] = " \t\n\r";
        QString text;
        for (int i = 0; i < length; ++i)
            text += QLatin1Char(spaces[below(4)]);
        return text;
    }

    QString characters(int length)
    {
        static const char markup[] = "<>&\"';]]>!--";
        QString text;
        text.reserve(length + 1);
        while (text.size() < length) {
            switch (below(10)) {
            case 0:
                text += QLatin1Char(markup[below(int(sizeof(markup)) - 1)]);
                break;
            case 1:
                text += below(2) ? QStringLiteral("\r\n") : QStringLiteral("\n");
                break;
            case 2: { // any plane above the BMP, as a surrogate pair
                const uint codePoint = 0x10000 + random.bounded(0x100000u);
                text += QChar(QChar::highSurrogate(codePoint));
                text += QChar(QChar::lowSurrogate(codePoint));
                break;
            }
            case 3: // any BMP unit: controls, lone surrogates, U+FFFE/U+FFFF included
                text += QChar(char16_t(random.bounded(0x10000u)));
                break;
            case 4:
                text += QChar(char16_t(0x80 + random.bounded(0x780u))); // Latin, Greek, Cyrillic...
                break;
            default:
                text += QLatin1Char(char(0x20 + below(95)));
                break;
            }
        }
        return text;
    }

    QDateTime instant()
    {
        // 1950 to 2099, in UTC or local time, with milliseconds.
        const qint64 msecs = -631152000000LL + qint64(random.bounded(4733510400000.0));
        return QDateTime::fromMSecsSinceEpoch(msecs, chance(50) ? Qt::UTC : Qt::LocalTime);
    }

    QString identifier()
    {
        QString duid;
        do
            duid = text();
        while (duid.isEmpty());
        return duid;
    }

private:
    QRandomGenerator random;
};

struct AppointmentInput {
    QDateTime begin;
    QDateTime end;
    QString period;
    QDate repetitionEnd;
};

// The instant with its milliseconds dropped, as the timestamp text keeps it
// (rounded down, also before 1970).
qint64 wholeSeconds(const QDateTime &dateTime)
{
    const qint64 msecs = dateTime.toMSecsSinceEpoch();
    return msecs - ((msecs % 1000) + 1000) % 1000;
}

ImpExp_PairList afterRoundTrip(const ImpExp_PairList &pairs, XmlText::Place place)
{
    ImpExp_PairList result;
    for (const auto &pair : pairs)
        result.append(qMakePair(pair.first, XmlText::afterRoundTrip(pair.second, place)));
    return result;
}

QString showPairs(const ImpExp_PairList &pairs)
{
    QString text;
    for (const auto &pair : pairs)
        text += QStringLiteral(" %1=<%2>").arg(pair.first, pair.second.left(60));
    return text;
}

void exportItems(const QString &pathTemplate, const QString &application,
                 const QVector<ImpExp_Item> &items)
{
    ImpExp_XMLBuilder builder(QStringLiteral("device<&>"), QStringLiteral("export\n1"),
                              pathTemplate, 97, QDateTime::currentDateTimeUtc(), items.size(), 0,
                              application, QDateTime::fromTime_t(0));
    for (const ImpExp_Item &item : items)
        builder.putItem(item);
}

QVector<ImpExp_Item> importItems(const QString &pathTemplate, const QString &kind)
{
    QVector<ImpExp_Item> items;
    ImpExp_XMLParser parser(pathTemplate);
    for (;;) {
        ImpExp_Item item(kind);
        if (!parser.getItem(item, true))
            return items;
        items.append(item);
    }
}

} // namespace

class PropertyTest : public QObject
{
    Q_OBJECT

private slots:
    void contactsComeBack();
    void appointmentsComeBack();

private:
    void compareItems(const QVector<ImpExp_Item> &written, const QVector<ImpExp_Item> &read);
};

void PropertyTest::compareItems(const QVector<ImpExp_Item> &written,
                                const QVector<ImpExp_Item> &read)
{
    QCOMPARE(read.size(), written.size());
    for (int i = 0; i < written.size(); ++i) {
        const ImpExp_Item &item = written.at(i);
        const ImpExp_PairList attributes
            = afterRoundTrip(item.getAttributes(), XmlText::InAttribute);
        const ImpExp_PairList elements = afterRoundTrip(item.getItemElements(), XmlText::InText);
        QVERIFY2(read.at(i).getItemName() == item.getItemName(), qPrintable(QString::number(i)));
        QVERIFY2(
            read.at(i).getAttributes() == attributes,
            qPrintable(QStringLiteral("item %1 attributes:%2\nread:%3")
                           .arg(i)
                           .arg(showPairs(attributes), showPairs(read.at(i).getAttributes()))));
        QVERIFY2(
            read.at(i).getItemElements() == elements,
            qPrintable(QStringLiteral("item %1 elements:%2\nread:%3")
                           .arg(i)
                           .arg(showPairs(elements), showPairs(read.at(i).getItemElements()))));
    }
}

void PropertyTest::contactsComeBack()
{
    TimeZoneScope tz("CET-1CEST,M3.5.0,M10.5.0/3");
    ValueSource values(20261205);
    QVector<ImpExp_Item> contacts;
    for (int i = 0; i < itemsPerKind; ++i) {
        const QString photo = values.chance(20) ? values.characters(values.below(300)) : QString();
        QString texts[13];
        for (QString &text : texts)
            text = values.text();
        contacts.append(Contact_Item(
            values.identifier(), values.text(), values.chance(80) ? values.instant() : QDateTime(),
            texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6],
            photo.isNull() ? QByteArray() : photo.toUtf8().toBase64(), texts[7], texts[8], texts[9],
            texts[10], texts[11], texts[12]));
    }

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString pathTemplate = directory.filePath(QStringLiteral("dir_%1.xml"));
    exportItems(pathTemplate, QStringLiteral("VelDirectory"), contacts);
    compareItems(contacts, importItems(pathTemplate, QStringLiteral("contact")));
}

void PropertyTest::appointmentsComeBack()
{
    TimeZoneScope tz("CET-1CEST,M3.5.0,M10.5.0/3");
    ValueSource values(8);
    static const char *const periods[]
        = { "", "ONE_TIME", "DAILY", "WEEKLY", "MONTHLY", "YEARLY", "one_time" };
    QVector<ImpExp_Item> appointments;
    QVector<AppointmentInput> inputs;
    for (int i = 0; i < itemsPerKind; ++i) {
        AppointmentInput input;
        input.begin = values.instant();
        input.end = values.instant();
        input.period = QString::fromLatin1(periods[values.below(7)]);
        if (values.chance(50))
            input.repetitionEnd = values.instant().date();
        inputs.append(input);
        appointments.append(Appointment_Item(
            values.identifier(), values.text(), values.chance(80) ? values.instant() : QDateTime(),
            values.text(), values.text(), input.begin, input.end, input.period, input.repetitionEnd,
            values.text(), values.chance(50), values.below(20000) - 10000, values.chance(30)));
    }

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString pathTemplate = directory.filePath(QStringLiteral("agenda_%1.xml"));
    exportItems(pathTemplate, QStringLiteral("Agenda"), appointments);
    const QVector<ImpExp_Item> read = importItems(pathTemplate, QStringLiteral("appointment"));
    compareItems(appointments, read);

    for (int i = 0; i < read.size(); ++i) {
        const Appointment_Item appointment(read.at(i));
        const AppointmentInput &input = inputs.at(i);
        const QString row = QString::number(i);
        QCOMPARE(appointment.getBeginDate().toMSecsSinceEpoch(), wholeSeconds(input.begin));
        QCOMPARE(appointment.getEndDate().toMSecsSinceEpoch(), wholeSeconds(input.end));
        QCOMPARE(appointment.getBeginDate().timeSpec(), Qt::LocalTime);
        const QString period = input.period.isEmpty() || input.period == QLatin1String("ONE_TIME")
            ? QStringLiteral("ONE_TIME")
            : (input.period == QLatin1String("DAILY") || input.period == QLatin1String("WEEKLY")
                       || input.period == QLatin1String("MONTHLY")
                   ? input.period
                   : QString());
        QVERIFY2(appointment.getRepetitionPeriod() == period, qPrintable(row));
        QVERIFY2(appointment.getRepetitionEndDate() == input.repetitionEnd, qPrintable(row));
    }
}

QTEST_GUILESS_MAIN(PropertyTest)
#include "tst_property.moc"
