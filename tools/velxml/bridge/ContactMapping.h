#ifndef VELXML_CONTACTMAPPING_H
#define VELXML_CONTACTMAPPING_H

#include "Losses.h"

#include <ImpExp_Item.h>

#include <KContacts/Addressee>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace Bridge
{

// The fields a directory contact carries, in the exchange's text form (the
// photo as base64 text of its bytes, null when there is none).
struct ContactFields {
    QString duid;
    QDateTime lastModified;
    QString firstName;
    QString lastName;
    QString company;
    QString email;
    QString personalEmail;
    QString officePhone;
    QString officePhone2;
    QString personalHome;
    QString personalMobile;
    QString fax;
    QString otherPhone;
    QString collaborationId;
    QString jobTitle;
    QByteArray photo;

    // True when nothing but the identifiers would be carried.
    bool carriesNothing() const;
    bool operator==(const ContactFields &other) const;
    bool operator!=(const ContactFields &other) const { return !(*this == other); }
};

// What a card turns into. @p hasOwnUid false means the card named no UID and
// the duid is derived from its content. @p notCarried (may be null) counts the card's
// properties without a place in the exchange, @p approximations receives what was
// carried only in part.
ContactFields contactFromAddressee(const KContacts::Addressee &card, bool hasOwnUid,
                                   Losses *notCarried, QStringList *approximations);

// A stable identifier made from the card's content (the same card always
// gets the same one).
QString contentDerivedUid(const KContacts::Addressee &card);

// Marks, per card, whether it carried its own UID: the library invents a
// random one for cards without, so two readings differ exactly there.
QList<bool> cardsWithOwnUid(const QByteArray &data, const KContacts::Addressee::List &cards);

ImpExp_Item contactItem(const ContactFields &fields);
ContactFields contactFromItem(const ImpExp_Item &item);

// The card for a contact read back; @p approximations receives what could not
// be written as it was.
KContacts::Addressee addresseeFromContact(const ContactFields &fields, QStringList *approximations);

} // namespace Bridge

#endif // VELXML_CONTACTMAPPING_H
