#ifndef IMPEXP_SETCHECK_H
#define IMPEXP_SETCHECK_H

/**
 * @file ImpExp_SetCheck.h
 * Checks a page file set as a receiving system reads it, before importing.
 */

#include <ImpExp_Item.h>

#include <QList>
#include <QString>

#include <memory>

/**
 * Reads a whole page file set the way a receiving system does and reports
 * each page's header and every problem found, with its file, line and column.
 *
 * ImpExp_XMLParser ends a set at the first page file that does not open and
 * never looks at the headers, so on its own it cannot tell a complete set
 * from a truncated one, nor one export from pages of several mixed in one
 * folder. A host that must not import half a set, or a mix, runs this check
 * first and refuses the set unless isComplete() (or, stricter, isClean())
 * says yes:
 *
 * @code
 * ImpExp_SetCheck check(pathTemplate);
 * check.run();
 * if (!check.isComplete())
 *     return refuse(check.problems());
 * ImpExp_XMLParser reader(pathTemplate);
 * ...
 * @endcode
 *
 * The check streams: one page file is open at a time, and each page is read
 * once with one XML reader. Memory does not depend on the number of items,
 * with one exception: to find a duid used twice, the check keeps every duid
 * it has met, per item kind, for the whole set: about 85 bytes plus two
 * bytes per character of the duid for each item (some 100 MB for a million
 * items with 10-character duids, measured on 64-bit Linux), unless
 * setFindsDuplicateDuids(false) switches that search off. It also keeps one
 * Page per page file and at most problemLimit() problems.
 *
 * Page files are taken in file-number order from 00 up to the last one
 * "totalPage" announces, and on as long as further files follow; a run of
 * more than 100 missing page files is one problem.
 *
 * Items are counted as a reader finds them: every element named like an
 * item kind of the format (contact, contactMap, appointment,
 * appointmentMap), at any depth below the root, and every element directly
 * inside the application element, is an item (since 1.2).
 *
 * Only regular files are read: a FIFO, a socket or a device named like a page
 * file is Unreadable, at once. A page may hold at most 64 MiB
 * (ImpExp_Format::runLimitBytes) between one '<' and the next; a page with a
 * longer text, attribute list, comment or run of whitespace is read up to
 * that point only, is NotWellFormed, and the check goes on with the next
 * page (since 1.2). Messages quote at most 60 characters of a value read
 * from a page, so that their size does not follow the values'.
 *
 * The check throws nothing while it reads: whatever a file holds becomes a
 * Problem.
 *
 * @since 1.1
 */
class VELXMLIMPEXP_EXPORT ImpExp_SetCheck
{
public:
    /// What kind of fault a Problem is.
    enum class ProblemKind {
        /// A page file that "totalPage" announces is missing, or the set has
        /// no page file 00: the set is incomplete.
        MissingPage,
        /// A page file after a missing or unreadable one: a reader stops before it.
        PageAfterGap,
        /// A file numbered after the announced last page: a reader takes it
        /// for part of the set.
        LeftOverPage,
        /// The page file exists but cannot be opened for reading.
        Unreadable,
        /// The page is not well-formed XML; the message is the XML reader's.
        NotWellFormed,
        /// The reader refuses the page ("Invalid input file"): its root is not
        /// "moxara", or something other than the root comes first.
        RootRefused,
        /// A header attribute is missing, "created" is not a timestamp,
        /// "schemaVersion" is not "1.0", "max", "pageSize", "page" or
        /// "totalPage" is not a number, or the page has no (or more than one)
        /// application element, or an unknown one.
        BadHeader,
        /// "created", "id", "deviceId", the application element or
        /// "totalPage" differ from those of the first page a reader accepts.
        HeaderMismatch,
        /// "page" does not match the file number (file 00 is page 1).
        PageNumber,
        /// More items on the page than its "pageSize".
        PageOverfull,
        /// An item kind that the page's application element does not carry
        /// (a contact in an agenda page, or a kind of no application).
        ForeignKind,
        /// An item without a "duid" attribute, or with an empty one.
        MissingDuid,
        /// A "lastModified" value that is not a "yyyyMMddThhmmssZ" timestamp.
        BadLastModified,
        /// An appointment with fields whose "begin" or "end" is missing or
        /// not a timestamp.
        BadAppointmentDate,
        /// The same duid on two items of the same kind in one set.
        DuplicateDuid,
        /// An element named like an item kind inside an item. A reader takes
        /// it for an item of its own and, when it is of the outer item's
        /// kind, ends the outer item at its end tag, so the outer item loses
        /// its remaining fields and a further, empty item follows.
        /// Counted as an item. @since 1.2
        NestedItem,
    };

