#ifndef XMLTEXT_H
#define XMLTEXT_H

#include <QChar>
#include <QString>

// What an export followed by an import makes of a value: every UTF-16 unit
// that is not an XML 1.0 character (controls other than tab, line feed and
// carriage return, U+FFFE, U+FFFF, a surrogate without its partner) comes back
// as U+FFFD; everything else comes back unchanged, except that line breaks in
// an element's text are written as they are, so the reader's end-of-line
// handling turns CR LF and a lone CR into LF. Attribute values carry CR as a
// character reference and keep it.
namespace XmlText
{

inline bool isXmlChar(char16_t unit)
{
    return unit == 0x9 || unit == 0xA || unit == 0xD || (unit >= 0x20 && unit <= 0xD7FF)
        || (unit >= 0xE000 && unit <= 0xFFFD);
}

enum Place { InAttribute, InText };

inline QString afterRoundTrip(const QString &value, Place place)
{
    QString result = value;
    if (place == InText && result.contains(QLatin1Char('\r'))) {
        result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    const int size = result.size();
    for (int i = 0; i < size; ++i) {
        const char16_t unit = result.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < size
            && QChar::isLowSurrogate(result.at(i + 1).unicode())) {
            ++i;
            continue;
        }
        if (!isXmlChar(unit))
            result[i] = QChar(QChar::ReplacementCharacter);
    }
    return result;
}

} // namespace XmlText

#endif // XMLTEXT_H
