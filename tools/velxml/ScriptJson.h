#ifndef VELXML_SCRIPTJSON_H
#define VELXML_SCRIPTJSON_H

#include <QByteArray>
#include <QString>

// JSON text for a <script type="application/json"> block of an HTML page.
// Besides JSON's own escapes, "<", ">" and "&" go out as \u escapes, so no
// value can end the script element or start markup, whatever it holds; the
// page's JSON.parse() gives the values back unchanged.
class ScriptJson
{
public:
    ScriptJson &string(const QString &text);
    // A null text becomes null, an empty one "".
    ScriptJson &stringOrNull(const QString &text);
    ScriptJson &number(qint64 value);
    ScriptJson &boolean(bool value);
    ScriptJson &null();
    // Object keys are the page's own names: plain ASCII, written as they are.
    ScriptJson &key(const char *name);
    ScriptJson &beginObject();
    ScriptJson &endObject();
    ScriptJson &beginArray();
    ScriptJson &endArray();

    const QByteArray &text() const { return json; }

private:
    void separate();

    QByteArray json;
    // Whether the next value in the current array or object needs a comma.
    bool needsComma = false;
};

#endif // VELXML_SCRIPTJSON_H
