#ifndef CONTACT_ITEM_H
#define CONTACT_ITEM_H

/**
 * @file Contact_Item.h
 * Directory contacts and contact id map entries as item records.
 */

#include <ContactFields.h>
#include <ImpExp_Item.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>

/**
 * A directory contact: item name "contact", the standard attributes, and one
 * element per non-empty field in this fixed order: lastName, firstName,
 * company, email, personalEmail, officePhone, personalHome, personalMobile,
 * fax, officePhone2, photo, collaborationId, otherPhone, jobTitle.
 * Text fields are stored exactly as given. The photo is stored when it is not
 * null (an empty one too), decoded as UTF-8 up to its first zero byte: it
 * must already be text (for example base64).
 *
 * The import reader fills a plain ImpExp_Item named "contact"; read its
 * fields with ContactFields::fromItem(), or with getElement() under the
 * names above.
 */
class VELXMLIMPEXP_EXPORT Contact_Item : public ImpExp_Item
{
public:
    /// @throws ImpExp_ErrorException "Empty duid for Item". Throws nothing else.
    Contact_Item(const QString &duid, const QString &puid, const QDateTime &lastModified,
                 const QString &firstName, const QString &lastName, const QString &email,
                 const QString &personalEmail, const QString &officePhone,
                 const QString &personalHome, const QString &personalMobile,
                 const QByteArray &photo, const QString &collaborationId,
                 const QString &officePhone2, const QString &fax, const QString &company,
                 const QString &otherPhone, const QString &jobTitle);

    /**
     * The same record as the constructor above given the same values: the
     * fields are taken by name, so none can land in another's place.
     * @throws ImpExp_ErrorException "Empty duid for Item". Throws nothing else.
     * @since 1.2
     */
    Contact_Item(const QString &duid, const QString &puid, const QDateTime &lastModified,
                 const ContactFields &fields);

    ~Contact_Item() override;
};

/**
 * A contact id map entry: item name "contactMap", attribute "duid" and, unless
 * @p puid is null, "puid"; no elements.
 */
class VELXMLIMPEXP_EXPORT ContactMap_Item : public ImpExp_Item
{
public:
    /// @throws ImpExp_ErrorException "Empty duid for Item". Throws nothing else.
    ContactMap_Item(const QString &duid, const QString &puid);
    ~ContactMap_Item() override;
};

#endif // CONTACT_ITEM_H
