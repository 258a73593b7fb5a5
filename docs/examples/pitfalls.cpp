// The pitfalls of the guide, each shown as it behaves. Exits 1 when one of
// them behaves otherwise.

#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>
#include <ImpExp_XMLParser.h>

#include <QTemporaryDir>

namespace
{

//! [by reference]
// A builder (and a reader) goes by reference: a copy would start the export
// over at page 00 and write over the pages already written.
void putAll(ImpExp_XMLBuilder &builder, const QList<ImpExp_Item> &items)
{
    for (const ImpExp_Item &item : items)
        builder.putItem(item);
}
//! [by reference]

ImpExp_Item contact(const QString &duid, const QString &lastName)
{
    ContactFields f;
    f.lastName = lastName;
    return Contact_Item(duid, QString(), QDateTime(), f);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString pathTemplate = dir.filePath(QStringLiteral("dir_%1.xml"));
    int failures = 0;

    //! [names refused]
    ImpExp_Item odd(QStringLiteral("contact"), QStringLiteral("3"), QString(), QDateTime());
    odd.addElement(QStringLiteral("nick name"), QStringLiteral("Jo"));
    QString reason;
    if (!ImpExp_XMLBuilder::isWritable(odd, &reason)) // putItem() would write it unchanged
        qInfo("not exported: %s",
              qPrintable(reason)); // element name "nick name" is not an XML name
    //! [names refused]
    failures += ImpExp_XMLBuilder::isWritable(odd);

    ImpExp_XMLBuilder builder(QStringLiteral("device-1"), QStringLiteral("export-4"), pathTemplate,
                              10, QDateTime::fromSecsSinceEpoch(1780000000, Qt::UTC), 2, 0,
                              QStringLiteral("VelDirectory"),
                              QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
    putAll(builder,
           { contact(QStringLiteral("1"), QStringLiteral("Doe")),
             contact(QStringLiteral("2"), QStringLiteral("Bell\u0007")) });
    builder.closeBuilder();

    //! [getItem appends]
    ImpExp_XMLParser reader(pathTemplate);
    ImpExp_Item reused(QStringLiteral("contact"));
    reader.getItem(reused, true);
    reader.getItem(reused, true); // appends: the record now holds both contacts' pairs
    // getAttribute() finds the first contact's duid, fromItem() its last name
    // and reports the second one as repeated.
    QList<FieldProblem> problems;
    const ContactFields mixed = ContactFields::fromItem(reused, &problems);
    //! [getItem appends]
    failures += reused.getAttribute(QStringLiteral("duid")) != QLatin1String("1");
    failures += mixed.lastName != QLatin1String("Doe") || problems.size() != 1;

    //! [values replaced]
    // A character that XML cannot carry (here the control character U+0007)
    // is written as U+FFFD: the second last name comes back as "Bell\uFFFD".
    //! [values replaced]
    ImpExp_XMLParser again(pathTemplate);
    ImpExp_Item first(QStringLiteral("contact")), last(QStringLiteral("contact"));
    again.getItem(first, true);
    again.getItem(last, true);
    failures += last.getElement(QStringLiteral("lastName")) != QStringLiteral("Bell\uFFFD");
    return failures == 0 ? 0 : 1;
}
