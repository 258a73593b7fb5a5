#include "ItemJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{

void appendString(QString &json, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    json += QLatin1Char('"');
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (code == '"' || code == '\\') {
            json += QLatin1Char('\\');
            json += c;
        } else if (code == '\n') {
            json += QLatin1String("\\n");
        } else if (code == '\r') {
            json += QLatin1String("\\r");
        } else if (code == '\t') {
            json += QLatin1String("\\t");
        } else if (code < 0x20) {
            json += QLatin1String("\\u00");
            json += QLatin1Char(hex[code >> 4]);
            json += QLatin1Char(hex[code & 0xf]);
        } else {
            json += c;
        }
    }
    json += QLatin1Char('"');
}

void appendPairs(QString &json, const ImpExp_PairList &pairs)
{
    json += QLatin1Char('[');
    for (int i = 0; i < pairs.size(); ++i) {
        if (i > 0)
            json += QLatin1Char(',');
        json += QLatin1Char('[');
        appendString(json, pairs.at(i).first);
        json += QLatin1Char(',');
        appendString(json, pairs.at(i).second);
        json += QLatin1Char(']');
    }
    json += QLatin1Char(']');
}

// Reads "attributes" or "elements": an array of [name, value] string pairs.
bool readPairs(const QJsonObject &object, QLatin1String key, ImpExp_PairList *pairs, QString *error)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return true;
    if (!value.isArray()) {
        *error = QStringLiteral("\"%1\" is not an array").arg(key);
        return false;
    }
    const QJsonArray array = value.toArray();
    for (int i = 0; i < array.size(); ++i) {
        const QJsonArray pair = array.at(i).toArray();
        if (pair.size() != 2 || !pair.at(0).isString() || !pair.at(1).isString()) {
            *error = QStringLiteral("\"%1\"[%2] is not a [name, value] pair of strings")
                         .arg(key)
                         .arg(i);
            return false;
        }
        pairs->append(qMakePair(pair.at(0).toString(), pair.at(1).toString()));
    }
    return true;
}

} // namespace

QString itemToJson(const ImpExp_Item &item)
{
    QString json;
    json.reserve(64);
    json += QLatin1String("{\"name\":");
    appendString(json, item.getItemName());
    json += QLatin1String(",\"attributes\":");
    appendPairs(json, item.getAttributes());
    json += QLatin1String(",\"elements\":");
    appendPairs(json, item.getItemElements());
    if (item.getReadOnlyItem())
        json += QLatin1String(",\"readOnly\":true");
    json += QLatin1Char('}');
    return json;
}

bool itemFromJson(const QByteArray &line, ImpExp_Item *item, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not JSON: %1 at offset %2")
                     .arg(parseError.errorString())
                     .arg(parseError.offset);
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("not a JSON object");
        return false;
    }
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString key = it.key();
        if (key != QLatin1String("name") && key != QLatin1String("attributes")
            && key != QLatin1String("elements") && key != QLatin1String("readOnly")) {
            *error = QStringLiteral("unknown field \"%1\"").arg(key);
            return false;
        }
    }
    const QString name = object.value(QLatin1String("name")).toString();
    if (name.isEmpty()) {
        *error = QStringLiteral("no \"name\" string");
        return false;
    }
    const QJsonValue readOnly = object.value(QLatin1String("readOnly"));
    if (!readOnly.isUndefined() && !readOnly.isBool()) {
        *error = QStringLiteral("\"readOnly\" is not true or false");
        return false;
    }
    ImpExp_PairList attributes;
    ImpExp_PairList elements;
    if (!readPairs(object, QLatin1String("attributes"), &attributes, error)
        || !readPairs(object, QLatin1String("elements"), &elements, error))
        return false;
    *item = ImpExp_Item(name);
    for (const auto &pair : qAsConst(attributes))
        item->addAttribute(pair.first, pair.second);
    for (const auto &pair : qAsConst(elements))
        item->addElement(pair.first, pair.second);
    item->setReadOnlyItem(readOnly.toBool());
    return true;
}
