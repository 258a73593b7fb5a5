#ifndef VELXML_LOSSES_H
#define VELXML_LOSSES_H

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Bridge
{

// What a conversion could not carry: how many of each property, in the order
// the properties were first met ("ADR 2, BDAY 1").
class Losses
{
public:
    void add(const QString &property, int count = 1)
    {
        if (count <= 0)
            return;
        for (auto &entry : counts) {
            if (entry.first == property) {
                entry.second += count;
                return;
            }
        }
        counts.append(qMakePair(property, count));
    }

    void add(const Losses &other)
    {
        for (const auto &entry : other.counts)
            add(entry.first, entry.second);
    }

    bool isEmpty() const { return counts.isEmpty(); }

    QString toString() const
    {
        QStringList parts;
        for (const auto &entry : counts)
            parts << QStringLiteral("%1 %2").arg(entry.first).arg(entry.second);
        return parts.join(QLatin1String(", "));
    }

private:
    QVector<QPair<QString, int>> counts;
};

} // namespace Bridge

#endif // VELXML_LOSSES_H
