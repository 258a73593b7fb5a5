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

bool ImpExp_PageScanner::toNextItem()
{
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth < 3)
                break; // another application element
            --depth;
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

bool ImpExp_PageScanner::nextItem(ImpExp_Item *item)
{
    if (!toNextItem())
        return false;
    startItem(reader, item);
    if (!readItemBody(reader, item))
        fail();
    return true;
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
