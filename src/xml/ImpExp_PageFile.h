#ifndef IMPEXP_PAGEFILE_H
#define IMPEXP_PAGEFILE_H

#include <QString>

class QFile;

// Opens page files for the reader and the set check: regular files only, and
// without ever blocking. A FIFO, a socket or a device named like a page is
// refused at once instead of waiting in open(2) for a writer that never comes.
class ImpExp_PageFile
{
public:
    enum Outcome {
        Opened, ///< a regular file, open read-only
        Missing, ///< no file of that name (or a dangling link)
        Refused, ///< there, but not a regular file or not readable
    };

    // Opens @p file (named already) read-only. On Refused, @p why (when not
    // null) gets the system's reason, or says what kind of file it is.
    static Outcome open(QFile &file, QString *why = nullptr);
};

#endif // IMPEXP_PAGEFILE_H
