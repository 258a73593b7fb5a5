#include "xml/ImpExp_PageWriter.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace
{

// The bytes an ASCII character becomes: itself, an entity, or U+FFFD for a
// control character XML cannot carry. Always copied as eight bytes, so that
// the loop needs no branch on the kind; only the first length count.
struct AsciiBytes {
    char bytes[8];
    unsigned char length;
};
constexpr unsigned char replacedLength = 3; // U+FFFD; no entity is that short

using AsciiTable = AsciiBytes[128];

void set(AsciiBytes &entry, const char *text)
{
    entry = AsciiBytes();
    entry.length = static_cast<unsigned char>(std::strlen(text));
    std::memcpy(entry.bytes, text, entry.length);
}

// Names, element text, attribute values: what each kind of text escapes.
struct AsciiTables {
    AsciiTable name;
    AsciiTable text;
    AsciiTable attribute;

    AsciiTables()
    {
        for (int c = 0; c < 128; ++c) {
            const char plain[2] = { char(c), 0 };
            const bool carried = c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
            for (AsciiBytes *table : { name, text, attribute }) {
                set(table[c], carried ? plain : "\xEF\xBF\xBD");
            }
        }
        for (AsciiBytes *table : { text, attribute }) {
            set(table['<'], "&lt;");
            set(table['>'], "&gt;");
            set(table['&'], "&amp;");
            set(table['"'], "&quot;");
        }
        set(attribute['\t'], "&#9;");
        set(attribute['\n'], "&#10;");
        set(attribute['\r'], "&#13;");
    }
};

const AsciiTables &asciiTables()
{
    static const AsciiTables tables;
    return tables;
}

// Writes the UTF-8 bytes of the character @p c (not ASCII), whose next code
// unit is at @p p, and moves past it. A character XML cannot carry (an
// unpaired surrogate, U+FFFE, U+FFFF) becomes U+FFFD.
// @return false when it was replaced.
inline bool encodeWide(char16_t c, const char16_t *&p, const char16_t *stop, char *&out)
{
    if (c < 0x800) {
        out[0] = char(0xC0 | (c >> 6));
        out[1] = char(0x80 | (c & 0x3F));
        out += 2;
        return true;
    }
    if (c < 0xD800 || (c >= 0xE000 && c < 0xFFFE)) {
        out[0] = char(0xE0 | (c >> 12));
        out[1] = char(0x80 | ((c >> 6) & 0x3F));
        out[2] = char(0x80 | (c & 0x3F));
        out += 3;
        return true;
    }
    if (c < 0xDC00 && p < stop && *p >= 0xDC00 && *p < 0xE000) {
        const char32_t u = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(*p) - 0xDC00);
        ++p;
        out[0] = char(0xF0 | (u >> 18));
        out[1] = char(0x80 | ((u >> 12) & 0x3F));
        out[2] = char(0x80 | ((u >> 6) & 0x3F));
        out[3] = char(0x80 | (u & 0x3F));
        out += 4;
        return true;
    }
    std::memcpy(out, "\xEF\xBF\xBD", 3);
    out += 3;
    return false;
}

// Encodes the character at @p p (a surrogate pair counts as one) with
// @p table for ASCII; false when it had to be cleaned.
inline bool encodeNext(const AsciiTable &table, const char16_t *&p, const char16_t *stop,
                       char *&out)
{
    const char16_t c = *p++;
    if (c < 0x80) {
        std::memcpy(out, table[c].bytes, sizeof table[c].bytes);
        out += table[c].length;
        return table[c].length != replacedLength;
    }
    return encodeWide(c, p, stop, out);
}

} // namespace

ImpExp_PageWriter::ImpExp_PageWriter()
    : block(new char[blockSize + slack])
    , end(block.get())
{
    openNames.reserve(256);
    nameStarts.reserve(8);
}

ImpExp_PageWriter::~ImpExp_PageWriter() = default;

void ImpExp_PageWriter::startPage(QIODevice *pageDevice)
{
    device = pageDevice;
    end = block.get();
    openNames.clear();
    nameStarts.clear();
    inStartTag = wroteContents = lastWasStartTag = false;
    literal(R"(<?xml version="1.0" encoding="UTF-8"?>)");
}

void ImpExp_PageWriter::endPage()
{
    if (!device)
        return;
    while (!nameStarts.empty())
        endElement();
    literal("\n");
    flush();
    device = nullptr;
}

