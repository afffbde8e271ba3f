// The compiled kernel against the scripts' own Python code: the same tables bit for bit, with the
// default constants, changed ones and a feed schedule, the same pH solver on hard inputs, the same
// failure reports.
#include "scriptsource.h"
#include <feedschedule.h>
#include <simulationrun.h>
#include "workers.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace {

RunRequest request(int mode, int ph_mode)
{
    RunRequest r;
    r.mode = mode;
    r.final_Q_in = 5.31;
    r.X_c_in = 10.0;
    r.t_end = 1.5;
    r.f_pr_xc = r.f_li_xc = r.f_ch_xc = 0.3;
    r.ph_mode = ph_mode;
    r.S_h_ion_manual = 1e-7;
    r.T_1 = 308.0;
    r.T_2 = 328.0;
    r.P_atm1 = 1.013;
    r.P_atm2 = 1.013;
    r.V_t1 = 33.0;
    r.V_t2 = 33.0;
    r.t_sr = 2.0;  // solids retention acts: the reactors' retention times are under 6.5 d
    r.mix_i = 10.0;
    return r;
}

// Everything a run left: its signals, its tables (both reactors) and its count of evaluations.
struct RunTrace {
    QStringList events;
    ResultRows reactor1, reactor2;
    long evaluations = 0;
};

// Every value bit for bit, except that any NaN equals any NaN: which NaN an operation on two
// of them returns (its sign and payload) is the compiler's choice, not the arithmetic's.
bool sameValues(const ResultRows &a, const ResultRows &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t r = 0; r < a.size(); ++r) {
        if (a[r].size() != b[r].size())
            return false;
        for (size_t c = 0; c < a[r].size(); ++c)
            if (!(std::isnan(a[r][c]) && std::isnan(b[r][c]))
                && std::memcmp(&a[r][c], &b[r][c], sizeof(double)) != 0)
                return false;
    }
    return true;
}

}  // namespace

class KernelTest : public QObject {
    Q_OBJECT

    calc_SSAD ssad;
    calc_TSAD tsad;
    calc_TPAD tpad;
    calc_POMP pomp;
    Workers workers{&ssad, &tsad, &tpad, &pomp};

    RunTrace run(RunRequest r, Engine engine)
    {
        r.engine = engine;
        SimulationWorker *worker = workerFor(workers, r.mode);
        RunTrace trace;
        const auto a = connect(worker, &SimulationWorker::workFinished, worker,
                               [&](const QString &) { trace.events << "finished"; }, Qt::DirectConnection);
        const auto b = connect(worker, &SimulationWorker::workFailed, worker,
                               [&](const QString &m) { trace.events << "failed: " + m; }, Qt::DirectConnection);
        std::thread thread([&] { runOnWorker(workers, r); });
        thread.join();
        disconnect(a);
        disconnect(b);
        const WorkerTables tables = workerTables(r.mode);
        trace.reactor1 = *tables.reactor1;
        if (tables.reactor2)
            trace.reactor2 = *tables.reactor2;
        trace.evaluations = worker->lastRunCost().rhs_evaluations;
        return trace;
    }

