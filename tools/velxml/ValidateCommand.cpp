#include "CommandLine.h"
#include "Commands.h"
#include "PageScan.h"
#include "Progress.h"

#include <Appointment_Item.h>
#include <ImpExp_XMLParser.h>
#include <xml/ImpExp_Format.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <algorithm>
#include <functional>

namespace
{

// Hands one page file alone to the library's reader, so that a damaged page
// neither hides the items of the pages after it nor blurs which file failed:
// a link named like file 00 of a private template.
class SinglePageReader
{
public:
    SinglePageReader()
        : linkName(directory.filePath(QStringLiteral("page_00.xml")))
        , pathTemplate(directory.filePath(QStringLiteral("page_%1.xml")))
    {
    }

    // Reads every item of @p kind; returns the reader's message when it fails.
    QString read(const QString &fileName, const QString &kind,
                 const std::function<void(const ImpExp_Item &, int)> &check)
    {
        QFile::remove(linkName);
        if (!QFile::link(QFileInfo(fileName).absoluteFilePath(), linkName)
            && !QFile::copy(fileName, linkName))
            return QStringLiteral("cannot be handed to the reader");
        try {
            ImpExp_XMLParser reader(pathTemplate);
            for (int number = 1;; ++number) {
                ImpExp_Item item(kind);
                if (!reader.getItem(item, true))
                    return QString();
                check(item, number);
            }
        } catch (const ImpExp_Exception &e) {
            return QString::fromLatin1(e.what());
        }
    }

private:
    QTemporaryDir directory;
    QString linkName;
    QString pathTemplate;
};

class Validation
{
public:
    explicit Validation(const QString &pathTemplate)
        : pathTemplate(pathTemplate)
    {
    }

    void report(int fileNumber, const QString &text) { problems.append({ fileNumber, text }); }

    void checkHeader(const PageHeader &page, const PageHeader *first);
    void checkItems(const PageHeader &page, SinglePageReader &reader);
    void checkItem(const ImpExp_Item &item, int number, const PageHeader &page);

    int print(QTextStream &out, int pageCount, qint64 items);

