#ifndef VELXMLRUN_H
#define VELXMLRUN_H

#include <QProcess>
#include <QString>
#include <QStringList>

// What one run of the velxml executable (VELXML_EXECUTABLE) gave. A crash,
// or a hang killed after @p timeoutMs, shows as exit code -1.
struct VelxmlRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs velxml with @p arguments, in @p environment when it is not empty.
inline VelxmlRun runVelxml(const QStringList &arguments,
                           const QProcessEnvironment &environment = QProcessEnvironment(),
                           int timeoutMs = 60000)
{
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VELXML_EXECUTABLE), arguments);
    VelxmlRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

#endif // VELXMLRUN_H
