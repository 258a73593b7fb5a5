#ifndef IMPEXP_EXCERPT_H
#define IMPEXP_EXCERPT_H

#include <QString>

// A value read from a page, shortened for a message or a table cell: a page
// may hold values of megabytes, and a message that quoted them in full, once
// per page, would cost gigabytes.
namespace ImpExp_Excerpt
{

// Characters of a value a message shows at the most.
constexpr int maxShown = 60;

// The first maxShown characters of @p text; a cut never falls between the
// two halves of a surrogate pair.
inline QString head(const QString &text)
{
    const int keep = text.at(maxShown - 1).isHighSurrogate() ? maxShown - 1 : maxShown;
    return text.left(keep);
}

// @p text, or when longer than maxShown its head, "..." and its length.
inline QString cut(const QString &text)
{
    if (text.size() <= maxShown)
        return text;
    return head(text) + QStringLiteral("... (%1 characters)").arg(text.size());
}

// @p text in double quotes, cut like cut() (the length after the quotes).
inline QString quoted(const QString &text)
{
    if (text.size() <= maxShown)
        return QLatin1Char('"') + text + QLatin1Char('"');
    return QLatin1Char('"') + head(text) + QStringLiteral("...\" (%1 characters)").arg(text.size());
}

} // namespace ImpExp_Excerpt

#endif // IMPEXP_EXCERPT_H
