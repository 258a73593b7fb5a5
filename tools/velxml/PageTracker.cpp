#include "PageTracker.h"

PageTracker::PageTracker(const QList<ImpExp_SetCheck::Page> &pages, const QString &kind)
    : pages(pages)
    , kind(kind)
{
}

int PageTracker::next()
{
    while (left == 0) {
        if (++page >= pages.size()) {
            page = pages.size();
            return -1;
        }
        for (const ImpExp_SetCheck::KindCount &count : pages.at(page).kinds) {
            if (count.itemName == kind)
                left = count.items;
        }
    }
    --left;
    return page;
}
