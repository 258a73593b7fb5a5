#ifndef IMPEXP_QTCOMPAT_H
#define IMPEXP_QTCOMPAT_H

#include <QTextStream>
#include <QXmlStreamReader>
#include <QtGlobal>

// The few places where the Qt 5 and Qt 6 APIs this code uses differ, each
// spelt once for both. Everything else uses the API the two share.
class ImpExp_QtCompat
{
public:
    // What QXmlStreamReader's name(), value() and text() return: a
    // QStringRef in Qt 5, a QStringView in Qt 6. Both compare with QString
    // and QLatin1String and give their text with toString().
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    using XmlStringRef = QStringRef;
#else
    using XmlStringRef = QStringView;
#endif

    // Makes @p stream write UTF-8 whatever the locale (Qt 5's default is the
    // locale's codec, Qt 6's is UTF-8 already).
    static void setUtf8(QTextStream &stream)
    {
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        stream.setCodec("UTF-8");
#else
        stream.setEncoding(QStringConverter::Utf8);
#endif
    }
};

#endif // IMPEXP_QTCOMPAT_H
