// Runs through the four workers in an embedded interpreter, each on a thread of its own, as
// the window starts them: with small stand-in models, and once with the real single-stage script.
#include "runinputs.h"
#include <simulationrun.h>
#include "workers.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

Q_DECLARE_METATYPE(std::vector<double>)

namespace {

// Records its arguments in row 0 and their Python types in row 1 (0 float, 1 int, 2 float
// inside a tuple), fills the other rows with r * 1000 + c and reports one step per 0.1 d.
const char *echoModel = R"(
import sys
import numpy as np
WIDTH = %1

def MyFunc(*args):
    callback, getvalue = [a for a in args if callable(a)]
    assert sys.modules[type(callback).__module__].callback_handler is type(callback)
    values, kinds = [], []
    for a in args:
        if isinstance(a, tuple):
            values += list(a)
            kinds += [2.0 if type(v) is float else -1.0 for v in a]
        elif not callable(a):
            values.append(a)
            kinds.append({float: 0.0, int: 1.0}.get(type(a), -1.0))
    t_end = args[1]
    rows = int(np.floor(t_end / 0.1)) + 1
    table = np.fromfunction(lambda r, c: r * 1000.0 + c, (rows, WIDTH))
    table[0, :] = 0.0
    table[0, :len(values)] = values
    table[1, :] = 0.0
    table[1, :len(kinds)] = kinds
    for step in range(1, rows):
        if getvalue() == 1:
            return None
        callback(step * 0.1, t_end)
    return table
)";

std::string echo(int width) { return QString(echoModel).arg(width).toStdString(); }

// A model whose MyFunc runs the given statements (indented by four spaces) and then returns a
// table of two rows.
std::string modelRunning(const char *statements, int width = 50)
{
    return std::string("import numpy as np\nimport time\n\ndef MyFunc(*args):\n"
                       "    callback, getvalue = [a for a in args if callable(a)]\n")
           + statements + "\n    return np.zeros((2, " + std::to_string(width) + "))\n";
}

RunRequest request(int mode, double t_end = 1.0)
{
    RunRequest r;
    r.mode = mode;
    r.final_Q_in = 170;
    r.X_c_in = 2.5;
    r.t_end = t_end;
    r.f_pr_xc = 0.2;
    r.f_li_xc = 0.3;
    r.f_ch_xc = 0.4;
    r.ph_mode = 1;
    r.S_h_ion_manual = 1e-7;
    r.T_1 = 308.15;
    r.T_2 = 328.15;
    r.P_atm1 = 1.013;
    r.P_atm2 = 1.02;
    r.V_t1 = 3400;
    r.V_t2 = 1700;
    r.t_sr = 20;
    r.mix_i = 15;
    return r;
}

// What a worker signalled during a run, in order, recorded on the run thread.
class RunLog {
public:
    explicit RunLog(SimulationWorker &worker) : worker(worker)
    {
        connections = {
            QObject::connect(&worker, &SimulationWorker::inprogress, &worker,
                             [this](int percent) {
                                 events << QStringLiteral("progress %1").arg(percent);
                                 progress << percent;
                                 lastProgress = percent;
                             },
                             Qt::DirectConnection),
            QObject::connect(&worker, &SimulationWorker::workFinished, &worker,
                             [this](const QString &) { events << QStringLiteral("finished"); },
                             Qt::DirectConnection),
            QObject::connect(&worker, &SimulationWorker::workFailed, &worker,
                             [this](const QString &message) {
                                 events << QStringLiteral("failed: ") + message;
                             },
                             Qt::DirectConnection)};
    }
    ~RunLog()
    {
        for (const auto &connection : connections)
            QObject::disconnect(connection);
    }

    // Waits (on the test's thread) until the run reported the given percentage.
    bool waitForProgress(int percent) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (lastProgress.load() != percent) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    QStringList events;
    QList<int> progress;
    std::atomic<int> lastProgress{-1};

private:
    SimulationWorker &worker;
    QList<QMetaObject::Connection> connections;
};

