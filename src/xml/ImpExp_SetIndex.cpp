#include "ImpExp_SetIndex.h"

#include "model/ImpExp_Timestamp.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace
{

constexpr quint64 multiplier = 0x9E3779B97F4A7C15ull;

inline quint64 mix(quint64 hash, quint64 word)
{
    hash = (hash ^ word) * multiplier;
    return hash ^ (hash >> 29);
}

// Eight bytes of UTF-16 at a time; the length goes in too, so that a pair
// split differently between name and value gives another fingerprint.
quint64 mixText(quint64 hash, const QString &text)
{
    const char *data = reinterpret_cast<const char *>(text.constData());
    const size_t size = size_t(text.size()) * sizeof(QChar);
    hash = mix(hash, size);
    size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        quint64 word;
        std::memcpy(&word, data + at, 8);
        hash = mix(hash, word);
    }
    if (at < size) {
        quint64 word = 0;
        std::memcpy(&word, data + at, size - at);
        hash = mix(hash, word);
    }
    return hash;
}

quint64 mixPairs(quint64 hash, const ImpExp_PairList &pairs, const QString &skipped)
{
    for (const auto &pair : pairs) {
        if (!skipped.isNull() && pair.first == skipped)
            continue;
        hash = mixText(mixText(hash, pair.first), pair.second);
    }
    return mix(hash, quint64(pairs.size()));
}

const QString duidName = QStringLiteral("duid");

} // namespace

void ImpExp_SetIndex::reserve(qint64 items)
{
    all.reserve(size_t(std::max<qint64>(items, 0)));
}

void ImpExp_SetIndex::add(quint16 kind, const ImpExp_Item &item, quint32 fileNumber,
                          quint32 byteOffset, quint32 ordinal)
{
    const QString duid = item.getAttribute(duidName);
    if (duid.isEmpty())
        return;
    const QByteArray utf8 = duid.toUtf8();
    if (qint64(arena.size()) + utf8.size() >= std::numeric_limits<int>::max())
        throw ImpExp_FatalException(QStringLiteral("Too many items to compare"));
    Entry entry;
    entry.duidHash = textHash(duid);
    entry.fieldsHash = fieldsHash(item);
    entry.attributesHash = attributesHash(item);
    entry.lastModified = lastModifiedOf(item);
    entry.duidAt = quint32(arena.size());
    entry.duidBytes = quint32(utf8.size());
    entry.fileNumber = fileNumber;
    entry.byteOffset = byteOffset;
    entry.ordinal = ordinal;
    entry.kind = kind;
    entry.flags = item.getItemElements().isEmpty() ? 0 : HasFields;
    arena.append(utf8);
    all.push_back(entry);
}

void ImpExp_SetIndex::finish()
{
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
    const quint64 hash = textHash(duid);
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

quint64 ImpExp_SetIndex::fieldsHash(const ImpExp_Item &item)
{
    return mixPairs(0x243F6A8885A308D3ull, item.getItemElements(), QString());
}

quint64 ImpExp_SetIndex::attributesHash(const ImpExp_Item &item)
{
    return mixPairs(0x13198A2E03707344ull, item.getAttributes(), duidName);
}

quint64 ImpExp_SetIndex::textHash(const QString &text)
{
    return mixText(0xA4093822299F31D0ull, text);
}

qint64 ImpExp_SetIndex::lastModifiedOf(const ImpExp_Item &item)
{
    qint64 msecs;
    const QString text = item.getAttribute(QStringLiteral("lastModified"));
    return ImpExp_Timestamp::parse(text, &msecs) ? msecs : noTime;
}
