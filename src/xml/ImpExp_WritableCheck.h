#ifndef IMPEXP_WRITABLECHECK_H
#define IMPEXP_WRITABLECHECK_H

#include <ImpExp_Item.h>

#include <QString>
#include <QStringView>

// Whether the builder writes an item so that a reader takes it back as it
// was handed over (values other than identifiers after the writer's
// documented cleaning), and if not, why. Behind ImpExp_XMLBuilder::isWritable.
class ImpExp_WritableCheck
{
public:
    // Whether @p item is not writable; then @p reason, when not null, says
    // why (the first reason found).
    // Allocates nothing for a usual item (ASCII names, up to 32 attributes,
    // values far below the run limit) that passes.
    static bool refuses(const ImpExp_Item &item, QString *reason);

    // The bytes @p text takes on a page once cleaned, escaped the way the
    // writer escapes an attribute value (@p attribute) or an element's text,
    // and encoded in UTF-8.
    static qint64 writtenBytes(QStringView text, bool attribute);

private:
    static bool refusesName(const QString &name, const char *what, bool attribute, QString *reason);
    static bool refusesItemName(const QString &name, QString *reason);
    static bool refusesAttributes(const ImpExp_PairList &attributes, QString *reason);
    static bool refusesElementName(const QString &name, const QString &itemName, QString *reason);
    static bool refusesRuns(const ImpExp_Item &item, QString *reason);
    static const QString *repeatedName(const ImpExp_PairList &attributes);
    static QString quoted(const QString &name);
};

#endif // IMPEXP_WRITABLECHECK_H
