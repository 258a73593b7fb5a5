#ifndef VELXML_EXPORTCHECKS_H
#define VELXML_EXPORTCHECKS_H

#include <QString>
#include <QStringList>

class ImpExp_XMLBuilder;

// The checks every command that writes a set makes around its builder, so
// that an export never destroys an older set to fail afterwards, and never
// ends with status 0 on a set that is not what it was given.

// Before the export's builder exists (a builder of no items writes its page
// at once): the page files of an older, longer set that an export of
// @p itemCount items in pages of @p pageSize would leave behind (the
// builder's leftOverPages()), named, the first ten of them, and the way on.
// Empty when there are none, or with @p replace.
QString leftOverRefusal(const QString &pathTemplate, int pageSize, int itemCount, bool replace);

// After closeBuilder(): what is wrong with the set written, empty when
// nothing: a page that could not be written, a short set, a left-over page
// that could not be removed (with @p replace, removed only now that the new
// set is whole) or is left behind, values written otherwise than given (the
// first named).
QString writtenSetProblem(ImpExp_XMLBuilder &builder, bool replace);

#endif // VELXML_EXPORTCHECKS_H
