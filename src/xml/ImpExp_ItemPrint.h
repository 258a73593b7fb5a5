#ifndef IMPEXP_ITEMPRINT_H
#define IMPEXP_ITEMPRINT_H

#include <QString>
#include <QStringView>

#include <limits>

// What a comparison of two sets needs to know of an item without keeping its
// texts: kind, duid, 64-bit fingerprints of its element pairs and of its
// attributes other than "duid" (both in order), its "lastModified" and how
// many elements it has. Built pair by pair straight from the XML reader's
// tokens, so that no text of the item is copied.
class ImpExp_ItemPrint
{
public:
    static constexpr qint64 noTime = std::numeric_limits<qint64>::min();

    QString kind;
    QString duid;
    quint64 fields = 0;
    quint64 attributes = 0;
    qint64 lastModified = noTime; // msecs since the epoch; noTime when absent or unreadable
    int elements = 0;

    void start(const QString &itemKind);
    // The first "duid" is the item's; every other attribute goes into the print.
    void addAttribute(QStringView name, QStringView value);
    void addElement(quint64 nameHash, quint64 textHash);

    static quint64 hash(QStringView text);

private:
    bool haveDuid = false;
    bool haveLastModified = false;
};

#endif // IMPEXP_ITEMPRINT_H
