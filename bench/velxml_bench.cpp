// Throughput and memory of the library against bare Qt XML streams.
//
// Each timed case runs the library and its baseline in the same process,
// interleaved (the order alternates from round to round) after one warm-up
// round, and reports min and median of each plus the median of the per-round
// ratios baseline time / library time (= library items/s over baseline
// items/s). Memory and debug-output cases run in child processes of this
// same program (--mem, --debug-export).

#include "Workload.h"
#ifdef VELXML_BENCH_LIBXML2
#include "Libxml2Export.h"
#endif

#include "xml/ImpExp_Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

// Benchmarks see the same zone whatever the machine's: a real one with
// daylight saving time, so that local-time conversions cost what they cost
// on a device.
const char benchTimeZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";
const char silencedRules[] = "velxml.impexp.debug=false";

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// CPU time of this thread: what the other processes on a shared machine
// disturb least. Wall time is kept beside it.
double cpuNow()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

struct Timing {
    double cpu;
    double wall;
};

Timing measure(const std::function<void()> &run)
{
    const double cpu = cpuNow();
    const double wall = now();
    run();
    return { cpuNow() - cpu, now() - wall };
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double minimum(const QVector<double> &values)
{
    return *std::min_element(values.begin(), values.end());
}

// CPU time that other processes used while a case ran, in cores: the whole
// machine's busy time from /proc/stat minus this process and its children.
class LoadMeter
{
public:
    LoadMeter()
        : wall(now())
        , busy(machineBusy())
        , own(ownCpu())
    {
    }

    double otherCores() const
    {
        const double elapsed = now() - wall;
        if (elapsed <= 0 || busy < 0)
            return 0;
        const double other = (machineBusy() - busy) - (ownCpu() - own);
        return std::max(0.0, other / elapsed);
    }

private:
    static double machineBusy()
    {
        QFile stat(QStringLiteral("/proc/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
        // cpu user nice system idle iowait irq softirq steal ...
        double total = 0;
        for (int i = 1; i < fields.size() && i <= 8; ++i) {
            if (i != 4 && i != 5)
                total += fields[i].toDouble();
        }
        return total / double(sysconf(_SC_CLK_TCK));
    }

    static double ownCpu()
    {
        double total = 0;
        for (int who : { RUSAGE_SELF, RUSAGE_CHILDREN }) {
            rusage usage {};
            getrusage(who, &usage);
            total += usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
                + usage.ru_stime.tv_usec / 1e6;
        }
        return total;
    }

    double wall;
    double busy;
    double own;
};

qint64 peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Samples {
    QVector<double> library; // CPU seconds per run
    QVector<double> baseline;
    QVector<double> ratios; // baseline / library, CPU time, per round
    QVector<double> wallRatios;
    QString problem;
};

// Warm-up round first (page cache, allocator, files created), then
// alternating order so that neither side always runs on a warmer machine.
Samples interleave(int rounds, const std::function<RunResult()> &library,
                   const std::function<RunResult()> &baseline,
                   const std::function<QString()> &check = {})
{
    Samples samples;
    const RunResult a = library();
    const RunResult b = baseline();
    if (!(a == b)) {
        samples.problem = QStringLiteral("library and baseline differ: %1/%2/%3 vs %4/%5/%6 "
                                         "items/pairs/characters")
                              .arg(a.items)
                              .arg(a.pairs)
                              .arg(a.textLength)
                              .arg(b.items)
                              .arg(b.pairs)
                              .arg(b.textLength);
    } else if (check) {
        samples.problem = check();
    }
    for (int round = 0; round < rounds; ++round) {
        Timing l, b;
        if (round % 2 == 0) {
            l = measure(library);
            b = measure(baseline);
        } else {
            b = measure(baseline);
            l = measure(library);
        }
        samples.library.append(l.cpu);
        samples.baseline.append(b.cpu);
        samples.ratios.append(b.cpu / l.cpu);
        samples.wallRatios.append(b.wall / l.wall);
    }
    return samples;
}

struct Row {
    QString name;
    QString items;
    QString library;
    QString baseline;
    QString speed;
    QString baseSpeed = QStringLiteral("-");
    QString ratio;
    QString wallRatio = QStringLiteral("-");
    QString target;
    QString result;
    QString load;
};

QString ms(const QVector<double> &times)
{
    return QStringLiteral("%1 / %2")
        .arg(minimum(times) * 1e3, 0, 'f', 1)
        .arg(median(times) * 1e3, 0, 'f', 1);
}

Row timedRow(const QString &name, qint64 items, qint64 bytes, const Samples &samples,
             double minRatio, const LoadMeter &load)
{
    Row row;
    row.name = name;
    row.items = QString::number(items);
    row.library = ms(samples.library);
    row.baseline = ms(samples.baseline);
    row.speed = QString::number(bytes / median(samples.library) / 1e6, 'f', 1);
    if (bytes > 0 && !samples.baseline.isEmpty())
        row.baseSpeed = QString::number(bytes / median(samples.baseline) / 1e6, 'f', 1);
    const double ratio = median(samples.ratios);
    row.ratio = QString::number(ratio, 'f', 2);
    row.wallRatio = samples.wallRatios.isEmpty()
        ? QStringLiteral("-")
        : QString::number(median(samples.wallRatios), 'f', 2);
    if (minRatio > 0) {
        row.target = QStringLiteral(">= %1").arg(minRatio, 0, 'f', 2);
        row.result = ratio >= minRatio ? QStringLiteral("ok") : QStringLiteral("MISSED");
    } else {
        row.target = QStringLiteral("-");
        row.result = QStringLiteral("info");
    }
    if (!samples.problem.isEmpty())
        row.result = QStringLiteral("WRONG");
    row.load = QString::number(load.otherCores(), 'f', 2);
    return row;
}

void printTable(const QVector<Row> &rows)
{
    const QStringList header = { QStringLiteral("Case"),
                                 QStringLiteral("Items"),
                                 QStringLiteral("Library min / med"),
                                 QStringLiteral("Baseline min / med"),
                                 QStringLiteral("Lib MB/s"),
                                 QStringLiteral("Base MB/s"),
                                 QStringLiteral("Ratio"),
                                 QStringLiteral("Wall ratio"),
                                 QStringLiteral("Target"),
                                 QStringLiteral("Result"),
                                 QStringLiteral("Other load") };
    QVector<QStringList> cells;
    cells.append(header);
    for (const Row &row : rows)
        cells.append({ row.name, row.items, row.library, row.baseline, row.speed, row.baseSpeed,
                       row.ratio, row.wallRatio, row.target, row.result, row.load });
    QVector<int> widths(header.size(), 0);
    for (const QStringList &line : cells) {
        for (int c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], int(line[c].size()));
    }
    QTextStream out(stdout);
    auto print = [&](const QStringList &line) {
        QString text;
        for (int c = 0; c < line.size(); ++c) {
            text += c == 0 ? line[c].leftJustified(widths[c]) : line[c].rightJustified(widths[c]);
            text += c + 1 < line.size() ? QStringLiteral(" | ") : QString();
        }
        out << QStringLiteral("| ") << text << QStringLiteral(" |\n");
    };
    print(cells[0]);
    QStringList rule;
    for (int c = 0; c < widths.size(); ++c)
        rule << QString(widths[c], QLatin1Char('-'));
    out << QStringLiteral("|-") << rule.join(QStringLiteral("-|-")) << QStringLiteral("-|\n");
    for (int i = 1; i < cells.size(); ++i)
        print(cells[i]);
    out.flush();
}

QString machineDescription()
{
    QString cpu;
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (QByteArray line = info.readLine(); !line.isEmpty(); line = info.readLine()) {
            if (line.startsWith("model name")) {
                cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
        }
    }
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return QStringLiteral("%1, %2 cores, %3 GB RAM")
        .arg(cpu)
        .arg(QThread::idealThreadCount())
        .arg(double(pages) * pageSize / (1 << 30), 0, 'f', 0);
}

// ---- child modes ---------------------------------------------------------

// --mem MODE COUNT DIR: one export or import of COUNT generated contacts,
// then prints the peak resident memory.
int memoryChild(const QStringList &args)
{
    if (args.size() != 3)
        return 2;
    const QString mode = args[0];
    const int items = args[1].toInt();
    const QString path = args[2] + QStringLiteral("/contacts_%1.xml");
    const qint64 startKb = peakResidentKb();
    const double start = now();
    RunResult result;
    if (mode == QLatin1String("lib-export"))
        result = libraryExportGenerated(items, path);
    else if (mode == QLatin1String("base-export"))
        result = baselineExportGenerated(items, path);
    else if (mode == QLatin1String("lib-import"))
        result = libraryImport(Kind::Contacts, path);
    else if (mode == QLatin1String("base-import"))
        result = baselineImport(Kind::Contacts, path);
    else
        return 2;
    std::printf("hwm_kb=%lld start_kb=%lld items=%lld secs=%.3f\n", peakResidentKb(), startKb,
                result.items, now() - start);
    return result.items == items ? 0 : 1;
}

// Lets the debug-output child silence the library's category and switch it
// on again between runs, on top of the rules from the environment.
QLoggingCategory::CategoryFilter environmentFilter = nullptr;
bool silenceLibrary = false;

void benchFilter(QLoggingCategory *category)
{
    environmentFilter(category);
    // A name, not lcImpExp(): a category made here would deadlock the registry.
    if (silenceLibrary && qstrcmp(category->categoryName(), "velxml.impexp") == 0)
        category->setEnabled(QtDebugMsg, false);
}

void setLibraryMessages(bool on)
{
    silenceLibrary = !on;
    QLoggingCategory::setFilterRules(QString()); // applies the filter again
}

// --debug-export DIR ROUNDS COUNT: the full contact export with the debug
// messages on (the parent sends them to a file), with them silenced, and the
// baseline, interleaved.
int debugChild(const QStringList &args)
{
    if (args.size() != 3)
        return 2;
    const QString dir = args[0];
    const int rounds = args[1].toInt();
    const int items = args[2].toInt();
    const ExportSetup setup = ExportSetup::full(Kind::Contacts);
    QVector<ContactData> contacts;
    QVector<PrebuiltItem> prebuilt;
    for (int i = 0; i < items; ++i) {
        contacts.append(makeContact(i));
        prebuilt.append(prebuild(contacts.last(), setup));
    }
    environmentFilter = QLoggingCategory::installFilter(benchFilter);
    const QString lib = dir + QStringLiteral("/lib_%1.xml");
    const QString base = dir + QStringLiteral("/base_%1.xml");
    const std::function<void()> runs[] = {
        [&] {
            setLibraryMessages(true);
            libraryExportContacts(contacts, setup, lib);
        },
        [&] {
            setLibraryMessages(false);
            libraryExportContacts(contacts, setup, lib);
        },
        [&] { baselineExport(prebuilt, setup, base); },
    };
    QVector<double> times[3];
    QVector<double> wallRatios;
    for (int round = -1; round < rounds; ++round) {
        Timing t[3];
        for (int k = 0; k < 3; ++k) {
            const int which = (k + round + 3) % 3; // rotates the order
            t[which] = measure(runs[which]);
        }
        if (round < 0)
            continue; // warm-up
        for (int which = 0; which < 3; ++which)
            times[which].append(t[which].cpu);
        wallRatios.append(t[2].wall / t[0].wall);
    }
    auto line = [](const char *label, const QVector<double> &values) {
        std::printf("%s", label);
        for (double v : values)
            std::printf(" %.9f", v);
        std::printf("\n");
    };
    QVector<double> ratios;
    for (int round = 0; round < rounds; ++round)
        ratios.append(times[2][round] / times[0][round]);
    line("lib", times[0]);
    line("silenced", times[1]);
    line("base", times[2]);
    line("ratio", ratios);
    line("wallratio", wallRatios);
    return 0;
}

// --profile CASE COUNT: the library side and the baseline side of one case
// once each, for a profiler (valgrind --tool=callgrind
// --toggle-collect='library*' or 'baseline*').
int profileChild(const QStringList &args)
{
    if (args.size() != 2)
        return 2;
    const QString which = args[0];
    const int items = args[1].toInt();
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/velxml-profile-XXXXXX"));
    const QString lib = tmp.path() + QStringLiteral("/lib_%1.xml");
    const QString base = tmp.path() + QStringLiteral("/base_%1.xml");
    const Kind kind
        = which.contains(QLatin1String("appointment")) ? Kind::Appointments : Kind::Contacts;
    const ExportSetup setup = which.contains(QLatin1String("incremental"))
            || which.contains(QLatin1String("handwritten"))
        ? ExportSetup::incremental(kind)
        : ExportSetup::full(kind);
    QVector<ContactData> contacts;
    QVector<AppointmentData> appointments;
    QVector<PrebuiltItem> prebuilt;
    for (int i = 0; i < items; ++i) {
        if (kind == Kind::Contacts) {
            contacts.append(makeContact(i));
            prebuilt.append(prebuild(contacts.last(), setup));
        } else {
            appointments.append(makeAppointment(i));
            prebuilt.append(prebuild(appointments.last(), setup));
        }
    }
#ifdef VELXML_BENCH_LIBXML2
    if (which == QLatin1String("export-contacts-libxml2")) {
        QVector<Utf8Item> utf8;
        for (const PrebuiltItem &item : prebuilt)
            utf8.append(toUtf8(item));
        libxml2Export(utf8, setup, lib);
        baselineExport(prebuilt, setup, base);
        return 0;
    }
#endif
    if (kind == Kind::Contacts)
        libraryExportContacts(contacts, setup, lib);
    else
        libraryExportAppointments(appointments, setup, lib);
    if (which.contains(QLatin1String("handwritten")))
        baselineExportHandWritten(appointments, setup, base);
    else
        baselineExport(prebuilt, setup, base);
    if (which.startsWith(QLatin1String("import"))) {
        libraryImport(kind, base, which.contains(QLatin1String("accessors")));
        baselineImport(kind, base);
    }
    const QString difference = compareSets(lib, base);
    if (!difference.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(difference));
    return 0;
}

// ---- the full run ----------------------------------------------------------

struct Options {
    int rounds = 7;
    int items = 10000;
    int smallCount = 10000;
    int bigCount = 1000000;
    bool memory = true;
};

struct ChildResult {
    bool ok = false;
    QString output;
    QString error;
};

ChildResult runChild(const QStringList &args, const QProcessEnvironment &env,
                     const QString &stderrFile = QString())
{
    QProcess child;
    child.setProcessEnvironment(env);
    if (!stderrFile.isEmpty())
        child.setStandardErrorFile(stderrFile);
    child.start(QCoreApplication::applicationFilePath(), args);
    ChildResult result;
    if (!child.waitForFinished(-1)) {
        result.error = child.errorString();
        return result;
    }
    result.output = QString::fromUtf8(child.readAllStandardOutput());
    if (stderrFile.isEmpty())
        result.error = QString::fromUtf8(child.readAllStandardError()).trimmed();
    result.ok = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    if (!result.ok && result.error.isEmpty())
        result.error = QStringLiteral("exit code %1").arg(child.exitCode());
    return result;
}

QVector<double> parseTimes(const QString &output, const QString &label)
{
    QVector<double> values;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (!fields.isEmpty() && fields.takeFirst() == label) {
            for (const QString &field : fields)
                values.append(field.toDouble());
        }
    }
    return values;
}

qint64 field(const QString &output, const QString &name)
{
    for (const QString &part : output.split(QRegularExpression(QStringLiteral("\\s+")))) {
        if (part.startsWith(name + QLatin1Char('=')))
            return part.mid(name.size() + 1).toLongLong();
    }
    return -1;
}

QString megabytes(qint64 kb)
{
    return QString::number(kb / 1024.0, 'f', 1);
}

void removeSet(const QString &dir)
{
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
}

int fullRun(const Options &options)
{
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/velxml-bench-XXXXXX"));
    if (!tmp.isValid()) {
        std::fprintf(stderr, "cannot create a temporary directory\n");
        return 1;
    }
    const QString root = tmp.path();
    for (const char *sub : { "lib", "base", "debug" })
        QDir(root).mkdir(QString::fromLatin1(sub));
    // The import cases read the sets of the full exports.
    const QString baseContacts = root + QStringLiteral("/base/contacts_%1.xml");
    const QString baseAgenda = root + QStringLiteral("/base/agenda_%1.xml");

    QTextStream out(stdout);
    const QDateTime started = QDateTime::currentDateTimeUtc();
    out << QStringLiteral("velxml benchmarks, %1 UTC\n")
               .arg(started.toString(QStringLiteral("yyyy-MM-dd hh:mm")));
    out << QStringLiteral("machine: %1; Qt %2; TZ=%3; %4 rounds after 1 warm-up, "
                          "interleaved; %5 items per set, page size 1000\n")
               .arg(machineDescription(), QLatin1String(qVersion()),
                    QString::fromLocal8Bit(qgetenv("TZ")))
               .arg(options.rounds)
               .arg(options.items);
    out << QStringLiteral("debug output: %1 (QT_LOGGING_RULES=%2)\n\n")
               .arg(lcImpExp().isDebugEnabled() ? QStringLiteral("ON") : QStringLiteral("silenced"),
                    QString::fromLocal8Bit(qgetenv("QT_LOGGING_RULES")));
    out.flush();

    QVector<Row> rows;
    QStringList notes;
    auto noteProblem = [&](const QString &name, const Samples &samples) {
        if (!samples.problem.isEmpty())
            notes << name + QStringLiteral(": ") + samples.problem;
    };

    // Data sets, made before any timing.
    QVector<ContactData> contacts;
    QVector<AppointmentData> appointments;
    for (int i = 0; i < options.items; ++i) {
        contacts.append(makeContact(i));
        appointments.append(makeAppointment(i));
    }
    struct ExportCase {
        QString name;
        Kind kind;
        ExportSetup setup;
        QString set; // file name pattern inside lib/ and base/
        bool handWritten = false; // the baseline decides and formats inside the timing
    };
    // What each row's baseline does inside its timed part, and what it was
    // handed ready-made: printed under the table.
    const QString preparedExport = QStringLiteral(
        "bare QXmlStreamWriter on a QFile per page; includes writing every byte; leaves out "
        "building the texts: qualified names, timestamps formatted in UTC, the incremental "
        "decision, all made before the timing");
    const QVector<ExportCase> exports = {
        { QStringLiteral("export contacts, full"), Kind::Contacts,
          ExportSetup::full(Kind::Contacts), QStringLiteral("contacts_%1.xml") },
        { QStringLiteral("export contacts, incremental"), Kind::Contacts,
          ExportSetup::incremental(Kind::Contacts), QStringLiteral("contacts_inc_%1.xml") },
        { QStringLiteral("export appointments, full"), Kind::Appointments,
          ExportSetup::full(Kind::Appointments), QStringLiteral("agenda_%1.xml") },
        { QStringLiteral("export appointments, incremental"), Kind::Appointments,
          ExportSetup::incremental(Kind::Appointments), QStringLiteral("agenda_inc_%1.xml") },
        { QStringLiteral("export appointments, incr., hand-written host"), Kind::Appointments,
          ExportSetup::incremental(Kind::Appointments), QStringLiteral("agenda_hand_%1.xml"),
          true },
    };
    for (const ExportCase &c : exports) {
        QVector<PrebuiltItem> prebuilt;
        for (int i = 0; i < options.items; ++i) {
            prebuilt.append(c.kind == Kind::Contacts ? prebuild(contacts[i], c.setup)
                                                     : prebuild(appointments[i], c.setup));
        }
        const QString libSet = root + QStringLiteral("/lib/") + c.set;
        const QString baseSet = root + QStringLiteral("/base/") + c.set;
        const LoadMeter load;
        const Samples samples = interleave(
            options.rounds,
            [&] {
                return c.kind == Kind::Contacts
                    ? libraryExportContacts(contacts, c.setup, libSet)
                    : libraryExportAppointments(appointments, c.setup, libSet);
            },
            [&] {
                return c.handWritten ? baselineExportHandWritten(appointments, c.setup, baseSet)
                                     : baselineExport(prebuilt, c.setup, baseSet);
            },
            [&] { return compareSets(libSet, baseSet); });
        rows.append(timedRow(c.name, options.items, setSize(baseSet), samples, 1.25, load));
        noteProblem(c.name, samples);
        notes << QStringLiteral("baseline of \"%1\": %2")
                     .arg(c.name,
                          c.handWritten
                              ? QStringLiteral("the same bare writer, but per item inside the "
                                               "timing: the incremental decision (QDateTime "
                                               "comparison with the reference date), the UTC "
                                               "timestamp texts, the texts of changed items; "
                                               "leaves out only the host's own data")
                              : preparedExport);
    }

#ifdef VELXML_BENCH_LIBXML2
    // The ceiling: libxml2's text writer on the full contact export, against
    // the same bare-Qt baseline.
    {
        const ExportSetup setup = ExportSetup::full(Kind::Contacts);
        QVector<PrebuiltItem> prebuilt;
        QVector<Utf8Item> utf8;
        for (int i = 0; i < options.items; ++i) {
            prebuilt.append(prebuild(contacts[i], setup));
            utf8.append(toUtf8(prebuilt.last()));
        }
        const QString xml2Set = root + QStringLiteral("/lib/xml2_%1.xml");
        const QString baseSet = root + QStringLiteral("/base/contacts_%1.xml");
        const LoadMeter load;
        const Samples samples = interleave(
            options.rounds, [&] { return libxml2Export(utf8, setup, xml2Set); },
            [&] { return baselineExport(prebuilt, setup, baseSet); });
        Row row = timedRow(QStringLiteral("export contacts, full, libxml2 ceiling"), options.items,
                           setSize(xml2Set), samples, 0, load);
        row.baseSpeed = QString::number(setSize(baseSet) / median(samples.baseline) / 1e6, 'f', 1);
        rows.append(row);
        noteProblem(row.name, samples);
        const QString difference = compareSets(xml2Set, baseSet);
        notes << QStringLiteral("libxml2 ceiling: xmlTextWriter (libxml2 %1) from UTF-8 texts "
                                "prepared before the timing, in the Library columns; %2")
                     .arg(libxml2Version(),
                          difference.isEmpty()
                              ? QStringLiteral("the same bytes as Qt's")
                              : QStringLiteral("bytes differ from Qt's: ") + difference);
    }
#else
    notes << QStringLiteral("libxml2 ceiling: not built (libxml2-dev missing)");
#endif

    struct ImportCase {
        QString name;
        Kind kind;
        QString set;
        bool accessors;
    };
    const QVector<ImportCase> imports = {
        { QStringLiteral("import contacts"), Kind::Contacts, baseContacts, false },
        { QStringLiteral("import appointments"), Kind::Appointments, baseAgenda, false },
        { QStringLiteral("import appointments + accessors"), Kind::Appointments, baseAgenda, true },
    };
    notes << QStringLiteral("baseline of the imports: a bare QXmlStreamReader loop collecting the "
                            "same attribute and element pairs into QList<QPair<QString, "
                            "QString>>; leaves out item objects, the library's checks and, for "
                            "\"+ accessors\", every date-time conversion (no local date-times)");
    for (const ImportCase &c : imports) {
        const LoadMeter load;
        const Samples samples = interleave(
            options.rounds, [&] { return libraryImport(c.kind, c.set, c.accessors); },
            [&] { return baselineImport(c.kind, c.set); });
        rows.append(timedRow(c.name, options.items, setSize(c.set), samples,
                             c.accessors ? 0.95 : 0.97, load));
        noteProblem(c.name, samples);
    }

    // The name check a careful host runs before putItem(), against putItem()
    // of the same items built beforehand.
    {
        const std::vector<ImpExp_Item> items = contactItems(contacts);
        const ExportSetup setup = ExportSetup::full(Kind::Contacts);
        const QString libSet = root + QStringLiteral("/lib/put_%1.xml");
        const LoadMeter load;
        const Samples samples = interleave(
            options.rounds, [&] { return nameCheck(items); },
            [&] { return libraryPut(items, setup, libSet); });
        Row row = timedRow(QStringLiteral("name check vs putItem, contacts"), qint64(items.size()),
                           0, samples, 0, load);
        row.speed = QStringLiteral("-");
        rows.append(row);
        noteProblem(row.name, samples);
        const ImpExp_Item &first = items.front();
        notes << QStringLiteral("name check: %1 us per contact (%2 names), putItem of the same "
                                "built contact %3 us")
                     .arg(median(samples.library) / items.size() * 1e6, 0, 'f', 3)
                     .arg(1 + first.getAttributes().size() + first.getItemElements().size())
                     .arg(median(samples.baseline) / items.size() * 1e6, 0, 'f', 2);
    }

    // The accessors alone, on appointments already imported.
    {
        const std::vector<ImpExp_Item> imported = importAll(Kind::Appointments, baseAgenda);
        const LoadMeter load;
        const Samples samples = interleave(
            options.rounds, [&] { return libraryAccessors(imported); },
            [&] { return literalAccessors(imported); });
        Row row = timedRow(QStringLiteral("appointment accessors vs Qt fromString"),
                           qint64(imported.size()), 0, samples, 0, load);
        row.speed = QStringLiteral("-");
        rows.append(row);
        noteProblem(row.name, samples);
        notes << QStringLiteral("accessors: %1 us per appointment for the four of them, the "
                                "literal QDateTime way %2 us")
                     .arg(median(samples.library) / imported.size() * 1e6, 0, 'f', 2)
                     .arg(median(samples.baseline) / imported.size() * 1e6, 0, 'f', 2);
    }

    // A silenced message: the cost every call site pays in production.
    {
        const LoadMeter load;
        const int calls = 20000000;
        QVector<double> perCall;
        for (int round = 0; round <= options.rounds; ++round) {
            const double start = cpuNow();
            for (int i = 0; i < calls; ++i)
                IMPEXP_DEBUG("putItem");
            if (round > 0)
                perCall.append((cpuNow() - start) / calls);
        }
        Row row;
        row.name = QStringLiteral("silenced debug message");
        row.items = QString::number(calls);
        row.library = QStringLiteral("%1 / %2 ns")
                          .arg(minimum(perCall) * 1e9, 0, 'f', 2)
                          .arg(median(perCall) * 1e9, 0, 'f', 2);
        row.baseline = row.speed = row.ratio = QStringLiteral("-");
        row.target = QStringLiteral("< 10 ns");
        row.result = lcImpExp().isDebugEnabled()
            ? QStringLiteral("NOT SILENCED")
            : (median(perCall) < 10e-9 ? QStringLiteral("ok") : QStringLiteral("MISSED"));
        row.load = QString::number(load.otherCores(), 'f', 2);
        rows.append(row);
    }

    // The full contact export once more, with the messages written to a file.
    {
        const LoadMeter load;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("velxml.impexp.debug=true"));
        env.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
        const QString log = root + QStringLiteral("/debug.log");
        const ChildResult child
            = runChild({ QStringLiteral("--debug-export"), root + QStringLiteral("/debug"),
                         QString::number(options.rounds), QString::number(options.items) },
                       env, log);
        Samples samples;
        samples.library = parseTimes(child.output, QStringLiteral("lib"));
        samples.baseline = parseTimes(child.output, QStringLiteral("base"));
        samples.ratios = parseTimes(child.output, QStringLiteral("ratio"));
        samples.wallRatios = parseTimes(child.output, QStringLiteral("wallratio"));
        if (!child.ok || samples.library.isEmpty()) {
            notes << QStringLiteral("debug run failed: %1").arg(child.error);
        } else {
            const QString name = QStringLiteral("export contacts, full, debug to file");
            rows.append(timedRow(name, options.items,
                                 setSize(root + QStringLiteral("/debug/base_%1.xml")), samples, 0,
                                 load));
            QFile file(log);
            qint64 lines = 0;
            if (file.open(QIODevice::ReadOnly)) {
                while (!file.readLine().isEmpty())
                    ++lines;
            }
            // Only the runs with messages on write any, the warm-up included.
            const double perRun = double(lines) / (options.rounds + 1);
            const QVector<double> silenced = parseTimes(child.output, QStringLiteral("silenced"));
            QVector<double> extra;
            for (int round = 0; round < silenced.size() && round < samples.library.size(); ++round)
                extra.append(samples.library[round] - silenced[round]);
            if (perRun > 0 && !extra.isEmpty()) {
                notes << QStringLiteral("debug to file: %1 messages per export of %2 contacts, "
                                        "%3 us each (median over rounds of the time against the "
                                        "same export silenced)")
                             .arg(perRun, 0, 'f', 0)
                             .arg(options.items)
                             .arg(median(extra) / perRun * 1e6, 0, 'f', 2);
            }
        }
    }

    // Peak memory, one child process per measurement.
    if (options.memory) {
        const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString dir = root + QStringLiteral("/memory");
        const QStringList modes = { QStringLiteral("lib-export"), QStringLiteral("lib-import"),
                                    QStringLiteral("base-import"), QStringLiteral("base-export") };
        QMap<QString, QVector<qint64>> peak;
        QMap<QString, QVector<double>> seconds;
        const LoadMeter load;
        for (int count : { options.smallCount, options.bigCount }) {
            removeSet(dir);
            for (const QString &mode : modes) {
                const ChildResult child
                    = runChild({ QStringLiteral("--mem"), mode, QString::number(count), dir }, env);
                if (!child.ok)
                    notes
                        << QStringLiteral("memory %1 %2: %3").arg(mode).arg(count).arg(child.error);
                peak[mode].append(field(child.output, QStringLiteral("hwm_kb")));
                seconds[mode].append(field(child.output, QStringLiteral("secs")));
            }
            notes << QStringLiteral("memory set of %1 contacts: %2 MB in %3 page files")
                         .arg(count)
                         .arg(setSize(dir + QStringLiteral("/contacts_%1.xml")) / 1e6, 0, 'f', 1)
                         .arg((count - 1) / 1000 + 1);
            removeSet(dir);
        }
        const QString otherLoad = QString::number(load.otherCores(), 'f', 2);
        for (const QString &what : { QStringLiteral("export"), QStringLiteral("import") }) {
            const QVector<qint64> lib = peak[QStringLiteral("lib-") + what];
            const QVector<qint64> base = peak[QStringLiteral("base-") + what];
            Row row;
            row.name = QStringLiteral("peak RSS MB, %1 contacts").arg(what);
            row.items = QStringLiteral("%1k / %2k")
                            .arg(options.smallCount / 1000)
                            .arg(options.bigCount / 1000);
            row.library = megabytes(lib[0]) + QStringLiteral(" / ") + megabytes(lib[1]);
            row.baseline = megabytes(base[0]) + QStringLiteral(" / ") + megabytes(base[1]);
            row.speed = QStringLiteral("-");
            qint64 growth = lib[1] - lib[0];
            if (qAbs(growth) < 52) // prints as 0.0 MB, without a stray minus sign
                growth = 0;
            row.ratio = QStringLiteral("%1%2").arg(growth < 0 ? QString() : QStringLiteral("+"),
                                                   megabytes(growth));
            row.target = QStringLiteral("< +2 MB");
            row.result = lib[0] > 0 && lib[1] > 0 && growth < 2048 ? QStringLiteral("ok")
                                                                   : QStringLiteral("MISSED");
            row.load = otherLoad;
            rows.append(row);
        }
    }

    printTable(rows);
    out << QStringLiteral(
               "\nLibrary/Baseline: min / median over the rounds of the CPU time of "
               "one run, ms (silenced debug message: ns per call; peak RSS: MB at %1 / "
               "%2 items, growth in Ratio).\n"
               "Ratio: median over the rounds of baseline CPU time / library CPU time, "
               "i.e. library items/s over baseline items/s; the target applies to it. "
               "Wall ratio: the same with wall-clock times.\n"
               "Lib MB/s, Base MB/s: page file bytes / median CPU time. Other load: cores that "
               "other processes used meanwhile (disturbance).\n")
               .arg(options.smallCount)
               .arg(options.bigCount);
    for (const QString &note : notes)
        out << QStringLiteral("- ") << note << QLatin1Char('\n');
    out.flush();
    bool failed = false;
    for (const Row &row : rows)
        failed = failed || row.result == QLatin1String("WRONG");
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", benchTimeZone);
    tzset();
    // Production hosts silence the library's messages; so does every case
    // unless the caller says otherwise.
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", silencedRules);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);

    if (!args.isEmpty() && args.first() == QLatin1String("--mem"))
        return memoryChild(args.mid(1));
    if (!args.isEmpty() && args.first() == QLatin1String("--debug-export"))
        return debugChild(args.mid(1));
    if (!args.isEmpty() && args.first() == QLatin1String("--profile"))
        return profileChild(args.mid(1));

    Options options;
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        const int value = args.isEmpty() ? 0 : args.first().toInt();
        if (option == QLatin1String("--rounds") && value >= 5)
            options.rounds = value;
        else if (option == QLatin1String("--items") && value > 0)
            options.items = value;
        else if (option == QLatin1String("--big") && value > 0)
            options.bigCount = value;
        else if (option == QLatin1String("--no-memory")) {
            options.memory = false;
            continue;
        } else {
            std::fprintf(stderr,
                         "usage: velxml_bench [--rounds N>=5] [--items N] [--big N] "
                         "[--no-memory]\n");
            return 2;
        }
        args.removeFirst();
    }
    return fullRun(options);
}
