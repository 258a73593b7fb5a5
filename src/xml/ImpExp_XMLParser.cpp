#include <ImpExp_XMLParser.h>

#include "model/ImpExp_Guard.h"
#include "xml/ImpExp_Format.h"
#include "xml/ImpExp_Logging.h"
#include "xml/ImpExp_PageFile.h"
#include "xml/ImpExp_RunLimitDevice.h"
#include "xml/ImpExp_SharedNames.h"

#include <QFile>
#include <QXmlStreamReader>

ImpExp_XMLParser::ImpExp_XMLParser(const QString &pathTemplate)
try : pathTemplate(pathTemplate), pageIndex(0), exhausted(false) {
    if (!pathTemplate.contains(QLatin1String("%1")))
        throw ImpExp_FatalException(QStringLiteral("Bad path"));
} catch (...) {
    ImpExp_Guard<ImpExp_FatalException>::passOn();
}

ImpExp_XMLParser::ImpExp_XMLParser(const ImpExp_XMLParser &other)
    : pathTemplate(other.pathTemplate)
    , pageIndex(0)
    , exhausted(false)
{
}

ImpExp_XMLParser &ImpExp_XMLParser::operator=(const ImpExp_XMLParser &other)
{
    if (this == &other)
        return *this;
    pathTemplate = other.pathTemplate;
    pageIndex = 0;
    file.reset();
    reader.reset();
    exhausted = false;
    return *this;
}

ImpExp_XMLParser::~ImpExp_XMLParser()
{
    // The reader only points at the file and never owns it.
    file.reset();
    reader.reset();
}

bool ImpExp_XMLParser::getNextXMLFile()
try {
    IMPEXP_DEBUG("startNewXMLFile");
    // At most one file object: the old one goes (and closes) first.
    file.reset();
    file.reset(new QFile(ImpExp_Format::pageFileName(pathTemplate, pageIndex)));
    // Only a regular file opens: a FIFO or a device ends the set at once.
    if (ImpExp_PageFile::open(*file) != ImpExp_PageFile::Opened) {
        // A reader still attached to the page just released must not read on.
        if (reader)
            exhausted = true;
        return false;
    }
    if (!reader)
        reader.reset(new QXmlStreamReader);
    reader->clear();
    // The counting device belongs to the file and goes with it.
    reader->setDevice(
        new ImpExp_RunLimitDevice(file.get(), ImpExp_Format::runLimitBytes, file.get()));
    exhausted = false;

    if (!ImpExp_Format::readRoot(*reader))
        throw ImpExp_FatalException(QStringLiteral("Invalid input file"));
    return true;
} catch (...) {
    ImpExp_Guard<ImpExp_FatalException>::passOn();
}

bool ImpExp_XMLParser::getItem(ImpExp_Item &item, bool readElements)
try {
    IMPEXP_DEBUG("getItem");
    bool insideItem = false;
    QString pendingName;
    QString pendingText;
    const QString itemName = item.getItemName();
    if (itemName.isEmpty())
        throw ImpExp_FatalException(QStringLiteral("item has no name"));
    if (exhausted)
        return false;
    if (!reader && !getNextXMLFile())
        throw ImpExp_FatalException(QStringLiteral("No file to read"));

    QXmlStreamReader &xml = *reader;
    for (;;) {
        QXmlStreamReader::TokenType token = xml.readNext();
        if (xml.atEnd()) {
            // A page cut off at the run limit may end cleanly after its root: still a failure.
            const auto *input = static_cast<const ImpExp_RunLimitDevice *>(xml.device());
            if (xml.hasError() || (input && input->overLimit())) {
                // Leave the reader without input, so that a further call
                // fails the same way instead of reading a released file.
                file.reset();
                xml.clear();
                throw ImpExp_FatalException(QStringLiteral("xml parsing failed"));
            }
            ++pageIndex;
            if (!getNextXMLFile())
                return false;
            token = xml.tokenType(); // the new page's root
        }

        switch (token) {
        case QXmlStreamReader::StartElement:
            if (xml.name() == itemName) {
                if (readElements)
                    insideItem = true;
                const QXmlStreamAttributes attributes = xml.attributes();
                // The format's own names come as shared constants, not copies.
                // Every other text is copied through a view: Qt 5's
                // QStringRef::toString() may hand out the reader's own buffer,
                // which the reader then copies again on its next token.
                for (const QXmlStreamAttribute &attribute : attributes)
                    item.addAttribute(ImpExp_SharedNames::of(attribute.name()),
                                      QStringView(attribute.value()).toString());
            } else if (insideItem) {
                pendingName = ImpExp_SharedNames::of(xml.name());
            }
            break;
        case QXmlStreamReader::Characters:
            if (insideItem && !pendingName.isEmpty())
                pendingText = ImpExp_SharedNames::ofText(xml.text());
            break;
        case QXmlStreamReader::EndElement:
            if (xml.name() == itemName)
                return true;
            if (insideItem && !pendingName.isEmpty()) {
                item.addElement(pendingName, pendingText);
                pendingName.clear();
                pendingText.clear();
            }
            break;
        default:
            break;
        }
    }
} catch (...) {
    ImpExp_Guard<ImpExp_FatalException>::passOn();
}
