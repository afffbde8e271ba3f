// Which run requests are refused before a worker sees them, and which worker gets them.
#include <configuration.h>
#include <simulationrun.h>

#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(RunRequest)

namespace {

RunRequest validRequest(int mode)
{
    RunRequest r = defaultRequest(mode);  // the plant and alarm inputs at their defaults
    r.mode = mode;
    r.final_Q_in = 170;
    r.X_c_in = 2;
    r.t_end = 50;
    r.f_pr_xc = r.f_li_xc = r.f_ch_xc = 0.3;
    r.ph_mode = 1;
    r.T_1 = r.T_2 = 308.15;
    r.P_atm1 = r.P_atm2 = 1.013;
    r.V_t1 = r.V_t2 = 3400;
    r.t_sr = 20;
    r.mix_i = 10;
    return r;
}

template <class Change>
RunRequest changed(int mode, Change change)
{
    RunRequest r = validRequest(mode);
    change(r);
    return r;
}

}  // namespace

class RunRequestTest : public QObject {
    Q_OBJECT

private slots:
    void refusals_data()
    {
        QTest::addColumn<RunRequest>("request");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("reason");
        const QString positive = "must be greater than 0";
        QTest::newRow("fraction sum above 1")
            << changed(1, [](RunRequest &r) { r.f_ch_xc = 0.5; }) << "f-pr + f-li + f-ch"
            << "must not add up to more than 1 (got 1.1)";
        QTest::newRow("fraction of 1")
            << changed(1, [](RunRequest &r) { r.f_pr_xc = 1; r.f_li_xc = r.f_ch_xc = 0; }) << "f-pr"
            << "must be from 0 to below 1 (got 1)";
        QTest::newRow("timespan under 0.1 d")
            << changed(2, [](RunRequest &r) { r.t_end = 0.09; }) << "t-end"
            << "must be from 0.1 to 104857 d (got 0.09 d)";
        QTest::newRow("no feed, temperature-phased")
            << changed(3, [](RunRequest &r) { r.final_Q_in = 0; }) << "q-in" << positive + " for config tpad";
        QTest::newRow("no feed, pump-mixed")
            << changed(4, [](RunRequest &r) { r.final_Q_in = 0; }) << "q-in" << positive + " for config pomp";
        QTest::newRow("negative feed, single-stage")
            << changed(1, [](RunRequest &r) { r.final_Q_in = -1; }) << "q-in" << "must not be negative";
        QTest::newRow("zero temperature")
            << changed(1, [](RunRequest &r) { r.T_1 = 0; }) << "t1" << "must be from 273.15 to 373.15 K (got 0 K)";
        QTest::newRow("negative pressure")
            << changed(4, [](RunRequest &r) { r.P_atm1 = -1; }) << "p1" << positive;
        QTest::newRow("zero volume")
            << changed(1, [](RunRequest &r) { r.V_t1 = 0; }) << "v1" << positive;
        QTest::newRow("second pressure, two-stage")
            << changed(2, [](RunRequest &r) { r.P_atm2 = 0; }) << "p2" << positive;
        QTest::newRow("second volume, temperature-phased")
            << changed(3, [](RunRequest &r) { r.V_t2 = 0; }) << "v2" << positive;
        QTest::newRow("second temperature, temperature-phased")
            << changed(3, [](RunRequest &r) { r.T_2 = 374; }) << "t2" << "must be from 273.15 to 373.15 K";
        // An empty manual pH field reads as pH 0; the free mode ignores the manual value.
        QTest::newRow("manual pH 0")
            << changed(1, [](RunRequest &r) { r.ph_mode = 0; r.S_h_ion_manual = 1; }) << "ph"
            << "must be from 1 to 12.99 (got 0)";
        QTest::newRow("manual pH of three decimals")
            << changed(1, [](RunRequest &r) { r.ph_mode = 0; r.S_h_ion_manual = std::pow(10.0, -7.123); }) << "ph"
            << "must have at most 2 decimals (got 7.123)";
    }