    const QString pathTemplate;

private:
    struct Problem {
        int fileNumber;
        QString text;
    };
    QVector<Problem> problems;
};

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

void Validation::checkHeader(const PageHeader &page, const PageHeader *first)
{
    const int n = page.fileNumber;
    const QString firstName = first ? displayName(pathTemplate, first->fileNumber) : QString();
    auto sameAsFirst = [&](const char *attribute, const QString &value, const QString &expected) {
        if (first && first != &page && value != expected)
            report(n,
                   QStringLiteral("\"%1\" is %2 but %3 says %4")
                       .arg(QLatin1String(attribute), quoted(value), firstName, quoted(expected)));
    };
    auto number = [&](const char *attribute, const QString &value, int minimum, int *result) {
        if (value.isNull())
            report(n, QStringLiteral("no \"%1\" attribute").arg(QLatin1String(attribute)));
        else if (!parseNumber(value, minimum, result))
            report(n,
                   QStringLiteral("\"%1\" is %2, not a number of at least %3")
                       .arg(QLatin1String(attribute), quoted(value), QString::number(minimum)));
        else
            return true;
        return false;
    };

    sameAsFirst("created", page.created, first ? first->created : QString());
    sameAsFirst("id", page.id, first ? first->id : QString());
    sameAsFirst("deviceId", page.deviceId, first ? first->deviceId : QString());
    if (page.applicationElements == 0) {
        report(n, QStringLiteral("no application element"));
        return;
    }
    if (page.applicationElements > 1)
        report(
            n,
            QStringLiteral("%1 application elements, expected one").arg(page.applicationElements));
    if (page.application != QLatin1String("directory")
        && page.application != QLatin1String("agenda"))
        report(n,
               QStringLiteral("application element %1 is neither directory nor agenda")
                   .arg(quoted(page.application)));
    else
        sameAsFirst("application element", page.application,
                    first ? first->application : QString());

    int value = 0;
    if (number("page", page.page, 1, &value) && value != n + 1)
        report(n,
               QStringLiteral("\"page\" is %1 but file number %2 means page %3")
                   .arg(value)
                   .arg(n, 2, 10, QLatin1Char('0'))
                   .arg(n + 1));
    if (number("totalPage", page.totalPage, 1, &value))
        sameAsFirst("totalPage", page.totalPage, first ? first->totalPage : QString());
    if (number("pageSize", page.pageSize, 1, &value) && page.items > value)
        report(n, QStringLiteral("%1 items, more than its pageSize %2").arg(page.items).arg(value));

    for (const PageHeader::KindCount &kind : page.kinds) {
        if (!isKnownKind(kind.kind))
            report(n,
                   QStringLiteral("unknown item kind %1 (%2)")
                       .arg(quoted(kind.kind), plural(kind.count, QStringLiteral("item"))));
        else if (!belongsTo(kind.kind, page.application)
                 && (page.application == QLatin1String("directory")
                     || page.application == QLatin1String("agenda")))
            report(n,
                   QStringLiteral("%1 in a %2 page")
                       .arg(plural(kind.count, kind.kind), page.application));
    }
}

void Validation::checkItem(const ImpExp_Item &item, int number, const PageHeader &page)
{
    const QString duid = item.getAttribute(QStringLiteral("duid"));
    QString name = QStringLiteral("%1 #%2").arg(item.getItemName()).arg(number);
    if (duid.isEmpty())
        report(page.fileNumber, QStringLiteral("%1: no duid").arg(name));
    else
        name += QStringLiteral(" (duid %1)").arg(duid);
    try {
        item.getLastModificationDate();
    } catch (const ImpExp_ErrorException &) {
        report(page.fileNumber,
               QStringLiteral("%1: lastModified %2 does not parse")
                   .arg(name, quoted(item.getAttribute(QStringLiteral("lastModified")))));
    }
    // Items sent with their identifiers only have no dates to check.
    if (item.getItemName() != QLatin1String("appointment") || item.getItemElements().isEmpty())
        return;
    auto badDate = [&](const QString &element) {
        const QString text = item.getElement(element);
        report(page.fileNumber,
               text.isNull()
                   ? QStringLiteral("%1: has fields but no %2").arg(name, element)
                   : QStringLiteral("%1: %2 %3 does not parse").arg(name, element, quoted(text)));
    };
    const Appointment_Item appointment(item);
    try {
        appointment.getBeginDate();
    } catch (const ImpExp_ErrorException &) {
        badDate(QStringLiteral("begin"));
    }
    try {
        appointment.getEndDate();
    } catch (const ImpExp_ErrorException &) {
        badDate(QStringLiteral("end"));
    }
}

void Validation::checkItems(const PageHeader &page, SinglePageReader &reader)
{
    QStringList kinds;
    for (const PageHeader::KindCount &kind : page.kinds) {
        if (isKnownKind(kind.kind))
            kinds.append(kind.kind);
    }
    // A page without items still goes through the reader once, for its verdict
    // on the file.
    if (kinds.isEmpty())
        kinds.append(page.application == QLatin1String("agenda") ? QStringLiteral("appointment")
                                                                 : QStringLiteral("contact"));
    for (const QString &kind : qAsConst(kinds)) {
        const QString failure
            = reader.read(page.fileName, kind, [&](const ImpExp_Item &item, int number) {
                  checkItem(item, number, page);
              });
        if (failure.isEmpty())
            continue;
        QString detail;
        if (!page.opened)
            detail = QStringLiteral(" (%1)").arg(page.openError);
        else if (!page.xmlError.isEmpty())
            detail = QStringLiteral(" (line %1, column %2: %3)")
                         .arg(page.errorLine)
                         .arg(page.errorColumn)
                         .arg(page.xmlError);
        else if (page.rootName != ImpExp_Format::rootName)
            detail = QStringLiteral(" (root element %1, not moxara)").arg(quoted(page.rootName));
        report(page.fileNumber, failure + detail);
        return; // one verdict per file
    }
}

int Validation::print(QTextStream &out, int pageCount, qint64 items)
{
    std::stable_sort(problems.begin(), problems.end(), [](const Problem &a, const Problem &b) {
        return a.fileNumber < b.fileNumber;
    });
    for (const Problem &problem : qAsConst(problems))
        out << displayName(pathTemplate, problem.fileNumber) << ": " << problem.text << '\n';
    // The template holds "%1" itself: no chained arg() after it.
    const QString set = pathTemplate + QStringLiteral(": ")
        + plural(pageCount, QStringLiteral("page file")) + QStringLiteral(", ")
        + plural(items, QStringLiteral("item"));
    if (problems.isEmpty()) {
        out << "OK: " << set << ", no problems found\n";
        out.flush();
        return ExitOk;
    }
    out << problems.size() << (problems.size() == 1 ? " problem in " : " problems in ") << set
        << '\n';
    out.flush();
    return ExitDataProblem;
}

} // namespace

