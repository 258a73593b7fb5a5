#ifndef IMPEXP_PAGESCANNER_H
#define IMPEXP_PAGESCANNER_H

#include <ImpExp_Item.h>

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <functional>

// One page file held in memory, read item by item, items of every kind
// together, and able to read one item again from where its start tag stands.
// Items are the children of the application element; their pairs are read as
// ImpExp_XMLParser reads them (child elements flattened, the last text piece
// of a child kept, attributes under their local names).
class ImpExp_PageScanner
{
public:
    // Where no byte offset is known for an item.
    static constexpr quint32 noOffset = 0xffffffffu;

    ImpExp_PageScanner();
    ImpExp_PageScanner(const ImpExp_PageScanner &) = delete;
    ImpExp_PageScanner &operator=(const ImpExp_PageScanner &) = delete;

    // Reads the page file @p fileName into memory and stands before its
    // first item; false when the file cannot be opened.
    bool load(const QString &fileName, int fileNumber);
    int fileNumber() const { return number; }
    // Back to the first item of the loaded page.
    void rewind();

    // Reads the next item into @p item; false at the end of the page.
    // @throws ImpExp_FatalException when the page is not well-formed.
    bool nextItem(ImpExp_Item *item);

    // Reads the item whose start tag begins at byte @p offset; false when no
    // item stands there.
    bool itemAt(quint32 offset, ImpExp_Item *item);

private:
    QByteArray bytes;
    QBuffer buffer;
    QXmlStreamReader reader;
    QString name;
    int number = -1;
    int depth = 0;
    // The namespaces the root and the application element declare, for
    // reading one item out of its context.
    QXmlStreamNamespaceDeclarations declarations;
    // The kind of the item read last: its name is shared by the next item
    // of the same kind instead of being copied again.
    QString lastKind;

    bool toNextItem();
    [[noreturn]] void fail();
    void startItem(QXmlStreamReader &from, ImpExp_Item *item);
    // @p more gives the reader further input when it runs out, if it can.
    static bool readItemBody(QXmlStreamReader &from, ImpExp_Item *item,
                             const std::function<bool()> &more = {});
};

#endif // IMPEXP_PAGESCANNER_H
