#ifndef SAMPLESET_H
#define SAMPLESET_H

#include <Appointment_Item.h>
#include <Contact_Item.h>
#include <ImpExp_XMLBuilder.h>

#include <QDir>
#include <QFile>

// A full export written by the library, two items a page, as name_%1.xml: "dir" holds five
// contacts with markup, a tab and non-ASCII names, then a map entry (dir_00 to dir_02); "agenda"
// three appointments, one read-only (agenda_00, agenda_01); "empty" nothing; "many" 3000 map
// entries, a hundred a page. Returns the path template. An incremental export from
// @p reference on (items changed on 1 March at 00:00, 01:00, ...) when it is given.
inline QString writeSampleSet(const QString &directory, const QString &name,
                              const QDateTime &reference = QDateTime::fromSecsSinceEpoch(0))
{
    const auto utc
        = [](int day, int hour) { return QDateTime(QDate(2026, 3, day), QTime(hour, 0), Qt::UTC); };
    const QString pathTemplate = directory + QStringLiteral("/%1_%2.xml").arg(name, "%1");
    const bool agenda = name == QLatin1String("agenda"), many = name == QLatin1String("many");
    const int count = agenda ? 3 : name == QLatin1String("dir") ? 6 : many ? 3000 : 0;
    ImpExp_XMLBuilder builder(QStringLiteral("dev-1"), QStringLiteral("exp-1"), pathTemplate,
                              many ? 100 : 2, utc(2, 8), count, count,
                              agenda ? QStringLiteral("Agenda") : QStringLiteral("VelDirectory"),
                              reference);
    const char *names[] = { "Doe", "Ångström", "Παπαδοπούλου", "O'Brien & Sons", "Tab\there" };
    for (int i = 0; i < count; ++i) {
        if (agenda)
            builder.putItem(Appointment_Item(
                QStringLiteral("a%1").arg(i + 1), {}, utc(1, i), QStringLiteral("Meeting"),
                QStringLiteral("Room \"%1\"").arg(i), utc(3 + i, 9), utc(3 + i, 10),
                QStringLiteral("WEEKLY"), QDate(2026, 6, 30), {}, i == 1, 15, i == 2));
        else if (many || i == 5)
            builder.putItem(ContactMap_Item(QString::number(i), QStringLiteral("p1")));
        else
            builder.putItem(Contact_Item(QStringLiteral("c%1").arg(i + 1), {}, utc(1, i),
                                         QStringLiteral("First"), QString::fromUtf8(names[i]), {},
                                         {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}));
    }
    return pathTemplate;
}

inline bool writeFile(const QString &fileName, const QByteArray &content)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(content) == content.size();
}

// Damages page file @p file in @p directory: replaces the text @p from by @p to; or, with @p from
// "remove", removes the file, "folder" puts a folder in its place, "empty" empties it, "copy"
// copies it to @p to.
// False when the damage could not be done (the text is not in the file).
inline bool damageSampleSet(const QString &directory, const QString &file, const QByteArray &from,
                            const QByteArray &to)
{
    const QString fileName = directory + QLatin1Char('/') + file;
    if (from == "remove" || from == "folder")
        return QFile::remove(fileName) && (from == "remove" || QDir(directory).mkdir(file));
    if (from == "empty")
        return QFile::exists(fileName) && writeFile(fileName, QByteArray());
    if (from == "copy")
        return QFile::copy(fileName, directory + QLatin1Char('/') + QString::fromLatin1(to));
    QFile page(fileName);
    QByteArray content = page.open(QIODevice::ReadOnly) ? page.readAll() : QByteArray();
    page.close();
    return content.contains(from) && writeFile(fileName, content.replace(from, to));
}

#endif // SAMPLESET_H
