#ifndef VELXML_BENCH_LIBXML2EXPORT_H
#define VELXML_BENCH_LIBXML2EXPORT_H

// The ceiling of the export rows: libxml2's text writer, on the same items
// with texts prepared beforehand as UTF-8. Built only when libxml2 is found;
// the library itself never uses it.

#include "Workload.h"

#include <QByteArray>
#include <QList>
#include <QPair>

struct Utf8Item {
    QList<QPair<QByteArray, QByteArray>> attributes;
    QList<QPair<QByteArray, QByteArray>> elements; // qualified names
    bool withElements = true;
};

Utf8Item toUtf8(const PrebuiltItem &item);

// The version of libxml2 the benchmark was built with ("2.9.14").
QString libxml2Version();

// The same layout as the library's pages (declaration, root, application
// element, items, four-space indentation). libxml2 escapes a little
// differently (a quote in text stays a quote): the bench compares the bytes
// and says so.
RunResult libxml2Export(const QVector<Utf8Item> &items, const ExportSetup &setup,
                        const QString &pathTemplate);

#endif // VELXML_BENCH_LIBXML2EXPORT_H
