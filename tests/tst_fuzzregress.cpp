// Replays every committed fuzz input (seeds and regressions) through the
// checks the fuzz targets run, so a crash once found stays fixed.
#include "../fuzz/FuzzHarness.h"
#include "TimeZoneScope.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class FuzzRegressTest : public QObject
{
    Q_OBJECT

private slots:
    void replay_data();
    void replay();
};

void FuzzRegressTest::replay_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("path");
    const QDir fuzz(QStringLiteral(VELXML_TEST_DATA "/../../fuzz"));
    int rows = 0;
    for (const QString &kind : { QStringLiteral("regressions"), QStringLiteral("corpus") }) {
        for (const QString &target : { QStringLiteral("reader"), QStringLiteral("roundtrip"),
                                       QStringLiteral("writable") }) {
            const QDir directory(fuzz.filePath(kind + QLatin1Char('/') + target));
            const QStringList names = directory.entryList(QDir::Files, QDir::Name);
            for (const QString &name : names) {
                const QString row = kind + QLatin1Char('/') + target + QLatin1Char('/') + name;
                QTest::newRow(qPrintable(row)) << target << directory.filePath(name);
                ++rows;
            }
        }
    }
    QVERIFY2(rows > 0, "no fuzz inputs found next to the tests");
}

void FuzzRegressTest::replay()
{
    QFETCH(QString, target);
    QFETCH(QString, path);
    // The zone the fuzz targets run in.
    TimeZoneScope tz("CET-1CEST,M3.5.0,M10.5.0/3");
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray input = file.readAll();
    const QString failure = target == QLatin1String("reader") ? FuzzHarness::checkReader(input)
        : target == QLatin1String("writable")                 ? FuzzHarness::checkWritable(input)
                                                              : FuzzHarness::checkRoundTrip(input);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

QTEST_GUILESS_MAIN(FuzzRegressTest)
#include "tst_fuzzregress.moc"
