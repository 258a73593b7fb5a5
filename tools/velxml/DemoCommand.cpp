#include "Commands.h"

#include <Contact_Item.h>

#include <QTextStream>

// Placeholder main job until the exporting demo exists: builds and prints a
// few item records.
int runDemo(const QStringList &)
{
    QTextStream out(stdout);
    ImpExp_Item contact(QStringLiteral("contact"), QStringLiteral("17"), QString(),
                        QDateTime(QDate(2026, 1, 31), QTime(23, 59, 59), Qt::UTC));
    contact.addElement(QStringLiteral("lastName"), QStringLiteral("Doe"));
    contact.addElement(QStringLiteral("firstName"), QStringLiteral("Jane"));
    out << contact.toString() << '\n';
    return ExitOk;
}
