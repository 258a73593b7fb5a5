#ifndef VELXML_PAGETRACKER_H
#define VELXML_PAGETRACKER_H

#include <ImpExp_SetCheck.h>

// Follows the pages while the library's reader hands out the items of one
// kind, which it does across page files without saying where one ends.
class PageTracker
{
public:
    PageTracker(const QList<ImpExp_SetCheck::Page> &pages, const QString &kind);
    // Index into the pages of the page holding the next item, moving past
    // pages whose items of this kind are used up; -1 past the last one.
    int next();

private:
    const QList<ImpExp_SetCheck::Page> &pages;
    QString kind;
    int page = -1;
    int left = 0;
};

#endif // VELXML_PAGETRACKER_H
