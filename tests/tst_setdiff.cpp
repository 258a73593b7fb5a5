// The comparison of two sets and the full state written from them, over
// generated stores (fixed seeds, so a failure can be replayed): applying an
// incremental export to the full one before it gives the bytes of a full
// export of the same store, and comparing two full exports (or a full and an
// incremental one) finds exactly the changes made to the store in between.
#include "TimeZoneScope.h"

#include <ImpExp_SetDiff.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <map>

namespace
{

const QDateTime t0(QDate(2026, 1, 10), QTime(12, 0), Qt::UTC);
const QDateTime t1 = t0.addDays(1);

struct StoredItem {
    QString kind;
    QString duid;
    QString puid; // null: none
    QDateTime lastModified;
    bool readOnly = false;
    ImpExp_PairList elements; // never empty: every item keeps a "name"
};

// What happened to one item between t0 and t1.
struct Change {
    ImpExp_SetDiff::Status status = ImpExp_SetDiff::Status::Unchanged;
    QSet<QString> elements; // names of the elements edited, added or removed
    bool puid = false;
};

using Store = QList<StoredItem>;
using Changes = QMap<QString, Change>; // by kind/duid

struct Generator {
    QRandomGenerator random;
    int serial = 0;

    int below(int bound) { return int(random.bounded(bound)); }
    bool chance(int percent) { return below(100) < percent; }

    // Texts that a page carries unchanged: markup, non-ASCII and a character
    // beyond the BMP, so that byte and character positions part.
    QString text()
    {
        static const char *const pieces[]
            = { "a", "Doe", "&", "<b>", " ", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "7" };
        QString value;
        for (int n = 1 + below(6); n > 0; --n)
            value += QString::fromUtf8(pieces[below(int(std::size(pieces)))]);
        return value;
    }

    // A read-only item added after a full export never reaches the receiver
    // with its fields, so only items of the first store may be read-only.
    StoredItem item(const QDateTime &changed, bool mayBeReadOnly)
    {
        StoredItem item;
        item.kind = chance(80) ? QStringLiteral("contact") : QStringLiteral("contactMap");
        item.duid = QStringLiteral("d%1").arg(++serial);
        if (chance(60))
            item.puid = QStringLiteral("p%1").arg(below(1000));
        item.lastModified = changed;
        item.readOnly = mayBeReadOnly && chance(20);
        item.elements.append({ QStringLiteral("name"), text() });
        for (const char *name : { "phone", "email", "note" })
            if (chance(50))
                item.elements.append({ QLatin1String(name), text() });
        return item;
    }

    QDateTime before(const QDateTime &when) { return when.addSecs(-1 - below(300 * 86400)); }
    QDateTime during() { return t0.addSecs(1 + below(86000)); }

    // Edits the fields of a writable item: one value, an element added or removed.
    void edit(StoredItem &item, Change &change)
    {
        const int what = below(3);
        const char *optional[] = { "phone", "email", "note" };
        const QString name = QLatin1String(optional[below(3)]);
        int at = -1;
        for (int i = 0; i < item.elements.size(); ++i)
            if (item.elements.at(i).first == name)
                at = i;
        if (what == 0 || (at < 0 && what == 1)) {
            QString &value = item.elements[0].second;
            const QString old = value;
            while (value == old)
                value = text();
            change.elements.insert(QStringLiteral("name"));
        } else if (at < 0) {
            item.elements.append({ name, text() });
            change.elements.insert(name);
        } else {
            item.elements.removeAt(at);
            change.elements.insert(name);
        }
    }

