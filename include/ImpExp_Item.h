#ifndef IMPEXP_ITEM_H
#define IMPEXP_ITEM_H

/**
 * @file ImpExp_Item.h
 * The item record that every exchanged contact, appointment or id map entry
 * is, and the exception family through which the library reports failures.
 */

#include <velxmlimpexp_export.h>

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

#include <stdexcept>

/**
 * Base of the library's exceptions. The message is kept as 8-bit text:
 * characters outside Latin-1 become '?', and a NUL character ends it.
 * The library never throws this class itself, only its two subclasses.
 */
class VELXMLIMPEXP_EXPORT ImpExp_Exception : public std::runtime_error
{
public:
    /// Keeps @p message as Latin-1 text, cut at its first NUL character.
    explicit ImpExp_Exception(const QString &message)
        : std::runtime_error(message.toLatin1().constData())
    {
    }
    ~ImpExp_Exception() override { }
};

/**
 * The exchange as a whole cannot go on: a page file cannot be created,
 * opened or parsed, a path template or application name is unusable, the
 * announced pages are used up, or an obsolete operation was called.
 */
class VELXMLIMPEXP_EXPORT ImpExp_FatalException : public ImpExp_Exception
{
public:
    /// @copydoc ImpExp_Exception::ImpExp_Exception
    explicit ImpExp_FatalException(const QString &message)
        : ImpExp_Exception(message)
    {
    }
    ~ImpExp_FatalException() override { }
};

/**
 * The data of one item is invalid (a missing identifier, a missing or
 * unreadable date); the host can drop that item and go on.
 */
class VELXMLIMPEXP_EXPORT ImpExp_ErrorException : public ImpExp_Exception
{
public:
    /// @copydoc ImpExp_Exception::ImpExp_Exception
    explicit ImpExp_ErrorException(const QString &message)
        : ImpExp_Exception(message)
    {
    }
    ~ImpExp_ErrorException() override { }
};

/// Ordered (name, value) pairs: an item's attributes or its elements.
typedef QList<QPair<QString, QString>> ImpExp_PairList;

/**
 * One exchanged item: a kind name, ordered attribute pairs, ordered element
 * pairs and a read-only flag. Pairs keep their insertion order; names may
 * repeat and may be empty. Items are values: copying is cheap (implicit
 * sharing) and gives an independent record.
 */
class VELXMLIMPEXP_EXPORT ImpExp_Item
{
public:
    /// An empty record of the kind @p itemName: no pairs, not read-only.
    explicit ImpExp_Item(const QString &itemName);

    /**
     * A record with the standard attributes, in this order: "duid";
     * "puid" unless @p puid is a null string (an empty one is kept);
     * "lastModified" unless @p lastModified is null, as UTC text
     * "yyyyMMddThhmmssZ" without milliseconds.
     * @throws ImpExp_ErrorException "Empty duid for Item" when @p duid is
     *         empty or null. Throws nothing else.
     */
    ImpExp_Item(const QString &itemName, const QString &duid, const QString &puid,
                const QDateTime &lastModified);

    virtual ~ImpExp_Item();

    /// The kind of the item, the local name of its XML element.
    QString getItemName() const { return itemName; }
    /// The attribute pairs, in insertion order.
    const ImpExp_PairList &getAttributes() const { return attributes; }
    /// The element pairs, in insertion order.
    const ImpExp_PairList &getItemElements() const { return elements; }
    /// Whether the export writer leaves this item's elements out (unless the
    /// export is a full one).
    bool getReadOnlyItem() const { return readOnly; }
    /// Replaces the read-only flag.
    void setReadOnlyItem(const bool &flag) { readOnly = flag; }

    /// Appends an attribute pair; nothing is checked.
    void addAttribute(const QString &name, const QString &value);
    /// Appends an element pair; nothing is checked.
    void addElement(const QString &name, const QString &value);

    /// Value of the first attribute named exactly @p name, or a null string.
    QString getAttribute(const QString &name) const;
    /// Value of the first element named exactly @p name, or a null string.
    QString getElement(const QString &name) const;

    /**
     * The "lastModified" attribute as a local date-time, or a null
     * date-time when it is absent or empty.
     * @throws ImpExp_ErrorException "invalid LastModificationDate" when the
     *         value is not a valid "yyyyMMddThhmmssZ" UTC timestamp.
     *         Throws nothing else.
     */
    QDateTime getLastModificationDate() const;

    /**
     * A one-text description for diagnostics:
     * "name=<N>\n  Attributes: a=<v> \n  Elements: e=<v> ".
     */
    QString toString() const;

    /// Equal names, attribute lists and element lists (order matters); the
    /// read-only flag is not compared.
    bool operator==(const ImpExp_Item &other) const;

protected:
    /// Lets a typed item size its element list once before appending.
    void reserveElements(int count) { elements.reserve(count); }

private:
    ImpExp_PairList attributes;
    ImpExp_PairList elements;
    QString itemName;
    bool readOnly;
};

#endif // IMPEXP_ITEM_H
