// Refinement of finished runs: plot series, peak flows, the report of an integration that
// stopped early, and where the workbook goes.

#include "results.h"
#include "resultsworkbook.h"
#include "resultcolumns.h"
#include "testtables.h"

#include <configuration.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestRefinement : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString startDir;

    static void fillSSAD(const ResultRows &table)
    {
        calc_SSAD::results_R1 = table;
        calc_SSAD::results_rows = int(table.size());
        calc_SSAD::run_params = {1, 2, 0.5, 2, 1, 0, 0.2, 0.3, 0.4, 1, 308.15, 1.013, 3.4, 0, 0, 0};
    }

    // Flow (column 2) of a table, row by row.
    static ResultRows withFlows(const std::vector<double> &flows)
    {
        ResultRows table = syntheticTable(1, int(flows.size()));
        for (size_t i = 0; i < flows.size(); ++i)
            table[i][2] = flows[i];
        return table;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        startDir = QDir::currentPath();
        QDir::setCurrent(tmp.path());  // default workbooks land here
    }
    void cleanupTestCase() { QDir::setCurrent(startDir); }
    void init() { results::clearSeries(); }

    void singleReactorRunFillsReactorOneSeriesOnly()
    {
        results::plot_t_R2 = {42};
        results::peak_flow_R2 = 77;
        fillSSAD(syntheticTable(1, 6));

        results r;
        QSignalSpy finished(&r, &results::resultsFinished);
        r.refined_SSAD();

        QCOMPARE(finished.count(), 1);
        QVERIFY(finished.at(0).at(0).toString().isEmpty());
        for (const QVector<double> *s : {&results::plot_t_R1, &results::plot_flow_R1, &results::plot_ch4_R1,
                                         &results::plot_co2_R1, &results::plot_h2_R1, &results::plot_h2o_R1})
            QCOMPARE(s->size(), 6);
        QCOMPARE(results::plot_t_R1.first(), 0.0);
        QCOMPARE(results::plot_t_R1.last(), 0.5);
        // Each series comes from its own column: normal flow, then the four gas shares.
        QCOMPARE(results::plot_flow_R1.at(3), syntheticValue(1, 3, 2));
        QCOMPARE(results::plot_ch4_R1.at(3), syntheticValue(1, 3, 3));
        QCOMPARE(results::plot_co2_R1.at(3), syntheticValue(1, 3, 4));
        QCOMPARE(results::plot_h2_R1.at(3), syntheticValue(1, 3, 5));
        QCOMPARE(results::plot_h2o_R1.at(3), syntheticValue(1, 3, 6));
        QVERIFY(results::plot_t_R2.isEmpty());  // an earlier two-reactor run's curves go
        QCOMPARE(results::peak_flow_R2, 77.0);
        QCOMPARE(results::last_report.stoppedAtDay, -1.0);
        QCOMPARE(results::last_report.computedRows, 6);
    }

    void peakLeavesOutTheLastSample_data()
    {
        QTest::addColumn<std::vector<double>>("flows");
        QTest::addColumn<double>("peak");
        QTest::newRow("largest in last row") << std::vector<double>{0, 3, 5, 9} << 5.0;
        QTest::newRow("largest inside") << std::vector<double>{0, 8, 5, 2} << 8.0;
        QTest::newRow("largest at start") << std::vector<double>{6, 1, 2} << 6.0;
        // Too short for a peak: the largest value present, or 1 when there is no flow.
        QTest::newRow("one row") << std::vector<double>{4} << 4.0;
        QTest::newRow("one row without flow") << std::vector<double>{0} << 1.0;
        QTest::newRow("no rows") << std::vector<double>{} << 1.0;
    }
    void peakLeavesOutTheLastSample()
    {
        QFETCH(std::vector<double>, flows);
        QFETCH(double, peak);
        fillSSAD(withFlows(flows));
        results r;
        r.refined_SSAD();
        QCOMPARE(results::peak_flow_R1, peak);
        QCOMPARE(results::plot_flow_R1.size(), int(flows.size()));
    }

    void twoReactorRunsHaveIndependentPeaks_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("two-stage") << 2;
        QTest::newRow("temperature-phased") << 3;
    }
    void twoReactorRunsHaveIndependentPeaks()
    {
        QFETCH(int, mode);
        ResultRows r1 = syntheticTable(1, 5), r2 = syntheticTable(2, 5);
        for (int i = 0; i < 5; ++i) {
            r1[i][2] = std::vector<double>{0, 7, 3, 1, 50}[i];
            r2[i][2] = std::vector<double>{0, 1, 2, 11, 60}[i];
        }
        results r;
        QSignalSpy finished(&r, &results::resultsFinished);
        if (mode == 2) {
            calc_TSAD::results_R1 = r1, calc_TSAD::results_R2 = r2, calc_TSAD::results_rows = 5;
            calc_TSAD::run_params.assign(16, 1.0);
            calc_TSAD::run_params[9] = 2;
            r.refined_TSAD();
        } else {
            calc_TPAD::results_R1 = r1, calc_TPAD::results_R2 = r2, calc_TPAD::results_rows = 5;
            calc_TPAD::run_params.assign(17, 1.0);
            calc_TPAD::run_params[9] = 3;
            r.refined_TPAD();
        }
        QCOMPARE(finished.count(), 1);
        QCOMPARE(results::peak_flow_R1, 7.0);
        QCOMPARE(results::peak_flow_R2, 11.0);
        for (const QVector<double> *s : {&results::plot_t_R1, &results::plot_flow_R1, &results::plot_h2o_R1,
                                         &results::plot_t_R2, &results::plot_flow_R2, &results::plot_ch4_R2,
                                         &results::plot_co2_R2, &results::plot_h2_R2, &results::plot_h2o_R2})
            QCOMPARE(s->size(), 5);
        QCOMPARE(results::plot_ch4_R2.at(2), syntheticValue(2, 2, 3));
        QCOMPARE(results::plot_flow_R2.at(4), 60.0);
    }

    void eachRefinementHasItsOwnSeries()
    {
        fillSSAD(syntheticTable(1, 4));
        results first, second;
        first.refined_SSAD();
        second.refined_SSAD();  // another run without a new simulation in between
        QCOMPARE(results::plot_t_R1.size(), 4);

        results::peak_flow_R1 = 123;
        results::clearSeries();
        QVERIFY(results::plot_t_R1.isEmpty() && results::plot_flow_R1.isEmpty() && results::plot_h2o_R1.isEmpty());
        QCOMPARE(results::peak_flow_R1, 123.0);  // clearing keeps the peaks and the workbook name
        QVERIFY(!results::last_workbook.isEmpty());

        fillSSAD(syntheticTable(1, 3));
        results third;
        third.refined_SSAD();
        QCOMPARE(results::plot_t_R1, (QVector<double>{0.0, 0.1, 0.2}));
    }

    // A value of the operator's or the plant's columns that is not a number makes the results
    // unsound as one of the model's does: the run's status tells it.
    void notNumbersOfThePlantAreTold()
    {
        ResultRows table = syntheticTable(1, 6);
        const double shares[] = {60, 35, 1, 4};  // of methane, carbon dioxide, hydrogen and water vapour
        for (std::vector<double> &row : table)
            std::copy(std::begin(shares), std::end(shares), row.begin() + ResultCol::p_ch4);
        fillSSAD(table);
        calc_SSAD::run_model.plant = plantInputs(defaultRequest(1));
        results r;
        r.refined_SSAD();
        // (QVERIFY2 reads its message whatever the outcome: never an empty optional's value)
        const std::optional<UnsoundValue> &sound = results::last_report.summary.unsound;
        QVERIFY2(!sound, qPrintable(sound ? sound->describe() : QString()));
        calc_SSAD::run_model.plant.u_value = 1e308;
        r.refined_SSAD();
        calc_SSAD::run_model.plant = {};
        QVERIFY(results::last_report.summary.unsound);
        QCOMPARE(results::last_report.summary.unsound->describe(),
                 "values that are not numbers, first at day 0 in \"heat_demand\" of the plant");
    }

    void failedIntegrationKeepsZeroRowsOut()
    {
        // Computed up to day 0.4, then the integrator gave up and left zero rows behind.
        ResultRows table = syntheticTable(1, 9, 5);
        fillSSAD(table);
        results r;
        r.refined_SSAD();
        QCOMPARE(results::plot_t_R1.size(), 5);
        QCOMPARE(results::plot_t_R1.last(), 0.4);
        QCOMPARE(results::peak_flow_R1, syntheticValue(1, 3, 2));
        QCOMPARE(results::last_report.tableRows, 9);
        QCOMPARE(results::last_report.computedRows, 5);
        QCOMPARE(results::last_report.stoppedAtDay, 0.4);

        // The same for a two-reactor run, where both tables stop together.
        calc_TSAD::results_R1 = syntheticTable(1, 9, 3);
        calc_TSAD::results_R2 = syntheticTable(2, 9, 3);
        calc_TSAD::results_rows = 9;
        calc_TSAD::run_params.assign(16, 1.0);
        results::clearSeries();
        r.refined_TSAD();
        QCOMPARE(results::plot_t_R2.size(), 3);
        QCOMPARE(results::peak_flow_R2, syntheticValue(2, 1, 2));
        QCOMPARE(results::last_report.stoppedAtDay, 0.2);
    }

    void rowCountBeyondTheTableIsNotRead()
    {
        // A worker count that disagrees with its table must not send the refinement past the end.
        fillSSAD(syntheticTable(1, 3));
        calc_SSAD::results_rows = 10;
        results r;
        r.refined_SSAD();
        QCOMPARE(results::plot_t_R1.size(), 3);
    }

    void workbookNamesNeverReplaceEarlierOnes()
    {
        QTemporaryDir dir;
        const QDateTime when(QDate(2024, 1, 31), QTime(14, 15, 2));
        const FileTarget target = freshWorkbookTarget(QDir(dir.path()), when);
        QCOMPARE(target.path, QDir(dir.path()).absoluteFilePath("results_20240131_141502.xlsx"));
        QStringList names;
        for (int i = 0; i < 3; ++i) {
            SafeFile file(target);
            names << QFileInfo(file.commit().path).fileName();
        }
        QCOMPARE(names, QStringList({"results_20240131_141502.xlsx", "results_20240131_141502_2.xlsx",
                                     "results_20240131_141502_3.xlsx"}));
    }

    void defaultWorkbookGoesToWorkingDirectoryByAbsolutePath()
    {
        fillSSAD(syntheticTable(1, 3));
        results r;
        r.refined_SSAD();
        const QString a = results::last_workbook;
        r.refined_SSAD();  // most likely within the same second
        const QString b = results::last_workbook;
        for (const QString &path : {a, b}) {
            QVERIFY(QFileInfo(path).isAbsolute());
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
            QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(tmp.path()).absoluteFilePath());
            QVERIFY(QFileInfo(path).fileName().startsWith("results_"));
        }
        QVERIFY(a != b);
        QCOMPARE(results::last_report.workbookPath, b);
        QVERIFY(results::last_report.workbookError.isEmpty());
    }

    void explicitWorkbookPathIsUsedAsGiven()
    {
        fillSSAD(syntheticTable(1, 3));
        results r;
        r.setWorkbookPath("chosen.xlsx");  // relative to the working directory
        r.refined_SSAD();
        QCOMPARE(results::last_workbook, QDir(tmp.path()).absoluteFilePath("chosen.xlsx"));
        QVERIFY(QFileInfo::exists(results::last_workbook));
    }

    void failedSaveIsReportedAndTheRunStillEnds()
    {
        fillSSAD(syntheticTable(1, 3));
        const QString target = QDir(tmp.path()).absoluteFilePath("missing/dir/r.xlsx");
        results r;
        QSignalSpy finished(&r, &results::resultsFinished);
        r.setWorkbookPath(target);
        r.refined_SSAD();
        QCOMPARE(finished.count(), 1);
        QVERIFY(results::last_workbook.isEmpty());
        QVERIFY(results::last_report.workbookPath.isEmpty());
        QVERIFY2(results::last_report.workbookError.contains(target), qPrintable(results::last_report.workbookError));
        QCOMPARE(results::plot_t_R1.size(), 3);  // the plots still have their data
    }

    void removedWorkingDirectoryIsReportedNotResolvedToTheRoot()
    {
        fillSSAD(syntheticTable(1, 3));
        const QStringList rootBefore = QDir("/").entryList({"results_*.xlsx"}, QDir::Files);
        {
            QTemporaryDir gone;
            QVERIFY(QDir::setCurrent(gone.path()));
        }  // removed while it is the working directory
        results r;
        QSignalSpy finished(&r, &results::resultsFinished);
        r.refined_SSAD();
        QDir::setCurrent(tmp.path());
        QCOMPARE(finished.count(), 1);
        QVERIFY(results::last_workbook.isEmpty());
        QVERIFY(!results::last_report.workbookError.isEmpty());
        QCOMPARE(QDir("/").entryList({"results_*.xlsx"}, QDir::Files), rootBefore);
    }
};

QTEST_GUILESS_MAIN(TestRefinement)
#include "tst_refinement.moc"
