#include "xml/ImpExp_XmlName.h"

#include <QChar>
#include <QXmlStreamReader>

#include <array>

namespace
{

enum : quint8 { nameChar = 1, nameStart = 2 };

// Names are almost always ASCII: one table lookup per character.
constexpr std::array<quint8, 128> asciiTable()
{
    std::array<quint8, 128> table {};
    for (int c = 'a'; c <= 'z'; ++c)
        table[c] = nameStart | nameChar;
    for (int c = 'A'; c <= 'Z'; ++c)
        table[c] = nameStart | nameChar;
    table['_'] = nameStart | nameChar;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = nameChar;
    table['-'] = nameChar;
    table['.'] = nameChar;
    return table; // ':' stays out: these names go behind a prefix
}

constexpr std::array<quint8, 128> asciiKinds = asciiTable();

// NameStartChar of XML 1.0, fifth edition, without ':' and ASCII.
bool isNameStart(char32_t c)
{
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF)
        || (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D)
        || (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF)
        || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF)
        || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

// NameChar beyond ASCII.
bool isNameChar(char32_t c)
{
    return isNameStart(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F)
        || (c >= 0x203F && c <= 0x2040);
}

} // namespace

bool ImpExp_XmlName::isNCName(QStringView name, bool *allAscii)
{
    if (allAscii)
        *allAscii = true;
    const char16_t *p = reinterpret_cast<const char16_t *>(name.utf16());
    const char16_t *const end = p + name.size();
    if (p == end)
        return false;
    for (bool first = true; p < end; first = false) {
        char32_t c = *p++;
        if (c < 0x80) {
            if (!(asciiKinds[c] & (first ? nameStart : nameChar)))
                return false;
            continue;
        }
        if (allAscii)
            *allAscii = false;
        if (QChar::isSurrogate(c)) {
            if (!QChar::isHighSurrogate(c) || p == end || !QChar::isLowSurrogate(*p))
                return false;
            c = QChar::surrogateToUcs4(char16_t(c), *p++);
        }
        if (!(first ? isNameStart(c) : isNameChar(c)))
            return false;
    }
    return true;
}

bool ImpExp_XmlName::readerTakes(QStringView name, bool attribute)
{
    QString document = attribute ? QStringLiteral("<a ") : QStringLiteral("<");
    document.append(name.data(), int(name.size()));
    document += attribute ? QLatin1String("=\"\"/>") : QLatin1String("/>");
    QXmlStreamReader reader(document);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}
