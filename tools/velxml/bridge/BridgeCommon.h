#ifndef VELXML_BRIDGECOMMON_H
#define VELXML_BRIDGECOMMON_H

#include "Losses.h"

#include <ImpExp_Item.h>

#include <QCommandLineParser>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QStringList>

class CommandLine;

namespace Bridge
{

// Tallies what a conversion did with each item, for the summary and the exit
// status. Labels name an item for a human ("file.vcf card 2 uid=..."). The
// summary line always counts the items that lost something ("lossy") and names,
// per property, how many were not carried:
//   from-vcard: read 3, written 3, skipped 0, approximated 0, lossy 1; not carried: ADR 1
// Any skipped, approximated or lossy item makes the exit status 1.
class Report
{
public:
    // Details are kept only when @p verbose: nobody reads them otherwise.
    Report(const QString &command, bool verbose);

    void read(int count = 1) { readCount += count; }
    void skipped(const QString &label, const QString &reason);
    // A written item whose carried form differs from the source.
    void approximated(const QString &label, const QStringList &reasons);
    // Source properties that have no place in the target: counted always,
    // named per item with --verbose.
    void notCarried(const QString &label, const Losses &properties);

    // --strict writes nothing when any item would be approximated or lose a
    // property: then prints the summary and why (@p item names one, "card")
    // and returns ExitDataProblem; -1 when the output may be written.
    int refuseApproximations(bool strict, const QString &command, const char *item) const;
    // Counts @p count items written, prints the summary and returns the exit status.
    int finish(int count);

private:
    void print() const;

    QString command;
    bool verbose;
    int readCount = 0;
    int writtenCount = 0;
    int skippedCount = 0;
    int approximatedItems = 0;
    int lossyItems = 0;
    Losses lost;
    QStringList details;
};

// Options of every from-* command, which write an exchange set.
struct SetOptions {
    int pageSize = 100;
    QDateTime since; // reference date of the export; the epoch means a full export
    QString id;
    QString device;
    bool replace = false; // an older, longer set in its place is removed once this one is written
};

// What a bridge command was asked to do.
struct Arguments {
    QStringList inputs; // from-*: the files to read
    QString pathTemplate;
    QString output; // to-*: the file to write
    SetOptions options; // from-* only
    bool verbose = false;
    bool strict = false;
};

// The command line of a from-* command, "FILE... TEMPLATE" with the set
// options; @p files names the inputs ("FILE.vcf"). As CommandLine::parse()
// answers.
int parseFromArguments(CommandLine &line, const QStringList &arguments, const QString &files,
                       const QString &filesDescription, Arguments *result);

// The command line of a to-* command, "TEMPLATE OUT" with @p extraOptions;
// @p output names the file to write ("OUT.vcf"). As CommandLine::parse() answers.
int parseToArguments(CommandLine &line, const QStringList &arguments,
                     const QList<QCommandLineOption> &extraOptions, const QString &output,
                     const QString &outputDescription, Arguments *result);

// The items a from-* command writes: one per duid, in the order read.
class ItemCollector
{
public:
    // @p source names an input item in messages ("card").
    ItemCollector(Report *report, const char *source)
        : report(report)
        , source(source)
    {
    }

    // Adds the item @p make builds from @p fields, unless an earlier item has
    // its duid or the library refuses it (then skipped with the reason).
    template<typename Fields>
    void add(const QString &label, const Fields &fields, ImpExp_Item (*make)(const Fields &),
             const QStringList &approximations, const Losses &notCarried)
    {
        if (duids.contains(fields.duid)) {
            report->skipped(
                label,
                QStringLiteral("duplicate UID: an earlier %1 has it").arg(QLatin1String(source)));
            return;
        }
        try {
            collected << make(fields);
        } catch (const ImpExp_Exception &e) {
            report->skipped(label, QString::fromLatin1(e.what()));
            return;
        }
        duids.insert(fields.duid);
        report->approximated(label, approximations);
        report->notCarried(label, notCarried);
    }

    const QList<ImpExp_Item> &items() const { return collected; }

private:
    Report *report;
    const char *source;
    QList<ImpExp_Item> collected;
    QSet<QString> duids;
};

// The label of a record read from a set ("contact 3 duid=..."); empty, with
// the record skipped and its reason told, when a file cannot take it.
QString usableRecord(const ImpExp_Item &record, int index, Report *report);

// Hands @p use (label, fields) the fields @p read finds in each record a file
// can take; records whose fields do not read are skipped with the reason.
template<typename Fields, typename Use>
void forEachRecord(const QList<ImpExp_Item> &records, Report *report,
                   Fields (*read)(const ImpExp_Item &), Use use)
{
    for (int i = 0; i < records.size(); ++i) {
        const QString label = usableRecord(records.at(i), i, report);
        if (label.isEmpty())
            continue;
        Fields fields;
        try {
            fields = read(records.at(i));
        } catch (const ImpExp_Exception &e) {
            report->skipped(label, QString::fromLatin1(e.what()));
            continue;
        }
        use(label, fields);
    }
}

// Writes @p items through the library's builder under @p applicationName.
// False, with @p error naming the item or the page files, when an item's names
// cannot be written or an older, longer set would be left behind (then no page
// file is touched), or when the set written is not whole or not as given.
bool writeSet(const QList<ImpExp_Item> &items, const QString &pathTemplate,
              const QString &applicationName, const SetOptions &options, QString *error);

// Reads every item named @p itemName (with its elements) from a set.
bool readSet(const QString &pathTemplate, const QString &itemName, QList<ImpExp_Item> *items,
             QString *error);

// Reads a whole input file; false (with @p error) when it cannot be read.
bool readFile(const QString &path, QByteArray *data, QString *error);
// Replaces @p path atomically with @p data.
bool writeFile(const QString &path, const QByteArray &data, QString *error);

// Floating and all-day times are read through the system zone, which must
// be a named zone (TZ=Europe/Berlin, not a POSIX rule); says so otherwise.
void warnAboutSystemZone(const QString &command);

int inputError(const QString &command, const QString &message);
// Reports a set that could not be written; returns ExitDataProblem.
int writeError(const QString &command, const QString &message);

} // namespace Bridge

#endif // VELXML_BRIDGECOMMON_H
