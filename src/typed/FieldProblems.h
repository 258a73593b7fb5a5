#ifndef FIELDPROBLEMS_H
#define FIELDPROBLEMS_H

#include <FieldProblem.h>

#include <QList>
#include <QString>

// The problem list of a fromItem() call: the caller's list, or none, in which
// case nothing is built for it.
class FieldProblems
{
public:
    explicit FieldProblems(QList<FieldProblem> *list)
        : list(list)
    {
    }

    void add(const QString &field, const QString &text, const char *why)
    {
        if (list)
            list->append(FieldProblem { field, text, QString::fromLatin1(why) });
    }

private:
    QList<FieldProblem> *list;
};

#endif // FIELDPROBLEMS_H
