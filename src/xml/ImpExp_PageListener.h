#ifndef IMPEXP_PAGELISTENER_H
#define IMPEXP_PAGELISTENER_H

#include <QByteArray>
#include <QXmlStreamReader>

// Reads a page along with the set check, on the check's own XML reader, so
// that one pass over a set serves both. Told of each page whose root element
// the check accepts, then of every token after the root's start tag, then of
// the page's end (also when the page breaks off with an error).
class ImpExp_PageListener
{
public:
    virtual ~ImpExp_PageListener() = default;

    // @p reader stands on the root's start tag; @p bytes holds the page's
    // bytes read so far and grows as the reader reads on.
    virtual void pageStarted(int fileNumber, const QXmlStreamReader &reader,
                             const QByteArray &bytes)
        = 0;
    virtual void token(const QXmlStreamReader &reader) = 0;
    virtual void pageEnded() = 0;
};

#endif // IMPEXP_PAGELISTENER_H