    // Adds, removes and edits items of @p store, as the device would between t0 and t1.
    Changes change(Store &store)
    {
        Changes changes;
        const auto key = [](const StoredItem &item) { return item.kind + u'/' + item.duid; };
        for (int n = below(4); n > 0 && !store.isEmpty(); --n) {
            const StoredItem gone = store.takeAt(below(store.size()));
            changes[key(gone)].status = ImpExp_SetDiff::Status::Removed;
        }
        for (int i = 0; i < store.size(); ++i) {
            StoredItem &item = store[i];
            if (item.readOnly || !chance(25))
                continue;
            Change &change = changes[key(item)];
            change.status = ImpExp_SetDiff::Status::Changed;
            if (chance(70))
                edit(item, change);
            if (chance(40) || change.elements.isEmpty()) {
                item.puid
                    = item.puid.isNull() || chance(30) ? QStringLiteral("q%1").arg(i) : QString();
                change.puid = true;
            }
            item.lastModified = during();
        }
        for (int n = below(4); n > 0; --n) {
            store.insert(below(store.size() + 1), item(during(), false));
        }
        for (const StoredItem &item : store)
            if (item.lastModified > t0 && !changes.contains(key(item)))
                changes[key(item)].status = ImpExp_SetDiff::Status::Added;
        return changes;
    }
};

// Writes @p store as it stands; @p since is the reference date of an incremental export.
void exportStore(const Store &store, const QString &pathTemplate, int pageSize,
                 const QDateTime &since)
{
    ImpExp_XMLBuilder builder(QStringLiteral("dev-7"), QStringLiteral("exp-3"), pathTemplate,
                              pageSize, t1, store.size(), 999, QStringLiteral("VelDirectory"),
                              since);
    for (const StoredItem &stored : store) {
        ImpExp_Item item(stored.kind, stored.duid, stored.puid, stored.lastModified);
        item.setReadOnlyItem(stored.readOnly);
        for (const auto &pair : stored.elements)
            item.addElement(pair.first, pair.second);
        builder.putItem(item);
    }
}

QStringList pageFiles(const QString &directory, const QString &prefix)
{
    return QDir(directory).entryList({ prefix + QStringLiteral("_*.xml") }, QDir::Files,
                                     QDir::Name);
}

// The outcomes of comparing @p oldTemplate with @p newTemplate, keyed like Changes.
Changes compare(const QString &oldTemplate, const QString &newTemplate, QStringList *problems)
{
    ImpExp_SetDiff diff(oldTemplate, newTemplate);
    Changes found;
    ImpExp_SetDiff::Difference difference;
    while (diff.next(difference)) {
        if (!difference.problem.isEmpty())
            problems->append(difference.duid + QStringLiteral(": ") + difference.problem);
        Change &change = found[difference.itemName + u'/' + difference.duid];
        change.status = difference.status;
        change.puid = difference.puidChanged;
        for (const ImpExp_SetDiff::ElementChange &element : difference.elementChanges)
            change.elements.insert(element.name);
    }
    return found;
}

QString describe(const Changes &changes)
{
    QStringList lines;
    for (auto it = changes.begin(); it != changes.end(); ++it)
        lines.append(QStringLiteral("%1 %2 puid=%3 [%4]")
                         .arg(it.key())
                         .arg(int(it->status))
                         .arg(it->puid)
                         .arg(QStringList(it->elements.values()).join(u',')));
    lines.sort();
    return lines.join(u'\n');
}

// A set of one page holding @p items, their markup as it stands.
void writePage(const QString &pathTemplate, const QByteArray &application, const QByteArray &items,
               const QByteArray &prefix = QByteArray(), const QByteArray &lineEnd = "\n")
{
    QFile file(QString(pathTemplate).replace(QLatin1String("%1"), QLatin1String("00")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(prefix + "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + lineEnd
               + "<vel:moxara xmlns:vel=\"urn:x\" created=\"20260101T000000Z\" "
                 "schemaVersion=\"1.0\" id=\"e\" deviceId=\"d\">"
               + lineEnd + " <vel:" + application
               + " max=\"99\" pageSize=\"99\" page=\"1\" totalPage=\"1\">" + lineEnd + items
               + " </vel:" + application + ">" + lineEnd + "</vel:moxara>" + lineEnd);
}

// A page file set of @p items written by hand, each "duid:lastModified[:nameText]".
void writeByHand(const QString &pathTemplate, const QByteArray &application,
                 const QList<QByteArray> &items, const QByteArray &prefix = QByteArray(),
                 const QByteArray &lineEnd = "\n")
{
    QByteArray markup;
    for (const QByteArray &item : items) {
        const QList<QByteArray> parts = item.split(':');
        markup
            += "  <vel:contact duid=\"" + parts.at(0) + "\" lastModified=\"" + parts.at(1) + "\">";
        if (parts.size() > 2)
            markup += "<vel:name>" + parts.at(2) + "</vel:name>";
        markup += "</vel:contact>" + lineEnd;
    }
    writePage(pathTemplate, application, markup, prefix, lineEnd);
}

// An item as a writer of another make may put it: attributes in any order and
// quotes, texts escaped, as CDATA, as character references or after a
// comment, comments, processing instructions and white space between the
// elements, empty elements closed at once.
QByteArray anyMarkup(const ImpExp_Item &item, Generator &generator)
{
    const auto escaped = [](const QString &text) {
        return text.toUtf8()
            .replace('&', "&amp;")
            .replace('<', "&lt;")
            .replace('>', "&gt;")
            .replace('"', "&quot;")
            .replace('\'', "&apos;");
    };
    ImpExp_PairList attributes = item.getAttributes();
    if (attributes.size() > 1 && generator.chance(50))
        std::rotate(attributes.begin(), attributes.begin() + 1, attributes.end());
    QByteArray markup = "  <vel:" + item.getItemName().toUtf8();
    for (const auto &pair : attributes) {
        const char quote = generator.chance(50) ? '"' : '\'';
        markup += ' ' + pair.first.toUtf8() + '=' + quote + escaped(pair.second) + quote;
    }
    markup += '>';
    static const char *const between[] = { "", "\n    ", "<!-- x -->", "<?note x?>", "\t" };
    for (const auto &pair : item.getItemElements()) {
        markup += between[generator.below(int(std::size(between)))];
        const QByteArray name = "vel:" + pair.first.toUtf8();
        const QString &text = pair.second;
        if (text.isEmpty() && generator.chance(50)) {
            markup += '<' + name + "/>";
            continue;
        }
        markup += '<' + name + '>';
        switch (generator.below(4)) {
        case 0:
            if (!text.contains(QLatin1String("]]>"))) {
                markup += "<![CDATA[" + text.toUtf8() + "]]>";
                break;
            }
            Q_FALLTHROUGH();
        case 1:
            markup += escaped(text);
            break;
        case 2:
            for (const uint c : text.toUcs4())
                markup += "&#x" + QByteArray::number(c, 16) + ';';
            break;
        default:
            markup += "<!-- before -->" + escaped(text);
            break;
        }
        markup += "</" + name + '>';
    }
    return markup + "</vel:" + item.getItemName().toUtf8() + ">\n";
}

// The items of one kind of a set, by duid, as the reader gives them.
std::map<QString, ImpExp_Item> readAll(const QString &pathTemplate, const QString &kind)
{
    std::map<QString, ImpExp_Item> items;
    ImpExp_XMLParser parser(pathTemplate);
    for (;;) {
        ImpExp_Item item(kind); // the reader adds to what the item holds
        if (!parser.getItem(item, true))
            return items;
        items.insert_or_assign(item.getAttribute(QStringLiteral("duid")), item);
    }
}

// The attributes that tell a change: all but "duid", in order.
ImpExp_PairList changeAttributes(const ImpExp_Item &item)
{
    ImpExp_PairList attributes = item.getAttributes();
    attributes.erase(std::remove_if(attributes.begin(), attributes.end(),
                                    [](const auto &pair) { return pair.first == "duid"; }),
                     attributes.end());
    return attributes;
}

} // namespace

class TestSetDiff : public QObject
{
    Q_OBJECT

private slots:
    void applyAndDiffAgreeWithTheStore();
    void oddSets_data();
    void oddSets();
    void refusedSets_data();
    void refusedSets();
    void brokenAfterTheFirstPage_data();
    void brokenAfterTheFirstPage();
    void countsAndUnchangedItems_data();
    void countsAndUnchangedItems();
    void outcomesAgreeWithTheReader();
};

void TestSetDiff::applyAndDiffAgreeWithTheStore()
{
    TimeZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const int stores = 150;
    int changesMade = 0, failures = 0;
    for (int seed = 1; seed <= stores; ++seed) {
        QTemporaryDir dir;
        Generator generator { QRandomGenerator(quint32(seed)) };
        Store store;
        for (int n = generator.below(40); n > 0; --n)
            store.append(generator.item(generator.before(t0), true));
        const int pageSize = 1 + generator.below(7);
        const auto path
            = [&](const char *name) { return dir.filePath(QLatin1String(name)) + "_%1.xml"; };
        exportStore(store, path("full0"), pageSize, QDateTime::fromSecsSinceEpoch(0));
        const Changes made = generator.change(store);
        changesMade += made.size();
        exportStore(store, path("incr1"), pageSize, t0);
        exportStore(store, path("full1"), pageSize, QDateTime::fromSecsSinceEpoch(0));

        // Apply: the bytes of the full export, "created" being the same.
        ImpExp_SetDiff diff(path("full0"), path("incr1"));
        QCOMPARE(diff.apply(path("applied"), t1), qint64(0));
        const QStringList full = pageFiles(dir.path(), QStringLiteral("full1"));
        const QStringList applied = pageFiles(dir.path(), QStringLiteral("applied"));
        bool same = full.size() == applied.size();
        for (int i = 0; same && i < full.size(); ++i) {
            QFile a(dir.filePath(full.at(i))), b(dir.filePath(applied.at(i)));
            same = a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly)
                && a.readAll() == b.readAll();
        }
        // Diff: exactly the changes made, from two full exports and from the
        // full one and the incremental one, with no problem.
        QStringList problems;
        const QString expected = describe(made);
        const QString betweenFull = describe(compare(path("full0"), path("full1"), &problems));
        const QString withIncremental = describe(compare(path("full0"), path("incr1"), &problems));
        if (!same || betweenFull != expected || withIncremental != expected
            || !problems.isEmpty()) {
            ++failures;
            qWarning().noquote() << "seed" << seed << "apply same:" << same << "\nexpected:\n"
                                 << expected << "\nfull:\n"
                                 << betweenFull << "\nincremental:\n"
                                 << withIncremental << "\nproblems:" << problems;
        }
    }
    qInfo("%d stores, %d changed items, %d failures", stores, changesMade, failures);
    QCOMPARE(failures, 0);
    QVERIFY(changesMade > stores);
}

// Sets written by hand: what a writer of another make may send.
void TestSetDiff::oddSets_data()
{
    QTest::addColumn<QList<QByteArray>>("oldItems");
    QTest::addColumn<QList<QByteArray>>("newItems");
    QTest::addColumn<QByteArray>("prefix"); // before the XML declaration of both
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::addColumn<QStringList>("expected"); // status duid old→new, problem

    const QByteArray a = "20260101T000000Z", b = "20260102T000000Z";
    QTest::newRow("identifiers only, later than the old")
        << QList<QByteArray> { "x:" + a + ":X" } << QList<QByteArray> { "x:" + b } << QByteArray()
        << QByteArray("\n")
        << QStringList { "Unchanged x  lastModified is later than in the old set" };
    QTest::newRow("identifiers only, unknown to the old set")
        << QList<QByteArray> {} << QList<QByteArray> { "x:" + a } << QByteArray()
        << QByteArray("\n") << QStringList { "Added x  but the old set does not have it" };
    QTest::newRow("duid twice in the new set")
        << QList<QByteArray> { "x:" + a + ":X" }
        << QList<QByteArray> { "x:" + a + ":X", "x:" + a + ":Y" } << QByteArray()
        << QByteArray("\n")
        << QStringList { "Changed x name X→Y duid also used by an earlier contact" };
    QTest::newRow("duid twice in the old set: the first counts")
        << QList<QByteArray> { "x:" + a + ":X", "x:" + a + ":Y" }
        << QList<QByteArray> { "x:" + a + ":X" } << QByteArray() << QByteArray("\n")
        << QStringList {};
    // Read again in pieces: a text longer than one piece stays whole.
    const QByteArray longText = QByteArray("\xc3\xa9&amp;x").repeated(3000);
    QTest::newRow("a long old text")
        << QList<QByteArray> { "x:" + a + ":" + longText } << QList<QByteArray> { "x:" + b + ":y" }
        << QByteArray() << QByteArray("\n")
        << QStringList { "Changed x name " + QString::fromUtf8(longText).replace("&amp;", "&")
                         + "→y" };
    // Byte-order mark and CR LF: old texts are found again all the same.
    for (const QByteArray &lineEnd : { QByteArray("\n"), QByteArray("\r\n") })
        for (const QByteArray &prefix : { QByteArray(), QByteArray("\xef\xbb\xbf") })
            QTest::addRow("edits, removal, %s%s", lineEnd.size() > 1 ? "CR LF" : "LF",
                          prefix.isEmpty() ? "" : ", byte-order mark")
                << QList<QByteArray> { "u:" + a + ":\xc3\xa9\xf0\x9f\x98\x80", "v:" + a + ":V",
                                       "w:" + a + ":W" }
                << QList<QByteArray> { "w:" + b + ":W&amp;", "u:" + b + ":\xf0\x9f\x98\x80" }
                << prefix << lineEnd
                << QStringList { "Changed w name W→W&",
                                 "Changed u name \u00e9\U0001F600→\U0001F600", "Removed v" };
}

void TestSetDiff::oddSets()
{
    QFETCH(QList<QByteArray>, oldItems);
    QFETCH(QList<QByteArray>, newItems);
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, lineEnd);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString oldTemplate = dir.filePath(QStringLiteral("old_%1.xml"));
    const QString newTemplate = dir.filePath(QStringLiteral("new_%1.xml"));
    writeByHand(oldTemplate, "directory", oldItems, prefix, lineEnd);
    writeByHand(newTemplate, "directory", newItems, prefix, lineEnd);
    ImpExp_SetDiff diff(oldTemplate, newTemplate);
    QVERIFY(diff.prepare());
    ImpExp_SetDiff::Difference difference;
    QStringList found;
    const char *statuses[] = { "Added", "Changed", "Unchanged", "Removed" };
    while (diff.next(difference)) {
        QString line = QLatin1String(statuses[int(difference.status)]) + u' ' + difference.duid;
        for (const auto &change : difference.elementChanges)
            line += u' ' + change.name + u' ' + change.oldText + QChar(0x2192) + change.newText;
        found.append(line + u' ' + difference.problem);
    }
    QCOMPARE(found.size(), expected.size());
    for (int i = 0; i < found.size(); ++i)
        QVERIFY2(found.at(i).startsWith(expected.at(i).section(u' ', 0, 2).trimmed())
                     && found.at(i).contains(expected.at(i).section(u' ', 3)),
                 qPrintable(found.at(i) + QStringLiteral(" / ") + expected.at(i)));
}

