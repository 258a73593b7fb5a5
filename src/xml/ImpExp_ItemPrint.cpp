#include "ImpExp_ItemPrint.h"

#include "model/ImpExp_Timestamp.h"

#include <cstring>

namespace
{

constexpr quint64 fieldsSeed = 0x243F6A8885A308D3ull;
constexpr quint64 attributesSeed = 0x13198A2E03707344ull;

inline quint64 mix(quint64 hash, quint64 word)
{
    hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
    return hash ^ (hash >> 29);
}

} // namespace

// Eight bytes of UTF-16 at a time, the length first, so that texts split
// differently between name and value give other prints.
quint64 ImpExp_ItemPrint::hash(QStringView text)
{
    const char *data = reinterpret_cast<const char *>(text.data());
    const size_t size = size_t(text.size()) * sizeof(QChar);
    quint64 hash = mix(0xA4093822299F31D0ull, size);
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

void ImpExp_ItemPrint::start(const QString &itemKind)
{
    kind = itemKind;
    duid.clear();
    fields = fieldsSeed;
    attributes = attributesSeed;
    lastModified = noTime;
    elements = 0;
    haveDuid = false;
    haveLastModified = false;
}

void ImpExp_ItemPrint::addAttribute(QStringView name, QStringView value)
{
    if (!haveDuid && name == QLatin1String("duid")) {
        haveDuid = true;
        duid = value.toString();
        return;
    }
    if (!haveLastModified && name == QLatin1String("lastModified")) {
        haveLastModified = true;
        qint64 msecs;
        if (ImpExp_Timestamp::parse(value, &msecs))
            lastModified = msecs;
    }
    attributes = mix(mix(attributes, hash(name)), hash(value));
}

void ImpExp_ItemPrint::addElement(quint64 nameHash, quint64 textHash)
{
    fields = mix(mix(fields, nameHash), textHash);
    ++elements;
}
