#ifndef VELXML_TESTS_ITEMTEXT_H
#define VELXML_TESTS_ITEMTEXT_H

#include <ImpExp_Item.h>

#include <QString>

// A whole record as one text, for comparing records in tests:
// "name:attributes|elements|", each pair as name=value;, then "read-only"
// when the flag is set (which operator== leaves out).
inline QString text(const ImpExp_Item &item)
{
    QString out = item.getItemName() + QLatin1Char(':');
    for (const ImpExp_PairList &list : { item.getAttributes(), item.getItemElements() }) {
        for (const auto &pair : list)
            out += pair.first + QLatin1Char('=') + pair.second + QLatin1Char(';');
        out += QLatin1Char('|');
    }
    return item.getReadOnlyItem() ? out + QLatin1String("read-only") : out;
}

#endif // VELXML_TESTS_ITEMTEXT_H