    // events, when given, receives what both runs signalled.
    void compareEngines(const RunRequest &r, QStringList *events = nullptr)
    {
        const RunTrace scripts = run(r, Engine::Scripts);
        const RunTrace native = run(r, Engine::Native);
        if (events)
            *events = native.events;
        QCOMPARE(native.events, scripts.events);
        QVERIFY(sameValues(native.reactor1, scripts.reactor1));
        QVERIFY(sameValues(native.reactor2, scripts.reactor2));
        QCOMPARE(native.evaluations, scripts.evaluations);
    }

private slots:
    void tablesEqualOnBothEngines_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("ph_mode");
        QTest::addColumn<bool>("damped");
        const char *names[] = {"single-stage", "two-stage", "temperature-phased", "pump-mixed"};
        for (int mode = 1; mode <= 4; ++mode) {
            QTest::addRow("%s free pH", names[mode - 1]) << mode << 1 << false;
            QTest::addRow("%s free pH damped", names[mode - 1]) << mode << 1 << true;
            QTest::addRow("%s manual pH", names[mode - 1]) << mode << 0 << false;
        }
    }

    void tablesEqualOnBothEngines()
    {
        QFETCH(int, mode);
        QFETCH(int, ph_mode);
        QFETCH(bool, damped);
        RunRequest r = request(mode, ph_mode);
        r.phSolver = damped ? PhSolver::Damped : PhSolver::Exact;
        const RunTrace native = run(r, Engine::Native);
        QCOMPARE(native.events, QStringList{"finished"});
        QCOMPARE(native.reactor1.size(), size_t(16));
        QVERIFY(native.evaluations > 0);
        compareEngines(r);
    }

    // Changed constants and a feed schedule reach the kernel as they reach the scripts:
    // headspace_share also sets the two-stage run's gas split, and the co-digestion schedule
    // of substrates (every component, S_cat and S_an) steps on days 7 and 14.
    void plantInputsReachBothEngines_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("schedule");
        const char *names[] = {"single-stage", "two-stage", "temperature-phased", "pump-mixed"};
        for (int mode = 1; mode <= 4; ++mode) {
            QTest::addRow("%s, km_ac and headspace_share", names[mode - 1]) << mode << false;
            QTest::addRow("%s, co-digestion feed", names[mode - 1]) << mode << true;
        }
    }

    void plantInputsReachBothEngines()
    {
        QFETCH(int, mode);
        QFETCH(bool, schedule);
        RunRequest r = request(mode, 1);
        if (schedule) {
            const FileReading<Substrates> substrates = readSubstrates(FEEDS_DIR "/substrates.toml");
            const FileReading<FeedSchedule> feed =
                readFeedSchedule(FEEDS_DIR "/codigestion-feed.csv", substrates.value.value_or(Substrates{}));
            QVERIFY2(feed.value, qPrintable(feed.problems.join(u'\n')));
            r.feed = std::make_shared<const FeedSchedule>(*feed.value);
            r.t_end = 15.0;
        } else {
            r.parameters = {{QStringLiteral("km_ac"), 4.0}, {QStringLiteral("headspace_share"), 0.2}};
        }
        QStringList events;
        compareEngines(r, &events);
        QCOMPARE(events, QStringList{"finished"});
    }

    // A failure inside the kernel reads as the scripts' failure: a volume of 0 divides by zero,
    // a feed that is no number makes the integrator give up.
    void failuresEqualOnBothEngines_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<double>("V_t1");
        QTest::addColumn<double>("X_c_in");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("single-stage, no volume") << 1 << 0.0 << 10.0;
        QTest::newRow("temperature-phased, no volume") << 3 << 0.0 << 10.0;
        QTest::newRow("two-stage, feed no number") << 2 << 33.0 << nan;
        QTest::newRow("pump-mixed, feed no number") << 4 << 33.0 << nan;
    }

    void failuresEqualOnBothEngines()
    {
        QFETCH(int, mode);
        QFETCH(double, V_t1);
        QFETCH(double, X_c_in);
        RunRequest r = request(mode, 1);
        r.V_t1 = V_t1;
        r.X_c_in = X_c_in;
        r.t_end = 0.3;
        compareEngines(r);
        if (V_t1 == 0.0)
            QCOMPARE(run(r, Engine::Native).events,
                     QStringList{"failed: ZeroDivisionError: float division by zero"});
    }

    // The solver alone on a grid from nearly nothing to far too much of everything, in both
    // modes: the same ten values, bit for bit. Where plain floats raise, the scripts evaluate on
    // numpy scalars (tank's retry), which is what the kernel's arithmetic matches.
    void phSolverOnHardInputs()
    {
        ssad.program_text = loadScriptText(102, QStringLiteral("SH_SOLVER")) + R"(
import itertools
import numpy as np
import digestra_kernel

def MyFunc(*args):
    amounts = (0.0, 1e-300, 1e-12, 1e-3, 0.1, 10.0, 1e6, 1e160)
    ions = (0.0, 1e-9, 0.04, 3.0, 1e8)
    constants = (4.7e-10, 4.9e-7, 2.1e-14)
    cases = mismatches = 0
    for solver, acids, S_IC, S_IN, S_cat, S_an, (ph_mode, S_h) in itertools.product(
            ('exact', 'damped'), amounts, amounts, amounts, ions, ions, ((1, 1e-7), (0, 1e-13), (0, 1e-7), (0, 0.1))):
        args = (acids, 0.5 * acids, 2.0 * acids, 3.0 * acids, S_IC, S_IN, S_cat, S_an) + constants + (ph_mode, S_h)
        start_ph_solver(solver)  # each call from the first start, as the kernel's
        try:
            expected = solve_ph(*args)
        except ArithmeticError:
            expected = solve_ph(*[np.float64(a) for a in args[:11]], ph_mode, S_h)
        got = digestra_kernel.solve_ph(*args, globals())
        cases += 1
        if [float(v).hex() for v in expected] != [v.hex() for v in got]:
            mismatches += 1
            if mismatches < 4:
                print('solve_ph differs at', args, expected, got)
    table = np.zeros((2, 50))
    table[0, :2] = cases, mismatches
    return table
)";
        RunRequest r = request(1, 1);
        r.engine = Engine::Native;
        std::thread thread([&] { runOnWorker(workers, r); });
        thread.join();
        ssad.program_text.clear();
        QCOMPARE(calc_SSAD::results_R1.size(), size_t(2));
        QCOMPARE(calc_SSAD::results_R1[0][0], 2.0 * 8 * 8 * 8 * 5 * 5 * 4);
        QCOMPARE(calc_SSAD::results_R1[0][1], 0.0);
    }

    // The scripts engine takes the Python code even after a native run offered the kernel.
    void scriptsEngineHidesTheKernel()
    {
        ssad.program_text = R"(
import numpy as np
try:
    import digestra_kernel
    offered = 1.0
except ImportError:
    offered = 0.0

def MyFunc(*args):
    table = np.zeros((2, 50))
    table[0, 0] = offered
    return table
)";
        for (const Engine engine : {Engine::Native, Engine::Scripts, Engine::Native}) {
            RunRequest r = request(1, 1);
            r.engine = engine;
            std::thread thread([&] { runOnWorker(workers, r); });
            thread.join();
            QCOMPARE(calc_SSAD::results_R1[0][0], engine == Engine::Native ? 1.0 : 0.0);
        }
        ssad.program_text.clear();
    }
};

QTEST_GUILESS_MAIN(KernelTest)
#include "tst_kernel.moc"
