#include <Contact_Item.h>

#include "model/ImpExp_Guard.h"

ContactMap_Item::ContactMap_Item(const QString &duid, const QString &puid)
try : ImpExp_Item(QStringLiteral("contactMap"), duid, puid, QDateTime()) {
} catch (...) {
    ImpExp_Guard<ImpExp_ErrorException>::passOn();
}

ContactMap_Item::~ContactMap_Item() = default;
