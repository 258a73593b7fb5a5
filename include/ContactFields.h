#ifndef CONTACTFIELDS_H
#define CONTACTFIELDS_H

/**
 * @file ContactFields.h
 * A directory contact's fields by name, for building a Contact_Item and for
 * reading a contact record back.
 */

#include <FieldProblem.h>
#include <ImpExp_Item.h>

#include <QByteArray>
#include <QList>
#include <QString>

/**
 * The fields of a directory contact, each named after the element it fills.
 * A plain value: set the members by name and hand it to
 * Contact_Item(duid, puid, lastModified, fields).
 *
 * @code
 * ContactFields f;
 * f.lastName = QStringLiteral("Doe");
 * f.company = QStringLiteral("Acme");
 * builder.putItem(Contact_Item(duid, QString(), changed, f));
 * @endcode
 *
 * An empty text field is left out of the record, as is a null photo (an empty
 * but not null photo is kept). The identifiers and the last-change date are
 * the record's attributes, not fields: read them back with
 * ImpExp_Item::getAttribute() and ImpExp_Item::getLastModificationDate().
 * @since 1.2
 */
struct VELXMLIMPEXP_EXPORT ContactFields {
    QString firstName;
    QString lastName;
    QString email;
    QString personalEmail;
    QString officePhone;
    QString personalHome;
    QString personalMobile;
    /// Text, for example base64: it is stored as UTF-8 up to its first zero byte.
    QByteArray photo;
    QString collaborationId;
    QString officePhone2;
    QString fax;
    QString company;
    QString otherPhone;
    QString jobTitle;

    /**
     * The fields of a contact record, typically one the import reader filled,
     * each read from the first element of its name. An absent element leaves
     * its field null. Elements that no field takes (an unknown name, or a
     * second element of a name already read) are appended to @p problems
     * when it is not null. Throws nothing.
     */
    static ContactFields fromItem(const ImpExp_Item &record,
                                  QList<FieldProblem> *problems = nullptr);

    /// Every field equal; the photo compares by its bytes.
    bool operator==(const ContactFields &other) const;
    bool operator!=(const ContactFields &other) const { return !(*this == other); }
};

#endif // CONTACTFIELDS_H
