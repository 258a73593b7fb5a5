#include "ItemPlaces.h"

#include <QFile>
#include <QXmlStreamReader>

namespace
{

int itemsOfKind(const ImpExp_SetCheck::Page &page, const QString &kind)
{
    for (const ImpExp_SetCheck::KindCount &count : page.kinds) {
        if (count.itemName == kind)
            return count.items;
    }
    return 0;
}

// Positions of the @p kind items among all items (the elements below the
// application element) of a page file.
QVector<int> positionsOnPage(const QString &fileName, const QString &kind)
{
    QVector<int> positions;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return positions;
    QXmlStreamReader xml(&file);
    int depth = 0;
    int index = 0;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth == 3) {
                if (xml.name() == kind)
                    positions.append(index);
                ++index;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    return positions;
}

} // namespace

ItemPlaces::ItemPlaces(const QList<ImpExp_SetCheck::Page> &pages, const QString &kind)
    : pages(pages)
    , kind(kind)
{
}

bool ItemPlaces::enterNextPage()
{
    // A reader goes from file to file by number and stops at the first gap.
    const int nextFile = page < 0 ? 0 : pages.at(page).fileNumber + 1;
    if (page + 1 >= pages.size() || pages.at(page + 1).fileNumber != nextFile)
        return false;
    ++page;
    const ImpExp_SetCheck::Page &current = pages.at(page);
    const int count = itemsOfKind(current, kind);
    used = 0;
    positions.clear();
    if (count > 0 && count == current.items) {
        positions.reserve(count);
        for (int i = 0; i < count; ++i)
            positions.append(i);
    } else if (count > 0) {
        positions = positionsOnPage(current.fileName, kind);
    }
    return true;
}

int ItemPlaces::next(int *position)
{
    while (used >= positions.size()) {
        if (!enterNextPage()) {
            *position = -1;
            return -1;
        }
    }
    *position = positions.at(used++);
    return page;
}
