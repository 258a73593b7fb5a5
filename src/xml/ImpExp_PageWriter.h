#ifndef IMPEXP_PAGEWRITER_H
#define IMPEXP_PAGEWRITER_H

#include <QLatin1String>
#include <QStringView>

#include <memory>
#include <string>
#include <vector>

class QIODevice;

// Writes a page the way QXmlStreamWriter with auto-formatting does, byte for
// byte (indentation of four spaces per level, a line break before every start
// tag and before an end tag that follows an end tag, "/>" for an element
// without content, a line break at the end), but encodes and escapes in one
// pass straight into a 64 KB block that goes to the device whole.
//
// Every text is cleaned on the way as ImpExp_XmlText::cleaned() does: a
// character XML 1.0 cannot carry becomes U+FFFD. Names are written as they
// are apart from that cleaning; values are escaped as Qt escapes them (&lt;
// &gt; &amp; &quot; everywhere, tab, line feed and carriage return as
// character references inside attribute values).
//
// The device must take whole blocks; it reports its own failures.
class ImpExp_PageWriter
{
public:
    ImpExp_PageWriter();
    ~ImpExp_PageWriter();
    ImpExp_PageWriter(const ImpExp_PageWriter &) = delete;
    ImpExp_PageWriter &operator=(const ImpExp_PageWriter &) = delete;

    // Starts a page on @p device with the XML declaration.
    void startPage(QIODevice *device);
    // Closes every open element, ends the page with a line break and hands
    // the rest of the block to the device, which is then let go.
    void endPage();
    bool pageOpen() const { return device != nullptr; }

    // The start tag of @p prefix:@p localName.
    // @return whether the name had to be cleaned.
    bool startElement(QLatin1String prefix, QStringView localName);
    void endElement();
    // xmlns:@p prefix="@p uri"; the uri is written as it is.
    void namespaceDeclaration(QLatin1String prefix, QLatin1String uri);
    // @return whether the value had to be cleaned (the name is cleaned too,
    // without a word: names are the host's to check).
    bool attribute(QStringView name, QStringView value);
    void attribute(QLatin1String name, QLatin1String value);
    // Element text; an empty one still closes the start tag, so the element
    // gets an end tag of its own. @return whether the text had to be cleaned.
    bool characters(QStringView text);

private:
    enum class Escape { Name, Text, Attribute };

    void literal(const char *bytes, size_t length);
    template<size_t size> void literal(const char (&bytes)[size]) { literal(bytes, size - 1); }
    void latin1(QLatin1String text, Escape escape);
    bool utf16(QStringView text, Escape escape);
    bool finishStartTag(bool contents);
    void indent(size_t level);
    void flush();

    static constexpr size_t blockSize = 64 * 1024;
    // Room beyond the block for the longest single character's bytes ("&quot;").
    static constexpr size_t slack = 8;

    std::unique_ptr<char[]> block;
    char *end = nullptr; // where the next byte goes
    QIODevice *device = nullptr;

    // The qualified names of the open elements, encoded, one after the other.
    std::string openNames;
    std::vector<size_t> nameStarts;

    // QXmlStreamWriter's own state of a start tag, for the same layout.
    bool inStartTag = false;
    bool wroteContents = false;
    bool lastWasStartTag = false;
};

#endif // IMPEXP_PAGEWRITER_H
