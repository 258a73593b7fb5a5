// `velxml report` in a real browser: the page is opened from disk in headless
// Chromium with networking off, and its rendered DOM is checked: the cards,
// the summary's counts and problems, the occurrences of a daily, a weekly and
// a monthly series across the change to summer time, and a hostile title.
// A screenshot of each view goes to the build folder.

#include "TimeZoneScope.h"
#include "VelxmlRun.h"

#include <Appointment_Item.h>
#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>

#include <QtTest>

namespace
{

// A 24x24 picture as base64: the format carries photos as text.
const char photo[]
    = "iVBORw0KGgoAAAANSUhEUgAAABgAAAAYCAIAAABvFaqvAAAASElEQVR42mNwy1tAFcQwahClBv1HA"
      "uQb9B8DkGPQfxxg1CAaGES1WKNmOhpkWYQ6gf0fLyDWoP9EAMIG/Sca0MWg/ySCwW0QAFHqENOfKwNIAAAAAE"
      "lFTkSuQmCC";
const char hostile[] = "</script><img src=x onerror=alert(1)>";
const char hostileText[] = "&lt;/script&gt;&lt;img src=x onerror=alert(1)&gt;";

QDateTime local(int month, int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute), Qt::LocalTime);
}

ImpExp_Item identifiersOnly(const QString &kind, const QString &duid)
{
    ImpExp_Item item(kind);
    item.addAttribute(QStringLiteral("duid"), duid);
    item.addAttribute(QStringLiteral("lastModified"), QStringLiteral("20260110T080000Z"));
    return item;
}

Contact_Item contact(const char *duid, const QString &first, const QString &last, const char *phone,
                     bool withPhoto, const QString &puid = QString())
{
    return Contact_Item(
        duid, puid, local(3, 1, 9), first, last, QStringLiteral("%1@example.org").arg(duid), {},
        phone, {}, QStringLiteral("+49 170 555 0100"), withPhoto ? QByteArray(photo) : QByteArray(),
        {}, {}, {}, "Acme Rail", {}, "Engineer");
}

// Seven contacts, three a page: photos, a hostile name, one with identifiers
// only (file 1, index 0), a duid used twice (file 1, index 2) and a
// lastModified that is no timestamp (file 2, index 0).
QString writeDirectory(const QString &directory)
{
    const QString pathTemplate = directory + "/dir_%1.xml";
    ImpExp_XMLBuilder builder("dev-1", "exp-1", pathTemplate, 3, local(3, 2, 8), 7, 7,
                              "VelDirectory", QDateTime::fromSecsSinceEpoch(0));
    builder.putItem(contact("c-1", "Jane", "Doe", "+44 20 7946 0101", true));
    builder.putItem(contact("c-2", "Zoë", "Ångström", "+46 8 555 0102", false));
    builder.putItem(contact("c-3", hostile, "Mallory", "+1 555 0103", false));
    builder.putItem(identifiersOnly("contact", "c-4"));
    builder.putItem(contact("c-5", "Ama", "Mensah", "+233 30 555 0105", true));
    builder.putItem(contact("c-2", "Zoë", "Again", "+46 8 555 0106", false));
    ImpExp_Item badDate("contact");
    badDate.addAttribute("duid", "c-7");
    badDate.addAttribute("lastModified", "yesterday");
    badDate.addElement("lastName", "Late");
    builder.putItem(badDate);
    return pathTemplate;
}

Appointment_Item appointment(const char *duid, const QString &title, const QDateTime &begin,
                             int minutes, const char *period, const QDate &until, int alarm = -1,
                             bool readOnly = false)
{
    return Appointment_Item(duid, {}, local(3, 1, 9), title, "Room 4", begin,
                            begin.addSecs(minutes * 60), period, until, {}, alarm >= 0, alarm,
                            readOnly);
}

