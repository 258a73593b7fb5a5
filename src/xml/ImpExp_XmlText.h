#ifndef IMPEXP_XMLTEXT_H
#define IMPEXP_XMLTEXT_H

#include <QString>
#include <QStringView>

// Keeps written text within what XML 1.0 can carry (its Char production).
// QXmlStreamWriter drops control characters silently, and a lone surrogate
// breaks its encoder for everything written after it, on later pages too.
class ImpExp_XmlText
{
public:
    // Whether XML 1.0 can carry every character of @p text.
    static bool isClean(QStringView text);

    // @p text with every character XML 1.0 cannot carry (controls other than
    // tab, line feed and carriage return; U+FFFE, U+FFFF; unpaired
    // surrogates) replaced by U+FFFD. Same length as @p text.
    static QString cleaned(QStringView text);

    // @p text itself when it is clean (nothing copied), otherwise its
    // cleaned() copy, kept in @p scratch.
    static const QString &clean(const QString &text, QString *scratch)
    {
        if (isClean(text))
            return text;
        *scratch = cleaned(text);
        return *scratch;
    }
};

#endif // IMPEXP_XMLTEXT_H
