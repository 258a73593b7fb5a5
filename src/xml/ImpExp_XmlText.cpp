#include "xml/ImpExp_XmlText.h"

namespace
{

// Code units taken by the character at @p p if XML 1.0 can carry it (2 for a
// surrogate pair), 0 if it cannot.
inline int allowedLength(const QChar *p, const QChar *end)
{
    const char16_t c = p->unicode();
    if (c >= 0x20 && c < 0xD800)
        return 1;
    if (c < 0x20)
        return c == u'\t' || c == u'\n' || c == u'\r' ? 1 : 0;
    if (c < 0xDC00)
        return p + 1 < end && QChar::isLowSurrogate(p[1].unicode()) ? 2 : 0;
    if (c < 0xE000)
        return 0; // low surrogate without its high half
    return c < 0xFFFE ? 1 : 0;
}

} // namespace

bool ImpExp_XmlText::isClean(QStringView text)
{
    // Nearly every text is made of U+0020 to U+D7FF only. One pass without
    // branches, which the compiler vectorises, settles that; the exact check
    // below runs only for the rest.
    const char16_t *units = reinterpret_cast<const char16_t *>(text.utf16());
    char16_t highest = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        highest = qMax(highest, char16_t(units[i] - 0x20));
    if (highest < 0xD800 - 0x20)
        return true;

    const QChar *p = text.data();
    const QChar *const end = p + text.size();
    while (p < end) {
        const int length = allowedLength(p, end);
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

QString ImpExp_XmlText::cleaned(QStringView text)
{
    QString result = text.toString();
    QChar *p = result.data();
    QChar *const end = p + result.size();
    while (p < end) {
        const int length = allowedLength(p, end);
        if (length == 0) {
            *p++ = QChar(QChar::ReplacementCharacter);
        } else {
            p += length;
        }
    }
    return result;
}
