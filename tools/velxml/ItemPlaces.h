#ifndef VELXML_ITEMPLACES_H
#define VELXML_ITEMPLACES_H

#include <ImpExp_SetCheck.h>

#include <QString>
#include <QVector>

// Where each item the library's reader hands out stands: its page file and
// its position on the page, all kinds counted, as the set check numbers
// items. The reader reads one kind across pages without saying where a page
// ends; the check's counts tell. Only a page holding several kinds is read
// once more, for the order of its items.
class ItemPlaces
{
public:
    ItemPlaces(const QList<ImpExp_SetCheck::Page> &pages, const QString &kind);

    // The index into the pages of the page holding the next item, with the
    // item's position on it in @p position; -1 (both) past the items the
    // check counted on the pages a reader reaches.
    int next(int *position);

private:
    bool enterNextPage();

    const QList<ImpExp_SetCheck::Page> &pages;
    QString kind;
    int page = -1;
    QVector<int> positions; // of this kind's items on the current page
    int used = 0;
};

#endif // VELXML_ITEMPLACES_H
