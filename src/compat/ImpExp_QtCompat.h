#ifndef IMPEXP_QTCOMPAT_H
#define IMPEXP_QTCOMPAT_H

#include <QTextStream>
#include <QtGlobal>

// The few places where the Qt 5 and Qt 6 APIs this code uses differ, each
// spelt once for both. Everything else uses the API the two share:
// QDateTime::fromSecsSinceEpoch (Qt 6 has no fromTime_t), QRegularExpression,
// QStringView, and `auto` or toString() for what QXmlStreamReader's name(),
// value() and text() return (QStringRef in Qt 5, QStringView in Qt 6).
class ImpExp_QtCompat
{
public:
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
