#ifndef FUZZHARNESS_H
#define FUZZHARNESS_H

#include <QByteArray>
#include <QString>

// The checks behind the fuzz targets, shared with the test that replays the
// corpus and the regression files. Each returns an empty text when every
// check held, otherwise a description of what went wrong.
namespace FuzzHarness
{

// Splits a reader input into page file 00 (before it) and page file 01 (after it).
extern const char pageMarker[];

// Process setup for a fuzz target: a fixed time zone with daylight saving,
// and the library's debug channel silenced.
void prepareProcess();

// The input becomes the page files of a set; items of a few kinds are pulled
// from it, with and without their elements, until false or an exception.
// Only ImpExp_FatalException with one of the reader's messages may leave.
QString checkReader(const QByteArray &input);

// The input is decoded into a handful of items and export parameters; the
// items are exported with a small page size, read back kind by kind and
// compared with what the writer promises.
QString checkRoundTrip(const QByteArray &input);

// The input is decoded into one item with names of every kind (the format's
// own, long ones, any characters) and values of any characters; it must come
// back from a page of its own exactly when the writer calls it writable.
QString checkWritable(const QByteArray &input);

} // namespace FuzzHarness

#endif // FUZZHARNESS_H
