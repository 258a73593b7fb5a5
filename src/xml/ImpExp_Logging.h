#ifndef IMPEXP_LOGGING_H
#define IMPEXP_LOGGING_H

#include <QLoggingCategory>

// The library's debug channel, "velxml.impexp": on by default, silenced by a
// host with QT_LOGGING_RULES="velxml.impexp.debug=false".
Q_DECLARE_LOGGING_CATEGORY(lcImpExp)

// Writes a fixed debug message with file, line and function signature as
// context, in release builds too (qDebug() leaves the context empty there).
// A silenced message costs the one enabled check; no text is built.
#define IMPEXP_DEBUG(message)                                                                      \
    do {                                                                                           \
        if (lcImpExp().isDebugEnabled())                                                           \
            QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO, lcImpExp().categoryName())             \
                .debug(message);                                                                   \
    } while (false)

#endif // IMPEXP_LOGGING_H
