// ImpExp_SetDiff against reading both sets with ImpExp_XMLParser: CPU time
// and peak resident memory of each, in child processes of their own, over an
// old and a new full directory set of N contacts (10% changed, 1% removed, 1%
// added). Usage: setdiff_bench [--items N] (default 1,000,000).
#include "Workload.h"

#include <Contact_Item.h>
#include <ImpExp_SetDiff.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace
{

double cpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

qint64 peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

Contact_Item contact(const ContactData &c)
{
    return Contact_Item(c.duid, c.puid, c.lastModified, c.firstName, c.lastName, c.email,
                        c.personalEmail, c.officePhone, c.personalHome, c.personalMobile, c.photo,
                        c.collaborationId, c.officePhone2, c.fax, c.company, c.otherPhone,
                        c.jobTitle);
}

// Item i of the old set is makeContact(i); the new set changes every tenth
// one, drops every hundredth (from the second on) and adds count / 100 more.
void writeSets(int count, const QString &oldTemplate, const QString &newTemplate)
{
    const int added = count / 100;
    const int removed = (count + 98) / 100;
    const QDateTime created(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
    ImpExp_XMLBuilder old(QStringLiteral("dev"), QStringLiteral("e1"), oldTemplate, 1000, created,
                          count, count, QStringLiteral("VelDirectory"),
                          QDateTime::fromSecsSinceEpoch(0));
    ImpExp_XMLBuilder now(QStringLiteral("dev"), QStringLiteral("e2"), newTemplate, 1000,
                          created.addDays(1), count - removed + added, count,
                          QStringLiteral("VelDirectory"), QDateTime::fromSecsSinceEpoch(0));
    for (int i = 0; i < count; ++i) {
        ContactData data = makeContact(i);
        old.putItem(contact(data));
        if (i % 100 == 1)
            continue;
        if (i % 10 == 0) {
            data.jobTitle = QStringLiteral("Changed %1").arg(i);
            data.lastModified = data.lastModified.addDays(1);
        }
        now.putItem(contact(data));
    }
    for (int i = 0; i < added; ++i)
        now.putItem(contact(makeContact(count + i)));
}

// One measured run in this process: prints CPU seconds, peak memory and what was found.
int child(const QString &mode, const QString &oldTemplate, const QString &newTemplate)
{
    const double start = cpuSeconds();
    qint64 a = 0, b = 0, c = 0, bytes = 0;
    if (mode == QLatin1String("read")) {
        for (const QString &pathTemplate : { oldTemplate, newTemplate }) {
            ImpExp_XMLParser reader(pathTemplate);
            for (;;) {
                ImpExp_Item item(QStringLiteral("contact"));
                if (!reader.getItem(item, true))
                    break;
                ++a;
            }
        }
    } else if (mode == QLatin1String("check")) {
        for (const QString &pathTemplate : { oldTemplate, newTemplate }) {
            ImpExp_SetCheck check(pathTemplate);
            check.run();
            a += check.itemCount();
        }
    } else {
        ImpExp_SetDiff diff(oldTemplate, newTemplate);
        if (!diff.prepare())
            return 1;
        bytes = diff.indexBytes();
        ImpExp_SetDiff::Difference difference;
        while (diff.next(difference))
            (difference.status == ImpExp_SetDiff::Status::Added         ? a
                 : difference.status == ImpExp_SetDiff::Status::Changed ? b
                                                                        : c)++;
    }
    std::printf("cpu=%.3f hwm_kb=%lld a=%lld b=%lld c=%lld index_bytes=%lld\n",
                cpuSeconds() - start, peakResidentKb(), a, b, c, bytes);
    return 0;
}

QString field(const QString &output, const char *name)
{
    for (const QString &part : output.simplified().split(QLatin1Char(' ')))
        if (part.startsWith(QLatin1String(name) + QLatin1Char('=')))
            return part.section(QLatin1Char('='), 1);
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 5 && arguments.at(1) == QLatin1String("--child"))
        return child(arguments.at(2), arguments.at(3), arguments.at(4));
    int count = 1000000;
    const int at = arguments.indexOf(QStringLiteral("--items"));
    if (at > 0 && at + 1 < arguments.size())
        count = arguments.at(at + 1).toInt();

    QTemporaryDir dir;
    const QString oldTemplate = dir.filePath(QStringLiteral("old_%1.xml"));
    const QString newTemplate = dir.filePath(QStringLiteral("new_%1.xml"));
    std::printf("writing two sets of %d contacts ...\n", count);
    std::fflush(stdout);
    writeSets(count, oldTemplate, newTemplate);

    QMap<QString, QString> results;
    // read and diff alternate, so that a change of load on the machine falls
    // on both.
    for (const char *mode : { "read", "diff", "check", "read", "diff" }) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(app.applicationFilePath(),
                      { QStringLiteral("--child"), QLatin1String(mode), oldTemplate, newTemplate });
        process.waitForFinished(-1);
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        std::printf("%s: %s", mode, qPrintable(output));
        std::fflush(stdout);
        const QString previous = results.value(QLatin1String(mode));
        // The faster of two runs.
        if (previous.isEmpty()
            || field(output, "cpu").toDouble() < field(previous, "cpu").toDouble())
            results[QLatin1String(mode)] = output;
    }
    const double read = field(results[QStringLiteral("read")], "cpu").toDouble();
    const double diff = field(results[QStringLiteral("diff")], "cpu").toDouble();
    const double check = field(results[QStringLiteral("check")], "cpu").toDouble();
    const double indexBytes = field(results[QStringLiteral("diff")], "index_bytes").toDouble();
    std::printf(
        "\n| Case | Items | Diff CPU s | Read both CPU s | Ratio | Goal | Check both CPU s | "
        "Diff peak RSS MB | Read peak RSS MB | Index bytes/item |\n");
    std::printf("| diff vs read, contacts | %d | %.1f | %.1f | %.2f | <= 1.50 | %.1f | %.1f | %.1f "
                "| %.1f |\n",
                count, diff, read, diff / read, check,
                field(results[QStringLiteral("diff")], "hwm_kb").toDouble() / 1024,
                field(results[QStringLiteral("read")], "hwm_kb").toDouble() / 1024,
                indexBytes / count);
    return 0;
}
