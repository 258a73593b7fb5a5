#include "ImpExp_PageScanner.h"

#include "xml/ImpExp_PageFile.h"

#include <QFile>

ImpExp_PageScanner::ImpExp_PageScanner()
{
    buffer.setBuffer(&bytes);
}

bool ImpExp_PageScanner::load(const QString &fileName, int fileNumber)
{
    reader.clear();
    buffer.close();
    QFile file(fileName);
    // Opened as the reader opens pages: a page swapped for a FIFO since the
    // set was checked must not block.
    if (ImpExp_PageFile::open(file) != ImpExp_PageFile::Opened) {
        bytes.clear();
        number = -1;
        return false;
    }
    bytes = file.readAll();
    name = fileName;
    number = fileNumber;
    buffer.open(QIODevice::ReadOnly);
    rewind();
    return true;
}

void ImpExp_PageScanner::rewind()
{
    buffer.seek(0);
    reader.clear();
    reader.setDevice(&buffer);
    depth = 0;
    cursorChars = 0;
    cursorBytes = 0;
    // The root's and the application element's namespaces, which an item
    // read on its own needs.
    declarations.clear();
    while (depth < 2 && !reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            declarations += reader.namespaceDeclarations();
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
}

bool ImpExp_PageScanner::toNextItem(quint32 *offset)
{
    while (!reader.atEnd()) {
        const qint64 before = reader.characterOffset();
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth < 3)
                break; // another application element
            --depth;
            *offset = byteOffset(before);
            return true;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        fail();
    return false;
}

void ImpExp_PageScanner::fail()
{
    throw ImpExp_FatalException(QStringLiteral("%1: %2").arg(name, reader.errorString()));
}

bool ImpExp_PageScanner::nextItem(ImpExp_Item *item, quint32 *offset)
{
    if (!toNextItem(offset))
        return false;
    startItem(reader, item);
    if (!readItemBody(reader, item))
        fail();
    return true;
}

namespace
{

inline QStringView view(const QXmlStreamReader &reader)
{
    return QStringView(reader.text().data(), reader.text().size());
}

} // namespace

// readItemBody() for the print: hashes instead of copies.
bool ImpExp_PageScanner::nextPrint(ImpExp_ItemPrint *print, quint32 *offset)
{
    if (!toNextItem(offset))
        return false;
    if (reader.name() != lastKind)
        lastKind = reader.name().toString();
    print->start(lastKind);
    for (const QXmlStreamAttribute &attribute : reader.attributes())
        print->addAttribute(QStringView(attribute.name().data(), attribute.name().size()),
                            QStringView(attribute.value().data(), attribute.value().size()));
    static const quint64 emptyHash = ImpExp_ItemPrint::hash(QStringView());
    int level = 1;
    bool pending = false;
    quint64 pendingName = 0;
    quint64 pendingText = emptyHash;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            ++level;
            pending = true;
            pendingName
                = ImpExp_ItemPrint::hash(QStringView(reader.name().data(), reader.name().size()));
            break;
        case QXmlStreamReader::Characters:
            if (pending)
                pendingText = ImpExp_ItemPrint::hash(view(reader));
            break;
        case QXmlStreamReader::EndElement:
            if (--level == 0)
                return true;
            if (pending) {
                print->addElement(pendingName, pendingText);
                pending = false;
                pendingText = emptyHash;
            }
            break;
        default:
            break;
        }
    }
    fail();
}

bool ImpExp_PageScanner::itemAt(quint32 offset, ImpExp_Item *item)
{
    if (offset >= quint32(bytes.size()) || bytes.at(int(offset)) != '<')
        return false;
    // A reader of its own: clear() keeps the extra declarations of earlier
    // items, and the reader searches them all for every prefix.
    QXmlStreamReader fragmentReader;
    // The item alone is fed to the reader, a piece at a time, so that the
    // rest of the page is neither copied nor decoded.
    int fed = int(offset);
    const auto feed = [&] {
        const int piece = int(std::min<qint64>(bytes.size() - fed, 4096));
        fragmentReader.addData(QByteArray::fromRawData(bytes.constData() + fed, piece));
        fed += piece;
        return piece > 0;
    };
    fragmentReader.addExtraNamespaceDeclarations(declarations);
    feed();
    for (;;) {
        const QXmlStreamReader::TokenType token = fragmentReader.readNext();
        if (fragmentReader.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
            if (!feed())
                return false;
            continue;
        }
        if (token == QXmlStreamReader::StartDocument)
            continue;
        if (token != QXmlStreamReader::StartElement)
            return false;
        startItem(fragmentReader, item);
        return readItemBody(fragmentReader, item, feed);
    }
}

// The reader counts UTF-16 code units; a page is UTF-8, where a code unit
// takes one to three bytes and a pair of them four. Offsets only grow while
// a page is read, so the count is carried forward, never started over.
quint32 ImpExp_PageScanner::byteOffset(qint64 characterOffset)
{
    const qint64 size = bytes.size();
    const char *data = bytes.constData();
    while (cursorChars < characterOffset && cursorBytes < size) {
        const uchar lead = uchar(data[cursorBytes]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        cursorBytes += length;
        cursorChars += length == 4 ? 2 : 1;
    }
    // Anything else than a start tag there (another encoding, a byte-order
    // mark) leaves the item to be found by a walk through its page.
    if (cursorChars != characterOffset || cursorBytes >= size || cursorBytes >= noOffset)
        return noOffset;
    // After text the reader has taken the '<' that ended it already.
    if (data[cursorBytes] == '<')
        return quint32(cursorBytes);
    if (cursorBytes > 0 && data[cursorBytes - 1] == '<')
        return quint32(cursorBytes - 1);
    return noOffset;
}

void ImpExp_PageScanner::startItem(QXmlStreamReader &from, ImpExp_Item *item)
{
    if (from.name() != lastKind)
        lastKind = from.name().toString();
    *item = ImpExp_Item(lastKind);
    for (const QXmlStreamAttribute &attribute : from.attributes())
        item->addAttribute(attribute.name().toString(), attribute.value().toString());
}

// Reads up to the end tag of the item whose start tag @p from stands on,
// as ImpExp_XMLParser::getItem() reads an item's children.
bool ImpExp_PageScanner::readItemBody(QXmlStreamReader &from, ImpExp_Item *item,
                                      const std::function<bool()> &more)
{
    int level = 1;
    QString pendingName;
    QString pendingText;
    for (;;) {
        const QXmlStreamReader::TokenType token = from.readNext();
        if (from.atEnd()) {
            if (from.error() != QXmlStreamReader::PrematureEndOfDocumentError || !more || !more())
                return false;
            continue;
        }
        switch (token) {
        case QXmlStreamReader::StartElement:
            ++level;
            pendingName = from.name().toString();
            break;
        case QXmlStreamReader::Characters:
            if (!pendingName.isEmpty())
                pendingText = from.text().toString();
            break;
        case QXmlStreamReader::EndElement:
            if (--level == 0)
                return true;
            if (!pendingName.isEmpty()) {
                item->addElement(pendingName, pendingText);
                pendingName.clear();
                pendingText.clear();
            }
            break;
        default:
            break;
        }
    }
}
