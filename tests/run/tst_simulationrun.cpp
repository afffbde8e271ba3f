// Runs through the run core without a window: every outcome, a cancel that comes after the
// refinement, and a run that is superseded before it reports. Stand-in models keep them short.

#include "standinmodel.h"

#include <configuration.h>
#include <results.h>
#include <simulationrun.h>

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A model that runs until it is told to stop.
const char *const untilCancelled = "import time\n"
                                   "def MyFunc(*args):\n"
                                   "    while not args[-1]():\n"
                                   "        time.sleep(0.01)\n"
                                   "    return None\n";

RunRequest request(double tEnd = 1)
{
    RunRequest r = defaultRequest(1);
    r.t_end = tEnd;
    return r;
}

}  // namespace

class SimulationRunTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString startDir = QDir::currentPath();
    calc_SSAD ssad;
    calc_TSAD tsad;
    calc_TPAD tpad;
    calc_POMP pomp;
    Workers workers{&ssad, &tsad, &tpad, &pomp};

    static RunOutcome outcomeOf(const QSignalSpy &spy, int i = 0) { return spy.at(i).at(0).value<RunOutcome>(); }
    static QStringList workbooks() { return QDir().entryList({"*.xlsx"}, QDir::Files); }

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(dir.path())); }
    void cleanupTestCase() { QDir::setCurrent(startDir); }
    void init()
    {
        results::clearSeries();
        for (const QString &name : workbooks())
            QFile::remove(name);
    }

    void everyOutcome_data()
    {
        QTest::addColumn<QByteArray>("model");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("series");
        QTest::newRow("finished") << QByteArray(standInModel(11, 11).c_str()) << int(RunOutcome::End::Finished) << 11;
        QTest::newRow("stopped early") << QByteArray(standInModel(11, 6).c_str()) << int(RunOutcome::End::StoppedEarly)
                                       << 6;
        QTest::newRow("failed") << QByteArray("def MyFunc(*args):\n    raise ValueError('no feed table')\n")
                                << int(RunOutcome::End::Failed) << 0;
    }

    void everyOutcome()
    {
        QFETCH(QByteArray, model);
        QFETCH(int, end);
        QFETCH(int, series);
        ssad.program_text = model.toStdString();
        SimulationRun run(workers);
        QSignalSpy ended(&run, &SimulationRun::ended);
        run.start(request());
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 20000);
        const RunOutcome outcome = outcomeOf(ended);
        QCOMPARE(int(outcome.end), end);
        QCOMPARE(results::plot_t_R1.size(), series);
        QCOMPARE(workbooks().size(), outcome.refined() ? 1 : 0);
        if (outcome.end == RunOutcome::End::Failed)
            QCOMPARE(outcome.failure, QStringLiteral("ValueError: no feed table"));
        if (outcome.refined())
            QCOMPARE(QFileInfo(outcome.report.workbookPath).fileName(), workbooks().front());
    }

    // Cancel after the table was refined but before the outcome reached the owner: the run
    // leaves no workbook and no series, and the next run shows only itself.
    void cancelAfterTheRefinement()
    {
        ssad.program_text = standInModel(11, 11);
        SimulationRun run(workers);
        QSignalSpy ended(&run, &SimulationRun::ended);
        run.start(request());
        run.wait();  // the run thread is through; its outcome waits in the event queue
        QCOMPARE(workbooks().size(), 1);
        run.cancel();
        QCOMPARE(workbooks().size(), 0);
        QCOMPARE(results::plot_t_R1.size(), 0);
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(outcomeOf(ended).end, RunOutcome::End::Cancelled);

        run.start(request());
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 2, 20000);
        QCOMPARE(outcomeOf(ended, 1).end, RunOutcome::End::Finished);
        QCOMPARE(results::plot_t_R1.size(), 11);
        QCOMPARE(workbooks().size(), 1);
    }

    // A run cancelled by a new start reports only its cancel; one that was told stays told.
    void supersededRunIsDropped()
    {
        ssad.program_text = untilCancelled;
        SimulationRun run(workers);
        QSignalSpy ended(&run, &SimulationRun::ended);
        run.start(request());
        ssad.program_text = standInModel(11, 11);
        run.start(request());
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 2, 20000);
        QCOMPARE(outcomeOf(ended, 0).end, RunOutcome::End::Cancelled);
        QCOMPARE(outcomeOf(ended, 1).end, RunOutcome::End::Finished);
        run.cancel();  // too late: the finished run keeps its results
        QCOMPARE(results::plot_t_R1.size(), 11);
        QCOMPARE(workbooks().size(), 1);
    }
};

QTEST_GUILESS_MAIN(SimulationRunTest)
#include "tst_simulationrun.moc"