// Points one of this process's descriptors at a file until text() is called.
class Redirected {
public:
    explicit Redirected(int descriptor) : descriptor(descriptor)
    {
        if (file.open()) {
            std::fflush(nullptr);
            saved = dup(descriptor);
            dup2(file.handle(), descriptor);
        }
    }
    ~Redirected() { text(); }

    // Restores the descriptor and returns what was written to it meanwhile.
    QByteArray text()
    {
        if (saved >= 0) {
            std::fflush(nullptr);
            dup2(saved, descriptor);
            close(saved);
            saved = -1;
        }
        file.seek(0);
        return file.readAll();
    }

private:
    int descriptor;
    int saved = -1;
    QTemporaryFile file;
};

}  // namespace

class WorkersTest : public QObject {
    Q_OBJECT

    calc_SSAD ssad;
    calc_TSAD tsad;
    calc_TPAD tpad;
    calc_POMP pomp;
    Workers workers{&ssad, &tsad, &tpad, &pomp};
    QTemporaryDir workingDir;

    // Runs the request on a new thread, as the window does, and waits for it to end.
    void run(const RunRequest &r)
    {
        std::thread thread([&] { runOnWorker(workers, r); });
        thread.join();
    }

    void runEcho(int mode, double t_end = 1.0)
    {
        SimulationWorker *worker = workerFor(workers, mode);
        worker->program_text = echo(mode == 2 || mode == 3 ? 100 : 50);
        run(request(mode, t_end));
    }

private slots:
    void init()
    {
        for (int mode = 1; mode <= 4; ++mode)
            workerFor(workers, mode)->w_closed = 0;
    }

    // Python must not take an empty "script_libs" beside the program for its home: the very
    // first run starts the interpreter with one in the working directory.
    void firstRunIgnoresAnEmptyScriptLibs()
    {
        QVERIFY(workingDir.isValid());
        QVERIFY(QDir(workingDir.path()).mkdir("script_libs"));
        QVERIFY(QDir::setCurrent(workingDir.path()));
        RunLog log(ssad);
        runEcho(1);
        QCOMPARE(log.events.last(), QStringLiteral("finished"));
    }

