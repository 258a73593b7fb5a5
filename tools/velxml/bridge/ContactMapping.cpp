#include "ContactMapping.h"

#include <Contact_Item.h>

#include <KContacts/VCardConverter>

#include <QCryptographicHash>
#include <QMimeDatabase>

#include <algorithm>
#include <iterator>

using KContacts::Addressee;
using KContacts::PhoneNumber;

namespace Bridge
{

namespace
{

const PhoneNumber::Type nonVoiceKinds = PhoneNumber::Fax | PhoneNumber::Cell | PhoneNumber::Pager
    | PhoneNumber::Modem | PhoneNumber::Bbs | PhoneNumber::Video;

// The contact's text elements under their element names: one list to read,
// compare and test for emptiness.
struct TextElement {
    QString name;
    QString ContactFields::*field;
};

const TextElement textElements[] = {
    { QStringLiteral("firstName"), &ContactFields::firstName },
    { QStringLiteral("lastName"), &ContactFields::lastName },
    { QStringLiteral("company"), &ContactFields::company },
    { QStringLiteral("email"), &ContactFields::email },
    { QStringLiteral("personalEmail"), &ContactFields::personalEmail },
    { QStringLiteral("officePhone"), &ContactFields::officePhone },
    { QStringLiteral("officePhone2"), &ContactFields::officePhone2 },
    { QStringLiteral("personalHome"), &ContactFields::personalHome },
    { QStringLiteral("personalMobile"), &ContactFields::personalMobile },
    { QStringLiteral("fax"), &ContactFields::fax },
    { QStringLiteral("otherPhone"), &ContactFields::otherPhone },
    { QStringLiteral("collaborationId"), &ContactFields::collaborationId },
    { QStringLiteral("jobTitle"), &ContactFields::jobTitle },
};

bool isVoice(PhoneNumber::Type type)
{
    return type & PhoneNumber::Voice || !(type & nonVoiceKinds);
}

void listUncarried(const Addressee &card, int extraEmails, int extraPhones, Losses *out)
{
    if (!card.prefix().isEmpty() || !card.additionalName().isEmpty() || !card.suffix().isEmpty())
        out->add(QStringLiteral("N prefix/middle/suffix"));
    if (!card.addresses().isEmpty())
        out->add(QStringLiteral("ADR"), card.addresses().size());
    if (card.birthday().isValid())
        out->add(QStringLiteral("BDAY"));
    if (card.anniversary().isValid())
        out->add(QStringLiteral("ANNIVERSARY"));
    if (!card.nickName().isEmpty())
        out->add(QStringLiteral("NICKNAME"));
    if (!card.note().isEmpty())
        out->add(QStringLiteral("NOTE"));
    if (!card.department().isEmpty())
        out->add(QStringLiteral("ORG unit"));
    if (!card.role().isEmpty())
        out->add(QStringLiteral("ROLE"));
    if (card.url().isValid() || !card.extraUrlList().isEmpty())
        out->add(QStringLiteral("URL"));
    if (card.geo().isValid())
        out->add(QStringLiteral("GEO"));
    if (card.timeZone().isValid())
        out->add(QStringLiteral("TZ"));
    if (!card.categories().isEmpty())
        out->add(QStringLiteral("CATEGORIES"));
    if (!card.logo().isEmpty())
        out->add(QStringLiteral("LOGO"));
    if (!card.sound().isEmpty())
        out->add(QStringLiteral("SOUND"));
    if (!card.keys().isEmpty())
        out->add(QStringLiteral("KEY"), card.keys().size());
    if (!card.mailer().isEmpty())
        out->add(QStringLiteral("MAILER"));
    if (!card.sortString().isEmpty())
        out->add(QStringLiteral("SORT-STRING"));
    if (card.secrecy().type() != KContacts::Secrecy::Invalid
        && card.secrecy().type() != KContacts::Secrecy::Public)
        out->add(QStringLiteral("CLASS"));
    if (!card.gender().gender().isEmpty() || !card.gender().comment().isEmpty())
        out->add(QStringLiteral("GENDER"));
    if (!card.kind().isEmpty())
        out->add(QStringLiteral("KIND"));
    if (!card.langs().isEmpty())
        out->add(QStringLiteral("LANG"));
    if (!card.members().isEmpty())
        out->add(QStringLiteral("MEMBER"));
    if (!card.relationships().isEmpty())
        out->add(QStringLiteral("RELATED"));
    if (!card.calendarUrlList().isEmpty())
        out->add(QStringLiteral("CALURI/FBURL"));
    if (!card.extraPhotoList().isEmpty())
        out->add(QStringLiteral("further PHOTO"), card.extraPhotoList().size());
    if (card.imppList().size() > 1)
        out->add(QStringLiteral("further IMPP"), card.imppList().size() - 1);
    if (card.extraTitleList().size() > 1)
        out->add(QStringLiteral("further TITLE"));
    if (card.extraOrganizationList().size() > 1)
        out->add(QStringLiteral("further ORG"));
    if (extraEmails > 0)
        out->add(QStringLiteral("EMAIL beyond the second"), extraEmails);
    if (extraPhones > 0)
        out->add(QStringLiteral("further TEL"), extraPhones);
    const QStringList customs = card.customs();
    for (const QString &custom : customs)
        out->add(QStringLiteral("X-") + custom.section(QLatin1Char(':'), 0, 0));
}

} // namespace

bool ContactFields::carriesNothing() const
{
    return photo.isNull()
        && std::all_of(std::begin(textElements), std::end(textElements),
                       [this](const TextElement &e) { return (this->*e.field).isEmpty(); });
}

bool ContactFields::operator==(const ContactFields &o) const
{
    const bool sameDate = lastModified.isValid() == o.lastModified.isValid()
        && (!lastModified.isValid()
            || lastModified.toSecsSinceEpoch() == o.lastModified.toSecsSinceEpoch());
    return duid == o.duid && sameDate && photo.isNull() == o.photo.isNull() && photo == o.photo
        && std::all_of(std::begin(textElements), std::end(textElements),
                       [this, &o](const TextElement &e) { return this->*e.field == o.*e.field; });
}

QString contentDerivedUid(const KContacts::Addressee &card)
{
    Addressee copy = card;
    copy.setUid(QString());
    KContacts::VCardConverter converter;
    const QByteArray text = converter.createVCard(copy, KContacts::VCardConverter::v4_0);
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex());
}

