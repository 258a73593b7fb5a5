#ifndef IMPEXP_FORMAT_H
#define IMPEXP_FORMAT_H

#include <QFileInfo>
#include <QLatin1String>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QXmlStreamReader>

#include <limits>

// What the writer and the reader of the exchange format agree on.
namespace ImpExp_Format
{

// QLatin1String(const char *) measures with strlen(), which is no constant
// expression for clang; the array's size is.
template<int size> constexpr QLatin1String latin1(const char (&text)[size])
{
    return QLatin1String(text, size - 1);
}

// The format's namespace, bound to the prefix "vel" on every page.
constexpr QLatin1String namespaceUri = latin1("http://ns.velxml.org/impexp/1.0");
constexpr QLatin1String schemaInstanceUri = latin1("http://www.w3.org/2001/XMLSchema-instance");
constexpr QLatin1String rootName = latin1("moxara");

// The application elements and the item kinds each carries.
constexpr QLatin1String directoryElement = latin1("directory");
constexpr QLatin1String agendaElement = latin1("agenda");

inline bool belongsTo(QStringView itemName, QStringView application)
{
    if (application == directoryElement)
        return itemName == QLatin1String("contact") || itemName == QLatin1String("contactMap");
    if (application == agendaElement)
        return itemName == QLatin1String("appointment")
            || itemName == QLatin1String("appointmentMap");
    return false;
}

inline bool isItemKind(QStringView itemName)
{
    return belongsTo(itemName, QStringView(u"directory"))
        || belongsTo(itemName, QStringView(u"agenda"));
}

// The check a reader makes on a page it has just attached @p reader to: the
// start of the document, then the start tag of the root. Prefix, namespace
// and attributes are not looked at. A missing XML declaration and a leading
// byte-order mark are no fault; whitespace before the root is no token, but
// a comment, a processing instruction or a DOCTYPE there is refused. On
// success the reader stands on the root's start tag.
inline bool readRoot(QXmlStreamReader &reader)
{
    reader.readNext();
    if (reader.atEnd())
        return false;
    return reader.readNext() == QXmlStreamReader::StartElement && reader.name() == rootName;
}

// The prefix every element of a page carries, bound to namespaceUri.
constexpr QLatin1String prefix = latin1("vel:");

// The longest name Qt's XML reader takes, in UTF-16 units: an element's name
// with its prefix ("vel:contact"), an attribute's name as it is. Qt 5.15 and
// 6.4 refuse a longer one, and with it the rest of the page.
constexpr int nameLimit = 4096;

// Names a reader takes for the page's own structure wherever they occur: it
// looks items up by name at any depth, so an element named like the root or
// an application element is read as that element, and one named like an
// item kind as an item of that kind.
inline bool isHeaderElement(QStringView name)
{
    return name == rootName || name == directoryElement || name == agendaElement;
}

// The most bytes a page may hold between one '<' and the next: the longest
// text, attribute list, comment or run of whitespace that a reader takes.
// Qt's XML reader keeps a whole text run in memory (and aborts the process
// beyond 2^31 bytes), so a page with a longer run is refused as malformed;
// the writer refuses to write an item that would need one. At this limit a
// page costs a reader a few hundred megabytes at the most.
constexpr qint64 runLimitBytes = 64 * 1024 * 1024;

// The name of page file @p fileNumber: every "%1" in the template becomes the
// number in decimal, zero-padded to at least two digits (00, 09, 10, 100).
// Files are numbered from 0; the "page" attribute inside counts from 1.
inline QString pageFileName(const QString &pathTemplate, int fileNumber)
{
    QString name = pathTemplate;
    return name.replace(QLatin1String("%1"),
                        QStringLiteral("%1").arg(fileNumber, 2, 10, QLatin1Char('0')));
}

// Page files are looked for past missing numbers, up to this many in a row:
// a crash or a copy can leave holes in a set, and what lies behind them still
// belongs to no other export.
constexpr int pageGapLimit = 100;

// The page files numbered from @p firstNumber on that exist (a dangling link
// too: it holds the name), looking past up to pageGapLimit missing numbers in
// a row.
inline QStringList existingPages(const QString &pathTemplate, int firstNumber)
{
    QStringList names;
    if (!pathTemplate.contains(QLatin1String("%1")))
        return names;
    int missing = 0;
    for (int number = qMax(firstNumber, 0); missing <= pageGapLimit; ++number) {
        const QString name = pageFileName(pathTemplate, number);
        const QFileInfo info(name);
        if (info.exists() || info.isSymLink()) {
            names << name;
            missing = 0;
        } else {
            ++missing;
        }
        if (number == std::numeric_limits<int>::max())
            break;
    }
    return names;
}

} // namespace ImpExp_Format

#endif // IMPEXP_FORMAT_H
