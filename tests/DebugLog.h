#ifndef DEBUGLOG_H
#define DEBUGLOG_H

#include <QByteArray>
#include <QLoggingCategory>
#include <QStringList>

#include <functional>

// Runs @p work twice, first with the library's category silenced (nothing may
// arrive then), then enabled, and returns the debug messages that arrived:
// "function: message", with " in FILE" added when the file does not end with
// @p sourceFile or the line is missing.
inline QStringList captureDebugLog(const char *sourceFile, const std::function<void()> &work)
{
    static QStringList logged;
    static const char *expectedFile;
    static bool enabled;
    logged.clear();
    expectedFile = sourceFile;

    const auto collect
        = [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
              if (type != QtDebugMsg || qstrcmp(context.category, "velxml.impexp") != 0)
                  return;
              logged << QLatin1String(context.function) + QLatin1String(": ") + message;
              if (!QByteArray(context.file).endsWith(expectedFile) || context.line <= 0)
                  logged.last() += QLatin1String(" in ") + QLatin1String(context.file);
          };
    // A filter wins over QT_LOGGING_RULES, which setFilterRules() does not.
    const auto force = [](QLoggingCategory *category) {
        if (qstrcmp(category->categoryName(), "velxml.impexp") == 0)
            category->setEnabled(QtDebugMsg, enabled);
    };
    const QtMessageHandler previousHandler = qInstallMessageHandler(collect);
    const auto previousFilter = QLoggingCategory::installFilter(force);
    for (bool on : { false, true }) {
        enabled = on;
        QLoggingCategory::installFilter(force);
        work();
    }
    QLoggingCategory::installFilter(previousFilter);
    qInstallMessageHandler(previousHandler);
    return logged;
}

#endif // DEBUGLOG_H
