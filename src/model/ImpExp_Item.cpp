#include <ImpExp_Item.h>

#include "model/ImpExp_Guard.h"
#include "model/ImpExp_Timestamp.h"

namespace
{

QString firstValue(const ImpExp_PairList &pairs, const QString &name)
{
    for (const auto &pair : pairs) {
        if (pair.first == name)
            return pair.second;
    }
    return QString();
}

bool samePairs(const ImpExp_PairList &a, const ImpExp_PairList &b)
{
    // QPair's operator== compares names and values; QList's compares sizes
    // first, then position by position.
    return a == b;
}

void appendPairs(QString &text, const ImpExp_PairList &pairs)
{
    for (const auto &pair : pairs)
        text += QStringLiteral("%1=<%2> ").arg(pair.first, pair.second);
}

} // namespace

ImpExp_Item::ImpExp_Item(const QString &itemName)
    : itemName(itemName)
    , readOnly(false)
{
}

ImpExp_Item::ImpExp_Item(const QString &itemName, const QString &duid, const QString &puid,
                         const QDateTime &lastModified)
try : itemName(itemName), readOnly(false) {
    if (duid.isEmpty())
        throw ImpExp_ErrorException(QStringLiteral("Empty duid for Item"));
    attributes.reserve(3);
    attributes.append(qMakePair(QStringLiteral("duid"), duid));
    if (!puid.isNull())
        attributes.append(qMakePair(QStringLiteral("puid"), puid));
    if (!lastModified.isNull())
        attributes.append(
            qMakePair(QStringLiteral("lastModified"), ImpExp_Timestamp::format(lastModified)));
} catch (...) {
    ImpExp_Guard<ImpExp_ErrorException>::passOn();
}

ImpExp_Item::~ImpExp_Item() = default;

void ImpExp_Item::addAttribute(const QString &name, const QString &value)
{
    attributes.append(qMakePair(name, value));
}

void ImpExp_Item::addElement(const QString &name, const QString &value)
{
    elements.append(qMakePair(name, value));
}

QString ImpExp_Item::getAttribute(const QString &name) const
{
    return firstValue(attributes, name);
}

QString ImpExp_Item::getElement(const QString &name) const
{
    return firstValue(elements, name);
}

QDateTime ImpExp_Item::getLastModificationDate() const
try {
    const QString text = getAttribute(QStringLiteral("lastModified"));
    if (text.isEmpty())
        return QDateTime();
    const QDateTime local = ImpExp_Timestamp::toLocal(text);
    if (!local.isValid())
        throw ImpExp_ErrorException(QStringLiteral("invalid LastModificationDate"));
    return local;
} catch (...) {
    ImpExp_Guard<ImpExp_ErrorException>::passOn();
}

QString ImpExp_Item::toString() const
{
    QString text = QStringLiteral("name=<%1>").arg(itemName);
    text += QLatin1String("\n  Attributes: ");
    appendPairs(text, attributes);
    text += QLatin1String("\n  Elements: ");
    appendPairs(text, elements);
    return text;
}

bool ImpExp_Item::operator==(const ImpExp_Item &other) const
{
    return samePairs(attributes, other.attributes) && samePairs(elements, other.elements)
        && itemName == other.itemName;
}