// Written in Central European time: summer time starts on 29 March 2026.
QString writeAgenda(const QString &directory)
{
    TimeZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const QString pathTemplate = directory + "/agenda_%1.xml";
    ImpExp_XMLBuilder builder("dev-1", "exp-1", pathTemplate, 4, local(3, 2, 8), 10, 10, "Agenda",
                              QDateTime::fromSecsSinceEpoch(0));
    builder.putItem(appointment("a-dentist", "Dentist", local(3, 4, 8, 30), 30, "", QDate(), 60));
    builder.putItem(appointment("a-review", "Quarterly review", local(3, 5, 14), 120, "", QDate()));
    builder.putItem(
        appointment("a-flight", "Flight VX 204", local(3, 7, 6, 10), 210, "", QDate(), 120));
    builder.putItem(
        appointment("a-daily", "Stand-up", local(3, 27, 9), 15, "DAILY", QDate(2026, 4, 2), 5));
    builder.putItem(
        appointment("a-weekly", "Yoga", local(3, 19, 18, 30), 60, "WEEKLY", QDate(2026, 4, 9)));
    builder.putItem(appointment("a-monthly", "Rent", local(2, 15, 8), 5, "MONTHLY", QDate()));
    builder.putItem(appointment("a-31st", "Report", local(1, 31, 16), 30, "MONTHLY", QDate()));
    builder.putItem(appointment("a-hostile", hostile, local(3, 10, 12), 60, "ONE_TIME", QDate()));
    builder.putItem(appointment("a-holiday", "Holiday", local(3, 12, 0), 24 * 60, "ONE_TIME",
                                QDate(), -1, true));
    builder.putItem(identifiersOnly("appointment", "a-ids"));
    return pathTemplate;
}

// An older and a newer set of each application, for report --since. Contacts:
// c-1's office phone changed, c-2 unchanged, c-3 given a puid, c-4 removed,
// c-5 added.
// Appointments: a-1's title changed, a-2 removed, a-3 added.
void writeSincePairs(const QString &directory)
{
    TimeZoneScope zone("UTC0");
    for (const bool newer : { false, true }) {
        const QString prefix = directory + (newer ? "/now_" : "/then_");
        ImpExp_XMLBuilder contacts("dev-1", newer ? "exp-2" : "exp-1", prefix + "dir_%1.xml", 3,
                                   local(3, newer ? 9 : 2, 8), 4, 4, "VelDirectory",
                                   QDateTime::fromSecsSinceEpoch(0));
        contacts.putItem(
            contact("c-1", "Jane", "Doe", newer ? "+44 20 7946 0999" : "+44 20 7946 0101", true));
        contacts.putItem(contact("c-2", "Zoë", "Ångström", "+46 8 555 0102", false));
        contacts.putItem(contact("c-3", "Kofi", "Boateng", "+233 30 555 0103", false,
                                 newer ? QStringLiteral("srv-9") : QString()));
        contacts.putItem(newer ? contact("c-5", "Ama", "Mensah", "+233 30 555 0105", true)
                               : contact("c-4", "Removed", "Person", "+1 555 0104", false));
        ImpExp_XMLBuilder agenda("dev-1", newer ? "exp-2" : "exp-1", prefix + "agenda_%1.xml", 4,
                                 local(3, newer ? 9 : 2, 8), 2, 2, "Agenda",
                                 QDateTime::fromSecsSinceEpoch(0));
        agenda.putItem(appointment("a-1", newer ? "Dentist, moved" : "Dentist", local(3, 4, 8, 30),
                                   30, "", QDate()));
        agenda.putItem(newer ? appointment("a-3", "Added", local(3, 6, 10), 60, "", QDate())
                             : appointment("a-2", "Cancelled", local(3, 5, 10), 60, "", QDate()));
    }
}

// Empty when velxml succeeded, else what it said.
QString velxml(const QStringList &arguments)
{
    const VelxmlRun run = runVelxml(arguments, QProcessEnvironment(), 300000);
    return run.exitCode == 0 ? QString() : run.err + QStringLiteral("velxml report failed");
}

