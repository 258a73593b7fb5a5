#ifndef VELXML_SETREPORT_H
#define VELXML_SETREPORT_H

#include <ImpExp_SetCheck.h>

#include <QString>
#include <QStringList>

class CommandLine;
class Progress;

// The name a report uses for a page file: the file name alone unless the
// directory part of the template varies with the number too.
QString displayName(const QString &pathTemplate, int fileNumber);

// "dir_01.xml: message (line 4, column 52)", as validate prints a problem.
QString describe(const QString &pathTemplate, const ImpExp_SetCheck::Problem &problem);

// Runs @p check to its end, showing its pages and items on @p progress.
void runCheck(ImpExp_SetCheck &check, Progress &progress);

// A set without its first page file: says so and returns ExitDataProblem.
int noPageFile(const CommandLine &line, const QString &pathTemplate);

// The problems kept that make the set incomplete (a reader does not get the
// items of one export, whole), as describe() puts them: missing and
// unreadable pages, and pages of another export or out of their place.
QStringList whyIncomplete(const QString &pathTemplate, const ImpExp_SetCheck &check);

// Says on standard error that the set is incomplete, and why, one reason a
// line; returns ExitDataProblem.
int refuseIncomplete(const CommandLine &line, const QStringList &reasons);

// For dump and info: when the set is incomplete, says why on standard error
// (each problem that makes it so) and returns ExitDataProblem; else -1.
int refuseIncomplete(const CommandLine &line, const QString &pathTemplate,
                     const ImpExp_SetCheck &check);

#endif // VELXML_SETREPORT_H