    void argumentsAndRecordPerConfiguration_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<std::vector<double>>("arguments");
        QTest::addColumn<std::vector<double>>("kinds");
        QTest::addColumn<std::vector<double>>("recordTail");
        const std::vector<double> feed{170, 1.0, 2.5, 1, 1e-7, 0.2, 0.3, 0.4, 308.15};
        const std::vector<double> feedKinds{0, 0, 0, 1, 0, 0, 0, 0, 0};
        auto plus = [](std::vector<double> head, std::vector<double> tail) {
            head.insert(head.end(), tail.begin(), tail.end());
            return head;
        };
        QTest::newRow("single-stage") << 1 << plus(feed, {1.013, 3400})
                                      << plus(feedKinds, {0, 0}) << std::vector<double>{};
        QTest::newRow("two-stage") << 2 << plus(feed, {1.013, 1.02, 3400, 1700})
                                   << plus(feedKinds, {0, 0, 0, 0}) << std::vector<double>{};
        QTest::newRow("temperature-phased")
            << 3 << plus(feed, {1.013, 3400, 328.15, 1.02, 1700, 20})
            << plus(feedKinds, {0, 0, 2, 2, 2, 2}) << std::vector<double>{20};
        QTest::newRow("pump-mixed") << 4 << plus(feed, {1.013, 3400, 15})
                                    << plus(feedKinds, {0, 0, 0}) << std::vector<double>{0.0, 15};
    }

    void argumentsAndRecordPerConfiguration()
    {
        QFETCH(int, mode);
        QFETCH(std::vector<double>, arguments);
        QFETCH(std::vector<double>, kinds);
        QFETCH(std::vector<double>, recordTail);
        runEcho(mode);

        const auto check = [&](const ResultRows &table, int rows,
                               const std::vector<double> &params) {
            QCOMPARE(rows, 11);
            QCOMPARE(int(table.size()), 11);
            for (const auto &row : table)
                QCOMPARE(row.size(), size_t(50));
            QCOMPARE(std::vector<double>(table[0].begin(), table[0].begin() + arguments.size()),
                     arguments);
            QCOMPARE(std::vector<double>(table[1].begin(), table[1].begin() + kinds.size()),
                     kinds);
            QCOMPARE(params.size(), 16 + recordTail.size());
            const std::vector<double> head{170, 2.5, 1.0, 2.5, 1, 1e-7, 0.2, 0.3, 0.4,
                                           double(mode), 308.15, 1.013};
            QCOMPARE(std::vector<double>(params.begin(), params.begin() + 12), head);
            QCOMPARE(std::vector<double>(params.begin() + 16, params.end()), recordTail);
        };
        switch (mode) {
        case 1: check(calc_SSAD::results_R1, calc_SSAD::results_rows, calc_SSAD::run_params); break;
        case 2: check(calc_TSAD::results_R1, calc_TSAD::results_rows, calc_TSAD::run_params); break;
        case 3: check(calc_TPAD::results_R1, calc_TPAD::results_rows, calc_TPAD::run_params); break;
        case 4: check(calc_POMP::results_R1, calc_POMP::results_rows, calc_POMP::run_params); break;
        }
    }

    void twoReactorTableSplitsAtColumn50()
    {
        runEcho(2, 0.5);
        QCOMPARE(calc_TSAD::results_R1.size(), size_t(6));
        QCOMPARE(calc_TSAD::results_R2.size(), size_t(6));
        for (size_t r = 2; r < 6; ++r) {
            QCOMPARE(calc_TSAD::results_R1[r][0], r * 1000.0);
            QCOMPARE(calc_TSAD::results_R1[r][49], r * 1000.0 + 49);
            QCOMPARE(calc_TSAD::results_R2[r][0], r * 1000.0 + 50);
            QCOMPARE(calc_TSAD::results_R2[r][49], r * 1000.0 + 99);
            QCOMPARE(calc_TSAD::results_R2[r].size(), size_t(50));
        }
    }

    // Fields a configuration does not set keep what the last run that set them left.
    void recordCarriesTheLastSecondReactor()
    {
        RunRequest twoStage = request(2);
        twoStage.P_atm2 = 1.5;
        twoStage.V_t2 = 999;
        tsad.program_text = echo(100);
        run(twoStage);
        runEcho(1);
        QCOMPARE(calc_SSAD::run_params.size(), size_t(16));
        QCOMPARE(calc_SSAD::run_params[9], 1.0);
        QCOMPARE(calc_SSAD::run_params[14], 1.5);
        QCOMPARE(calc_SSAD::run_params[15], 999.0);
    }

    void progressIsTruncatedToWholePercent()
    {
        RunLog log(ssad);
        ssad.program_text = modelRunning("    for t in (49.999999, 2.5, 0.1, 50.0, 50.0):\n"
                                         "        callback(t, 50.0)");
        run(request(1));
        QCOMPARE(log.progress, (QList<int>{0, 99, 5, 0, 100, 100}));
        QCOMPARE(log.events.last(), QStringLiteral("finished"));
    }

    void callbacksRefuseWrongCalls_data()
    {
        QTest::addColumn<QByteArray>("statement");
        QTest::newRow("progress with one argument") << QByteArray("callback(1.0)");
        QTest::newRow("progress with a text") << QByteArray("callback('1', 2.0)");
        QTest::newRow("cancel query with an argument") << QByteArray("getvalue(1)");
        QTest::newRow("new progress object") << QByteArray("type(callback)()");
        QTest::newRow("new cancel query") << QByteArray("type(getvalue)()");
    }

    void callbacksRefuseWrongCalls()
    {
        QFETCH(QByteArray, statement);
        const ResultRows before = calc_TSAD::results_R1;
        RunLog log(tsad);
        tsad.program_text = modelRunning(("    " + statement).constData());
        run(request(2));
        QCOMPARE(log.events.size(), 2);
        QVERIFY2(log.events.last().startsWith("failed: TypeError"), qPrintable(log.events.last()));
        QCOMPARE(calc_TSAD::results_R1, before);
    }

    // A failing script is reported instead of passing the previous table off as this run's;
    // the interpreter stays usable.
    void failedRunKeepsTablesAndInterpreter()
    {
        runEcho(1, 0.5);
        const ResultRows before = calc_SSAD::results_R1;
        {
            RunLog log(ssad);
            ssad.program_text = modelRunning("    1.0 / 0.0");
            run(request(1, 3.0));
            QCOMPARE(log.events, (QStringList{"progress 0",
                                              "failed: ZeroDivisionError: float division by zero"}));
        }
        QCOMPARE(calc_SSAD::results_R1, before);
        QCOMPARE(calc_SSAD::results_rows, 6);
        QCOMPARE(calc_SSAD::run_params[2], 3.0);  // the record describes the failed run

        RunLog log(ssad);
        runEcho(1, 0.2);
        QCOMPARE(log.events.last(), QStringLiteral("finished"));
        QCOMPARE(calc_SSAD::results_rows, 3);
    }

    void unusableResultsAreScriptErrors_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QString>("failure");
        const auto returning = [](const char *value) {
            return QByteArray("import numpy as np\ndef MyFunc(*args):\n    return ") + value + "\n";
        };
        QTest::newRow("None") << returning("None") << "TypeError: MyFunc returned NoneType";
        QTest::newRow("a list") << returning("[[0.0] * 50]") << "TypeError: MyFunc returned list";
        QTest::newRow("49 columns") << returning("np.zeros((3, 49))")
                                    << "TypeError: MyFunc returned an array of shape (3, 49)";
        QTest::newRow("one dimension") << returning("np.zeros(50)")
                                       << "TypeError: MyFunc returned an array of shape (50,)";
        QTest::newRow("32-bit floats") << returning("np.zeros((3, 50), dtype=np.float32)")
                                       << "TypeError: MyFunc returned ndarray of dtype float32";
        QTest::newRow("no entry function") << QByteArray("x = 1\n")
                                           << "NameError: name 'MyFunc' is not defined";
        QTest::newRow("syntax error") << QByteArray("def MyFunc(*args:\n    pass\n")
                                      << "SyntaxError:";
    }

    void unusableResultsAreScriptErrors()
    {
        QFETCH(QByteArray, program);
        QFETCH(QString, failure);
        runEcho(1, 0.2);
        const ResultRows before = calc_SSAD::results_R1;
        RunLog log(ssad);
        ssad.program_text = program.toStdString();
        run(request(1));
        QCOMPARE(log.events.size(), 2);
        QVERIFY2(log.events.last().startsWith("failed: " + failure), qPrintable(log.events.last()));
        QCOMPARE(calc_SSAD::results_R1, before);
    }

    void columnOrderedAndStridedArraysAreRead_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<double>("cell_2_7");
        QTest::newRow("Fortran order")
            << QByteArray("np.asfortranarray(np.fromfunction(lambda r, c: r * 1000.0 + c, (3, 50)))")
            << 2007.0;
        QTest::newRow("every second column")
            << QByteArray("np.fromfunction(lambda r, c: r * 1000.0 + c, (3, 100))[:, ::2]") << 2014.0;
    }

    void columnOrderedAndStridedArraysAreRead()
    {
        QFETCH(QByteArray, table);
        QFETCH(double, cell_2_7);
        pomp.program_text = "import numpy as np\ndef MyFunc(*args):\n    return " + table.toStdString();
        RunLog log(pomp);
        run(request(4));
        QCOMPARE(log.events.last(), QStringLiteral("finished"));
        QCOMPARE(calc_POMP::results_R1.size(), size_t(3));
        QCOMPARE(calc_POMP::results_R1[2][7], cell_2_7);
    }

    void cancelBeforeRunKeepsTables()
    {
        runEcho(3, 0.2);
        const ResultRows first = calc_TPAD::results_R1, second = calc_TPAD::results_R2;
        tpad.w_closed = 1;
        RunLog log(tpad);
        runEcho(3, 2.0);
        QCOMPARE(log.events, QStringList{"progress 0"});
        QCOMPARE(calc_TPAD::results_R1, first);
        QCOMPARE(calc_TPAD::results_R2, second);
        QCOMPARE(calc_TPAD::results_rows, 3);
        QCOMPARE(calc_TPAD::run_params[2], 2.0);
        QCOMPARE(tpad.w_closed.load(), 1);  // only the run control clears it
    }

    void cancelDuringRun_data()
    {
        QTest::addColumn<bool>("clearedBeforeRunEnds");
        QTest::newRow("flag stays set") << false;
        // A new run is started at once after Cancel: the stopped run must stay stopped.
        QTest::newRow("flag cleared for the next run") << true;
    }

    void cancelDuringRun()
    {
        QFETCH(bool, clearedBeforeRunEnds);
        runEcho(1, 0.2);
        const ResultRows before = calc_SSAD::results_R1;
        ssad.program_text = modelRunning("    callback(1.0, 100.0)\n"
                                         "    for _ in range(4000):\n"
                                         "        if getvalue() == 1:\n"
                                         "            callback(2.0, 100.0)\n"
                                         "            time.sleep(0.2)\n"
                                         "            return None\n"
                                         "        time.sleep(0.005)\n"
                                         "    raise RuntimeError('never told to stop')");
        RunLog log(ssad);
        std::thread thread([&] { runOnWorker(workers, request(1)); });
        const bool inside = log.waitForProgress(1);
        ssad.w_closed = 1;
        const bool stopped = log.waitForProgress(2);
        if (clearedBeforeRunEnds)
            ssad.w_closed = 0;
        thread.join();
        QVERIFY(inside && stopped);
        QCOMPARE(log.events, (QStringList{"progress 0", "progress 1", "progress 2"}));
        QCOMPARE(calc_SSAD::results_R1, before);
    }

    // Two runs started together: the second enters the interpreter after the first has left.
    void simultaneousRunsAreSerialised()
    {
        const char *statements = "    import builtins\n"
                                 "    builtins.inside = getattr(builtins, 'inside', 0) + 1\n"
                                 "    if builtins.inside > 1:\n"
                                 "        raise RuntimeError('two runs inside')\n"
                                 "    time.sleep(0.2)\n"
                                 "    builtins.inside -= 1";
        ssad.program_text = modelRunning(statements);
        tsad.program_text = modelRunning(statements, 100);
        RunLog ssadLog(ssad), tsadLog(tsad);
        std::thread one([&] { runOnWorker(workers, request(1)); });
        std::thread two([&] { runOnWorker(workers, request(2)); });
        one.join();
        two.join();
        QCOMPARE(ssadLog.events.last(), QStringLiteral("finished"));
        QCOMPARE(tsadLog.events.last(), QStringLiteral("finished"));
    }

    // The count is the model's own: a text without one reports none, not the last run's.
    void runCostCountsRightHandSides()
    {
        ssad.program_text = modelRunning("    global rhs_evaluations\n    rhs_evaluations = 7");
        run(request(1));
        QCOMPARE(ssad.lastRunCost().rhs_evaluations, 7L);
        QVERIFY(ssad.lastRunCost().seconds > 0.0);
        runEcho(1);
        QCOMPARE(ssad.lastRunCost().rhs_evaluations, 0L);
    }

    // The integrator prints on descriptor 1 from Fortran, past Python's sys.stdout, with NUL
    // bytes: standard output stays for the runner's own lines, and a failure names the message.
    void integratorOutputGoesToStandardError_data()
    {
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<QString>("lastEvent");
        QTest::newRow("finished run") << QByteArray() << "finished";
        QTest::newRow("failed run")
            << QByteArray("    raise ValueError('bad')")
            << "failed: ValueError: bad; the integrator's last message: in above,  r1 =  0.1D+01";
    }

    void integratorOutputGoesToStandardError()
    {
        QFETCH(QByteArray, ending);
        QFETCH(QString, lastEvent);
        ssad.program_text = modelRunning(
            ("    import os\n"
             "    print('printed', flush=True)\n"
             "    os.write(1, b' lsoda--  warning..internal t\\x00\\x00  \\n')\n"
             "    os.write(1, b'      in above,  r1 =  0.1D+01\\x00\\n')\n"
             + ending).constData());
        RunLog log(ssad);
        Redirected out(STDOUT_FILENO), err(STDERR_FILENO);
        run(request(1));
        const QByteArray written = out.text(), complaints = err.text();
        QCOMPARE(written, QByteArray());
        QVERIFY2(complaints.contains("integrator: lsoda--  warning..internal t\n"
                                     "integrator: in above,  r1 =  0.1D+01\n"),
                 complaints.constData());
        QVERIFY(complaints.contains("integrator: printed\n"));
        QVERIFY(!complaints.contains('\0'));
        QCOMPARE(log.events.last(), lastEvent);
    }

    // The scripts as compiled into the program, each configuration in turn and the first one
    // again after the others have redefined the shared namespace.
    void realRuns_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("recordSize");
        QTest::newRow("single-stage") << 1 << 16;
        QTest::newRow("two-stage") << 2 << 16;
        QTest::newRow("temperature-phased") << 3 << 17;
        QTest::newRow("pump-mixed") << 4 << 18;
        QTest::newRow("single-stage again") << 1 << 16;
    }

    void realRuns()
    {
        QFETCH(int, mode);
        QFETCH(int, recordSize);
        SimulationWorker *worker = workerFor(workers, mode);
        worker->program_text.clear();
        RunRequest r = request(mode, 0.5);
        r.final_Q_in = 5.31;
        r.X_c_in = 10;
        r.f_pr_xc = r.f_li_xc = r.f_ch_xc = 0.3;
        r.T_1 = r.T_2 = 308;
        r.V_t1 = r.V_t2 = 33;
        r.t_sr = 0;
        r.mix_i = 10;
        RunLog log(*worker);
        run(r);
        QCOMPARE(log.events.first(), QStringLiteral("progress 0"));
        QVERIFY2(log.events.last() == "finished", qPrintable(log.events.last()));
        QCOMPARE(log.events.count("finished"), 1);
        QCOMPARE(log.progress.size(), 6);
        QVERIFY(std::is_sorted(log.progress.begin(), log.progress.end()));
        QCOMPARE(log.progress.last(), 100);
        QVERIFY(worker->lastRunCost().rhs_evaluations > 0);

        const auto check = [&](const ResultRows &table, int rows,
                               const std::vector<double> &params) {
            QCOMPARE(rows, 6);
            QCOMPARE(int(table.size()), rows);
            for (int row = 0; row < rows; ++row) {
                QCOMPARE(table[row].size(), size_t(50));
                QVERIFY(std::abs(table[row][0] - 0.1 * row) < 1e-9);
            }
            QCOMPARE(int(params.size()), recordSize);
            QCOMPARE(params[9], double(mode));
        };
        switch (mode) {
        case 1: check(calc_SSAD::results_R1, calc_SSAD::results_rows, calc_SSAD::run_params); break;
        case 2:
            check(calc_TSAD::results_R1, calc_TSAD::results_rows, calc_TSAD::run_params);
            check(calc_TSAD::results_R2, calc_TSAD::results_rows, calc_TSAD::run_params);
            break;
        case 3:
            check(calc_TPAD::results_R1, calc_TPAD::results_rows, calc_TPAD::run_params);
            check(calc_TPAD::results_R2, calc_TPAD::results_rows, calc_TPAD::run_params);
            break;
        case 4: check(calc_POMP::results_R1, calc_POMP::results_rows, calc_POMP::run_params); break;
        }
    }
};

QTEST_GUILESS_MAIN(WorkersTest)
#include "tst_workers.moc"
