// Which run requests are refused before a worker sees them, and which worker gets them.
#include <configuration.h>
#include <simulationrun.h>

#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(RunRequest)
Q_DECLARE_METATYPE(Input)

namespace {

RunRequest validRequest(int mode)
{
    RunRequest r;
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
        QTest::addColumn<Input>("field");
        QTest::addColumn<QString>("reason");
        const QString positive = "must be greater than 0";
        QTest::newRow("fraction sum above 1")
            << changed(1, [](RunRequest &r) { r.f_ch_xc = 0.5; }) << Input::Fpr
            << "must not add up to more than 1";
        QTest::newRow("timespan under 0.1 d")
            << changed(2, [](RunRequest &r) { r.t_end = 0.09; }) << Input::Timespan
            << "must be at least 0.1 d";
        QTest::newRow("no feed, temperature-phased")
            << changed(3, [](RunRequest &r) { r.final_Q_in = 0; }) << Input::FeedFlow << positive;
        QTest::newRow("no feed, pump-mixed")
            << changed(4, [](RunRequest &r) { r.final_Q_in = 0; }) << Input::FeedFlow << positive;
        QTest::newRow("negative feed, single-stage")
            << changed(1, [](RunRequest &r) { r.final_Q_in = -1; }) << Input::FeedFlow
            << "must not be negative";
        QTest::newRow("zero temperature")
            << changed(1, [](RunRequest &r) { r.T_1 = 0; }) << Input::T1 << positive;
        QTest::newRow("negative pressure")
            << changed(4, [](RunRequest &r) { r.P_atm1 = -1; }) << Input::P1 << positive;
        QTest::newRow("zero volume")
            << changed(1, [](RunRequest &r) { r.V_t1 = 0; }) << Input::V1 << positive;
        QTest::newRow("second pressure, two-stage")
            << changed(2, [](RunRequest &r) { r.P_atm2 = 0; }) << Input::P2 << positive;
        QTest::newRow("second volume, temperature-phased")
            << changed(3, [](RunRequest &r) { r.V_t2 = 0; }) << Input::V2 << positive;
        QTest::newRow("second temperature, temperature-phased")
            << changed(3, [](RunRequest &r) { r.T_2 = 0; }) << Input::T2 << positive;
    }

    void refusals()
    {
        QFETCH(RunRequest, request);
        QFETCH(Input, field);
        QFETCH(QString, reason);
        const auto problem = checkRunRequest(request);
        QVERIFY(problem);
        if (problem->subject == InputProblem::Subject::Input)
            QCOMPARE(problem->input, field);
        else
            QCOMPARE(problem->subject, InputProblem::Subject::Fractions);
        QCOMPARE(problem->reason, reason);
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
    }

    void acceptances()
    {
        QFETCH(RunRequest, request);
        const auto problem = checkRunRequest(request);
        QVERIFY2(!problem, problem ? qPrintable(problem->reason) : "");
    }

    // An empty manual pH field reads as pH 0; the free mode ignores the manual value.
    void manualPh()
    {
        RunRequest r = validRequest(1);
        r.ph_mode = 0;
        r.S_h_ion_manual = 1;
        const auto problem = checkRunRequest(r);
        QVERIFY(problem);
        QCOMPARE(problem->subject, InputProblem::Subject::ManualPh);
        r.S_h_ion_manual = std::pow(10.0, -12.99);
        QVERIFY(!checkRunRequest(r));
        r.ph_mode = 1;
        r.S_h_ion_manual = 1;
        QVERIFY(!checkRunRequest(r));
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