void TestSetDiff::refusedSets_data()
{
    QTest::addColumn<QByteArray>("oldApplication");
    QTest::addColumn<bool>("newMissing");
    QTest::addColumn<QString>("message");
    QTest::newRow("new set missing") << QByteArray("directory") << true << "missing";
    QTest::newRow("other application")
        << QByteArray("agenda") << false << "application directory, the old set's is agenda";
}

void TestSetDiff::refusedSets()
{
    QFETCH(QByteArray, oldApplication);
    QFETCH(bool, newMissing);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString oldTemplate = dir.filePath(QStringLiteral("old_%1.xml"));
    const QString newTemplate = dir.filePath(QStringLiteral("new_%1.xml"));
    writeByHand(oldTemplate, oldApplication, {});
    if (!newMissing)
        writeByHand(newTemplate, "directory", {});
    ImpExp_SetDiff diff(oldTemplate, newTemplate);
    QVERIFY(!diff.prepare());
    QVERIFY(!diff.problems().isEmpty());
    QVERIFY2(diff.problems().first().message.contains(message),
             qPrintable(diff.problems().first().message));
    ImpExp_SetDiff::Difference difference;
    QVERIFY_EXCEPTION_THROWN(diff.next(difference), ImpExp_FatalException);
    QVERIFY_EXCEPTION_THROWN(diff.apply(dir.filePath(QStringLiteral("out_%1.xml")), t1),
                             ImpExp_FatalException);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out_00.xml"))));
}

