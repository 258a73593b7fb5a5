#ifndef IMPEXP_XMLBUILDER_H
#define IMPEXP_XMLBUILDER_H

/**
 * @file ImpExp_XMLBuilder.h
 * The export writer: streams item records into numbered XML page files.
 */

#include <ImpExp_Item.h>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>

class QFile;
class QXmlStreamWriter;

/**
 * Writes one export: items handed to putItem() are spread over page files
 * named from a path template ("%1" becomes the file number 00, 01, ...),
 * each page a complete XML document with the same header. At most one page
 * file is open at a time.
 *
 * Whether an item is written with its elements or with its attributes only
 * follows the incremental rule: elements are written when the item is not
 * read-only and was modified at or after the reference date (or either date
 * is null), and always when the reference date is the full-export date: the
 * Unix epoch, QDateTime::fromSecsSinceEpoch(0) (in Qt 5 also
 * QDateTime::fromTime_t(0), the same instant).
 *
 * Names are written unchanged, and a failure to write a page file once it
 * is open (a full disk, a file size limit) raises no exception: the export
 * goes on. A host that must not lose items checks its items with
 * isWritable() before the export and asks hasWriteError() after
 * closeBuilder().
 */
class VELXMLIMPEXP_EXPORT ImpExp_XMLBuilder
{
public:
    /// An inert builder: its first putItem() throws "Too much items !".
    ImpExp_XMLBuilder();

    /**
     * Prepares an export; creates no file unless @p totalItems is 0, in which
     * case the single empty page file 00 is written and closed at once.
     * @param deviceId written as the root's "deviceId" on every page.
     * @param id identifier of the export, the root's "id".
     * @param pathTemplate page file path holding "%1" for the file number.
     * @param pageSize items per page, at least 1 when items are announced.
     * @param created creation time, written in UTC as the root's "created".
     * @param totalItems the number of putItem() calls to come; 0 for none.
     * @param max written verbatim as the application element's "max".
     * @param applicationName "VelDirectory" or "Agenda", exactly.
     * @param lastSyncDate reference date of the incremental export: null,
     *        a date, or the Unix epoch (QDateTime::fromSecsSinceEpoch(0))
     *        for a full export; any time spec, compared as an instant.
     * @throws ImpExp_FatalException, tested in this order: "Bad path" (no "%1"
     *         in @p pathTemplate), "Invalid application name", "Invalid item
     *         count" (@p totalItems negative), "Invalid page size" (@p pageSize
     *         below 1 with items announced); with @p totalItems 0 also
     *         "Cannot create file %1, %2". Throws nothing else.
     */
    ImpExp_XMLBuilder(const QString &deviceId, const QString &id, const QString &pathTemplate,
                      const int &pageSize, const QDateTime &created, const int &totalItems,
                      const int &max, const QString &applicationName,
                      const QDateTime &lastSyncDate);

    // clang-format off
    /// A builder for the same export from its first page; the other's open
    /// page is untouched. Deprecated since 1.2: a copy (a builder passed by
    /// value, say) writes its items over the pages already written, from page
    /// 00 on; pass a builder by reference instead.
    [[deprecated("a copy of an ImpExp_XMLBuilder starts the export over at page 00 and "
                 "rewrites the pages it reaches; pass the builder by reference")]]
    ImpExp_XMLBuilder(const ImpExp_XMLBuilder &other);
    /// Completes this builder's open page, then starts the other's export
    /// afresh from its first page. Deprecated since 1.2, as the copy.
    [[deprecated("assigning an ImpExp_XMLBuilder starts the other's export over at page 00 "
                 "and rewrites the pages it reaches; pass the builder by reference")]]
    ImpExp_XMLBuilder &operator=(const ImpExp_XMLBuilder &other);
    // clang-format on
    /// Completes an open page as a well-formed document.
    virtual ~ImpExp_XMLBuilder();

