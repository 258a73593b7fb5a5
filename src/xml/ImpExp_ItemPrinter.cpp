#include "xml/ImpExp_ItemPrinter.h"

#include "xml/ImpExp_PageScanner.h"

namespace
{

const quint64 emptyHash = ImpExp_ItemPrint::hash(QStringView());

inline QStringView view(const QStringView &text)
{
    return text;
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
inline QStringView view(const QStringRef &text)
{
    return QStringView(text.data(), text.size());
}
#endif

} // namespace

ImpExp_ItemPrinter::ImpExp_ItemPrinter(Handler handler)
    : handler(std::move(handler))
{
}

void ImpExp_ItemPrinter::pageStarted(int fileNumber, const QXmlStreamReader &reader,
                                     const QByteArray &bytes)
{
    this->bytes = &bytes;
    this->fileNumber = quint32(fileNumber);
    ordinal = 0;
    depth = 1;
    level = 0;
    tokenEnd = reader.characterOffset();
    cursorChars = 0;
    cursorBytes = 0;
}

void ImpExp_ItemPrinter::token(const QXmlStreamReader &reader)
{
    const qint64 tokenStart = tokenEnd;
    tokenEnd = reader.characterOffset();
    switch (reader.tokenType()) {
    case QXmlStreamReader::StartElement:
        if (level > 0) {
            ++level;
            pending = true;
            pendingName = ImpExp_ItemPrint::hash(view(reader.name()));
        } else if (++depth >= 3) {
            --depth;
            startItem(reader, tokenStart);
        } // else an application element
        break;
    case QXmlStreamReader::Characters:
        if (level > 0 && pending)
            pendingText = ImpExp_ItemPrint::hash(view(reader.text()));
        break;
    case QXmlStreamReader::EndElement:
        if (level == 0) {
            --depth;
        } else if (--level == 0) {
            handler(print, fileNumber, itemOffset, ordinal++);
        } else if (pending) {
            print.addElement(pendingName, pendingText);
            pending = false;
            pendingText = emptyHash;
        }
        break;
    default:
        break;
    }
}

void ImpExp_ItemPrinter::pageEnded()
{
    bytes = nullptr;
}

void ImpExp_ItemPrinter::startItem(const QXmlStreamReader &reader, qint64 characterOffset)
{
    itemOffset = byteOffset(characterOffset);
    if (reader.name() != lastKind)
        lastKind = reader.name().toString();
    print.start(lastKind);
    for (const QXmlStreamAttribute &attribute : reader.attributes())
        print.addAttribute(view(attribute.name()), view(attribute.value()));
    level = 1;
    pending = false;
    pendingText = emptyHash;
}

// The reader counts UTF-16 code units; a page is UTF-8, where a code unit
// takes one to three bytes and a pair of them four. Offsets only grow while
// a page is read, so the count is carried forward, never started over.
quint32 ImpExp_ItemPrinter::byteOffset(qint64 characterOffset) const
{
    const qint64 size = bytes->size();
    const char *data = bytes->constData();
    while (cursorChars < characterOffset && cursorBytes < size) {
        const uchar lead = uchar(data[cursorBytes]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        cursorBytes += length;
        cursorChars += length == 4 ? 2 : 1;
    }
    // Anything else than a start tag there (another encoding, a byte-order
    // mark) leaves the item to be found by a walk through its page.
    if (cursorChars != characterOffset || cursorBytes >= size
        || cursorBytes >= ImpExp_PageScanner::noOffset)
        return ImpExp_PageScanner::noOffset;
    // After text the reader has taken the '<' that ended it already.
    if (data[cursorBytes] == '<')
        return quint32(cursorBytes);
    if (cursorBytes > 0 && data[cursorBytes - 1] == '<')
        return quint32(cursorBytes - 1);
    return ImpExp_PageScanner::noOffset;
}
