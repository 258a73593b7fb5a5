#ifndef IMPEXP_SETCHECKER_H
#define IMPEXP_SETCHECKER_H

#include <ImpExp_SetCheck.h>

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QXmlStreamReader>

class ImpExp_PageListener;
class QFile;

// The set check itself, page by page: what ImpExp_SetCheck runs, and what a
// comparison of two sets runs with a listener that reads the items along,
// so that each set is read once for both.
class ImpExp_SetChecker
{
public:
    using Kind = ImpExp_SetCheck::ProblemKind;
    using Page = ImpExp_SetCheck::Page;
    using Problem = ImpExp_SetCheck::Problem;
    using KindCount = ImpExp_SetCheck::KindCount;

    explicit ImpExp_SetChecker(const QString &pathTemplate)
        : pathTemplate(pathTemplate)
    {
    }

    bool checkNextPage();

    const QString pathTemplate;
    QList<Page> pages;
    QList<Problem> problems;
    QList<bool> breaking; // beside problems: whether each makes the set incomplete
    qint64 problemCount = 0;
    qint64 itemCount = 0;
    int announced = -1; // totalPage of the first page that gives one
    int problemLimit = 10000;
    bool findsDuplicates = true;
    bool broken = false; // a reader does not get every item of the set

    // Sees every page whose root is accepted, token by token, along with the
    // check; not owned.
    ImpExp_PageListener *listener = nullptr;

private:
    // Where a finding is, for a problem reported later.
    struct Place {
        // Spelled out: the default arguments below need it before the class ends.
        Place()
            : line(0)
            , column(0)
            , itemIndex(-1)
        {
        }
        qint64 line;
        qint64 column;
        int itemIndex;
    };

    // The item being read, with what its checks need at its end tag.
    struct ItemReading {
        enum Field { None, Other, Begin, End };

        int kindIndex = -1; // into Page::kinds; -1 outside an item
        int level = 0; // depth of the item element (the root's is 0)
        int number = 0; // among the page's items of its kind, from 1
        Place place;
        QString duid;
        bool isAppointment = false;
        int elements = 0;
        // The reader's rule: a child gives a pair of its name and its last piece of text.
        Field pending = None;
        QString pendingText;
        bool haveBegin = false, haveEnd = false;
        QString begin, end;
    };

    // What one page's checks gather while it is read.
    struct PageReading {
        int depth = 0; // elements open
        int applicationElements = 0;
        Place root, secondApplication, firstOverfull;
        int pageSize = -1; // when it parses
        QList<Place> firstOfKind; // beside Page::kinds
        ItemReading item;
    };

    void missingPage();
    void readPage(QFile &file);
    void readElements();
    void refuseRoot(bool overLimit);
    void readRootHeader();
    void readApplicationHeader();
    void startItem(int level);
    void nestedItem();
    int countItem(Place *place);
    void endItem();
    void endPage();
    void checkSameAsReference(const char *name, QString Page::*field);

    Place here() const;
    void report(Kind kind, const QString &message, const Place &place = Place(),
                const QString &itemName = QString(), const QString &duid = QString(),
                bool breaks = false);
    // A problem that keeps a reader from getting the items of one export, whole.
    void reportBreak(Kind kind, const QString &message, const Place &place = Place());
    void reportItem(Kind kind, const QString &message);

    int nextFile = 0;
    bool finished = false;
    bool gapBehind = false; // a page file a reader stops at lies behind
    int reference = -1; // index into pages of the first page with an accepted root
    QXmlStreamReader reader;
    QHash<QString, QSet<QString>> duidsByKind;
    Page page; // the page being checked
    PageReading state; // and what its checks gather
    QByteArray pageBytes; // the page read so far, kept for a listener only
};

#endif // IMPEXP_SETCHECKER_H
