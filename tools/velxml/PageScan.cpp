#include "PageScan.h"

#include "Progress.h"

#include <xml/ImpExp_Format.h>

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace
{

QString attribute(const QXmlStreamAttributes &attributes, QLatin1String name)
{
    for (const QXmlStreamAttribute &attribute : attributes) {
        if (attribute.qualifiedName() == name)
            return attribute.value().toString();
    }
    return QString();
}

void addKind(QVector<PageHeader::KindCount> &kinds, const QString &kind, int count)
{
    for (PageHeader::KindCount &known : kinds) {
        if (known.kind == kind) {
            known.count += count;
            return;
        }
    }
    kinds.append({ kind, count });
}

} // namespace

int PageHeader::count(const QString &kind) const
{
    for (const KindCount &known : kinds) {
        if (known.kind == kind)
            return known.count;
    }
    return 0;
}

QVector<PageHeader::KindCount> SetScan::kinds() const
{
    QVector<PageHeader::KindCount> all;
    for (const PageHeader &page : pages) {
        for (const PageHeader::KindCount &kind : page.kinds)
            addKind(all, kind.kind, kind.count);
    }
    return all;
}

qint64 SetScan::items() const
{
    qint64 total = 0;
    for (const PageHeader &page : pages)
        total += page.items;
    return total;
}

PageHeader scanPage(const QString &fileName, int fileNumber, QXmlStreamReader &reader)
{
    PageHeader header;
    header.fileNumber = fileNumber;
    header.fileName = fileName;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        header.openError = file.errorString();
        return header;
    }
    header.opened = true;
    reader.clear();
    reader.setDevice(&file);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
        } else if (token == QXmlStreamReader::StartElement) {
            const QXmlStreamAttributes attributes = reader.attributes();
            if (depth == 0) {
                header.rootName = reader.name().toString();
                header.created = attribute(attributes, QLatin1String("created"));
                header.schemaVersion = attribute(attributes, QLatin1String("schemaVersion"));
                header.id = attribute(attributes, QLatin1String("id"));
                header.deviceId = attribute(attributes, QLatin1String("deviceId"));
            } else if (depth == 1) {
                if (header.applicationElements++ == 0) {
                    header.application = reader.name().toString();
                    header.max = attribute(attributes, QLatin1String("max"));
                    header.pageSize = attribute(attributes, QLatin1String("pageSize"));
                    header.page = attribute(attributes, QLatin1String("page"));
                    header.totalPage = attribute(attributes, QLatin1String("totalPage"));
                }
            } else {
                // An item: its name is all this pass wants; the library reads the rest.
                addKind(header.kinds, reader.name().toString(), 1);
                ++header.items;
                reader.skipCurrentElement();
                continue;
            }
            ++depth;
        }
    }
    if (reader.hasError()) {
        header.xmlError = reader.errorString();
        header.errorLine = reader.lineNumber();
        header.errorColumn = reader.columnNumber();
    }
    reader.setDevice(nullptr);
    return header;
}

SetScan scanSet(const QString &pathTemplate, Progress *progress)
{
    SetScan scan;
    scan.pathTemplate = pathTemplate;
    if (progress)
        progress->setStage(QStringLiteral("headers"));
    QXmlStreamReader reader;
    qint64 items = 0;
    for (int number = 0;; ++number) {
        const QString fileName = ImpExp_Format::pageFileName(pathTemplate, number);
        if (!QFileInfo::exists(fileName))
            break;
        scan.pages.append(scanPage(fileName, number, reader));
        items += scan.pages.constLast().items;
        if (progress)
            progress->update(number + 1, items);
    }
    return scan;
}

QString displayName(const QString &pathTemplate, int fileNumber)
{
    const QString fileName = ImpExp_Format::pageFileName(pathTemplate, fileNumber);
    const int slash = pathTemplate.lastIndexOf(QLatin1Char('/'));
    if (pathTemplate.left(slash).contains(QLatin1String("%1")))
        return fileName;
    return fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isKnownKind(const QString &kind)
{
    return kind == QLatin1String("contact") || kind == QLatin1String("contactMap")
        || kind == QLatin1String("appointment") || kind == QLatin1String("appointmentMap");
}

bool belongsTo(const QString &kind, const QString &application)
{
    if (application == QLatin1String("directory"))
        return kind == QLatin1String("contact") || kind == QLatin1String("contactMap");
    if (application == QLatin1String("agenda"))
        return kind == QLatin1String("appointment") || kind == QLatin1String("appointmentMap");
    return false;
}

PageTracker::PageTracker(const SetScan &scan, const QString &kind)
    : scan(scan)
    , kind(kind)
{
}

int PageTracker::next()
{
    while (left == 0) {
        if (++page >= scan.pages.size()) {
            page = scan.pages.size();
            return -1;
        }
        left = scan.pages.at(page).count(kind);
    }
    --left;
    return page;
}
