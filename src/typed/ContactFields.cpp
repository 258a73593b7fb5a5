#include <ContactFields.h>

#include "typed/FieldProblems.h"

namespace
{

// The text fields under their element names, in the order a contact's
// elements are written; the photo, the one field of another type, is apart.
struct TextField {
    QLatin1String name;
    QString ContactFields::*member;
};

const TextField textFields[] = {
    { QLatin1String("lastName"), &ContactFields::lastName },
    { QLatin1String("firstName"), &ContactFields::firstName },
    { QLatin1String("company"), &ContactFields::company },
    { QLatin1String("email"), &ContactFields::email },
    { QLatin1String("personalEmail"), &ContactFields::personalEmail },
    { QLatin1String("officePhone"), &ContactFields::officePhone },
    { QLatin1String("personalHome"), &ContactFields::personalHome },
    { QLatin1String("personalMobile"), &ContactFields::personalMobile },
    { QLatin1String("fax"), &ContactFields::fax },
    { QLatin1String("officePhone2"), &ContactFields::officePhone2 },
    { QLatin1String("collaborationId"), &ContactFields::collaborationId },
    { QLatin1String("otherPhone"), &ContactFields::otherPhone },
    { QLatin1String("jobTitle"), &ContactFields::jobTitle },
};
constexpr int textFieldCount = int(sizeof textFields / sizeof textFields[0]);
constexpr int photoIndex = textFieldCount;

int fieldIndex(const QString &name)
{
    for (int i = 0; i < textFieldCount; ++i) {
        if (name == textFields[i].name)
            return i;
    }
    return name == QLatin1String("photo") ? photoIndex : -1;
}

} // namespace

ContactFields ContactFields::fromItem(const ImpExp_Item &record, QList<FieldProblem> *problems)
{
    FieldProblems report(problems);
    ContactFields fields;
    quint32 seen = 0;
    for (const auto &element : record.getItemElements()) {
        const int index = fieldIndex(element.first);
        if (index < 0) {
            report.add(element.first, element.second, "not a contact field");
            continue;
        }
        // The first element of a name counts, as with getElement().
        if (seen & (1u << index)) {
            report.add(element.first, element.second, "repeated; the first one is read");
            continue;
        }
        seen |= 1u << index;
        if (index == photoIndex) {
            // Present means not null, even when empty: the constructor keeps
            // an empty photo but drops a null one.
            fields.photo = element.second.toUtf8();
            if (fields.photo.isNull())
                fields.photo = QByteArray("");
        } else {
            fields.*textFields[index].member = element.second;
        }
    }
    return fields;
}

bool ContactFields::operator==(const ContactFields &other) const
{
    for (const TextField &field : textFields) {
        if (this->*field.member != other.*field.member)
            return false;
    }
    return photo == other.photo && photo.isNull() == other.photo.isNull();
}