bool ImpExp_PageWriter::startElement(QLatin1String prefix, QStringView localName)
{
    if (!finishStartTag(false))
        indent(nameStarts.size());

    // The name is kept encoded for the end tag: room for three bytes per
    // code unit (U+FFFD, or four for a pair of two) and the eight-byte copy.
    const size_t start = openNames.size();
    nameStarts.push_back(start);
    openNames.append(prefix.data(), size_t(prefix.size()));
    openNames += ':';
    const size_t nameAt = openNames.size();
    openNames.resize(nameAt + 3 * size_t(localName.size()) + slack);
    const AsciiTable &table = asciiTables().name;
    const char16_t *p = reinterpret_cast<const char16_t *>(localName.data());
    const char16_t *const stop = p + localName.size();
    char *const first = &openNames[nameAt];
    char *out = first;
    bool cleaned = false;
    while (p < stop)
        cleaned |= !encodeNext(table, p, stop, out);
    openNames.resize(nameAt + size_t(out - first));

    literal("<");
    literal(openNames.data() + start, openNames.size() - start);
    inStartTag = lastWasStartTag = true;
    return cleaned;
}

void ImpExp_PageWriter::endElement()
{
    if (nameStarts.empty())
        return;
    const size_t start = nameStarts.back();
    nameStarts.pop_back();
    if (inStartTag) {
        // Nothing inside: an empty-element tag.
        literal("/>");
        inStartTag = lastWasStartTag = false;
    } else {
        if (!finishStartTag(false) && !lastWasStartTag)
            indent(nameStarts.size());
        lastWasStartTag = false;
        literal("</");
        literal(openNames.data() + start, openNames.size() - start);
        literal(">");
    }
    openNames.resize(start);
}

void ImpExp_PageWriter::namespaceDeclaration(QLatin1String prefix, QLatin1String uri)
{
    literal(" xmlns:");
    literal(prefix.data(), size_t(prefix.size()));
    literal("=\"");
    literal(uri.data(), size_t(uri.size()));
    literal("\"");
}

bool ImpExp_PageWriter::attribute(QStringView name, QStringView value)
{
    literal(" ");
    utf16(name, Escape::Name);
    literal("=\"");
    const bool cleaned = utf16(value, Escape::Attribute);
    literal("\"");
    return cleaned;
}

void ImpExp_PageWriter::attribute(QLatin1String name, QLatin1String value)
{
    literal(" ");
    latin1(name, Escape::Name);
    literal("=\"");
    latin1(value, Escape::Attribute);
    literal("\"");
}

bool ImpExp_PageWriter::characters(QStringView text)
{
    finishStartTag(true);
    return utf16(text, Escape::Text);
}

// Closes a start tag left open for attributes. @p contents says whether text
// follows. @return whether text was written since the last tag, which is
// when a line break and indentation would break into that text.
bool ImpExp_PageWriter::finishStartTag(bool contents)
{
    const bool hadContents = wroteContents;
    wroteContents = contents;
    if (inStartTag) {
        literal(">");
        inStartTag = false;
    }
    return hadContents;
}

void ImpExp_PageWriter::indent(size_t level)
{
    literal("\n");
    for (size_t i = 0; i < level; ++i)
        literal("    ");
}

void ImpExp_PageWriter::literal(const char *bytes, size_t length)
{
    char *const flushAt = block.get() + blockSize;
    for (;;) {
        if (end >= flushAt)
            flush();
        const size_t taken = std::min(length, size_t(flushAt - end));
        std::memcpy(end, bytes, taken);
        end += taken;
        length -= taken;
        if (length == 0)
            return;
        bytes += taken;
    }
}

void ImpExp_PageWriter::latin1(QLatin1String text, Escape escape)
{
    const AsciiTables &tables = asciiTables();
    const AsciiTable &table = escape == Escape::Name ? tables.name : tables.attribute;
    char *const flushAt = block.get() + blockSize;
    char *out = end;
    for (const char byte : text) {
        if (out >= flushAt) {
            end = out;
            flush();
            out = end;
        }
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x80) {
            std::memcpy(out, table[c].bytes, sizeof table[c].bytes);
            out += table[c].length;
        } else {
            out[0] = char(0xC0 | (c >> 6));
            out[1] = char(0x80 | (c & 0x3F));
            out += 2;
        }
    }
    end = out;
}

bool ImpExp_PageWriter::utf16(QStringView text, Escape escape)
{
    const AsciiTables &tables = asciiTables();
    const AsciiTable &table = escape == Escape::Name ? tables.name
        : escape == Escape::Text                     ? tables.text
                                                     : tables.attribute;
    const char16_t *p = reinterpret_cast<const char16_t *>(text.data());
    const char16_t *const stop = p + text.size();
    char *const flushAt = block.get() + blockSize;
    char *out = end;
    bool cleaned = false;
    while (p < stop) {
        if (out >= flushAt) {
            end = out;
            flush();
            out = end;
        }
        cleaned |= !encodeNext(table, p, stop, out);
    }
    end = out;
    return cleaned;
}

void ImpExp_PageWriter::flush()
{
    const qint64 length = end - block.get();
    if (length > 0 && device)
        device->write(block.get(), length);
    end = block.get();
}
