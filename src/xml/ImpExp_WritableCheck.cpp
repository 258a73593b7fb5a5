#include "xml/ImpExp_WritableCheck.h"

#include "xml/ImpExp_Format.h"
#include "xml/ImpExp_XmlName.h"
#include "xml/ImpExp_XmlText.h"

#include <algorithm>
#include <vector>

namespace
{

// Above this many attributes the duplicate test sorts a copy of the names
// instead of comparing every pair.
constexpr int pairwiseAttributes = 32;

// The writer's fixed text around names and values, in bytes: '<' and the
// prefix; ' ', '=' and the quotes around an attribute; an element's
// ` xml:space="preserve">`; and the most that follows an item's start tag
// before the next '<': '>', a line break and the indentation of an element.
constexpr qint64 tagStart = 1 + 4;
constexpr qint64 attributeFrame = 4;
constexpr qint64 preserveAttribute = 22;
constexpr qint64 afterItemTag = 2 + 12;

// No escaped character takes more than "&quot;", and no name character more
// than three bytes: below this many UTF-16 units a run is far from the limit.
constexpr qint64 mostBytesPerUnit = 6;

// Qt 5's reader drops a U+FEFF that starts one of the blocks it reads a page
// in, taking it for a byte-order mark; Qt 6's keeps it. Values get it back
// mostly, but names and identifiers must not depend on where they fall.
constexpr char16_t byteOrderMark = 0xFEFF;

// The attributes whose values identify an item: a reader must get them back
// exactly, so they are refused rather than cleaned.
bool isIdentifier(const QString &attributeName)
{
    return attributeName == QLatin1String("duid") || attributeName == QLatin1String("puid")
        || attributeName == QLatin1String("lastModified");
}

QString unitName(char16_t unit)
{
    return QStringLiteral("U+%1").arg(uint(unit), 4, 16, QLatin1Char('0')).toUpper();
}

// The first UTF-16 unit of @p text that cleaning replaces.
char16_t firstUncleanUnit(const QString &text)
{
    const QString cleaned = ImpExp_XmlText::cleaned(text);
    for (int i = 0; i < text.size(); ++i) {
        if (cleaned.at(i) != text.at(i))
            return text.at(i).unicode();
    }
    return 0;
}

} // namespace

bool ImpExp_WritableCheck::refuses(const ImpExp_Item &item, QString *reason)
{
    const QString &itemName = item.getItemName();
    if (refusesItemName(itemName, reason) || refusesAttributes(item.getAttributes(), reason))
        return true;
    for (const auto &element : item.getItemElements()) {
        if (refusesElementName(element.first, itemName, reason))
            return true;
    }
    return refusesRuns(item, reason);
}

bool ImpExp_WritableCheck::refusesItemName(const QString &name, QString *reason)
{
    if (refusesName(name, "item name", false, reason))
        return true;
    // A reader looking for such items takes the page's header for one.
    if (!ImpExp_Format::isHeaderElement(name))
        return false;
    if (reason)
        *reason = QStringLiteral("item name %1 is the name of the page's %2")
                      .arg(quoted(name),
                           name == ImpExp_Format::rootName ? QStringLiteral("root element")
                                                           : QStringLiteral("application element"));
    return true;
}

bool ImpExp_WritableCheck::refusesAttributes(const ImpExp_PairList &attributes, QString *reason)
{
    for (const auto &attribute : attributes) {
        if (refusesName(attribute.first, "attribute name", true, reason))
            return true;
        // Would declare a default namespace instead of carrying a value.
        if (attribute.first == QLatin1String("xmlns")) {
            if (reason)
                *reason = QStringLiteral("attribute name \"xmlns\" is reserved for namespaces");
            return true;
        }
        if (isIdentifier(attribute.first)) {
            if (!ImpExp_XmlText::isClean(attribute.second)) {
                if (reason)
                    *reason = QStringLiteral("identifier %1 holds %2, which would be written as "
                                             "U+FFFD")
                                  .arg(quoted(attribute.first),
                                       unitName(firstUncleanUnit(attribute.second)));
                return true;
            }
            if (attribute.second.contains(QChar(byteOrderMark))) {
                if (reason)
                    *reason = QStringLiteral("identifier %1 holds U+FEFF, which Qt 5's reader "
                                             "drops at some places of a page")
                                  .arg(quoted(attribute.first));
                return true;
            }
        }
    }
    if (const QString *twice = repeatedName(attributes)) {
        if (reason)
            *reason = QStringLiteral("attribute %1 appears twice").arg(quoted(*twice));
        return true;
    }
    return false;
}

bool ImpExp_WritableCheck::refusesElementName(const QString &name, const QString &itemName,
                                              QString *reason)
{
    if (refusesName(name, "element name", false, reason))
        return true;
    // A reader ends the item, or starts another, at an element of such a name.
    const char *why = name == itemName         ? "is the item's own name"
        : ImpExp_Format::isItemKind(name)      ? "is an item kind"
        : name == ImpExp_Format::rootName      ? "is the name of the page's root element"
        : ImpExp_Format::isHeaderElement(name) ? "is the name of an application element"
                                               : nullptr;
    if (!why)
        return false;
    if (reason)
        *reason = QStringLiteral("element name %1 %2").arg(quoted(name), QLatin1String(why));
    return true;
}

