#include "remainingtime.h"

#include <QTest>

class RemainingTimeTest : public QObject {
    Q_OBJECT
private slots:
    void measuresFromTheFirstReading()
    {
        RemainingTime clock;
        QCOMPARE(clock.elapsedMs(5'000'000'000), 0);
        QCOMPARE(clock.elapsedMs(5'001'999'999), 1);  // truncated, not rounded
        QCOMPARE(clock.elapsedMs(35'000'000'000), 30'000);
    }

    void restartTakesTheNextReadingAsStart()
    {
        RemainingTime clock;
        clock.elapsedMs(1'000'000'000);
        clock.markRestart();
        QCOMPARE(clock.elapsedMs(9'000'000'000), 0);
        QCOMPARE(clock.elapsedMs(10'500'000'000), 1'500);
        // One mark restarts once.
        QCOMPARE(clock.elapsedMs(11'000'000'000), 2'000);
    }

    void restartMarkedBeforeTheFirstReading()
    {
        RemainingTime clock;
        clock.markRestart();
        QCOMPARE(clock.elapsedMs(7'000'000'000), 0);
        QCOMPARE(clock.elapsedMs(8'000'000'000), 1'000);
    }

    void clockIsMonotonic()
    {
        const qint64 first = RemainingTime::now();
        QVERIFY(RemainingTime::now() >= first);
    }
};

QTEST_GUILESS_MAIN(RemainingTimeTest)
#include "tst_remainingtime.moc"
