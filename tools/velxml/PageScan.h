#ifndef VELXML_PAGESCAN_H
#define VELXML_PAGESCAN_H

#include <QString>
#include <QVector>

class QXmlStreamReader;

// What a page file says about itself: the header on the root and application
// elements, and the names of the items below. The library's reader skips
// headers by design, so the tool reads them with a pass of its own; the items
// themselves are left to the library.
struct PageHeader {
    struct KindCount {
        QString kind;
        int count;
    };

    int fileNumber = 0;
    QString fileName;
    bool opened = false;
    QString openError;
    QString rootName;
    // Header attribute texts; a null text when the attribute is absent.
    QString created, schemaVersion, id, deviceId;
    QString application;
    QString max, pageSize, page, totalPage;
    int applicationElements = 0;
    QVector<KindCount> kinds; // in order of first appearance
    int items = 0;
    // The XML reader's complaint; empty when the page is well-formed.
    QString xmlError;
    qint64 errorLine = 0;
    qint64 errorColumn = 0;

    bool isWellFormed() const { return opened && xmlError.isEmpty(); }
    int count(const QString &kind) const;
};

// The pages of one set, as far as the scan went.
struct SetScan {
    QString pathTemplate;
    QVector<PageHeader> pages;

    // Item kinds over all pages, in order of first appearance.
    QVector<PageHeader::KindCount> kinds() const;
    qint64 items() const;
};

// Reads one page file's header and item names. @p reader is reused from page
// to page.
PageHeader scanPage(const QString &fileName, int fileNumber, QXmlStreamReader &reader);

class Progress;

// Scans the page files 00, 01, ... as a receiving system finds them: up to the
// first number without a file. @p progress counts them as its "headers" stage.
SetScan scanSet(const QString &pathTemplate, Progress *progress = nullptr);

// The name a report uses for a page file: the file name alone unless the
// directory part of the template varies with the number too.
QString displayName(const QString &pathTemplate, int fileNumber);

// Whether @p kind is an item kind of the format, and the kinds an application
// element is meant to carry.
bool isKnownKind(const QString &kind);
bool belongsTo(const QString &kind, const QString &application);

// Follows the pages while the library's reader hands out the items of one
// kind, which it does across page files without saying where one ends.
class PageTracker
{
public:
    PageTracker(const SetScan &scan, const QString &kind);
    // Index into scan.pages of the page holding the next item, moving past
    // pages whose items of this kind are used up; -1 past the last one.
    int next();

private:
    const SetScan &scan;
    QString kind;
    int page = -1;
    int left = 0;
};

#endif // VELXML_PAGESCAN_H