    /// One fault, where it is.
    struct Problem {
        ProblemKind kind;
        int fileNumber; ///< file number of the page file (0 for "..._00")
        QString fileName; ///< the page file's name, as the template gives it
        /// Position in the file, as the XML reader counts it after the token
        /// concerned (for an item, after its start tag); 0 when the problem
        /// is about the file as a whole.
        qint64 line;
        qint64 column; ///< see line
        QString itemName; ///< the item kind, when the problem is about items
        /// 0-based position on its page (all kinds counted) of the item the
        /// problem is about, or of the first one for PageOverfull and
        /// ForeignKind; -1 otherwise.
        int itemIndex;
        QString duid; ///< the item's duid, when it has one
        QString message; ///< what is wrong, in a sentence for people
    };

    /// Items of one kind on a page.
    struct KindCount {
        QString itemName;
        int items; ///< items of this kind
        int withElements; ///< of which written with their elements
    };

    /// What one page file says about itself. Header texts are as they stand
    /// in the file; a null text when the attribute (or element) is absent.
    struct Page {
        int fileNumber;
        QString fileName;
        bool opened; ///< the file could be opened for reading
        bool rootAccepted; ///< a reader accepts its root element
        bool wellFormed; ///< read to its end without an XML error
        QString created, schemaVersion, id, deviceId; ///< the root's attributes
        QString application; ///< local name of the application element
        QString max, pageSize, page, totalPage; ///< the application element's
        QList<KindCount> kinds; ///< in order of first appearance
        int items; ///< items on the page, all kinds
    };

    /**
     * Prepares the check of the set named by @p pathTemplate; reads nothing yet.
     * @throws ImpExp_FatalException "Bad path" when @p pathTemplate holds no
     *         "%1". Throws nothing else.
     */
    explicit ImpExp_SetCheck(const QString &pathTemplate);
    ImpExp_SetCheck(const ImpExp_SetCheck &) = delete;
    ImpExp_SetCheck &operator=(const ImpExp_SetCheck &) = delete;
    virtual ~ImpExp_SetCheck();

    /// Checks the whole set: checkNextPage() until it returns false.
    void run();

    /**
     * Checks the next page file, for a caller that shows progress.
     * @return false when the set is done (its end-of-set problems, such as
     *         missing pages, are then recorded); true when a page was read.
     */
    bool checkNextPage();

    /// The pages found, in file-number order. Missing pages have no entry.
    const QList<Page> &pages() const;
    /// The problems found, at most problemLimit() of them, in the order met.
    const QList<Problem> &problems() const;
    /// All problems found, also those beyond problemLimit().
    qint64 problemCount() const;
    /// Items on all pages, all kinds.
    qint64 itemCount() const;
    /// The number of page files the set announces ("totalPage" of its first
    /// readable page), or the number found when no page announces one.
    int announcedPages() const;

    /**
     * Whether a reader gets the items of one export, whole: every page file
     * that page 00 announces is there, is a regular file that opens, has a
     * root the reader accepts, is well-formed and within the run limit; each
     * carries "created", "id" and "deviceId", the application element and
     * "totalPage" equal to those of page 00 and a "page" that matches its file
     * number; and no file follows the last page. Item-level problems (and
     * the header's "schemaVersion", "max" and "pageSize") do not count here:
     * see isClean().
     *
     * Until 1.1 pages of another export (another "id", "deviceId",
     * "created" or application element) or a renumbered page left the set
     * complete. @since 1.1, stricter since 1.2
     */
    bool isComplete() const;

    /**
     * Whether problems().at(@p problemIndex) is one that makes isComplete()
     * false, so that a host or a tool can name the pages that keep the set
     * from being one export. False for an index out of range.
     * @since 1.2
     */
    bool breaksSet(int problemIndex) const;
    /// Whether no problem at all was found.
    bool isClean() const;

    /// At most this many problems are kept (default 10000); the rest are counted.
    int problemLimit() const;
    /// Sets problemLimit(); problems kept already beyond it are dropped (and
    /// stay counted in problemCount()). Since 1.2 it also trims what is kept.
    void setProblemLimit(int limit);

    /**
     * Whether the check looks for a duid used twice (DuplicateDuid), which
     * costs it every duid of the set in memory (see above). True by default;
     * a caller that only needs isComplete(), or finds duplicates itself,
     * switches it off before the first page for a check whose memory does
     * not grow with the number of items.
     * @since 1.2
     */
    bool findsDuplicateDuids() const;
    /// @see findsDuplicateDuids() @since 1.2
    void setFindsDuplicateDuids(bool find);

    /// Whether item kind @p itemName belongs in an application element named
    /// @p application ("directory" carries contact and contactMap, "agenda"
    /// appointment and appointmentMap).
    static bool belongsTo(const QString &itemName, const QString &application);

private:
    class Private;
    std::unique_ptr<Private> d;
};

#endif // IMPEXP_SETCHECK_H
