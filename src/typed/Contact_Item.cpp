#include <Contact_Item.h>

#include "model/ImpExp_Guard.h"

#include <QtGlobal>

namespace
{

// The photo travels as text: its bytes are UTF-8 up to the first zero byte.
QString photoText(const QByteArray &photo)
{
    if (photo.isNull())
        return QString();
    const char *bytes = photo.constData();
    return QString::fromUtf8(bytes, int(qstrnlen(bytes, uint(photo.size()))));
}

} // namespace

Contact_Item::Contact_Item(const QString &duid, const QString &puid, const QDateTime &lastModified,
                           const QString &firstName, const QString &lastName, const QString &email,
                           const QString &personalEmail, const QString &officePhone,
                           const QString &personalHome, const QString &personalMobile,
                           const QByteArray &photo, const QString &collaborationId,
                           const QString &officePhone2, const QString &fax, const QString &company,
                           const QString &otherPhone, const QString &jobTitle)
try : ImpExp_Item(QStringLiteral("contact"), duid, puid, lastModified) {
    const QString photoValue = photoText(photo);
    // One row per element, in the order the exchange format lists them; an
    // empty photo is still a photo, an empty text field is no field.
    const struct {
        QString name;
        const QString &value;
        bool present;
    } rows[] = {
        { QStringLiteral("lastName"), lastName, !lastName.isEmpty() },
        { QStringLiteral("firstName"), firstName, !firstName.isEmpty() },
        { QStringLiteral("company"), company, !company.isEmpty() },
        { QStringLiteral("email"), email, !email.isEmpty() },
        { QStringLiteral("personalEmail"), personalEmail, !personalEmail.isEmpty() },
        { QStringLiteral("officePhone"), officePhone, !officePhone.isEmpty() },
        { QStringLiteral("personalHome"), personalHome, !personalHome.isEmpty() },
        { QStringLiteral("personalMobile"), personalMobile, !personalMobile.isEmpty() },
        { QStringLiteral("fax"), fax, !fax.isEmpty() },
        { QStringLiteral("officePhone2"), officePhone2, !officePhone2.isEmpty() },
        { QStringLiteral("photo"), photoValue, !photo.isNull() },
        { QStringLiteral("collaborationId"), collaborationId, !collaborationId.isEmpty() },
        { QStringLiteral("otherPhone"), otherPhone, !otherPhone.isEmpty() },
        { QStringLiteral("jobTitle"), jobTitle, !jobTitle.isEmpty() },
    };

    int count = 0;
    for (const auto &row : rows)
        count += row.present;
    reserveElements(count);
    for (const auto &row : rows) {
        if (row.present)
            addElement(row.name, row.value);
    }
} catch (...) {
    ImpExp_Guard<ImpExp_ErrorException>::passOn();
}

Contact_Item::Contact_Item(const QString &duid, const QString &puid, const QDateTime &lastModified,
                           const ContactFields &f)
    : Contact_Item(duid, puid, lastModified, f.firstName, f.lastName, f.email, f.personalEmail,
                   f.officePhone, f.personalHome, f.personalMobile, f.photo, f.collaborationId,
                   f.officePhone2, f.fax, f.company, f.otherPhone, f.jobTitle)
{
}

Contact_Item::~Contact_Item() = default;
