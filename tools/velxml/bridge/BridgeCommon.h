#ifndef VELXML_BRIDGECOMMON_H
#define VELXML_BRIDGECOMMON_H

#include <ImpExp_Item.h>

#include <QCommandLineParser>
#include <QDateTime>
#include <QList>
#include <QStringList>

class QTextStream;

namespace Bridge
{

// Tallies what a conversion did with each item, for the summary and the exit
// status. Labels name an item for a human ("file.vcf card 2 uid=...").
class Report
{
public:
    // Details are kept only when @p verbose: nobody reads them otherwise.
    Report(const QString &command, bool verbose);

    void read(int count = 1) { readCount += count; }
    void written(int count = 1) { writtenCount += count; }
    void skipped(const QString &label, const QString &reason);
    // A written item whose carried form differs from the source.
    void approximated(const QString &label, const QStringList &reasons);
    // Source properties that have no place in the target; shown with --verbose only.
    void notCarried(const QString &label, const QStringList &properties);

    int approximatedCount() const { return approximatedItems; }
    int exitStatus() const;
    void print(QTextStream &out) const;

private:
    QString command;
    bool verbose;
    int readCount = 0;
    int writtenCount = 0;
    int skippedCount = 0;
    int approximatedItems = 0;
    QStringList details;
};

// Options of every from-* command, which write an exchange set.
struct SetOptions {
    int pageSize = 100;
    QDateTime since; // reference date of the export; the epoch means a full export
    QString id;
    QString device;
};

void addSetOptions(QCommandLineParser &parser);
// False (with @p error set) when an option value is unusable.
bool readSetOptions(const QCommandLineParser &parser, SetOptions *options, QString *error);

void addCommonOptions(QCommandLineParser &parser);

// Writes @p items through the library's builder under @p applicationName.
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

} // namespace Bridge

#endif // VELXML_BRIDGECOMMON_H
