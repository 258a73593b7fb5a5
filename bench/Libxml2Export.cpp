#include "Libxml2Export.h"

#include "xml/ImpExp_Format.h"

#include <libxml/xmlversion.h>
#include <libxml/xmlwriter.h>

namespace
{

const xmlChar *x(const char *text)
{
    return reinterpret_cast<const xmlChar *>(text);
}

const xmlChar *x(const QByteArray &text)
{
    return reinterpret_cast<const xmlChar *>(text.constData());
}

} // namespace

QString libxml2Version()
{
    return QString::fromLatin1(LIBXML_DOTTED_VERSION);
}

Utf8Item toUtf8(const PrebuiltItem &item)
{
    Utf8Item utf8;
    for (const auto &attribute : item.attributes)
        utf8.attributes.append(qMakePair(attribute.first.toUtf8(), attribute.second.toUtf8()));
    for (const auto &element : item.elements)
        utf8.elements.append(qMakePair(element.first.toUtf8(), element.second.toUtf8()));
    utf8.withElements = item.withElements;
    return utf8;
}

RunResult libxml2Export(const QVector<Utf8Item> &items, const ExportSetup &setup,
                        const QString &pathTemplate)
{
    const int totalPage = (items.size() - 1) / setup.pageSize + 1;
    const QByteArray itemName
        = setup.kind == Kind::Contacts ? QByteArray("vel:contact") : QByteArray("vel:appointment");
    const QByteArray application = "vel:" + setup.applicationElement().toUtf8();
    const QByteArray created
        = setup.created.toUTC().toString(QStringLiteral("yyyyMMdd'T'hhmmss'Z'")).toUtf8();
    const QByteArray id = setup.id.toUtf8();
    const QByteArray deviceId = setup.deviceId.toUtf8();
    const QByteArray namespaceUri
        = QByteArray(ImpExp_Format::namespaceUri.data(), ImpExp_Format::namespaceUri.size());
    const QByteArray schemaUri = QByteArray(ImpExp_Format::schemaInstanceUri.data(),
                                            ImpExp_Format::schemaInstanceUri.size());

    for (int page = 0, next = 0; page < totalPage; ++page) {
        const QByteArray path = ImpExp_Format::pageFileName(pathTemplate, page).toLocal8Bit();
        xmlTextWriterPtr writer = xmlNewTextWriterFilename(path.constData(), 0);
        if (!writer)
            qFatal("cannot create %s", path.constData());
        xmlTextWriterSetIndent(writer, 1);
        xmlTextWriterSetIndentString(writer, x("    "));
        xmlTextWriterStartDocument(writer, "1.0", "UTF-8", nullptr);
        xmlTextWriterStartElement(writer, x("vel:moxara"));
        xmlTextWriterWriteAttribute(writer, x("xmlns:vel"), x(namespaceUri));
        xmlTextWriterWriteAttribute(writer, x("xmlns:xs"), x(schemaUri));
        xmlTextWriterWriteAttribute(writer, x("created"), x(created));
        xmlTextWriterWriteAttribute(writer, x("schemaVersion"), x("1.0"));
        xmlTextWriterWriteAttribute(writer, x("id"), x(id));
        xmlTextWriterWriteAttribute(writer, x("deviceId"), x(deviceId));
        xmlTextWriterStartElement(writer, x(application));
        xmlTextWriterWriteAttribute(writer, x("max"), x(QByteArray::number(setup.max)));
        xmlTextWriterWriteAttribute(writer, x("pageSize"), x(QByteArray::number(setup.pageSize)));
        xmlTextWriterWriteAttribute(writer, x("page"), x(QByteArray::number(page + 1)));
        xmlTextWriterWriteAttribute(writer, x("totalPage"), x(QByteArray::number(totalPage)));
        for (int n = 0; n < setup.pageSize && next < items.size(); ++n, ++next) {
            const Utf8Item &item = items[next];
            xmlTextWriterStartElement(writer, x(itemName));
            for (const auto &attribute : item.attributes)
                xmlTextWriterWriteAttribute(writer, x(attribute.first), x(attribute.second));
            if (item.withElements) {
                for (const auto &element : item.elements) {
                    xmlTextWriterStartElement(writer, x(element.first));
                    xmlTextWriterWriteAttribute(writer, x("xml:space"), x("preserve"));
                    xmlTextWriterWriteString(writer, x(element.second));
                    xmlTextWriterFullEndElement(writer);
                }
            }
            xmlTextWriterEndElement(writer);
        }
        xmlTextWriterEndDocument(writer);
        xmlFreeTextWriter(writer);
    }
    RunResult result;
    result.items = items.size();
    return result;
}
