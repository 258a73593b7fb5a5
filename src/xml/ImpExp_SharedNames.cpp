#include "xml/ImpExp_SharedNames.h"

#include <array>

namespace
{

// Literals: copies of them share static data and never touch the heap.
const QString knownNames[] = {
    // Item kinds and their attributes.
    QStringLiteral("contact"),
    QStringLiteral("contactMap"),
    QStringLiteral("appointment"),
    QStringLiteral("appointmentMap"),
    QStringLiteral("duid"),
    QStringLiteral("puid"),
    QStringLiteral("lastModified"),
    // Contact fields.
    QStringLiteral("lastName"),
    QStringLiteral("firstName"),
    QStringLiteral("company"),
    QStringLiteral("jobTitle"),
    QStringLiteral("email"),
    QStringLiteral("personalEmail"),
    QStringLiteral("officePhone"),
    QStringLiteral("personalHome"),
    QStringLiteral("personalMobile"),
    QStringLiteral("otherPhone"),
    QStringLiteral("fax"),
    QStringLiteral("photo"),
    QStringLiteral("collaborationId"),
    // Appointment fields.
    QStringLiteral("begin"),
    QStringLiteral("end"),
    QStringLiteral("title"),
    QStringLiteral("description"),
    QStringLiteral("periodicity"),
    QStringLiteral("repetitiveEndDate"),
    QStringLiteral("alarmReminderDelay"),
    QStringLiteral("place"),
    QStringLiteral("readOnly"),
};

constexpr int longestName = 20;

// The known names by length, so that a name is compared with two or three
// of them at most. Each list ends with -1.
struct ByLength {
    std::array<std::array<signed char, 8>, longestName + 1> indexes;

    ByLength()
    {
        for (auto &list : indexes)
            list.fill(-1);
        std::array<int, longestName + 1> used {};
        for (int i = 0; i < int(std::size(knownNames)); ++i) {
            const int length = int(knownNames[i].size());
            indexes[length][used[length]++] = static_cast<signed char>(i);
        }
    }
};

const ByLength byLength;

// The texts of flags.
const QString trueText = QStringLiteral("true");
const QString falseText = QStringLiteral("false");

} // namespace

QString ImpExp_SharedNames::of(QStringView name)
{
    if (name.size() <= longestName) {
        for (const signed char index : byLength.indexes[name.size()]) {
            if (index < 0)
                break;
            if (knownNames[index] == name)
                return knownNames[index];
        }
    }
    return name.toString();
}

QString ImpExp_SharedNames::ofText(QStringView text)
{
    if (text.size() == 4 && text == QStringView(trueText))
        return trueText;
    if (text.size() == 5 && text == QStringView(falseText))
        return falseText;
    return text.toString();
}