// A set is read once, its check and its items together: a set that breaks
// after items were read already is refused all the same, and nothing of it
// is handed out or counted.
void TestSetDiff::brokenAfterTheFirstPage_data()
{
    QTest::addColumn<bool>("breakOld");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    for (const bool breakOld : { true, false }) {
        const char *set = breakOld ? "old" : "new";
        QTest::addRow("%s set, last page cut short", set) << breakOld << "cut"
                                                          << "Premature end of document";
        QTest::addRow("%s set, middle page missing", set) << breakOld << "remove"
                                                          << "missing";
        QTest::addRow("%s set, last page of another export", set) << breakOld << "other"
                                                                  << "\"id\" is \"other\"";
    }
}

void TestSetDiff::brokenAfterTheFirstPage()
{
    QFETCH(bool, breakOld);
    QFETCH(QString, damage);
    QFETCH(QString, message);
    TimeZoneScope zone("UTC0");
    QTemporaryDir dir;
    Generator generator { QRandomGenerator(7) };
    Store store;
    for (int n = 0; n < 12; ++n)
        store.append(generator.item(generator.before(t0), false));
    const QString oldTemplate = dir.filePath(QStringLiteral("old_%1.xml"));
    const QString newTemplate = dir.filePath(QStringLiteral("new_%1.xml"));
    exportStore(store, oldTemplate, 4, QDateTime::fromSecsSinceEpoch(0));
    generator.change(store);
    exportStore(store, newTemplate, 4, QDateTime::fromSecsSinceEpoch(0));
    const QString broken = breakOld ? oldTemplate : newTemplate;
    const auto page = [&](int number) {
        return QString(broken).replace(QLatin1String("%1"),
                                       QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0')));
    };
    if (damage == QLatin1String("cut")) {
        QFile last(page(2));
        QVERIFY(last.open(QIODevice::ReadWrite));
        QVERIFY(last.resize(last.size() - 30));
    } else if (damage == QLatin1String("remove")) {
        QVERIFY(QFile::remove(page(1)));
    } else {
        QFile last(page(2));
        QVERIFY(last.open(QIODevice::ReadOnly));
        QByteArray bytes = last.readAll();
        last.close();
        bytes.replace("id=\"exp-3\"", "id=\"other\"");
        QVERIFY(last.open(QIODevice::WriteOnly | QIODevice::Truncate));
        last.write(bytes);
    }

    ImpExp_SetDiff diff(oldTemplate, newTemplate);
    QVERIFY(!diff.prepare());
    QVERIFY(!diff.problems().isEmpty());
    QVERIFY2(diff.problems().first().message.contains(message),
             qPrintable(diff.problems().first().message));
    QVERIFY(diff.counts().isEmpty());
    ImpExp_SetDiff::Difference difference;
    QVERIFY_EXCEPTION_THROWN(diff.next(difference), ImpExp_FatalException);
}

// counts() holds every outcome once prepare() has run, and next() hands out
// what it promises: the differences and problems, or every item when asked
// for the unchanged ones before prepare().
void TestSetDiff::countsAndUnchangedItems_data()
{
    QTest::addColumn<bool>("reportUnchanged");
    QTest::newRow("differences only") << false;
    QTest::newRow("unchanged items too") << true;
}

void TestSetDiff::countsAndUnchangedItems()
{
    QFETCH(bool, reportUnchanged);
    TimeZoneScope zone("UTC0");
    for (int seed = 1; seed <= 20; ++seed) {
        QTemporaryDir dir;
        Generator generator { QRandomGenerator(quint32(seed)) };
        Store store;
        for (int n = 5 + generator.below(30); n > 0; --n)
            store.append(generator.item(generator.before(t0), true));
        const QString oldTemplate = dir.filePath(QStringLiteral("old_%1.xml"));
        const QString newTemplate = dir.filePath(QStringLiteral("new_%1.xml"));
        exportStore(store, oldTemplate, 3, QDateTime::fromSecsSinceEpoch(0));
        generator.change(store);
        exportStore(store, newTemplate, 3, t0);

        ImpExp_SetDiff diff(oldTemplate, newTemplate);
        diff.setReportUnchanged(reportUnchanged);
        QVERIFY(diff.prepare());
        QMap<QString, ImpExp_SetDiff::KindCount> walked;
        ImpExp_SetDiff::Difference difference;
        while (diff.next(difference)) {
            ImpExp_SetDiff::KindCount &count = walked[difference.itemName];
            qint64 *counters[] = { &count.added, &count.changed, &count.unchanged, &count.removed };
            ++*counters[int(difference.status)];
            count.problems += !difference.problem.isEmpty();
            QCOMPARE(difference.newItem.getAttribute(QStringLiteral("duid")).isNull(),
                     difference.status == ImpExp_SetDiff::Status::Removed);
        }
        for (const ImpExp_SetDiff::KindCount &count : diff.counts()) {
            const ImpExp_SetDiff::KindCount &seen = walked.value(count.itemName);
            QCOMPARE(seen.added, count.added);
            QCOMPARE(seen.changed, count.changed);
            QCOMPARE(seen.removed, count.removed);
            QCOMPARE(seen.problems, count.problems);
            // An incremental set sends unchanged items with identifiers only:
            // none of them is a difference.
            QCOMPARE(seen.unchanged, reportUnchanged ? count.unchanged : 0);
        }
    }
}

// Whatever the markup, the comparison sees an item as the reader does: an
// item is unchanged exactly when the reader gives the same attributes (but
// "duid") and elements in the same order, a changed one lists exactly the
// elements whose texts the reader gives differently, and the items handed
// out are the reader's.
void TestSetDiff::outcomesAgreeWithTheReader()
{
    const int sets = 300;
    int outcomes = 0, failures = 0;
    const QString kind = QStringLiteral("contact");
    for (int seed = 1; seed <= sets; ++seed) {
        QTemporaryDir dir;
        Generator generator { QRandomGenerator(quint32(seed)) };
        static const char *const texts[]
            = { "Doe", "", " ", "a&b", "<i>", "]]>", "\xc3\xa9\xf0\x9f\x98\x80", "x\ny", "'\"" };
        const auto text
            = [&] { return QString::fromUtf8(texts[generator.below(int(std::size(texts)))]); };
        QByteArray oldMarkup, newMarkup;
        for (int n = 1 + generator.below(8); n > 0; --n) {
            const QString duid = QStringLiteral("x%1").arg(n);
            ImpExp_Item item(kind, duid, generator.chance(50) ? QStringLiteral("p") : QString(),
                             t0);
            for (const char *name : { "name", "phone", "note" })
                if (generator.chance(60))
                    item.addElement(QLatin1String(name), text());
            if (item.getItemElements().isEmpty())
                item.addElement(QStringLiteral("name"), text());
            if (!generator.chance(10))
                oldMarkup += anyMarkup(item, generator);
            if (generator.chance(10))
                continue; // removed
            if (generator.chance(40)) {
                ImpExp_Item edited(kind, duid,
                                   generator.chance(20) ? QStringLiteral("q") : QStringLiteral("p"),
                                   generator.chance(20) ? t1 : t0);
                ImpExp_PairList elements = item.getItemElements();
                if (generator.chance(50))
                    elements[generator.below(elements.size())].second = text();
                if (elements.size() > 1 && generator.chance(20))
                    elements.removeAt(generator.below(elements.size()));
                if (elements.size() > 1 && generator.chance(20))
                    std::swap(elements.first(), elements.last());
                for (const auto &pair : elements)
                    edited.addElement(pair.first, pair.second);
                item = edited;
            }
            newMarkup += anyMarkup(item, generator);
        }
        const QString oldTemplate = dir.filePath(QStringLiteral("old_%1.xml"));
        const QString newTemplate = dir.filePath(QStringLiteral("new_%1.xml"));
        writePage(oldTemplate, "directory", oldMarkup);
        writePage(newTemplate, "directory", newMarkup);
        const std::map<QString, ImpExp_Item> before = readAll(oldTemplate, kind);
        const std::map<QString, ImpExp_Item> after = readAll(newTemplate, kind);

        // What the reader's items say, by duid.
        QMap<QString, QString> expected;
        for (const auto &[duid, now] : after) {
            const auto old = before.find(duid);
            if (old == before.end()) {
                expected[duid] = QStringLiteral("added");
                continue;
            }
            const ImpExp_Item &then = old->second;
            if (changeAttributes(then) == changeAttributes(now)
                && then.getItemElements() == now.getItemElements())
                continue;
            QStringList names;
            for (const char *name : { "name", "phone", "note" }) {
                const auto value = [&](const ImpExp_Item &item) {
                    for (const auto &pair : item.getItemElements())
                        if (pair.first == QLatin1String(name))
                            return pair.second;
                    return QStringLiteral("(absent)");
                };
                if (value(then) != value(now))
                    names.append(QLatin1String(name));
            }
            expected[duid] = QStringLiteral("changed ") + names.join(u',');
        }
        for (const auto &entry : before)
            if (after.find(entry.first) == after.end())
                expected[entry.first] = QStringLiteral("removed");

        QMap<QString, QString> found;
        bool sameItems = true;
        ImpExp_SetDiff diff(oldTemplate, newTemplate);
        ImpExp_SetDiff::Difference difference;
        while (diff.next(difference)) {
            static const char *const words[] = { "added", "changed", "unchanged", "removed" };
            QString outcome = QLatin1String(words[int(difference.status)]);
            if (difference.status == ImpExp_SetDiff::Status::Changed) {
                QStringList names;
                for (const ImpExp_SetDiff::ElementChange &change : difference.elementChanges)
                    names.append(change.name);
                std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
                    static const QStringList order { "name", "phone", "note" };
                    return order.indexOf(a) < order.indexOf(b);
                });
                outcome += u' ' + names.join(u',');
            }
            found[difference.duid] = outcome;
            if (difference.status != ImpExp_SetDiff::Status::Removed)
                sameItems = sameItems
                    && difference.newItem.getItemElements()
                        == after.at(difference.duid).getItemElements();
            if (difference.status != ImpExp_SetDiff::Status::Added)
                sameItems = sameItems
                    && difference.oldItem.getItemElements()
                        == before.at(difference.duid).getItemElements();
        }
        outcomes += found.size();
        if (found != expected || !sameItems) {
            ++failures;
            qWarning().noquote() << "seed" << seed << "same items:" << sameItems
                                 << "\nexpected:" << expected << "\nfound:" << found << "\nold:\n"
                                 << oldMarkup << "\nnew:\n"
                                 << newMarkup;
        }
    }
    qInfo("%d sets, %d outcomes, %d failures", sets, outcomes, failures);
    QCOMPARE(failures, 0);
    QVERIFY(outcomes > sets);
}

QTEST_GUILESS_MAIN(TestSetDiff)
#include "tst_setdiff.moc"