    /**
     * Writes one item on the current page, starting a page file first when
     * none is open, and closes the page when it is full or when the item is
     * the last one announced.
     *
     * Values are escaped; a character that XML 1.0 cannot carry (a control
     * character other than tab, line feed and carriage return, U+FFFE, U+FFFF,
     * an unpaired surrogate) is written as U+FFFD. Line breaks in element
     * values are written as they are, so a reader's end-of-line handling
     * gives a carriage return (and CR LF) back as a line feed; in attribute
     * values they are written as character references and come back as sent.
     * @throws ImpExp_FatalException "Too much items !" (all announced pages
     *         written, or the export was closed) or "Cannot create file %1, %2"
     *         (the next call retries the same page); nothing of the item is
     *         written then. Throws nothing else; in particular nothing for a
     *         name that is no XML name (see isWritable()) or for a failure to
     *         write the page (see hasWriteError()).
     */
    void putItem(const ImpExp_Item &item);

    /**
     * Withdrawn.
     * @throws ImpExp_FatalException "Obsolete", always; writes nothing.
     */
    void putIdList(const ImpExp_PairList &list);

    /**
     * Opens the next page file and writes its header. Called by putItem()
     * and the constructor; hosts do not need it.
     * @throws ImpExp_FatalException "Too much items !" or
     *         "Cannot create file %1, %2". Throws nothing else.
     */
    void startNewXMLFile();

    /// Completes and closes the open page, if any; harmless when repeated.
    /// After it the export is over: a later putItem() throws.
    void closeBuilder();

    /**
     * Whether writing, flushing or closing a page file has failed (a full
     * disk, a file size limit, a device gone). The writer throws nothing for
     * such failures and goes on with the export, so a host that must not
     * lose items asks here after closeBuilder() (which flushes first) and
     * treats the set as not written when this says true. A page file that
     * cannot be created at all is reported by putItem()'s exception instead
     * and does not show here. Only the first failure is kept; a new export
     * (assignment) starts clean, and a copy starts clean.
     * @since 1.1
     */
    bool hasWriteError() const;
    /// The page file of the first write failure; empty when there was none.
    /// @since 1.1
    QString writeErrorFileName() const;
    /// The system's text for the first write failure ("No space left on
    /// device"); empty when there was none.
    /// @since 1.1
    QString writeErrorString() const;

    /**
     * Whether putItem() writes @p item so that a reader takes it back as it
     * was handed over: the same attributes and elements, in order, with
     * values other than identifiers cleaned as putItem() documents.
     *
     * Refused are: an item name, element name or attribute name that is no
     * XML name without a colon (they go behind the format's prefix), or one
     * that Qt's XML reader refuses: Qt 5 knows the letters of XML 1.0's
     * fourth edition, so some later letters are refused, and every character
     * beyond U+FFFF; a name longer than 4096 characters, counted with the
     * prefix "vel:" for item and element names, which Qt's reader refuses
     * with the rest of the page (@since 1.2); an attribute named "xmlns" or
     * named twice; an item named like the page's root ("moxara") or an
     * application element ("directory", "agenda"), and an element named like
     * one of these, like an item kind ("contact", "contactMap",
     * "appointment", "appointmentMap") or like its own item, for a reader
     * takes such an element for the header or for an item (@since 1.2); a
     * "duid", "puid" or "lastModified" attribute with a character that
     * putItem() would clean, for an identifier must not change (@since 1.2);
     * and an item whose start tag with all its attributes, or an element
     * whose start tag with its text, would take more than 64 MiB of the page
     * (UTF-8, escaped), more than a reader holds between two '<' (@since 1.2).
     *
     * putItem() itself writes names unchanged, so a host that cannot vouch
     * for its items asks here first. Throws nothing; allocates nothing for a
     * usual item (ASCII names, up to 32 attributes) that passes.
     * @param reason when not null and the item is refused, says which name or
     *        value and why (`element name "a b" is not an XML name`,
     *        `attribute "duid" appears twice`, `identifier "duid" holds
     *        U+0001, which would be written as U+FFFD`).
     * @since 1.1
     */
    static bool isWritable(const ImpExp_Item &item, QString *reason = nullptr);

