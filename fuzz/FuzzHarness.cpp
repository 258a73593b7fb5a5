#include "FuzzHarness.h"

#include "ItemReadBack.h"
#include "XmlText.h"

#include <Appointment_Item.h>
#include <ImpExp_Item.h>
#include <ImpExp_SetCheck.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QVector>

#include <cstdlib>
#include <ctime>
#include <exception>

namespace FuzzHarness
{

const char pageMarker[] = "@@PAGE@@";

namespace
{

const QString &fileTemplate()
{
    static const QString name = QStringLiteral("/page_%1.xml");
    return name;
}

QString pagePath(const QString &directory, int fileNumber)
{
    return (directory + fileTemplate()).arg(fileNumber, 2, 10, QLatin1Char('0'));
}

bool writeFile(const QString &path, const char *data, int size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data, size) == size;
}

QString describe(const ImpExp_PairList &pairs)
{
    QString text;
    for (const auto &pair : pairs) {
        text += QStringLiteral(" %1=<").arg(pair.first);
        for (const QChar c : pair.second) {
            if (c.unicode() >= 0x20 && c.unicode() < 0x7f)
                text += c;
            else
                text += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        }
        text += QLatin1Char('>');
    }
    return text;
}

// ---------------------------------------------------------------- reader

const QString &knownKind(unsigned index)
{
    static const QString kinds[]
        = { QStringLiteral("contact"), QStringLiteral("appointment"), QStringLiteral("contactMap"),
            QStringLiteral("appointmentMap") };
    return kinds[index % 4];
}

bool isReaderMessage(const char *message)
{
    const QLatin1String text(message);
    return text == QLatin1String("Invalid input file")
        || text == QLatin1String("xml parsing failed");
}

// The set check must refuse the set exactly when the reader does, and in the
// reader's terms: a refused root, or XML that is not well-formed.
QString compareWithSetCheck(const QString &pathTemplate, const char *readerMessage)
{
    ImpExp_SetCheck check(pathTemplate);
    check.run();
    QString verdict;
    for (const ImpExp_SetCheck::Problem &problem : check.problems()) {
        if (problem.kind == ImpExp_SetCheck::ProblemKind::RootRefused
            || problem.kind == ImpExp_SetCheck::ProblemKind::NotWellFormed) {
            verdict = problem.kind == ImpExp_SetCheck::ProblemKind::RootRefused
                ? QStringLiteral("Invalid input file")
                : QStringLiteral("xml parsing failed");
            break;
        }
    }
    const QString expected = readerMessage ? QString::fromLatin1(readerMessage) : QString();
    if (verdict != expected)
        return QStringLiteral("the set check says \"%1\" where the reader says \"%2\"")
            .arg(verdict, expected);
    return QString();
}

// ------------------------------------------------------------ round trip

// Reads the fuzz input front to back; past its end every read gives zero, so
// decoding always terminates and never reads out of bounds.
class Input
{
public:
    explicit Input(const QByteArray &data)
        : data(data)
    {
    }
    bool atEnd() const { return position >= data.size(); }
    quint8 byte() { return atEnd() ? 0 : quint8(data.at(position++)); }
    quint16 word()
    {
        const quint16 high = byte();
        return quint16(high << 8 | byte());
    }
    quint32 dword()
    {
        const quint32 high = word();
        return high << 16 | word();
    }

private:
    const QByteArray &data;
    int position = 0;
};

void appendCharacter(Input &in, QString &text)
{
    static const char markup[] = "<>&\"';=/?!-[]#%:";
    static const char16_t specials[]
        = { 0xFFFE, 0xFFFF, 0xFFFD, 0x0085, 0x2028, 0x00A0, 0xFEFF, 0x007F };
    const quint8 code = in.byte();
    const int low = code & 31;
    switch (code >> 5) {
    case 0:
        text += QLatin1Char(char('a' + low % 26));
        break;
    case 1:
        text += QLatin1Char(markup[low % (sizeof(markup) - 1)]);
        break;
    case 2: {
        static const char *const spaces[] = { " ", "\t", "\n", "\r", "\r\n", "  ", "\n\r", " \n " };
        text += QLatin1String(spaces[low % 8]);
        break;
    }
    case 3:
        text += QChar(char16_t(low)); // C0 controls, mostly not XML characters
        break;
    case 4: // a surrogate on its own, or a pair in the wrong order
        if (low & 1)
            text += QChar(char16_t(0xDC00 | in.byte() << 2));
        else
            text += QChar(char16_t(0xD800 | in.byte() << 2));
        break;
    case 5:
        text += QChar(char16_t(in.word()));
        break;
    case 6: {
        const uint codePoint = 0x10000 + in.dword() % 0x100000;
        text += QChar(QChar::highSurrogate(codePoint));
        text += QChar(QChar::lowSurrogate(codePoint));
        break;
    }
    default:
        text += QChar(specials[low % 8]);
        break;
    }
}

QString decodeText(Input &in)
{
    const quint8 head = in.byte();
    const int length = head & 0x7f;
    QString text;
    text.reserve(length);
    for (int i = 0; i < length && !in.atEnd(); ++i)
        appendCharacter(in, text);
    if (head & 0x80)
        text = text.repeated(1 + in.byte()); // long values, up to some 32,000 units
    return text;
}

// An instant between the years 1 and about 7900, whole seconds or not, in
// UTC or local time.
QDateTime decodeDate(Input &in)
{
    const qint64 firstSecond = -62135596800; // 0001-01-01T00:00:00Z
    // One read per statement: the order in which a compiler evaluates the
    // operands of one expression is its own, and the corpus replay test is
    // built with another compiler than the fuzz targets.
    const qint64 steps = in.dword();
    const qint64 seconds = firstSecond + steps * 58 + in.byte();
    const quint8 flags = in.byte();
    const qint64 msecs = seconds * 1000 + (flags & 1 ? (flags >> 1) * 7 : 0);
    return QDateTime::fromMSecsSinceEpoch(msecs, flags & 0x80 ? Qt::UTC : Qt::LocalTime);
}

const QString &pick(const QVector<QString> &names, unsigned index)
{
    return names.at(int(index % unsigned(names.size())));
}

const QVector<QString> &itemNames()
{
    static const QVector<QString> names
        = { QStringLiteral("contact"),    QStringLiteral("appointment"),
            QStringLiteral("contactMap"), QStringLiteral("x"),
            QStringLiteral("item-2.v"),   QStringLiteral("\u00e9l\u00e9ment") };
    return names;
}

// Disjoint from the item names: a child named like an item would be read as one.
const QVector<QString> &elementNames()
{
    static const QVector<QString> names
        = { QStringLiteral("lastName"), QStringLiteral("title"), QStringLiteral("e"),
            QStringLiteral("f.g"),      QStringLiteral("_h"),    QStringLiteral("\u00fc") };
    return names;
}

const QVector<QString> &extraAttributeNames()
{
    static const QVector<QString> names
        = { QStringLiteral("a"),  QStringLiteral("b-c"), QStringLiteral("d.e"),
            QStringLiteral("_f"), QStringLiteral("g1"),  QStringLiteral("\u00f1ame") };
    return names;
}

ImpExp_Item decodeAppointment(Input &in, const QString &duid, const QString &puid,
                              const QDateTime &lastModified, bool readOnly)
{
    static const char *const periods[]
        = { "", "ONE_TIME", "DAILY", "WEEKLY", "MONTHLY", "YEARLY", "one_time", nullptr };
    const quint8 flags = in.byte();
    const QString title = decodeText(in);
    const QString place = decodeText(in);
    const QDateTime begin = decodeDate(in);
    // An invalid end date-time (set, but 30 February) is written as an empty text.
    const QDateTime end = flags & 1 ? QDateTime(QDate(2021, 2, 30), QTime(10, 0)) : decodeDate(in);
    const char *period = periods[(flags >> 1) % 8];
    const QString repetition = period ? QString::fromLatin1(period) : decodeText(in);
    const QDate repetitionEnd = flags & 0x10 ? decodeDate(in).date() : QDate();
    const QString description = decodeText(in);
    const int delay = int(in.dword());
    return Appointment_Item(duid, puid, lastModified, title, place, begin, end, repetition,
                            repetitionEnd, description, flags & 0x20, delay, readOnly);
}

ImpExp_Item decodeItem(Input &in)
{
    const quint8 flags = in.byte();
    const bool readOnly = flags & 1;
    const QString duid = decodeText(in);
    const QString puid = flags & 2 ? decodeText(in) : QString();
    const QDateTime lastModified = flags & 4 ? decodeDate(in) : QDateTime();
    const QString safeDuid = duid.isEmpty() ? QStringLiteral("1") : duid;

    if ((flags & 0x18) == 0x18)
        return decodeAppointment(in, safeDuid, puid, lastModified, readOnly);

    ImpExp_Item item = flags & 8
        ? ImpExp_Item(pick(itemNames(), in.byte()), safeDuid, puid, lastModified)
        : ImpExp_Item(pick(itemNames(), in.byte()));
    item.setReadOnlyItem(readOnly);
    // Attribute names must be unique within an element: take a subset.
    const quint8 attributeMask = in.byte();
    for (int i = 0; i < extraAttributeNames().size(); ++i) {
        if (attributeMask & (1 << i))
            item.addAttribute(extraAttributeNames().at(i), decodeText(in));
    }
    // A last-change text that may not parse: the writer must still decide.
    if ((attributeMask & 0x40) && !(flags & 4)) {
        QString text = decodeText(in);
        if (attributeMask & 0x80)
            text = QStringLiteral("20240131T235959Z").replace(in.byte() % 16, 1, text.left(1));
        item.addAttribute(QStringLiteral("lastModified"), text);
    }
    const int elementCount = (flags >> 5) * 2 - (flags & 0x10 ? 1 : 0);
    for (int i = 0; i < elementCount && !in.atEnd(); ++i) {
        const QString &name = pick(elementNames(), in.byte());
        item.addElement(name, decodeText(in));
    }
    return item;
}

bool elementsWritten(const ImpExp_Item &item, const QDateTime &lastSyncDate)
{
    QDateTime modified;
    try {
        modified = item.getLastModificationDate();
    } catch (const ImpExp_ErrorException &) {
        // The writer treats a last-change text it cannot read as no date.
    }
    if (!item.getReadOnlyItem()
        && (modified.isNull() || lastSyncDate.isNull() || modified >= lastSyncDate))
        return true;
    return lastSyncDate == QDateTime::fromSecsSinceEpoch(0);
}

ImpExp_PairList afterRoundTrip(const ImpExp_PairList &pairs, XmlText::Place place)
{
    ImpExp_PairList result;
    result.reserve(pairs.size());
    for (const auto &pair : pairs)
        result.append(qMakePair(pair.first, XmlText::afterRoundTrip(pair.second, place)));
    return result;
}

// Where two pair lists first differ, with a little context, non-ASCII escaped.
QString firstDifference(const ImpExp_PairList &expected, const ImpExp_PairList &actual)
{
    if (expected.size() != actual.size())
        return QStringLiteral("%1 pairs expected, %2 read:%3")
            .arg(expected.size())
            .arg(actual.size())
            .arg(describe(actual.mid(0, 4)));
    for (int i = 0; i < expected.size(); ++i) {
        if (expected.at(i).first != actual.at(i).first)
            return QStringLiteral("pair %1 named %2 expected, %3 read")
                .arg(i)
                .arg(expected.at(i).first, actual.at(i).first);
        const QString &want = expected.at(i).second;
        const QString &got = actual.at(i).second;
        if (want != got) {
            int at = 0;
            while (at < want.size() && at < got.size() && want.at(at) == got.at(at))
                ++at;
            const int from = qMax(0, at - 8);
            return QStringLiteral("%1 (%2 and %3 units) differs at %4: expected%5 read%6")
                .arg(expected.at(i).first)
                .arg(want.size())
                .arg(got.size())
                .arg(at)
                .arg(describe({ qMakePair(QString(), want.mid(from, 24)) }),
                     describe({ qMakePair(QString(), got.mid(from, 24)) }));
        }
    }
    return QString();
}

// The accessors must answer the same for the item that was written and the
// record that was read back.
QString accessorAnswers(const Appointment_Item &item)
{
    QString answers;
    try {
        answers += item.getBeginDate().toString(Qt::ISODate);
    } catch (const ImpExp_ErrorException &e) {
        answers += QLatin1String(e.what());
    }
    answers += QLatin1Char('|');
    try {
        answers += item.getEndDate().toString(Qt::ISODate);
    } catch (const ImpExp_ErrorException &e) {
        answers += QLatin1String(e.what());
    }
    answers += QLatin1Char('|') + item.getRepetitionPeriod();
    answers += QLatin1Char('|') + item.getRepetitionEndDate().toString(Qt::ISODate);
    return answers;
}

QString compareRead(const ImpExp_Item &written, const ImpExp_Item &read, bool withElements,
                    int index)
{
    const ImpExp_PairList attributes
        = afterRoundTrip(written.getAttributes(), XmlText::InAttribute);
    if (read.getAttributes() != attributes) {
        return QStringLiteral("item %1 (%2), attributes: %3")
            .arg(index)
            .arg(written.getItemName(), firstDifference(attributes, read.getAttributes()));
    }
    const ImpExp_PairList elements = withElements
        ? afterRoundTrip(written.getItemElements(), XmlText::InText)
        : ImpExp_PairList();
    if (read.getItemElements() != elements) {
        return QStringLiteral("item %1 (%2), elements: %3")
            .arg(index)
            .arg(written.getItemName(), firstDifference(elements, read.getItemElements()));
    }
    if (withElements && written.getItemName() == QLatin1String("appointment")
        && !written.getItemElements().isEmpty()) {
        const QString before = accessorAnswers(Appointment_Item(written));
        const QString after = accessorAnswers(Appointment_Item(read));
        if (before != after) {
            return QStringLiteral("item %1: accessors answer %2 before and %3 after")
                .arg(index)
                .arg(before, after);
        }
    }
    return QString();
}

QString readBack(const QString &pathTemplate, const QString &kind,
                 const QVector<const ImpExp_Item *> &expected, const QVector<bool> &written,
                 bool readElements)
{
    ImpExp_XMLParser parser(pathTemplate);
    for (int i = 0;; ++i) {
        ImpExp_Item item(kind);
        if (!parser.getItem(item, readElements)) {
            if (i != expected.size())
                return QStringLiteral("%1: read %2 items, wrote %3")
                    .arg(kind)
                    .arg(i)
                    .arg(expected.size());
            return QString();
        }
        if (i >= expected.size())
            return QStringLiteral("%1: more items read than written").arg(kind);
        const QString difference
            = compareRead(*expected.at(i), item, readElements && written.at(i), i);
        if (!difference.isEmpty())
            return difference;
    }
}

QString roundTrip(const QByteArray &input, const QString &directory)
{
    Input in(input);
    const quint8 setup = in.byte();
    const int pageSize = 1 + (setup & 3);
    QDateTime lastSyncDate;
    switch ((setup >> 2) & 3) {
    case 0:
        break;
    case 1:
        lastSyncDate = QDateTime::fromSecsSinceEpoch(0);
        break;
    default:
        lastSyncDate = decodeDate(in);
        break;
    }
    const QString application
        = setup & 0x10 ? QStringLiteral("Agenda") : QStringLiteral("VelDirectory");
    const QString deviceId = decodeText(in);
    const QString exportId = decodeText(in);
    const QDateTime created = decodeDate(in);
    const int max = int(in.dword());

    QVector<ImpExp_Item> items;
    while (!in.atEnd() && items.size() < 12) {
        try {
            items.append(decodeItem(in));
        } catch (const ImpExp_ErrorException &e) {
            return QStringLiteral("a typed item refused valid data: %1")
                .arg(QLatin1String(e.what()));
        }
    }

    const QString pathTemplate = directory + fileTemplate();
    {
        ImpExp_XMLBuilder builder(deviceId, exportId, pathTemplate, pageSize, created, items.size(),
                                  max, application, lastSyncDate);
        for (const ImpExp_Item &item : items)
            builder.putItem(item);
        if (setup & 0x20)
            builder.closeBuilder();
    }
    const int pages = items.isEmpty() ? 1 : (items.size() - 1) / pageSize + 1;
    for (int page = 0; page <= pages; ++page) {
        const bool exists = QFile::exists(pagePath(directory, page));
        if (exists != (page < pages))
            return QStringLiteral("%1 items on pages of %2: page file %3 %4")
                .arg(items.size())
                .arg(pageSize)
                .arg(page)
                .arg(exists ? QStringLiteral("exists") : QStringLiteral("is missing"));
    }

    QVector<QString> kinds;
    for (const ImpExp_Item &item : items) {
        if (!kinds.contains(item.getItemName()))
            kinds.append(item.getItemName());
    }
    if (kinds.isEmpty())
        kinds.append(QStringLiteral("contact"));
    for (int k = 0; k < kinds.size(); ++k) {
        QVector<const ImpExp_Item *> expected;
        QVector<bool> written;
        for (const ImpExp_Item &item : items) {
            if (item.getItemName() == kinds.at(k)) {
                expected.append(&item);
                written.append(elementsWritten(item, lastSyncDate));
            }
        }
        QString difference = readBack(pathTemplate, kinds.at(k), expected, written, true);
        if (difference.isEmpty() && k == 0)
            difference = readBack(pathTemplate, kinds.at(k), expected, written, false);
        if (!difference.isEmpty())
            return difference;
    }
    return QString();
}

// ------------------------------------------------------------ writable

// A name the writer must judge: one of the format's own, one around the
// longest Qt's reader takes (@p prefixed: counted with "vel:"), a usual one,
// or any characters.
QString decodeName(Input &in, bool prefixed)
{
    static const QVector<QString> own = { QStringLiteral("moxara"),
                                          QStringLiteral("directory"),
                                          QStringLiteral("agenda"),
                                          QStringLiteral("contact"),
                                          QStringLiteral("contactMap"),
                                          QStringLiteral("appointment"),
                                          QStringLiteral("appointmentMap"),
                                          QStringLiteral("xmlns"),
                                          QStringLiteral("duid") };
    const quint8 head = in.byte();
    const int low = head & 31;
    switch (head >> 5) {
    case 0:
        return pick(own, unsigned(low));
    case 1:
        return QString(4080 + low % 20 - (prefixed ? 4 : 0), QLatin1Char('n'))
            + (low & 1 ? QStringLiteral("\u00e9") : QString());
    case 2:
        return pick(prefixed ? elementNames() : extraAttributeNames(), unsigned(low));
    default: {
        QString name;
        for (int i = 0; i < low % 8 && !in.atEnd(); ++i)
            appendCharacter(in, name);
        return name;
    }
    }
}

QString writable(const QByteArray &input, const QString &directory)
{
    Input in(input);
    const quint8 flags = in.byte();
    ImpExp_Item item(flags & 1 ? decodeName(in, true) : pick(itemNames(), in.byte()));
    static const char *const identifiers[] = { "duid", "puid", "lastModified" };
    for (int i = 0; i < 3; ++i) {
        if (flags & (2 << i))
            item.addAttribute(QLatin1String(identifiers[i]), decodeText(in));
    }
    for (int n = (flags >> 4) & 3; n > 0; --n) {
        const QString name = decodeName(in, false);
        item.addAttribute(name, decodeText(in));
    }
    for (int n = flags >> 6; n > 0; --n) {
        const bool own = in.byte() < 16;
        const QString name = own ? item.getItemName() : decodeName(in, true);
        item.addElement(name, decodeText(in));
    }

    QString reason;
    const bool accepted = ImpExp_XMLBuilder::isWritable(item, &reason);
    const ItemReadBack::SingleItemPage page(directory + fileTemplate());
    if (accepted == page.comesBack(item) || (!accepted && ItemReadBack::comesBackOnlyHere(item)))
        return QString();
    // Long names are shown by their length.
    QString shape = QStringLiteral("item name of %1 units").arg(item.getItemName().size());
    for (const auto &pair : item.getAttributes())
        shape += QStringLiteral(", attribute name of %1").arg(pair.first.size());
    for (const auto &pair : item.getItemElements())
        shape += QStringLiteral(", element name of %1").arg(pair.first.size());
    return accepted ? QStringLiteral("accepted, but does not come back: %1; %2")
                          .arg(shape, item.toString().right(300))
                    : QStringLiteral("refused (%1), but comes back").arg(reason);
}

} // namespace

