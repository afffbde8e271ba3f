// The lines under the progress bar: simulated day and remaining-time estimate.

#include "progresstexts.h"

#include <QTest>

class ProgressTextsTest : public QObject {
    Q_OBJECT
private slots:
    void texts_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<double>("tEnd");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("remaining");  // empty: the label keeps its text
        QTest::newRow("first update of a run") << 0 << 50.0 << qint64(0) << "Simulating day: 0 of total 50" << "";
        QTest::newRow("0 % keeps the estimate however long it took")
            << 0 << 50.0 << qint64(90'000) << "Simulating day: 0 of total 50" << "";
        QTest::newRow("quarter of 50 days after 30 s: day rounded up")
            << 25 << 50.0 << qint64(30'000) << "Simulating day: 13 of total 50" << "About 00:01:30 remaining...";
        QTest::newRow("exactly one minute left keeps the text")
            << 50 << 10.0 << qint64(60'000) << "Simulating day: 5 of total 10" << "";
        QTest::newRow("one second left keeps the text") << 50 << 10.0 << qint64(1'000) << "Simulating day: 5 of total 10" << "";
        QTest::newRow("two seconds left") << 50 << 10.0 << qint64(2'000) << "Simulating day: 5 of total 10"
                                          << "About 00:00:02 remaining...";
        QTest::newRow("seconds truncated, not rounded")
            << 3 << 50.0 << qint64(1'999) << "Simulating day: 2 of total 50" << "About 00:01:04 remaining...";
        QTest::newRow("more than 99 hours has three digits")
            << 1 << 50.0 << qint64(3'650'000) << "Simulating day: 1 of total 50" << "About 100:22:30 remaining...";
        QTest::newRow("timespan with six significant digits")
            << 100 << 12.3456789 << qint64(5'000) << "Simulating day: 13 of total 12.3457" << "";
        QTest::newRow("day of a fractional timespan")
            << 40 << 0.5 << qint64(500) << "Simulating day: 1 of total 0.5" << "";
    }

    void texts()
    {
        QFETCH(int, percent);
        QFETCH(double, tEnd);
        QFETCH(qint64, elapsedMs);
        QFETCH(QString, day);
        QFETCH(QString, remaining);
        const ProgressTexts texts = progressTexts(percent, tEnd, elapsedMs);
        QCOMPARE(texts.day, day);
        QCOMPARE(texts.remaining, remaining);
    }
};

QTEST_GUILESS_MAIN(ProgressTextsTest)
#include "tst_progresstexts.moc"
