// Exports two contacts, reads them back, and catches an exception thrown
// inside the library: proves headers, exported symbols and type identity.
#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

int main()
{
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("dir_%1.xml"));
    {
        ImpExp_XMLBuilder builder(QStringLiteral("dev"), QStringLiteral("exp"), pathTemplate, 1,
                                  QDateTime::fromSecsSinceEpoch(0, Qt::UTC), 2, 0,
                                  QStringLiteral("VelDirectory"),
                                  QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
        for (const char *duid : { "1", "2" })
            builder.putItem(Contact_Item(
                QString::fromLatin1(duid), QString(), QDateTime(), QStringLiteral("Jane"),
                QStringLiteral("Doe"), QString(), QString(), QString(), QString(), QString(),
                QByteArray(), QString(), QString(), QString(), QString(), QString(), QString()));
    }
    ImpExp_XMLParser parser(pathTemplate);
    int count = 0;
    for (;;) {
        ImpExp_Item contact(QStringLiteral("contact"));
        if (!parser.getItem(contact, true))
            break;
        if (contact.getElement(QStringLiteral("lastName")) != QLatin1String("Doe"))
            return 1;
        ++count;
    }
    if (count != 2) {
        std::fprintf(stderr, "read %d contacts, expected 2\n", count);
        return 1;
    }
    try {
        ContactMap_Item(QString(), QString());
    } catch (const ImpExp_ErrorException &e) {
        std::printf("consumer ok: %d contacts, caught \"%s\"\n", count, e.what());
        return 0;
    }
    return 1;
}
