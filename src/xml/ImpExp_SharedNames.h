#ifndef IMPEXP_SHAREDNAMES_H
#define IMPEXP_SHAREDNAMES_H

#include <QString>
#include <QStringView>

// The reader's strings for the names the format itself uses (item kinds,
// identifiers, the fields of contacts and appointments): one shared constant
// each, so that reading a known name allocates nothing. Any other name is
// copied as before.
class ImpExp_SharedNames
{
public:
    static QString of(QStringView name);
    // The same for element texts: "true" and "false", the texts the library
    // writes for flags, are shared; any other text is copied.
    static QString ofText(QStringView text);
};

#endif // IMPEXP_SHAREDNAMES_H
