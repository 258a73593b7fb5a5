#ifndef IMPEXP_SETINDEX_H
#define IMPEXP_SETINDEX_H

#include <ImpExp_Item.h>

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
        qint64 lastModified; // msecs since the epoch; noTime when absent or unreadable
        quint32 duidAt; // where the duid's UTF-8 bytes start in the arena
        quint32 duidBytes;
        quint32 fileNumber;
        quint32 byteOffset; // ImpExp_PageScanner::noOffset when unknown
        quint32 ordinal; // position among the items of its page
        quint16 kind;
        quint8 flags;
    };

    static constexpr qint64 noTime = std::numeric_limits<qint64>::min();

    void reserve(qint64 items);
    // Adds an item of the set; items without a duid are not indexed.
    // @throws ImpExp_FatalException when the index outgrows its 32-bit offsets.
    void add(quint16 kind, const ImpExp_Item &item, quint32 fileNumber, quint32 byteOffset,
             quint32 ordinal);
    // Sorts for find(); of items sharing kind and duid the first one in set
    // order counts, the others are marked Duplicate.
    void finish();

    Entry *find(quint16 kind, const QString &duid);
    QString duidOf(const Entry &entry) const;
    std::vector<Entry> &entries() { return all; }
    qint64 bytes() const;

    // Fingerprints of an item's element pairs, and of its attributes other
    // than "duid", in order.
    static quint64 fieldsHash(const ImpExp_Item &item);
    static quint64 attributesHash(const ImpExp_Item &item);
    static quint64 textHash(const QString &text);
    // The item's "lastModified" as msecs since the epoch, or noTime.
    static qint64 lastModifiedOf(const ImpExp_Item &item);

private:
    std::vector<Entry> all;
    QByteArray arena;
};

#endif // IMPEXP_SETINDEX_H