QList<bool> cardsWithOwnUid(const QByteArray &data, const KContacts::Addressee::List &cards)
{
    KContacts::VCardConverter converter;
    const Addressee::List again = converter.parseVCards(data);
    QList<bool> own;
    own.reserve(cards.size());
    for (int i = 0; i < cards.size(); ++i)
        own << (i < again.size() && again.at(i).uid() == cards.at(i).uid());
    return own;
}

ContactFields contactFromAddressee(const KContacts::Addressee &card, bool hasOwnUid,
                                   Losses *notCarried, QStringList *approximations)
{
    ContactFields fields;
    fields.duid = hasOwnUid && !card.uid().isEmpty() ? card.uid() : contentDerivedUid(card);
    fields.lastModified = card.revision();
    fields.lastName = card.familyName();
    fields.firstName = card.givenName();
    if (fields.lastName.isEmpty() && fields.firstName.isEmpty())
        fields.lastName = card.formattedName(); // no name may get lost
    fields.company = card.organization();
    fields.jobTitle = card.title();

    // email: first work address, else first untyped; personalEmail: first
    // home address, else the next untyped one.
    const KContacts::Email::List emails = card.emailList();
    int work = -1, home = -1;
    QList<int> untyped;
    for (int i = 0; i < emails.size(); ++i) {
        const auto type = emails.at(i).type();
        if (type & KContacts::Email::Work) {
            if (work < 0)
                work = i;
        } else if (type & KContacts::Email::Home) {
            if (home < 0)
                home = i;
        } else {
            untyped << i;
        }
    }
    int emailIndex = work >= 0 ? work : (untyped.isEmpty() ? -1 : untyped.takeFirst());
    int personalIndex = home >= 0 ? home : (untyped.isEmpty() ? -1 : untyped.takeFirst());
    int usedEmails = 0;
    if (emailIndex >= 0) {
        fields.email = emails.at(emailIndex).mail();
        ++usedEmails;
    }
    if (personalIndex >= 0) {
        fields.personalEmail = emails.at(personalIndex).mail();
        ++usedEmails;
    }

    const PhoneNumber::List phones = card.phoneNumbers();
    QVector<bool> taken(phones.size(), false);
    auto takeFirst = [&](auto predicate) -> QString {
        for (int i = 0; i < phones.size(); ++i) {
            if (!taken.at(i) && predicate(phones.at(i).type())) {
                taken[i] = true;
                return phones.at(i).number();
            }
        }
        return QString();
    };
    fields.fax = takeFirst([](PhoneNumber::Type t) { return bool(t & PhoneNumber::Fax); });
    fields.personalMobile
        = takeFirst([](PhoneNumber::Type t) { return bool(t & PhoneNumber::Cell); });
    auto workVoice = [](PhoneNumber::Type t) { return t & PhoneNumber::Work && isVoice(t); };
    fields.officePhone = takeFirst(workVoice);
    fields.officePhone2 = takeFirst(workVoice);
    fields.personalHome
        = takeFirst([](PhoneNumber::Type t) { return t & PhoneNumber::Home && isVoice(t); });
    fields.otherPhone = takeFirst([](PhoneNumber::Type) { return true; });
    const int usedPhones = static_cast<int>(std::count(taken.begin(), taken.end(), true));

    const KContacts::Picture photo = card.photo();
    if (!photo.isEmpty()) {
        if (photo.isIntern())
            fields.photo = photo.rawData().toBase64();
        else
            *approximations << QStringLiteral("PHOTO given as a URL is not carried");
    }
    const KContacts::Impp::List impps = card.imppList();
    if (!impps.isEmpty())
        fields.collaborationId = impps.first().address().toString();

    // XML reads every line end as a line feed; say so before the set does.
    for (QString *text :
         { &fields.firstName, &fields.lastName, &fields.company, &fields.jobTitle }) {
        if (text->contains(QLatin1Char('\r')))
            text->replace(QLatin1String("\r\n"), QLatin1String("\n"))
                .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    if (notCarried)
        listUncarried(card, emails.size() - usedEmails, phones.size() - usedPhones, notCarried);
    return fields;
}

ImpExp_Item contactItem(const ContactFields &f)
{
    return Contact_Item(f.duid, QString(), f.lastModified, f.firstName, f.lastName, f.email,
                        f.personalEmail, f.officePhone, f.personalHome, f.personalMobile, f.photo,
                        f.collaborationId, f.officePhone2, f.fax, f.company, f.otherPhone,
                        f.jobTitle);
}

ContactFields contactFromItem(const ImpExp_Item &item)
{
    ContactFields f;
    f.duid = item.getAttribute(QStringLiteral("duid"));
    f.lastModified = item.getLastModificationDate();
    for (const TextElement &e : textElements)
        f.*e.field = item.getElement(e.name);
    const QString photo = item.getElement(QStringLiteral("photo"));
    if (!photo.isNull())
        f.photo = photo.toLatin1();
    return f;
}

KContacts::Addressee addresseeFromContact(const ContactFields &f, QStringList *approximations)
{
    Addressee card;
    card.setUid(f.duid);
    if (f.lastModified.isValid())
        card.setRevision(f.lastModified.toUTC());
    card.setFamilyName(f.lastName);
    card.setGivenName(f.firstName);
    card.setFormattedName(
        QStringList({ f.firstName, f.lastName }).join(QLatin1Char(' ')).trimmed());
    if (!f.company.isEmpty())
        card.setOrganization(f.company);
    if (!f.jobTitle.isEmpty())
        card.setTitle(f.jobTitle);

    auto addEmail = [&card](const QString &address, KContacts::Email::Type type) {
        if (address.isEmpty())
            return;
        KContacts::Email email(address);
        email.setType(type);
        card.addEmail(email);
    };
    addEmail(f.email, KContacts::Email::Work);
    addEmail(f.personalEmail, KContacts::Email::Home);

    auto addPhone = [&card](const QString &number, PhoneNumber::Type type) {
        if (!number.isEmpty())
            card.insertPhoneNumber(PhoneNumber(number, type));
    };
    addPhone(f.officePhone, PhoneNumber::Work | PhoneNumber::Voice);
    addPhone(f.officePhone2, PhoneNumber::Work | PhoneNumber::Voice);
    addPhone(f.personalHome, PhoneNumber::Home | PhoneNumber::Voice);
    addPhone(f.personalMobile, PhoneNumber::Cell);
    addPhone(f.fax, PhoneNumber::Fax);
    addPhone(f.otherPhone, PhoneNumber::Voice);

    if (!f.photo.isEmpty()) {
        const QByteArray bytes
            = QByteArray::fromBase64(f.photo, QByteArray::AbortOnBase64DecodingErrors);
        if (bytes.isEmpty()) {
            *approximations << QStringLiteral("photo is not base64 text; not written");
        } else {
            const QString mime = QMimeDatabase().mimeTypeForData(bytes).name();
            KContacts::Picture picture;
            picture.setRawData(bytes,
                               mime.startsWith(QLatin1String("image/")) ? mime.mid(6) : mime);
            card.setPhoto(picture);
        }
    }
    if (!f.collaborationId.isEmpty()) {
        const QUrl address(f.collaborationId);
        if (address.isValid())
            card.insertImpp(KContacts::Impp(address));
        else
            *approximations << QStringLiteral("collaborationId is not a URI; not written");
    }
    return card;
}

} // namespace Bridge
