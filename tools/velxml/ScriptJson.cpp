#include "ScriptJson.h"

void ScriptJson::separate()
{
    if (needsComma)
        json += ',';
    needsComma = true;
}

ScriptJson &ScriptJson::string(const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    separate();
    json += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (c == '\n') {
            json += "\\n";
        } else if (byte < 0x20 || c == '<' || c == '>' || c == '&') {
            json += "\\u00";
            json += hex[byte >> 4];
            json += hex[byte & 0xf];
        } else {
            json += c;
        }
    }
    json += '"';
    return *this;
}

ScriptJson &ScriptJson::stringOrNull(const QString &text)
{
    return text.isNull() ? null() : string(text);
}

ScriptJson &ScriptJson::number(qint64 value)
{
    separate();
    json += QByteArray::number(value);
    return *this;
}

ScriptJson &ScriptJson::boolean(bool value)
{
    separate();
    json += value ? "true" : "false";
    return *this;
}

ScriptJson &ScriptJson::null()
{
    separate();
    json += "null";
    return *this;
}

ScriptJson &ScriptJson::key(const char *name)
{
    separate();
    json += '"';
    json += name;
    json += "\":";
    needsComma = false;
    return *this;
}

ScriptJson &ScriptJson::beginObject()
{
    separate();
    json += '{';
    needsComma = false;
    return *this;
}

ScriptJson &ScriptJson::endObject()
{
    json += '}';
    needsComma = true;
    return *this;
}

ScriptJson &ScriptJson::beginArray()
{
    separate();
    json += '[';
    needsComma = false;
    return *this;
}

ScriptJson &ScriptJson::endArray()
{
    json += ']';
    needsComma = true;
    return *this;
}
