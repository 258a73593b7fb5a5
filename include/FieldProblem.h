#ifndef FIELDPROBLEM_H
#define FIELDPROBLEM_H

/**
 * @file FieldProblem.h
 * What ContactFields::fromItem() and AppointmentFields::fromItem() could not
 * read into a field.
 */

#include <QString>

/**
 * One element of a record that did not become a field as it stands: a value
 * that does not parse into the field's type, an element the kind does not
 * know, or a second element of a name already read.
 * @since 1.2
 */
struct FieldProblem {
    /// The element name ("begin", "alarmReminderDelay", ...).
    QString field;
    /// The element's text as the record holds it.
    QString text;
    /// Why it was not read, a short fixed English text.
    QString why;

    bool operator==(const FieldProblem &other) const
    {
        return field == other.field && text == other.text && why == other.why;
    }
    bool operator!=(const FieldProblem &other) const { return !(*this == other); }
};

#endif // FIELDPROBLEM_H
