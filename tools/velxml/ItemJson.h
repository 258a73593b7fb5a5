#ifndef VELXML_ITEMJSON_H
#define VELXML_ITEMJSON_H

#include <ImpExp_Item.h>

#include <QByteArray>
#include <QString>

// One item as one line of JSON:
// {"name":"contact","attributes":[["duid","17"]],"elements":[["lastName","Doe"]]}
// Keys come in this order and pairs in the item's order, so equal items give
// equal lines; a read-only item ends with ,"readOnly":true.
QString itemToJson(const ImpExp_Item &item);

// The reverse, with an optional "readOnly": true|false. Returns false and
// says why in @p error when @p line is not such an object.
bool itemFromJson(const QByteArray &line, ImpExp_Item *item, QString *error);

#endif // VELXML_ITEMJSON_H