void prepareProcess()
{
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    QLoggingCategory::setFilterRules(QStringLiteral("velxml.impexp.debug=false"));
}

QString checkReader(const QByteArray &input)
{
    QTemporaryDir directory;
    if (!directory.isValid())
        return QStringLiteral("cannot create a temporary directory");
    const int cut = input.indexOf(pageMarker);
    const int firstSize = cut < 0 ? input.size() : cut;
    if (!writeFile(pagePath(directory.path(), 0), input.constData(), firstSize))
        return QStringLiteral("cannot write page file 00");
    if (cut >= 0) {
        const int rest = cut + int(sizeof(pageMarker)) - 1;
        if (!writeFile(pagePath(directory.path(), 1), input.constData() + rest,
                       input.size() - rest))
            return QStringLiteral("cannot write page file 01");
    }

    // Which kinds are asked for, and whether with elements, depends on the
    // input but stays the same for a given input.
    unsigned schedule = 0;
    for (const char c : input)
        schedule = schedule * 31 + quint8(c);

    ImpExp_XMLParser parser(directory.path() + fileTemplate());
    // Every item needs a tag of at least four bytes.
    const int mostItems = input.size() / 4 + 1;
    for (int call = 0;; ++call) {
        if (call > mostItems)
            return QStringLiteral("getItem returned more items than the input can hold");
        const unsigned turn = schedule + unsigned(call);
        ImpExp_Item item(knownKind(turn));
        const bool readElements = (turn >> 2) & 1;
        bool found = false;
        try {
            found = parser.getItem(item, readElements);
        } catch (const ImpExp_FatalException &e) {
            if (!isReaderMessage(e.what()))
                return QStringLiteral("unexpected message: %1").arg(QLatin1String(e.what()));
            return compareWithSetCheck(directory.path() + fileTemplate(), e.what());
        } catch (const std::exception &e) {
            return QStringLiteral("undeclared exception: %1").arg(QLatin1String(e.what()));
        } catch (...) {
            return QStringLiteral("undeclared exception of unknown type");
        }
        if (!found) {
            ImpExp_Item again(knownKind(0));
            try {
                if (parser.getItem(again, true))
                    return QStringLiteral("getItem found an item after it returned false");
            } catch (const std::exception &e) {
                return QStringLiteral("getItem threw after it returned false: %1")
                    .arg(QLatin1String(e.what()));
            }
            return compareWithSetCheck(directory.path() + fileTemplate(), nullptr);
        }
        if (item.getItemName() != knownKind(turn))
            return QStringLiteral("getItem changed the item name");
        if (!readElements && !item.getItemElements().isEmpty())
            return QStringLiteral("getItem read elements although not asked to");
    }
}

QString checkWritable(const QByteArray &input)
{
    QTemporaryDir directory;
    if (!directory.isValid())
        return QStringLiteral("cannot create a temporary directory");
    try {
        return writable(input, directory.path());
    } catch (const std::exception &e) {
        return QStringLiteral("exception: %1").arg(QLatin1String(e.what()));
    }
}

QString checkRoundTrip(const QByteArray &input)
{
    QTemporaryDir directory;
    if (!directory.isValid())
        return QStringLiteral("cannot create a temporary directory");
    try {
        return roundTrip(input, directory.path());
    } catch (const std::exception &e) {
        return QStringLiteral("exception on valid data: %1").arg(QLatin1String(e.what()));
    } catch (...) {
        return QStringLiteral("exception of unknown type on valid data");
    }
}

} // namespace FuzzHarness
