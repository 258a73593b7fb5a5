#ifndef IMPEXP_SETINDEX_H
#define IMPEXP_SETINDEX_H

#include "xml/ImpExp_ItemPrint.h"

#include <QByteArray>
#include <QString>

#include <limits>
#include <vector>

// The compact index of a set's items that a comparison keeps in memory:
// per item its kind, its duid, fingerprints of its fields and its other
// attributes, its "lastModified" and where it stands, and nothing of its
// texts. Built in set order, then sorted once for lookups by duid.
class ImpExp_SetIndex
{
public:
    enum Flag : quint8 {
        HasFields = 1, // sent with at least one element
        Seen = 2, // met in the other set
        Duplicate = 4, // a later item of a kind and duid already indexed: left out
    };

    struct Entry {
        quint64 duidHash;
        quint64 fieldsHash;
        quint64 attributesHash;
        qint64 lastModified; // as ImpExp_ItemPrint has it
        quint32 duidAt; // where the duid's UTF-8 bytes start in the arena
        quint32 duidBytes;
        quint32 fileNumber;
        quint32 byteOffset; // ImpExp_PageScanner::noOffset when unknown
        quint32 ordinal; // position among the items of its page
        quint16 kind;
        quint8 flags;
    };

    void reserve(qint64 items);
    // Adds an item of the set; items without a duid are not indexed.
    // @throws ImpExp_FatalException when the index outgrows its 32-bit offsets.
    void add(quint16 kind, const ImpExp_ItemPrint &print, quint32 fileNumber, quint32 byteOffset,
             quint32 ordinal);
    // Sorts for find(); of items sharing kind and duid the first one in set
    // order counts, the others are marked Duplicate.
    void finish();

    Entry *find(quint16 kind, const QString &duid);
    QString duidOf(const Entry &entry) const;
    std::vector<Entry> &entries() { return all; }
    qint64 bytes() const;

private:
    std::vector<Entry> all;
    QByteArray arena;
};

#endif // IMPEXP_SETINDEX_H
