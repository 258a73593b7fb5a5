#ifndef VELXML_TEXTTABLE_H
#define VELXML_TEXTTABLE_H

#include <QStringList>
#include <QTextStream>
#include <QVector>

// Rows printed in left-aligned columns, two spaces apart.
inline void printTable(QTextStream &out, const QVector<QStringList> &rows,
                       const QString &indent = QString())
{
    QVector<int> widths;
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i) {
            if (i >= widths.size())
                widths.append(0);
            widths[i] = qMax(widths.at(i), row.at(i).size());
        }
    }
    for (const QStringList &row : rows) {
        QString text = indent;
        for (int i = 0; i < row.size(); ++i)
            text += i + 1 < row.size() ? row.at(i).leftJustified(widths.at(i) + 2) : row.at(i);
        out << text << '\n';
    }
}

#endif // VELXML_TEXTTABLE_H
