#ifndef IMPEXP_ITEMPRINTER_H
#define IMPEXP_ITEMPRINTER_H

#include "xml/ImpExp_ItemPrint.h"
#include "xml/ImpExp_PageListener.h"

#include <functional>

// Makes the print of every item of a page from the tokens the set check
// reads, with the byte where the item's start tag stands, and hands each
// print on as the item's end tag is read. Items are the children of an
// application element; their pairs are taken as ImpExp_PageScanner reads
// them (child elements flattened, the last text piece of a child kept).
class ImpExp_ItemPrinter : public ImpExp_PageListener
{
public:
    // @p byteOffset is ImpExp_PageScanner::noOffset when the place cannot be
    // told; @p ordinal counts the items of their page from 0.
    using Handler = std::function<void(const ImpExp_ItemPrint &print, quint32 fileNumber,
                                       quint32 byteOffset, quint32 ordinal)>;

    explicit ImpExp_ItemPrinter(Handler handler);

    void pageStarted(int fileNumber, const QXmlStreamReader &reader,
                     const QByteArray &bytes) override;
    void token(const QXmlStreamReader &reader) override;
    void pageEnded() override;

private:
    void startItem(const QXmlStreamReader &reader, qint64 characterOffset);
    quint32 byteOffset(qint64 characterOffset) const;

    Handler handler;
    ImpExp_ItemPrint print;
    // The kind of the item read last: its name is shared by the next item
    // of the same kind instead of being copied again.
    QString lastKind;
    const QByteArray *bytes = nullptr;
    quint32 fileNumber = 0;
    quint32 ordinal = 0;
    quint32 itemOffset = 0;
    int depth = 0; // elements open outside items, the root's included
    int level = 0; // elements open inside the item; 0 between items
    qint64 tokenEnd = 0; // where the reader stood after the last token
    bool pending = false; // a child element whose pair is still to come
    quint64 pendingName = 0;
    quint64 pendingText = 0;
    // Where the character count of the reader stands in the UTF-8 bytes.
    mutable qint64 cursorChars = 0;
    mutable qint64 cursorBytes = 0;
};

#endif // IMPEXP_ITEMPRINTER_H
