#include <AppointmentFields.h>

#include "model/ImpExp_Timestamp.h"
#include "typed/FieldProblems.h"

namespace
{

using Period = AppointmentFields::RepetitionPeriod;

enum Field {
    Begin,
    End,
    Title,
    Description,
    Periodicity,
    RepetitiveEndDate,
    AlarmReminderDelay,
    Place,
    ReadOnly,
    FieldCount
};

// Element names by Field, in the order an appointment's elements are written.
const QLatin1String fieldNames[FieldCount] = {
    QLatin1String("begin"),
    QLatin1String("end"),
    QLatin1String("title"),
    QLatin1String("description"),
    QLatin1String("periodicity"),
    QLatin1String("repetitiveEndDate"),
    QLatin1String("alarmReminderDelay"),
    QLatin1String("place"),
    QLatin1String("readOnly"),
};

int fieldIndex(const QString &name)
{
    for (int i = 0; i < FieldCount; ++i) {
        if (name == fieldNames[i])
            return i;
    }
    return -1;
}

const char notTimestamp[] = "not a timestamp yyyyMMddThhmmssZ";

QDateTime readDateTime(const QString &name, const QString &text, FieldProblems &report)
{
    const QDateTime local = ImpExp_Timestamp::toLocal(text);
    if (!local.isValid()) {
        report.add(name, text, notTimestamp);
        return QDateTime();
    }
    return local;
}

// The rules Appointment_Item writes are "RRULE:FREQ=" and the word. A longer
// rule is read as the accessor reads it, by the first word it holds, but
// what it says beyond the period would be lost: that is a problem too.
Period readPeriod(const QString &rule, FieldProblems &report)
{
    static const struct {
        QLatin1String word;
        Period period;
    } words[] = {
        { QLatin1String("DAILY"), Period::Daily },
        { QLatin1String("WEEKLY"), Period::Weekly },
        { QLatin1String("MONTHLY"), Period::Monthly },
    };
    const QLatin1String prefix("RRULE:FREQ=");
    const QString name = fieldNames[Periodicity];
    if (rule.isEmpty())
        return Period::OneTime;
    for (const auto &word : words) {
        if (!rule.contains(word.word))
            continue;
        if (rule.size() != prefix.size() + word.word.size() || !rule.startsWith(prefix))
            report.add(name, rule, "not the rule RRULE:FREQ=<period>; only its period is read");
        return word.period;
    }
    report.add(name, rule, "not a repetition period DAILY, WEEKLY or MONTHLY");
    return Period::OneTime;
}

} // namespace

AppointmentFields AppointmentFields::fromItem(const ImpExp_Item &record,
                                              QList<FieldProblem> *problems)
{
    FieldProblems report(problems);
    AppointmentFields fields;
    bool seen[FieldCount] = {};
    for (const auto &element : record.getItemElements()) {
        const QString &name = element.first;
        const QString &text = element.second;
        const int index = fieldIndex(name);
        if (index < 0) {
            report.add(name, text, "not an appointment field");
            continue;
        }
        // The first element of a name counts, as with the accessors.
        if (seen[index]) {
            report.add(name, text, "repeated; the first one is read");
            continue;
        }
        seen[index] = true;
        switch (Field(index)) {
        case Begin:
            fields.beginDate = readDateTime(name, text, report);
            break;
        case End:
            fields.endDate = readDateTime(name, text, report);
            break;
        case Title:
            fields.title = text;
            break;
        case Description:
            fields.description = text;
            break;
        case Periodicity:
            fields.repetitionPeriod = readPeriod(text, report);
            break;
        case RepetitiveEndDate:
            fields.repetitionEndDate = ImpExp_Timestamp::toLocalDate(text);
            if (fields.repetitionEndDate.isNull())
                report.add(name, text, notTimestamp);
            break;
        case AlarmReminderDelay: {
            bool isNumber = false;
            const int delay = text.toInt(&isNumber);
            if (isNumber) {
                fields.hasAlarm = true;
                fields.alarmReminderDelay = delay;
            } else {
                report.add(name, text, "not an integer");
            }
            break;
        }
        case Place:
            fields.place = text;
            break;
        case ReadOnly:
            if (text == QLatin1String("true"))
                fields.readOnly = true;
            else if (text != QLatin1String("false"))
                report.add(name, text, "neither true nor false");
            break;
        case FieldCount:
            break;
        }
    }
    if (!seen[ReadOnly])
        fields.readOnly = record.getReadOnlyItem();
    return fields;
}

bool AppointmentFields::operator==(const AppointmentFields &other) const
{
    return title == other.title && place == other.place && beginDate == other.beginDate
        && endDate == other.endDate && repetitionPeriod == other.repetitionPeriod
        && repetitionEndDate == other.repetitionEndDate && description == other.description
        && hasAlarm == other.hasAlarm && alarmReminderDelay == other.alarmReminderDelay
        && readOnly == other.readOnly;
}
