#ifndef IMPEXP_XMLNAME_H
#define IMPEXP_XMLNAME_H

#include <QStringView>

// Which names XML 1.0 (fifth edition) and its namespaces accept.
class ImpExp_XmlName
{
public:
    // Whether @p name is an XML Name without a colon (an NCName): what may
    // follow a prefix, or stand alone as an attribute's name. Empty names,
    // unpaired surrogates and colons are refused. @p allAscii, when given, says
    // whether every character was ASCII.
    static bool isNCName(QStringView name, bool *allAscii = nullptr);

    // Whether Qt's XML reader takes @p name as an element's (or, with
    // @p attribute, an attribute's) name. Qt 5 checks names against the
    // character tables of XML 1.0's fourth edition, which leave out some
    // later letters and everything beyond U+FFFF; the fifth edition's names
    // made of ASCII are the same in both. Allocates: ask for non-ASCII names only.
    static bool readerTakes(QStringView name, bool attribute);
};

#endif // IMPEXP_XMLNAME_H