    // The first problem names the key; every problem is listed, not only the first.
    void refusals()
    {
        QFETCH(RunRequest, request);
        QFETCH(QString, key);
        QFETCH(QString, reason);
        const QList<InputProblem> problems = checkRunRequest(request);
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems.first().key, key);
        QVERIFY2(problems.first().reason.startsWith(reason), qPrintable(problems.first().reason));

        const QList<InputProblem> several =
            checkRunRequest(changed(3, [](RunRequest &r) { r.t_end = 0; r.V_t2 = 0; r.f_ch_xc = 0.5; }));
        QStringList keys;
        for (const InputProblem &problem : several)
            keys << problem.key;
        QCOMPARE(keys, (QStringList{"t-end", "v2", "f-pr + f-li + f-ch"}));
    }

    void acceptances_data()
    {
        QTest::addColumn<RunRequest>("request");
        for (int mode = 1; mode <= 4; ++mode)
            QTest::addRow("defaults, mode %d", mode) << validRequest(mode);
        QTest::newRow("fractions adding up to exactly 1")
            << changed(1, [](RunRequest &r) { r.f_pr_xc = 0.3; r.f_li_xc = 0.3; r.f_ch_xc = 0.4; });
        // Their binary sum is 1.0000000000000002; the input page lets them through as well.
        QTest::newRow("fractions adding up to 1 in decimal only")
            << changed(1, [](RunRequest &r) { r.f_pr_xc = 0.33; r.f_li_xc = 0.56; r.f_ch_xc = 0.11; });
        QTest::newRow("batch single-stage")
            << changed(1, [](RunRequest &r) { r.final_Q_in = 0; });
        QTest::newRow("batch two-stage")
            << changed(2, [](RunRequest &r) { r.final_Q_in = 0; });
        QTest::newRow("shortest timespan")
            << changed(1, [](RunRequest &r) { r.t_end = 0.1; });
        QTest::newRow("unused second reactor, single-stage")
            << changed(1, [](RunRequest &r) { r.T_2 = r.P_atm2 = r.V_t2 = 0; });
        QTest::newRow("unused second temperature, two-stage")
            << changed(2, [](RunRequest &r) { r.T_2 = 0; });
        QTest::newRow("unused second reactor, pump-mixed")
            << changed(4, [](RunRequest &r) { r.T_2 = r.P_atm2 = r.V_t2 = 0; });
        QTest::newRow("manual pH 12.99")
            << changed(1, [](RunRequest &r) { r.ph_mode = 0; r.S_h_ion_manual = std::pow(10.0, -12.99); });
        QTest::newRow("manual pH 6.25")
            << changed(1, [](RunRequest &r) { r.ph_mode = 0; r.S_h_ion_manual = std::pow(10.0, -6.25); });
        QTest::newRow("free pH beside an empty manual field")
            << changed(1, [](RunRequest &r) { r.ph_mode = 1; r.S_h_ion_manual = 1; });
    }

    void acceptances()
    {
        QFETCH(RunRequest, request);
        const QList<InputProblem> problems = checkRunRequest(request);
        QVERIFY2(problems.isEmpty(), problems.isEmpty() ? "" : qPrintable(problems.first().reason));
    }

    void workerForEachMode()
    {
        calc_SSAD ssad;
        calc_TSAD tsad;
        calc_TPAD tpad;
        calc_POMP pomp;
        const Workers workers{&ssad, &tsad, &tpad, &pomp};
        QCOMPARE(workerFor(workers, 1), &ssad);
        QCOMPARE(workerFor(workers, 2), &tsad);
        QCOMPARE(workerFor(workers, 3), &tpad);
        QCOMPARE(workerFor(workers, 4), &pomp);
    }
};

QTEST_GUILESS_MAIN(RunRequestTest)
#include "tst_runrequest.moc"
