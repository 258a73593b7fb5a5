#include "xml/ImpExp_RunLimitDevice.h"

#include <cstring>

namespace
{

// The most read from the page at a time.
constexpr qint64 chunkSize = 64 * 1024;

bool startsWith(const char *data, qint64 size, const char *pattern, int length)
{
    return size >= length && std::memcmp(data, pattern, size_t(length)) == 0;
}

} // namespace

ImpExp_RunLimitDevice::ImpExp_RunLimitDevice(QIODevice *source, qint64 limit, QObject *parent)
    : QIODevice(parent)
    , source(source)
    , limit(limit)
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 ImpExp_RunLimitDevice::bytesAvailable() const
{
    return cutOff ? QIODevice::bytesAvailable()
                  : QIODevice::bytesAvailable() + source->bytesAvailable();
}

bool ImpExp_RunLimitDevice::atEnd() const
{
    return QIODevice::bytesAvailable() == 0 && (cutOff || source->atEnd());
}

qint64 ImpExp_RunLimitDevice::readData(char *data, qint64 maxSize)
{
    if (cutOff)
        return 0;
    qint64 wanted = qMin(maxSize, chunkSize);
    // Whole code units keep the units of later chunks aligned.
    if (unitSize > 1 && wanted >= unitSize)
        wanted -= wanted % unitSize;
    const qint64 got = source->read(data, wanted);
    if (got <= 0)
        return got;
    if (unitSize == 0)
        detectUnit(data, got);
    const qint64 passed = admit(data, got);
    offset += got;
    if (copy)
        copy->append(data, int(passed));
    return passed;
}

void ImpExp_RunLimitDevice::detectUnit(const char *data, qint64 size)
{
    unitSize = 1;
    if (startsWith(data, size, "\x00\x00\xFE\xFF", 4) || startsWith(data, size, "\x00\x00\x00<", 4))
        unitSize = 4, bigEndian = true;
    else if (startsWith(data, size, "\xFF\xFE\x00\x00", 4)
             || startsWith(data, size, "<\x00\x00\x00", 4))
        unitSize = 4;
    else if (startsWith(data, size, "\xFE\xFF", 2) || startsWith(data, size, "\x00<\x00?", 4))
        unitSize = 2, bigEndian = true;
    else if (startsWith(data, size, "\xFF\xFE", 2) || startsWith(data, size, "<\x00?\x00", 4))
        unitSize = 2;
}

bool ImpExp_RunLimitDevice::isLessThanUnit(const char *unit) const
{
    const int lessThanAt = bigEndian ? unitSize - 1 : 0;
    for (int i = 0; i < unitSize; ++i) {
        if (unit[i] != (i == lessThanAt ? '<' : '\0'))
            return false;
    }
    return true;
}

qint64 ImpExp_RunLimitDevice::admit(const char *data, qint64 size)
{
    qint64 runStart = 0; // where the run in progress starts in the chunk
    // Ends the run in progress at @p end (a '<' or the chunk's end); false when over the limit.
    const auto runEndsAt = [&](qint64 end) {
        if (sinceLessThan + (end - runStart) > limit) {
            cutOff = true;
            return false;
        }
        sinceLessThan += end - runStart;
        return true;
    };
    if (unitSize == 1 && size <= limit) {
        // No run inside a chunk this short can reach the limit: only the run
        // before its first '<' and the one after its last one count.
        const char *end = data + size;
        const void *found = std::memchr(data, '<', size_t(size));
        if (!found)
            return runEndsAt(size) ? size : runStart + (limit - sinceLessThan);
        if (!runEndsAt(static_cast<const char *>(found) - data))
            return runStart + (limit - sinceLessThan);
        const char *last = end;
        while (*--last != '<') { }
        sinceLessThan = end - last - 1;
        return size;
    }
    if (unitSize == 1) {
        const char *end = data + size;
        const char *from = data;
        while (const void *found = std::memchr(from, '<', size_t(end - from))) {
            const char *at = static_cast<const char *>(found);
            if (!runEndsAt(at - data))
                return runStart + (limit - sinceLessThan);
            sinceLessThan = 0;
            runStart = at + 1 - data;
            from = at + 1;
        }
    } else {
        // A unit split between two chunks is not looked at: counting on is the safe side.
        for (qint64 i = (unitSize - offset % unitSize) % unitSize; i + unitSize <= size;
             i += unitSize) {
            if (!isLessThanUnit(data + i))
                continue;
            if (!runEndsAt(i))
                return runStart + (limit - sinceLessThan);
            sinceLessThan = 0;
            runStart = i + unitSize;
        }
    }
    if (!runEndsAt(size))
        return runStart + (limit - sinceLessThan);
    return size;
}
