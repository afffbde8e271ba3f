#include "simulationrun.h"

#include "configuration.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

using Refinement = void (results::*)();

// How the run core drives each configuration (indexed by mode - 1, in the order of the
// configuration table): its worker, the call of its run slot and its refinement slot.
struct RunBinding {
    SimulationWorker *(*worker)(const Workers &);
    void (*run)(const Workers &, const RunRequest &);
    Refinement refinement;
};

const RunBinding kBindings[] = {
    {[](const Workers &w) -> SimulationWorker * { return w.ssad; },
     [](const Workers &w, const RunRequest &r) {
         w.ssad->transfer(r.final_Q_in, r.X_c_in, r.t_end, r.f_pr_xc, r.f_li_xc, r.f_ch_xc, r.ph_mode,
                          r.S_h_ion_manual, r.T_1, r.P_atm1, r.V_t1, r.mode);
     },
     &results::refined_SSAD},
    {[](const Workers &w) -> SimulationWorker * { return w.tsad; },
     [](const Workers &w, const RunRequest &r) {
         w.tsad->transfer_ts(r.final_Q_in, r.X_c_in, r.t_end, r.f_pr_xc, r.f_li_xc, r.f_ch_xc, r.ph_mode,
                             r.S_h_ion_manual, r.T_1, r.P_atm1, r.P_atm2, r.V_t1, r.V_t2, r.mode);
     },
     &results::refined_TSAD},
    {[](const Workers &w) -> SimulationWorker * { return w.tpad; },
     [](const Workers &w, const RunRequest &r) {
         w.tpad->transfer_tp(r.final_Q_in, r.X_c_in, r.t_end, r.f_pr_xc, r.f_li_xc, r.f_ch_xc, r.ph_mode,
                             r.S_h_ion_manual, r.T_1, r.T_2, r.P_atm1, r.P_atm2, r.V_t1, r.V_t2, r.mode, r.t_sr);
     },
     &results::refined_TPAD},
    {[](const Workers &w) -> SimulationWorker * { return w.pomp; },
     [](const Workers &w, const RunRequest &r) {
         w.pomp->transfer(r.final_Q_in, r.X_c_in, r.t_end, r.f_pr_xc, r.f_li_xc, r.f_ch_xc, r.ph_mode,
                          r.S_h_ion_manual, r.T_1, r.P_atm1, r.V_t1, r.mode, r.mix_i);
     },
     &results::refined_POMP},
};
static_assert(std::size(kBindings) == 4, "one binding per configuration");

const RunBinding &bindingOf(int mode) { return kBindings[configuration(mode).mode - 1]; }

}  // namespace

QByteArray finalStateText(const RunOutcome &outcome, const QString &version)
{
    const auto notNumber = [](const auto &entry) { return !std::isfinite(entry.second); };
    if (outcome.end != RunOutcome::End::Finished || outcome.finalState.empty()
        || std::any_of(outcome.finalState.cbegin(), outcome.finalState.cend(),
                       [&](const StateBlock &b) { return std::any_of(b.cbegin(), b.cend(), notNumber); }))
        return {};
    const ResultRows &rows = *workerTables(outcome.request.mode).reactor1;
    return stateFileText(outcome.request, outcome.finalState, rows[size_t(outcome.report.computedRows - 1)][0], version);
}

SimulationWorker *workerFor(const Workers &workers, int mode) { return bindingOf(mode).worker(workers); }

void runOnWorker(const Workers &workers, const RunRequest &request)
{
    const RunBinding &binding = bindingOf(request.mode);
    binding.worker(workers)->model_inputs = {request.parameters, request.feed, request.engine, request.start,
                                             plantInputs(request), request.phSolver};
    binding.run(workers, request);
}

// One start: what the run thread and cancel() share.
struct SimulationRun::Turn {
    RunRequest request;
    QString workbookPath;
    QString workbookFolder;
    bool writeWorkbook = true;
    SimulationWorker *worker = nullptr;
    QPointer<QThread> thread;  // released once the run has ended
    results::StorageMark before;  // the class-wide results before the run
    QString workbook;             // written by the run's refinement

    std::mutex lock;
    bool cancelled = false;
    bool done = false;       // the run thread has finished with the class-wide results
    bool delivered = false;  // its outcome has been told (owner's thread only)
};

// A dropped run leaves nothing: no workbook and the class-wide results as before it.
void SimulationRun::undo(Turn &turn)
{
    results::rollBack(turn.before);
    if (!turn.workbook.isEmpty())
        QFile::remove(turn.workbook);
    turn.workbook.clear();
}

SimulationRun::SimulationRun(const Workers &workers_, QObject *parent) : QObject(parent), workers(workers_)
{
    qRegisterMetaType<RunOutcome>();
}

