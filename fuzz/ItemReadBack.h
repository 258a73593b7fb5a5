#ifndef ITEMREADBACK_H
#define ITEMREADBACK_H

#include "XmlText.h"

#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QString>
#include <QVector>

#include <utility>

// Whether an item written on a page of its own comes back from the library's
// reader as it was handed over: the other side of ImpExp_XMLBuilder::isWritable,
// shared by the property test and the fuzz target.
namespace ItemReadBack
{

// XML 1.0's (fifth edition) name without a colon, from its productions: what
// a page must hold for any reader, although Qt's reader does not check the
// characters of attribute names.
inline bool isXmlNCName(const QString &name)
{
    static const char32_t starts[][2]
        = { { 'A', 'Z' },       { '_', '_' },       { 'a', 'z' },        { 0xC0, 0xD6 },
            { 0xD8, 0xF6 },     { 0xF8, 0x2FF },    { 0x370, 0x37D },    { 0x37F, 0x1FFF },
            { 0x200C, 0x200D }, { 0x2070, 0x218F }, { 0x2C00, 0x2FEF },  { 0x3001, 0xD7FF },
            { 0xF900, 0xFDCF }, { 0xFDF0, 0xFFFD }, { 0x10000, 0xEFFFF } };
    static const char32_t others[][2]
        = { { '-', '.' }, { '0', '9' }, { 0xB7, 0xB7 }, { 0x300, 0x36F }, { 0x203F, 0x2040 } };
    const auto in = [](char32_t c, const auto &ranges) {
        for (const auto &range : ranges) {
            if (c >= range[0] && c <= range[1])
                return true;
        }
        return false;
    };
    if (name.isEmpty())
        return false;
    for (int i = 0; i < name.size(); ++i) {
        const bool first = i == 0;
        char32_t c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name.at(i).unicode(), name.at(i + 1).unicode());
            ++i;
        } else if (QChar::isSurrogate(c)) {
            return false;
        }
        if (!(in(c, starts) || (!first && in(c, others))))
            return false;
    }
    return true;
}

// One item on a page of its own, read back by the library's reader.
class SingleItemPage
{
public:
    explicit SingleItemPage(const QString &pathTemplate)
        : pathTemplate(pathTemplate)
    {
    }

    // Whether @p item, written in an export of either application, comes
    // back from the page, and its names are XML names.
    bool comesBack(const ImpExp_Item &item) const
    {
        if (!isXmlNCName(item.getItemName()))
            return false;
        for (const auto &pair : item.getAttributes()) {
            if (!isXmlNCName(pair.first))
                return false;
        }
        for (const auto &pair : item.getItemElements()) {
            if (!isXmlNCName(pair.first))
                return false;
        }
        return readsBack(item, true) && readsBack(item, false);
    }

private:
    // Whether the reader gives @p item back (identifiers exactly, other values
    // as cleaned), and whether a reader looking for the page's root, its
    // application elements or the format's other item kinds finds what it
    // finds on a page whose item holds none of these names.
    bool readsBack(const ImpExp_Item &item, bool directory) const
    {
        {
            ImpExp_XMLBuilder builder(
                QStringLiteral("device"), QStringLiteral("export"), pathTemplate, 1,
                QDateTime::fromSecsSinceEpoch(0, Qt::UTC), 1, 0,
                directory ? QStringLiteral("VelDirectory") : QStringLiteral("Agenda"),
                QDateTime::fromSecsSinceEpoch(0));
            builder.putItem(item);
        }
        try {
            const QVector<ImpExp_Item> read = readAll(item.getItemName());
            if (read.size() != 1 || !(read.at(0) == expected(item)))
                return false;
            static const char *const formatNames[]
                = { "moxara",     "directory",   "agenda",        "contact",
                    "contactMap", "appointment", "appointmentMap" };
            for (const char *name : formatNames) {
                const QString formatName = QString::fromLatin1(name);
                const bool header = formatName == QLatin1String("moxara")
                    || formatName == QLatin1String(directory ? "directory" : "agenda");
                if (formatName != item.getItemName()
                    && readAll(formatName).size() != (header ? 1 : 0))
                    return false;
            }
            return true;
        } catch (const ImpExp_Exception &) {
            return false;
        }
    }

    QVector<ImpExp_Item> readAll(const QString &itemName) const
    {
        QVector<ImpExp_Item> read;
        ImpExp_XMLParser parser(pathTemplate);
        for (ImpExp_Item item(itemName); parser.getItem(item, true) && read.size() < 10;)
            read.append(std::exchange(item, ImpExp_Item(itemName)));
        return read;
    }

    static ImpExp_Item expected(const ImpExp_Item &item)
    {
        using namespace XmlText;
        ImpExp_Item expected(item.getItemName());
        for (const auto &pair : item.getAttributes()) {
            const bool identifier = pair.first == QLatin1String("duid")
                || pair.first == QLatin1String("puid")
                || pair.first == QLatin1String("lastModified");
            expected.addAttribute(
                pair.first, identifier ? pair.second : afterRoundTrip(pair.second, InAttribute));
        }
        for (const auto &pair : item.getItemElements())
            expected.addElement(pair.first, afterRoundTrip(pair.second, InText));
        return expected;
    }

    QString pathTemplate;
};

// Items the writer refuses for a reader other than this one or a place on
// the page other than this one, so that they may come back here: Qt 6.4's
// reader also takes an attribute name of exactly 4098 characters (though
// not one of 4097), Qt 5's does not; Qt 5's reader drops a U+FEFF that starts
// one of the 8 KiB blocks it reads, so a name or identifier holding one comes
// back only where it falls elsewhere.
inline bool comesBackOnlyHere(const ImpExp_Item &item)
{
    const QChar mark(0xFEFF);
    const auto identifier = [](const QString &name) {
        return name == QLatin1String("duid") || name == QLatin1String("puid")
            || name == QLatin1String("lastModified");
    };
    if (item.getItemName().contains(mark))
        return true;
    for (const auto &pair : item.getAttributes()) {
        if (pair.first.size() == 4098 && QT_VERSION >= QT_VERSION_CHECK(6, 0, 0))
            return true;
        if (pair.first.contains(mark) || (identifier(pair.first) && pair.second.contains(mark)))
            return true;
    }
    for (const auto &pair : item.getItemElements()) {
        if (pair.first.contains(mark))
            return true;
    }
    return false;
}

} // namespace ItemReadBack

#endif // ITEMREADBACK_H