int runValidate(const QStringList &arguments)
{
    CommandLine line(
        QStringLiteral("velxml validate"), QStringLiteral("TEMPLATE"),
        QStringLiteral("Checks a page file set as a receiving system would and reports every "
                       "problem with its file name: files that do not open or are not "
                       "well-formed, headers that disagree between pages or with the files "
                       "found, pages over their pageSize, unknown item kinds, items without "
                       "duid, dates that do not parse, and left-over files after the last "
                       "page. Exit status 1 when any is found."));
    QString pathTemplate;
    const int status = line.parseTemplate(arguments, &pathTemplate);
    if (status >= 0)
        return status;

    Progress progress(line.name());
    SetScan scan = scanSet(pathTemplate, &progress);
    Validation validation(pathTemplate);
    if (scan.pages.isEmpty()) {
        validation.report(0,
                          QStringLiteral("No file to read: the set's first page file is "
                                         "missing"));
        progress.clear();
        return validation.print(standardOutput(), 0, 0);
    }
    const int found = scan.pages.size();

    // The first readable header is what the other pages must agree with.
    const PageHeader *first = nullptr;
    for (const PageHeader &page : qAsConst(scan.pages)) {
        if (page.opened && page.rootName == ImpExp_Format::rootName) {
            first = &page;
            break;
        }
    }
    int announced = found;
    if (first && !parseNumber(first->totalPage, 1, &announced))
        announced = found;

    // Announced pages that are not there; one that turns up after a gap is
    // still checked, though a receiving system never gets to it.
    constexpr int listedGap = 100;
    if (announced > found + listedGap) {
        validation.report(found - 1,
                          QStringLiteral("totalPage announces %1 page files but the "
                                         "set ends after this one")
                              .arg(announced));
    } else {
        QXmlStreamReader reader;
        for (int n = found; n < announced; ++n) {
            const QString fileName = ImpExp_Format::pageFileName(pathTemplate, n);
            if (!QFileInfo::exists(fileName)) {
                validation.report(
                    n, QStringLiteral("missing: totalPage announces %1 page files").arg(announced));
                continue;
            }
            scan.pages.append(scanPage(fileName, n, reader));
            validation.report(n,
                              QStringLiteral("comes after a missing page file; a receiving "
                                             "system stops before it"));
        }
    }
    if (found > announced)
        validation.report(announced,
                          QStringLiteral("unexpected file after the announced last page "
                                         "(totalPage %1): a receiving system reads it as part of "
                                         "the set")
                              .arg(announced));

    // scan.pages may have grown: find the reference page again by number.
    const int firstNumber = first ? first->fileNumber : -1;
    first = nullptr;
    for (const PageHeader &page : qAsConst(scan.pages)) {
        if (page.fileNumber == firstNumber)
            first = &page;
    }
    SinglePageReader reader;
    progress.clear();
    progress.setStage(QStringLiteral("items"));
    qint64 done = 0;
    int pagesDone = 0;
    for (const PageHeader &page : qAsConst(scan.pages)) {
        // A page broken before its application element has no header to speak of.
        if (page.opened && page.rootName == ImpExp_Format::rootName
            && (page.isWellFormed() || page.applicationElements > 0))
            validation.checkHeader(page, first);
        validation.checkItems(page, reader);
        done += page.items;
        progress.update(++pagesDone, done);
    }
    progress.clear();
    return validation.print(standardOutput(), scan.pages.size(), scan.items());
}