    /**
     * The number of items putItem() has written in this export so far.
     * @since 1.2
     */
    int writtenItemCount() const;
    /**
     * The number of items announced to the constructor (its totalItems).
     * @since 1.2
     */
    int announcedItemCount() const;
    /**
     * Whether every announced page file has been written and closed: all
     * announced items were put (the last of them closes the last page). True
     * at once for an export of no items. An export closed early with
     * closeBuilder() stays unfinished: its set is short, and a reader of it
     * finds fewer items than announced. Says nothing of write failures; see
     * hasWriteError().
     * @since 1.2
     */
    bool isFinished() const;
    /**
     * The page files of this export's path template numbered from its last
     * page on (from totalPage) that exist now: pages of an older, longer
     * export in the same place, which a reader would take for part of this
     * set. Missing numbers are looked past, up to 100 in a row, as a check of
     * the set does. Also callable before the first putItem(): it then lists
     * what this export would leave behind. Nothing is removed; see
     * removeLeftOverPages().
     * @since 1.2
     */
    QStringList leftOverPages() const;
    /**
     * Removes every file leftOverPages() lists. Never done implicitly.
     * @param failure when not null and a file cannot be removed, set to
     *        "<file>: <system text>" of the first such file.
     * @return true when no left-over page is left.
     * @since 1.2
     */
    bool removeLeftOverPages(QString *failure = nullptr);
    /**
     * How many values were written otherwise than handed over in this export:
     * a value with characters XML cannot carry, written with U+FFFD in their
     * place (see putItem()), and a date-time text that is not 16 characters
     * long as every timestamp is (the "lastModified" attribute of any item,
     * the "begin", "end" and "repetitiveEndDate" elements of an
     * "appointment"): an invalid local time, such as one in the hour a clock
     * change skips, is written as an empty text, a year past 9999 as a longer
     * one that no reader takes. The export's
     * own "id" and "deviceId" count too, once. Names are not counted; see
     * isWritable(). A new export (assignment) and a copy start at 0.
     * @since 1.2
     */
    int alteredValueCount() const;
    /**
     * The "duid" attribute of the first item with an altered value; null when
     * no value was altered, when the first altered value was the export's
     * "id" or "deviceId", or when that item has no "duid".
     * @since 1.2
     */
    QString firstAlteredDuid() const;
    /**
     * The name of the first altered value's attribute or element ("title",
     * "lastModified", "id"); null when no value was altered.
     * @since 1.2
     */
    QString firstAlteredField() const;

private:
    QString deviceId;
    QString id;
    QString pathTemplate;
    int pageSize;
    QDateTime created;
    int totalItems;
    int max;
    QString applicationElement;
    int totalPage;
    int pageIndex;
    int writtenItems;
    int pageItems;
    std::unique_ptr<QFile> file;
    std::unique_ptr<QXmlStreamWriter> writer;
    QDateTime lastSyncDate;

    // The incremental rule is decided per item, so lastSyncDate is reduced
    // once per export to what putItem() compares against.
    qint64 syncMsecs; // lastSyncDate as an instant, clamped; meaningful when syncValid
    bool syncValid;
    bool fullExport; // lastSyncDate is the full-export date
    // closeBuilder() by the host (or an empty export) ended the export: no
    // page file is started again, so a completed one is never re-created.
    bool exportOver;
    // The buffer for qualified names and the write status; behind a pointer,
    // so the class keeps the size that hosts built against 1.0 allocate.
    class Private;
    std::unique_ptr<Private> d;

    void prepareExport();
    const QString &qualified(const QString &localName);
    bool pageOpen() const;
    void endPage();
    bool writesElements(const ImpExp_Item &item) const;
};

#endif // IMPEXP_XMLBUILDER_H
