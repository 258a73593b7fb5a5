#include "ImpExp_SetIndex.h"

#include <ImpExp_Item.h>

#include <algorithm>
#include <cstring>
#include <limits>

void ImpExp_SetIndex::reserve(qint64 items)
{
    // Only a hint, read from a header that may lie: without room the index
    // grows as it goes.
    try {
        all.reserve(size_t(std::clamp<qint64>(items, 0, std::numeric_limits<quint32>::max())));
    } catch (const std::exception &) {
    }
}

void ImpExp_SetIndex::add(quint16 kind, const ImpExp_ItemPrint &print, quint32 fileNumber,
                          quint32 byteOffset, quint32 ordinal)
{
    const QString &duid = print.duid;
    if (duid.isEmpty())
        return;
    const QByteArray utf8 = duid.toUtf8();
    if (qint64(arena.size()) + utf8.size() >= std::numeric_limits<int>::max())
        throw ImpExp_FatalException(QStringLiteral("Too many items to compare"));
    Entry entry;
    entry.duidHash = ImpExp_ItemPrint::hash(duid);
    entry.fieldsHash = print.fields;
    entry.attributesHash = print.attributes;
    entry.lastModified = print.lastModified;
    entry.duidAt = quint32(arena.size());
    entry.duidBytes = quint32(utf8.size());
    entry.fileNumber = fileNumber;
    entry.byteOffset = byteOffset;
    entry.ordinal = ordinal;
    entry.kind = kind;
    entry.flags = print.elements > 0 ? HasFields : 0;
    arena.append(utf8);
    all.push_back(entry);
}

void ImpExp_SetIndex::finish()
{
    // Room left by a growth step goes; not the little a hint left over, which
    // would cost a copy of the whole index.
    if (all.capacity() > all.size() + all.size() / 8)
        all.shrink_to_fit();
    arena.squeeze();
    // The place in the set breaks ties, so the first of a duid comes first.
    std::sort(all.begin(), all.end(), [](const Entry &a, const Entry &b) {
        if (a.duidHash != b.duidHash)
            return a.duidHash < b.duidHash;
        if (a.kind != b.kind)
            return a.kind < b.kind;
        if (a.fileNumber != b.fileNumber)
            return a.fileNumber < b.fileNumber;
        return a.ordinal < b.ordinal;
    });
    for (size_t i = 0; i < all.size(); ++i) {
        for (size_t j = i + 1; j < all.size() && all[j].duidHash == all[i].duidHash; ++j) {
            if (all[j].kind == all[i].kind && !(all[i].flags & Duplicate)
                && all[j].duidBytes == all[i].duidBytes
                && std::memcmp(arena.constData() + all[j].duidAt, arena.constData() + all[i].duidAt,
                               all[i].duidBytes)
                    == 0)
                all[j].flags |= Duplicate;
        }
    }
}

ImpExp_SetIndex::Entry *ImpExp_SetIndex::find(quint16 kind, const QString &duid)
{
    const quint64 hash = ImpExp_ItemPrint::hash(duid);
    auto at = std::lower_bound(all.begin(), all.end(), hash,
                               [](const Entry &entry, quint64 h) { return entry.duidHash < h; });
    QByteArray utf8;
    for (; at != all.end() && at->duidHash == hash; ++at) {
        if (at->kind != kind || (at->flags & Duplicate))
            continue;
        if (utf8.isNull())
            utf8 = duid.toUtf8();
        if (at->duidBytes == quint32(utf8.size())
            && std::memcmp(arena.constData() + at->duidAt, utf8.constData(), utf8.size()) == 0)
            return &*at;
    }
    return nullptr;
}

QString ImpExp_SetIndex::duidOf(const Entry &entry) const
{
    return QString::fromUtf8(arena.constData() + entry.duidAt, int(entry.duidBytes));
}

qint64 ImpExp_SetIndex::bytes() const
{
    return qint64(all.capacity() * sizeof(Entry)) + arena.capacity();
}
