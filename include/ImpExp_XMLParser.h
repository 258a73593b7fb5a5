#ifndef IMPEXP_XMLPARSER_H
#define IMPEXP_XMLPARSER_H

/**
 * @file ImpExp_XMLParser.h
 * The import reader: pulls item records out of a set of numbered page files.
 */

#include <ImpExp_Item.h>

#include <QString>

#include <memory>

class QFile;
class QXmlStreamReader;

/**
 * Reads the page files named from a path template ("%1" becomes 00, 01, ...)
 * one after the other, streaming, and hands out the items of the kind the
 * caller asks for. The set ends at the first file number whose file cannot
 * be opened. One parser reads one set once and never goes back.
 *
 * Only a regular file opens as a page: a FIFO, a socket or a device named
 * like a page file counts as a file that cannot be opened, at once, without
 * waiting for a writer (since 1.2).
 *
 * A page may hold at most 64 MiB (ImpExp_Format::runLimitBytes) between one
 * '<' and the next: no text, attribute list, comment or run of whitespace is
 * longer. A page beyond that limit is read up to it and then fails like any
 * malformed page, with "xml parsing failed" (or "Invalid input file" before
 * its root element), so that memory stays bounded whatever a page holds.
 * Pages in UTF-16 and UTF-32 count their bytes in whole code units (since 1.2).
 */
class VELXMLIMPEXP_EXPORT ImpExp_XMLParser
{
public:
    /**
     * Opens nothing yet.
     * @throws ImpExp_FatalException "Bad path" when @p pathTemplate holds no
     *         "%1". Throws nothing else.
     */
    explicit ImpExp_XMLParser(const QString &pathTemplate);
    // clang-format off
    /// A fresh parser on the other's template, from file number 0.
    /// Deprecated since 1.2: a copy (a parser passed by value, say) reads the
    /// set again from page 00, not on from where the other stands; pass a
    /// parser by reference instead.
    [[deprecated("a copy of an ImpExp_XMLParser reads the set again from page 00, not on "
                 "from where the original stands; pass the parser by reference")]]
    ImpExp_XMLParser(const ImpExp_XMLParser &other);
    /// Becomes a fresh parser on the other's template, from file number 0.
    /// Deprecated since 1.2, as the copy.
    [[deprecated("assigning an ImpExp_XMLParser makes it read the other's set again from "
                 "page 00; pass the parser by reference")]]
    ImpExp_XMLParser &operator=(const ImpExp_XMLParser &other);
    // clang-format on
    virtual ~ImpExp_XMLParser();

    /**
     * Appends to @p item the attributes (and, with @p readElements, one pair
     * per child element) of the next element named like the item, moving on
     * to the next page file by itself. Items of other kinds met on the way
     * are skipped for good. Pairs already in @p item stay in front.
     * @return false when the set is used up (and again on every later call).
     * @throws ImpExp_FatalException "item has no name", "No file to read"
     *         (the first page file cannot be opened; a later call retries it),
     *         "Invalid input file" or "xml parsing failed". Throws nothing else.
     */
    bool getItem(ImpExp_Item &item, bool readElements);

    /**
     * Opens the page file of the current file number and checks that its
     * root element is "moxara".
     * @return false when the file cannot be opened for reading.
     * @throws ImpExp_FatalException "Invalid input file" when the file opens
     *         but is not an exchange document. Throws nothing else.
     */
    bool getNextXMLFile();

private:
    QString pathTemplate;
    int pageIndex;
    std::unique_ptr<QFile> file;
    std::unique_ptr<QXmlStreamReader> reader;
    // Set when a page file failed to open while the reader was still
    // attached to the released one: the set is used up, and getItem()
    // answers false without letting the reader near that file again.
    bool exhausted;
};

#endif // IMPEXP_XMLPARSER_H