QString chromium()
{
    for (const char *name : { "chromium", "chromium-browser" }) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

// Opens @p url in headless Chromium, with networking off and a profile of its
// own, and returns the DOM after the page's script ran; with @p screenshot set,
// saves the window instead and returns an empty string.
QString openInBrowser(const QString &url, const QString &screenshot = QString())
{
    QTemporaryDir profile;
    QStringList arguments = { "--headless",
                              "--disable-gpu",
                              "--no-sandbox",
                              "--hide-scrollbars",
                              "--no-first-run",
                              "--disable-extensions",
                              "--disable-sync",
                              "--disable-background-networking",
                              "--disable-component-update",
                              "--proxy-server=127.0.0.1:9",
                              "--host-resolver-rules=MAP * ~NOTFOUND",
                              "--user-data-dir=" + profile.path(),
                              "--window-size=1280,900" };
    arguments << (screenshot.isEmpty() ? QStringLiteral("--dump-dom")
                                       : "--screenshot=" + screenshot)
              << url;
    QProcess process;
    process.start(chromium(), arguments);
    // A 2-core machine shared with builds: generous.
    if (!process.waitForFinished(600000)) {
        process.kill();
        process.waitForFinished();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// "duid@start" of every chip or week item on the page.
QSet<QString> placed(const QString &dom)
{
    QSet<QString> found;
    static const QRegularExpression item(R"re(data-duid="([^"]*)" data-start="([^"]*)")re");
    for (auto match = item.globalMatch(dom); match.hasNext();) {
        const QRegularExpressionMatch m = match.next();
        found.insert(m.captured(1) + '@' + m.captured(2));
    }
    return found;
}

// The markup of the month cell or week column of @p date.
QString cell(const QString &dom, const QString &date)
{
    const int start = dom.indexOf(QStringLiteral("data-date=\"%1\"").arg(date));
    if (start < 0)
        return QString();
    const int end = dom.indexOf(QStringLiteral("data-date="), start + 10);
    return dom.mid(start, end < 0 ? -1 : end - start);
}

} // namespace

class tst_Report : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cards();
    void summary();
    void occurrences_data();
    void occurrences();
    void weekPlacesByWallClock();
    void agendaMarks();
    void zones_data();
    void zones();
    void views_data();
    void views();
    void sinceRefused();
    void screenshots();
    void largeSet_data();
    void largeSet();

private:
    QString page(const QString &name, const QString &hash) const
    {
        return QUrl::fromLocalFile(dir.filePath(name)).toString() + '#' + hash;
    }

    QTemporaryDir dir;
};

void tst_Report::initTestCase()
{
    if (chromium().isEmpty())
        QSKIP("chromium is not installed (build.sh test installs it)");
    QVERIFY(dir.isValid());
    QCOMPARE(velxml({ "report", writeDirectory(dir.path()), "-o", dir.filePath("dir.html") }),
             QString());
    QCOMPARE(velxml({ "report", writeAgenda(dir.path()), "-o", dir.filePath("agenda.html"),
                      "--zone", "Europe/Berlin" }),
             QString());
    writeSincePairs(dir.path());
    for (const char *kind : { "dir", "agenda" }) {
        const QString name = QLatin1String(kind);
        const VelxmlRun run
            = runVelxml({ "report", dir.filePath("now_" + name + "_%1.xml"), "--since",
                          dir.filePath("then_" + name + "_%1.xml"), "-o",
                          dir.filePath("since_" + name + ".html"), "--zone", "UTC" });
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(name == "dir" ? ": 1 added, 2 changed, 1 removed\n"
                                                : ": 1 added, 1 changed, 1 removed\n"),
                 qPrintable(run.out));
    }
}

void tst_Report::cards()
{
    const QString dom = openInBrowser(page("dir.html", "cards"));
    QVERIFY2(dom.contains("data-ready="), "the page's script did not finish");
    for (const char *duid : { "c-1", "c-2", "c-3", "c-5", "c-7" })
        QVERIFY2(dom.contains(QStringLiteral("class=\"card\" data-duid=\"%1\"").arg(duid)), duid);
    QVERIFY(dom.contains("class=\"card ids\" data-duid=\"c-4\""));
    QVERIFY(dom.contains("Jane Doe"));
    QVERIFY(dom.contains("+44 20 7946 0101"));
    QVERIFY(dom.contains("class=\"photo\" alt=\"Photo\" src=\"data:image/png;base64,iVBORw0KGgo"));
    QVERIFY(dom.contains("7 of 7 contacts, 1 with identifiers only"));
    // The hostile name is text, not markup.
    QVERIFY(dom.contains(hostileText));
    QVERIFY(!dom.contains("src=\"x\""));
}