SimulationRun::~SimulationRun()
{
    cancel();
    wait();
}

bool SimulationRun::isRunning() const { return current && current->thread && current->thread->isRunning(); }

void SimulationRun::wait()
{
    if (current && current->thread)
        current->thread->wait();
}

void SimulationRun::cancel()
{
    if (!current)
        return;
    const std::shared_ptr<Turn> turn = current;
    std::lock_guard<std::mutex> guard(turn->lock);
    if (turn->cancelled || turn->delivered)
        return;
    turn->cancelled = true;
    turn->worker->w_closed = 1;
    // Refined already: the run thread no longer touches the results, so they are undone here.
    if (turn->done)
        undo(*turn);
}

void SimulationRun::start(const RunRequest &request, const QString &workbookPath, bool writeWorkbook)
{
    // A run that is still on its way out of the interpreter would see its stop flag cleared.
    cancel();
    wait();

    auto turn = std::make_shared<Turn>();
    turn->request = request;
    turn->workbookPath = workbookPath;
    turn->workbookFolder = workbookFolder;
    turn->writeWorkbook = writeWorkbook;
    turn->worker = workerFor(workers, request.mode);
    turn->worker->w_closed = 0;
    turn->before = results::mark();
    turn->thread = new QThread;
    current = turn;

    const auto report = [this, turn](int percent) {
        if (current == turn && !turn->cancelled)
            emit progressed(percent);
    };
    const QMetaObject::Connection progress = connect(turn->worker, &SimulationWorker::inprogress, this, report);
    connect(turn->thread, &QThread::started, turn->thread, [this, turn, progress, report] {
        RunOutcome outcome;
        outcome.request = turn->request;
        results refinement;
        refinement.setWorkbookPath(turn->workbookPath);
        refinement.setWorkbookFolder(turn->workbookFolder);
        refinement.setWorkbookWanted(turn->writeWorkbook);
        refinement.setStopFlag(&turn->worker->w_closed);  // a cancel stops the workbook's write too
        bool finished = false;
        QElapsedTimer refinementClock;
        const QMetaObject::Connection onTable = connect(
            turn->worker, &SimulationWorker::workFinished, turn->worker,
            [&] {
                finished = true;
                refinementClock.start();
                // The model is through; the refinement that follows shows as 100 %.
                QMetaObject::invokeMethod(this, [report] { report(100); }, Qt::QueuedConnection);
            },
            Qt::DirectConnection);
        const QMetaObject::Connection refine = connect(turn->worker, &SimulationWorker::workFinished, &refinement,
                                                       bindingOf(turn->request.mode).refinement, Qt::DirectConnection);
        const QMetaObject::Connection fail = connect(
            turn->worker, &SimulationWorker::workFailed, turn->worker,
            [&](const QString &message) { outcome.failure = message; }, Qt::DirectConnection);
        runOnWorker(workers, turn->request);
        for (const auto &c : {onTable, refine, fail, progress})
            disconnect(c);

        outcome.cost = turn->worker->lastRunCost();
        outcome.finalState = turn->worker->lastFinalState();
        outcome.stopReason = turn->worker->lastStopReason();
        if (finished) {
            outcome.refinementSeconds = refinementClock.nsecsElapsed() / 1e9;
            outcome.report = results::last_report;
            outcome.report.summary.engine = QLatin1String(engineName(turn->request.engine));
            outcome.end = outcome.report.stoppedAtDay >= 0 ? RunOutcome::End::StoppedEarly : RunOutcome::End::Finished;
        }
        {
            std::lock_guard<std::mutex> guard(turn->lock);
            turn->done = true;
            turn->workbook = outcome.report.workbookPath;
            if (turn->cancelled) {
                undo(*turn);
                outcome.end = RunOutcome::End::Cancelled;
            } else if (!finished && turn->worker->w_closed.load()) {
                outcome.end = RunOutcome::End::Cancelled;  // stopped from outside, e.g. by Ctrl-C
            }
        }
        QMetaObject::invokeMethod(this, [this, turn, outcome]() mutable {
            {
                std::lock_guard<std::mutex> guard(turn->lock);
                if (turn->cancelled)  // after the run thread was through
                    outcome.end = RunOutcome::End::Cancelled;
                turn->delivered = true;
                turn->before = {};  // no undo from here on: the earlier run's series go now
            }
            emit ended(outcome);
        }, Qt::QueuedConnection);
        QThread::currentThread()->quit();
    }, Qt::DirectConnection);
    connect(turn->thread, &QThread::finished, turn->thread, &QObject::deleteLater);
    turn->thread->start();
}
