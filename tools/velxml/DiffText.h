#ifndef VELXML_DIFFTEXT_H
#define VELXML_DIFFTEXT_H

#include <ImpExp_SetDiff.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

class CommandLine;

// How diff and apply put the outcomes of ImpExp_SetDiff into words.

// "added", "changed", "unchanged", "removed".
const char *statusWord(ImpExp_SetDiff::Status status);

// Why prepare() refused the sets: each problem of either set as describe()
// puts it, named by the template of the set it belongs to.
QStringList refusalReasons(const ImpExp_SetDiff &diff, const QString &oldTemplate,
                           const QString &newTemplate);

// When prepare() refused the sets: each reason on standard error, and
// ExitUsage (a set that fails the check is no input for a comparison).
int refuseSets(const CommandLine &line, const ImpExp_SetDiff &diff, const QString &oldTemplate,
               const QString &newTemplate);

// "changed contact c-101: lastName "Doe" → "Dough"; puid changed", values cut
// to a screen's worth, one line.
QString differenceLine(const ImpExp_SetDiff::Difference &difference);

// The same as one line of JSON, values whole.
QByteArray differenceJson(const ImpExp_SetDiff::Difference &difference);

// "contact: 1 added, 2 changed, 30 unchanged, 0 removed".
QString countLine(const ImpExp_SetDiff::KindCount &count);

#endif // VELXML_DIFFTEXT_H
