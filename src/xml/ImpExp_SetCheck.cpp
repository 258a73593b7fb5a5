#include <ImpExp_SetCheck.h>

#include "model/ImpExp_Guard.h"
#include "xml/ImpExp_Format.h"
#include "xml/ImpExp_SetChecker.h"

class ImpExp_SetCheck::Private : public ImpExp_SetChecker
{
public:
    using ImpExp_SetChecker::ImpExp_SetChecker;
};

ImpExp_SetCheck::ImpExp_SetCheck(const QString &pathTemplate)
try {
    if (!pathTemplate.contains(QLatin1String("%1")))
        throw ImpExp_FatalException(QStringLiteral("Bad path"));
    d.reset(new Private(pathTemplate));
} catch (...) {
    ImpExp_Guard<ImpExp_FatalException>::passOn();
}

ImpExp_SetCheck::~ImpExp_SetCheck() = default;

void ImpExp_SetCheck::run()
{
    while (d->checkNextPage()) { }
}

bool ImpExp_SetCheck::checkNextPage()
{
    return d->checkNextPage();
}

const QList<ImpExp_SetCheck::Page> &ImpExp_SetCheck::pages() const
{
    return d->pages;
}

const QList<ImpExp_SetCheck::Problem> &ImpExp_SetCheck::problems() const
{
    return d->problems;
}

qint64 ImpExp_SetCheck::problemCount() const
{
    return d->problemCount;
}

qint64 ImpExp_SetCheck::itemCount() const
{
    return d->itemCount;
}

int ImpExp_SetCheck::announcedPages() const
{
    return d->announced >= 0 ? d->announced : d->pages.size();
}

bool ImpExp_SetCheck::isComplete() const
{
    return !d->broken;
}

bool ImpExp_SetCheck::breaksSet(int problemIndex) const
{
    return problemIndex >= 0 && problemIndex < d->breaking.size() && d->breaking.at(problemIndex);
}

bool ImpExp_SetCheck::isClean() const
{
    return d->problemCount == 0;
}

int ImpExp_SetCheck::problemLimit() const
{
    return d->problemLimit;
}

void ImpExp_SetCheck::setProblemLimit(int limit)
{
    d->problemLimit = qMax(0, limit);
    // Problems kept already beyond the new limit go; they stay counted.
    while (d->problems.size() > d->problemLimit) {
        d->problems.removeLast();
        d->breaking.removeLast();
    }
}

bool ImpExp_SetCheck::findsDuplicateDuids() const
{
    return d->findsDuplicates;
}

void ImpExp_SetCheck::setFindsDuplicateDuids(bool find)
{
    d->findsDuplicates = find;
}

bool ImpExp_SetCheck::belongsTo(const QString &itemName, const QString &application)
{
    return ImpExp_Format::belongsTo(itemName, application);
}