void tst_Report::summary()
{
    const QString dom = openInBrowser(page("dir.html", "summary"));
    QVERIFY(dom.contains("data-fact=\"items\"><b>7</b>"));
    QVERIFY(dom.contains("data-fact=\"pages found\"><b>3 of 3</b>"));
    QVERIFY(dom.contains("<tr data-kind=\"contact\"><td>contact</td><td class=\"num items\">7</td>"
                         "<td class=\"num fields\">6</td><td class=\"num ids\">1</td></tr>"));
    // Each problem links to its page and to the card of its item.
    QVERIFY(dom.contains(QRegularExpression(
        R"(data-kind="duplicate duid"[^>]*><span>[^<]*</span><a href="#summary\?page=1"[^>]*>dir_01.xml:\d+:\d+</a><a href="#cards\?item=1.2")")));
    QVERIFY(dom.contains(QRegularExpression(
        R"(data-kind="bad lastModified"[^>]*><span>[^<]*</span><a href="#summary\?page=2"[^>]*>dir_02.xml:\d+:\d+</a><a href="#cards\?item=2.0")")));
}

void tst_Report::occurrences_data()
{
    QTest::addColumn<QString>("hash");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    // The grid of March runs from Monday 23 February to Sunday 5 April.
    QTest::newRow("March, Berlin")
        << "month?date=2026-03-01"
        << QStringList { "a-daily@2026-03-27T09:00",   "a-daily@2026-03-28T09:00",
                         "a-daily@2026-03-29T09:00",   "a-daily@2026-03-30T09:00",
                         "a-daily@2026-04-02T09:00",   "a-weekly@2026-03-19T18:30",
                         "a-weekly@2026-03-26T18:30",  "a-weekly@2026-04-02T18:30",
                         "a-monthly@2026-03-15T08:00", "a-31st@2026-03-31T16:00" }
        << QStringList { "a-daily@2026-03-26T09:00", "a-daily@2026-04-03T09:00",
                         "a-daily@2026-03-30T10:00", "a-weekly@2026-04-02T19:30" };
    QTest::newRow("April, Berlin")
        << "month?date=2026-04-01"
        << QStringList { "a-monthly@2026-04-15T08:00", "a-weekly@2026-04-09T18:30",
                         "a-31st@2026-03-31T16:00" }
        << QStringList { "a-weekly@2026-04-16T18:30", "a-monthly@2026-04-15T09:00" };
    // In UTC the series keeps UTC's wall clock: 08:00, the first occurrence's.
    QTest::newRow("March, UTC") << "month?date=2026-03-01&zone=UTC"
                                << QStringList { "a-daily@2026-03-27T08:00",
                                                 "a-daily@2026-03-30T08:00",
                                                 "a-monthly@2026-03-15T07:00" }
                                << QStringList { "a-daily@2026-03-30T07:00",
                                                 "a-daily@2026-03-30T09:00" };
}

void tst_Report::occurrences()
{
    QFETCH(QString, hash);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const QString dom = openInBrowser(page("agenda.html", hash));
    const QSet<QString> found = placed(dom);
    for (const QString &expected : present) {
        QVERIFY2(found.contains(expected), qPrintable(expected));
        // In the cell of its day.
        const QString day = expected.section('@', 1).left(10);
        QVERIFY2(cell(dom, day).contains("data-duid=\"" + expected.section('@', 0, 0) + '"'),
                 qPrintable(expected));
    }
    for (const QString &unexpected : absent)
        QVERIFY2(!found.contains(unexpected), qPrintable(unexpected));
    // The 31st repeats only in months that have one.
    QVERIFY(!cell(dom, "2026-04-30").contains("a-31st"));
}

void tst_Report::weekPlacesByWallClock()
{
    // Monday 30 March, the first day of summer time: 09:00 is 9 hours down.
    const QString dom = openInBrowser(page("agenda.html", "week?date=2026-03-30"));
    const QString monday = cell(dom, "2026-03-30");
    QVERIFY(monday.contains(QRegularExpression(
        R"re(data-duid="a-daily" data-start="2026-03-30T09:00"[^>]*style="top: 432px;)re")));
    QVERIFY(cell(dom, "2026-04-02").contains("data-start=\"2026-04-02T18:30\""));
}

void tst_Report::agendaMarks()
{
    const QString dom = openInBrowser(page("agenda.html", "month?date=2026-03-01"));
    // Alarm and read-only marks; the hostile title stays text.
    QVERIFY(cell(dom, "2026-03-27").contains("<span class=\"time alarm\">09:00</span>Stand-up"));
    QVERIFY(cell(dom, "2026-03-12").contains("class=\"chip ro\" data-duid=\"a-holiday\""));
    QVERIFY(cell(dom, "2026-03-10").contains(hostileText));
    QVERIFY(!dom.contains("src=\"x\""));
    const QString list = openInBrowser(page("agenda.html", "list"));
    QVERIFY(list.contains("9 of 9 appointments with fields, 1 with identifiers only"));
    const int idsOnly = list.indexOf("id=\"id-only\"");
    QVERIFY(idsOnly > 0);
    QVERIFY(list.indexOf("data-duid=\"a-ids\"", idsOnly) > 0);
}

// report --zone takes exactly the zones the page shows: every name of the zone database, a
// fixed offset, and nothing else (the page would fall back to the browser's zone unseen).
void tst_Report::zones_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("standUp"); // the daily 09:00 (Berlin) of 27 March; empty: refused

    QTest::newRow("Etc/GMT+5, five hours behind UTC") << "Etc/GMT+5"
                                                      << "a-daily@2026-03-27T03:00";
    QTest::newRow("EST5EDT, in its summer time") << "EST5EDT"
                                                 << "a-daily@2026-03-27T04:00";
    QTest::newRow("a fixed offset ahead") << "UTC+05:00"
                                          << "a-daily@2026-03-27T13:00";
    QTest::newRow("a fixed offset behind, on the day before") << "UTC-09:30"
                                                              << "a-daily@2026-03-26T22:30";
    QTest::newRow("UTC") << "UTC"
                         << "a-daily@2026-03-27T08:00";
    for (const char *refused : { "Mars/Olympus", "UTC+5", "UTC+15:00", "posixrules",
                                 "Europe/../Europe/Berlin", "right/Europe/Berlin", "" })
        QTest::newRow(refused) << refused << "";
}

void tst_Report::zones()
{
    QFETCH(QString, zone);
    QFETCH(QString, standUp);
    const QString report = dir.filePath("zone.html");
    QFile::remove(report);
    const VelxmlRun run
        = runVelxml({ "report", dir.filePath("agenda_%1.xml"), "-o", report, "--zone", zone });
    if (standUp.isEmpty()) {
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains("--zone"), qPrintable(run.err));
        QVERIFY(!QFile::exists(report));
        return;
    }
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QString dom
        = openInBrowser(QUrl::fromLocalFile(report).toString() + "#month?date=2026-03-01");
    QVERIFY2(placed(dom).contains(standUp), qPrintable(dom.left(2000)));
    QVERIFY(dom.contains(QStringLiteral(" · %1</h2>").arg(zone)));
}

// What a view shows. The page's address: decoded once, a malformed one opens the summary; a
// directory's calendar says why it is empty; dates are formatted. With --since: changed and
// added items are marked where they are shown, the removed ones listed in the summary, with
// the counts per kind.
void tst_Report::views_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("hash");
    QTest::addColumn<QStringList>("patterns"); // regular expressions the page must match

    QTest::newRow("a zone with '+', escaped in the address")
        << "agenda.html"
        << "month?date=2026-03-01&zone=Etc%2FGMT%2B5"
        << QStringList { R"(data-start="2026-03-27T03:00")" };
    QTest::newRow("a malformed escape opens the summary")
        << "agenda.html"
        << "month?zone=%E0%A4%A" << QStringList { R"(data-fact="items"><b>10</b>)" };
    for (const char *view : { "month", "week", "list" })
        QTest::newRow(qPrintable(QStringLiteral("a directory's %1").arg(view)))
            << "dir.html" << view << QStringList { "There are no appointments in this set." };
    QTest::newRow("an identifiers-only card's change date, formatted")
        << "dir.html"
        << "cards?zone=UTC" << QStringList { R"(<dt>changed</dt><dd>[^<]*\b2026 08:00</dd>)" };
    QTest::newRow("changes on the cards")
        << "since_dir.html"
        << "cards"
        << QStringList {
               R"(class="card changed" data-duid="c-1")",
               R"(class="card added" data-duid="c-5")",
               R"(class="card" data-duid="c-2")",
               // The changed value, with the old one in its tooltip.
               R"(<dd class="field-officePhone was" title="was &quot;\+44 20 7946 0101&quot;">\+44 20 7946 0999</dd>)",
               R"(<span class="badge changed" title="officePhone: &quot;\+44 20 7946 0101&quot; → &quot;\+44 20 7946 0999&quot;">changed</span>)",
           };
    QTest::newRow("changes in a directory's summary")
        << "since_dir.html"
        << "summary"
        << QStringList {
               R"(<h2 id="since-title">Changes since [^<]*then_dir_%1.xml</h2>)",
               R"(<tr data-kind="contact"><td>contact</td><td class="num count-added">1</td><td class="num count-changed">2</td><td class="num count-unchanged">1</td><td class="num count-removed">1</td><td class="num count-problems">0</td></tr>)",
               R"(data-duid="c-3" data-status="changed"[^>]*>.*?<span[^>]*>puid: \(absent\) → "srv-9"</span>)",
               R"(data-duid="c-4" data-status="removed"[^>]*><span class="badge removed"[^>]*>removed</span><span>contact c-4</span><span[^>]*>Removed Person</span>)",
               R"(data-duid="c-5" data-status="added"[^>]*><span class="badge added">added</span><a href="#cards\?item=1.0"[^>]*>contact c-5</a><span[^>]*>Ama Mensah</span>)",
           };
    QTest::newRow("changes in the appointment list")
        << "since_agenda.html"
        << "list"
        << QStringList {
               R"(data-duid="a-1" data-change="changed")",
               R"(data-duid="a-3" data-change="added")",
           };
    QTest::newRow("changes in the month")
        << "since_agenda.html"
        << "month?date=2026-03-01"
        << QStringList {
               R"(class="chip changed" data-duid="a-1"[^>]*title="[^"]*changed since the older set:\ntitle: &quot;Dentist&quot; → &quot;Dentist, moved&quot;)",
               R"(class="chip added" data-duid="a-3")",
               "green edge: added, blue edge: changed since the older set",
           };
    QTest::newRow("changes in an agenda's summary")
        << "since_agenda.html"
        << "summary"
        << QStringList {
               R"(data-duid="a-2" data-status="removed"[^>]*>.*?<span[^>]*>Cancelled</span>)",
               R"(data-duid="a-1" data-status="changed"[^>]*>.*?title: &quot;Dentist&quot; → &quot;Dentist, moved&quot;)",
           };
}

void tst_Report::views()
{
    QFETCH(QString, file);
    QFETCH(QString, hash);
    QFETCH(QStringList, patterns);
    const QString dom = openInBrowser(page(file, hash));
    QVERIFY2(dom.contains("data-ready="), "the page's script did not finish");
    for (const QString &pattern : patterns)
        QVERIFY2(dom.contains(QRegularExpression(pattern)), qPrintable(pattern));
}

// An older set that cannot be compared: the page is written all the same and
// says why, and the exit status says something is wrong.
void tst_Report::sinceRefused()
{
    const QString report = dir.filePath("since_refused.html");
    const VelxmlRun run
        = runVelxml({ "report", dir.filePath("now_dir_%1.xml"), "--since",
                      dir.filePath("missing_%1.xml"), "-o", report, "--zone", "UTC" });
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("cannot compare with " + dir.filePath("missing_%1.xml") + ":\n  "),
             qPrintable(run.err));
    QVERIFY(!run.out.contains("removed"));
    const QString dom = openInBrowser(QUrl::fromLocalFile(report).toString() + "#summary");
    QVERIFY(dom.contains(QRegularExpression(
        R"(<p id="since-refused" class="warning">The sets could not be compared: missing_00.xml[^<]+</p>)")));
    // The set itself is still shown.
    QVERIFY(dom.contains("data-fact=\"items\"><b>4</b>"));
    QCOMPARE(
        runVelxml({ "report", dir.filePath("now_dir_%1.xml"), "--since", "no-template" }).exitCode,
        2);
}

void tst_Report::screenshots()
{
    const QString folder = QStringLiteral(VELXML_REPORT_SHOTS);
    QVERIFY(QDir().mkpath(folder));
    const struct {
        const char *file, *hash, *shot;
    } views[] = {
        { "agenda.html", "month?date=2026-03-01", "report-month.png" },
        { "agenda.html", "week?date=2026-03-30", "report-week.png" },
        { "agenda.html", "list", "report-list.png" },
        { "dir.html", "cards", "report-cards.png" },
        { "dir.html", "summary", "report-summary.png" },
        { "since_dir.html", "cards", "report-since-cards.png" },
        { "since_dir.html", "summary", "report-since-summary.png" },
        { "since_agenda.html", "list", "report-since-list.png" },
        { "since_agenda.html", "month?date=2026-03-01", "report-since-month.png" },
    };
    for (const auto &view : views) {
        const QString shot = folder + '/' + view.shot;
        QFile::remove(shot);
        openInBrowser(page(view.file, view.hash), shot);
        QVERIFY2(QFileInfo(shot).size() > 10000, view.shot);
    }
}

void tst_Report::largeSet_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("hash");
    QTest::newRow("100000 appointments") << "appointment"
                                         << "month";
    QTest::newRow("100000 contacts") << "contact"
                                     << "cards";
}

// A large set opens: the page renders what is in view (timing belongs in
// bench/, not here).
void tst_Report::largeSet()
{
    QFETCH(QString, kind);
    QFETCH(QString, hash);
    const int count = 100000;
    const bool agenda = kind == "appointment";
    const QString pathTemplate = dir.filePath(kind + "_many_%1.xml");
    {
        TimeZoneScope zone("UTC0");
        ImpExp_XMLBuilder builder("dev-1", "exp-1", pathTemplate, 1000, local(3, 2, 8), count,
                                  count, agenda ? "Agenda" : "VelDirectory",
                                  QDateTime::fromSecsSinceEpoch(0));
        for (int i = 0; i < count; ++i) {
            const QString duid = QString::number(i);
            if (agenda)
                builder.putItem(appointment(qPrintable(duid), "Meeting " + duid,
                                            local(1, 1, 8).addSecs(i * 600), 30,
                                            i % 1000 == 0 ? "WEEKLY" : "ONE_TIME", QDate()));
            else
                builder.putItem(
                    contact(qPrintable(duid), "First", "Last " + duid, "+1 555 0100", i % 10 == 0));
        }
    }
    const QString report = dir.filePath(kind + "_many.html");
    QCOMPARE(velxml({ "report", pathTemplate, "-o", report, "--zone", "UTC" }), QString());
    const QString dom = openInBrowser(QUrl::fromLocalFile(report).toString() + '#' + hash);
    QVERIFY2(dom.contains("data-ready="), "the page's script did not finish");
    if (agenda)
        QVERIFY(dom.contains("data-date=\"2026-01-01\" data-count=\"96\""));
    else
        QVERIFY(dom.contains("100000 of 100000 contacts"));
    // Only the rows in view are in the document.
    QVERIFY(dom.count(agenda ? "class=\"chip" : "class=\"card\"") < 1000);
}

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_report.moc"