// @p what names the name in the reason: "item name", "attribute name"...
bool ImpExp_WritableCheck::refusesName(const QString &name, const char *what, bool attribute,
                                       QString *reason)
{
    bool ascii;
    const bool isName = ImpExp_XmlName::isNCName(name, &ascii);
    // Elements go by their qualified name, attributes by their own.
    const int length = attribute ? name.size() : name.size() + ImpExp_Format::prefix.size();
    const bool tooLong = length > ImpExp_Format::nameLimit;
    const bool mark = !ascii && name.contains(QChar(byteOrderMark));
    // The reader must take back what is written, and Qt's knows fewer letters.
    if (isName && !tooLong && !mark && (ascii || ImpExp_XmlName::readerTakes(name, attribute)))
        return false;
    if (reason) {
        const QString why = !isName ? name.contains(QLatin1Char(':'))
                ? QStringLiteral("has a colon")
                : QStringLiteral("is not an XML name")
            : tooLong ? QStringLiteral("is longer than Qt's reader takes (%1 characters%2)")
                            .arg(ImpExp_Format::nameLimit)
                            .arg(attribute ? QString() : QStringLiteral(" with the prefix"))
            : mark ? QStringLiteral("holds U+FEFF, which Qt 5's reader drops at some places "
                                    "of a page")
                   : QStringLiteral("is an XML name that Qt's reader refuses");
        *reason = QStringLiteral("%1 %2 %3").arg(QLatin1String(what), quoted(name), why);
    }
    return true;
}

// A reader holds the bytes between one '<' and the next in memory at once:
// the item's start tag with every attribute, and each element's start tag
// with its text. Counted with the '<' that starts the run.
bool ImpExp_WritableCheck::refusesRuns(const ImpExp_Item &item, QString *reason)
{
    const qint64 limit = ImpExp_Format::runLimitBytes;
    const ImpExp_PairList &attributes = item.getAttributes();
    qint64 bound = tagStart + afterItemTag + mostBytesPerUnit * item.getItemName().size();
    for (const auto &attribute : attributes)
        bound += attributeFrame
            + mostBytesPerUnit * (qint64(attribute.first.size()) + attribute.second.size());
    if (bound > limit) {
        qint64 bytes = tagStart + afterItemTag + writtenBytes(item.getItemName(), true);
        for (const auto &attribute : attributes)
            bytes += attributeFrame + writtenBytes(attribute.first, true)
                + writtenBytes(attribute.second, true);
        if (bytes > limit) {
            if (reason)
                *reason = QStringLiteral("the start tag of item %1 with its attributes would be "
                                         "%2 bytes; a reader takes at most %3 between two '<'")
                              .arg(quoted(item.getItemName()))
                              .arg(bytes)
                              .arg(limit);
            return true;
        }
    }
    for (const auto &element : item.getItemElements()) {
        const qint64 frame = tagStart + preserveAttribute;
        if (frame + mostBytesPerUnit * (qint64(element.first.size()) + element.second.size())
            <= limit)
            continue;
        const qint64 bytes
            = frame + writtenBytes(element.first, false) + writtenBytes(element.second, false);
        if (bytes > limit) {
            if (reason)
                *reason = QStringLiteral("element %1 would be %2 bytes with its start tag; a "
                                         "reader takes at most %3 between two '<'")
                              .arg(quoted(element.first))
                              .arg(bytes)
                              .arg(limit);
            return true;
        }
    }
    return false;
}

qint64 ImpExp_WritableCheck::writtenBytes(QStringView text, bool attribute)
{
    qint64 bytes = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            switch (unit) {
            case u'<':
            case u'>':
                bytes += 4; // &lt; &gt;
                break;
            case u'&':
                bytes += 5; // &amp;
                break;
            case u'"':
                bytes += 6; // &quot;
                break;
            case u'\t':
                bytes += attribute ? 4 : 1; // &#9;
                break;
            case u'\n':
            case u'\r':
                bytes += attribute ? 5 : 1; // &#10; &#13;
                break;
            default:
                bytes += unit < 0x20 ? 3 : 1; // a control becomes U+FFFD
            }
        } else if (unit < 0x800) {
            bytes += 2;
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size
                   && QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes += 4;
            ++i;
        } else {
            bytes += 3; // also U+FFFD for a lone surrogate, U+FFFE and U+FFFF
        }
    }
    return bytes;
}

// The first attribute name that occurs twice, or null.
const QString *ImpExp_WritableCheck::repeatedName(const ImpExp_PairList &attributes)
{
    const int count = int(attributes.size());
    if (count <= pairwiseAttributes) {
        for (int i = 1; i < count; ++i) {
            for (int j = 0; j < i; ++j) {
                if (attributes.at(i).first == attributes.at(j).first)
                    return &attributes.at(i).first;
            }
        }
        return nullptr;
    }
    std::vector<const QString *> names;
    names.reserve(count);
    for (const auto &attribute : attributes)
        names.push_back(&attribute.first);
    std::stable_sort(names.begin(), names.end(),
                     [](const QString *a, const QString *b) { return *a < *b; });
    for (size_t i = 1; i < names.size(); ++i) {
        if (*names[i] == *names[i - 1])
            return names[i];
    }
    return nullptr;
}

// A name as a message quotes it: short, one line, no broken characters.
QString ImpExp_WritableCheck::quoted(const QString &name)
{
    constexpr int longest = 60;
    QString shown = ImpExp_XmlText::cleaned(name.left(longest));
    for (QChar &c : shown) {
        if (c.unicode() < 0x20)
            c = QChar(QChar::ReplacementCharacter);
    }
    if (name.size() > longest)
        shown += QStringLiteral("...");
    return QLatin1Char('"') + shown + QLatin1Char('"');
}
