#include "headlessrun.h"

#include "results.h"

#include <QElapsedTimer>
#include <QFile>

#include <csignal>

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only store to a lock-free atomic");

// The stop flag of the running worker, for the SIGINT handler.
std::atomic<int> *runningStopFlag = nullptr;

extern "C" void requestStop(int)
{
    if (runningStopFlag)
        runningStopFlag->store(1);
}

// Ctrl-C stops the script at its next step while installed; a second Ctrl-C ends the process.
class StopOnInterrupt {
public:
    explicit StopOnInterrupt(std::atomic<int> &flag)
    {
        runningStopFlag = &flag;
        struct sigaction action {};
        action.sa_handler = requestStop;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous);
    }
    ~StopOnInterrupt()
    {
        sigaction(SIGINT, &previous, nullptr);
        runningStopFlag = nullptr;
    }
    StopOnInterrupt(const StopOnInterrupt &) = delete;
    StopOnInterrupt &operator=(const StopOnInterrupt &) = delete;

private:
    struct sigaction previous {};
};

using Refinement = void (results::*)();
const Refinement kRefinements[] = {&results::refined_SSAD, &results::refined_TSAD, &results::refined_TPAD,
                                   &results::refined_POMP};

}  // namespace

RunOutcome runHeadless(const RunRequest &request, results &refinement, const std::function<void(int)> &progress)
{
    calc_SSAD ssad;
    calc_TSAD tsad;
    calc_TPAD tpad;
    calc_POMP pomp;
    const Workers workers{&ssad, &tsad, &tpad, &pomp};
    SimulationWorker *worker = workers.forMode(request.mode);

    RunOutcome outcome;
    bool finished = false;
    QElapsedTimer refinementClock;
    QObject::connect(worker, &SimulationWorker::inprogress, worker, progress, Qt::DirectConnection);
    QObject::connect(worker, &SimulationWorker::workFailed, worker,
                     [&outcome](const QString &message) { outcome.failure = message; }, Qt::DirectConnection);
    // The model is through; the refinement that follows shows as 100 %.
    QObject::connect(worker, &SimulationWorker::workFinished, worker,
                     [&] { finished = true; progress(100); refinementClock.start(); }, Qt::DirectConnection);
    QObject::connect(worker, &SimulationWorker::workFinished, &refinement, kRefinements[request.mode - 1],
                     Qt::DirectConnection);

    worker->w_closed.store(0);
    {
        const StopOnInterrupt stopOnInterrupt(worker->w_closed);
        runOnWorker(workers, request);
    }
    outcome.cost = worker->lastRunCost();
    if (finished)
        outcome.refinementSeconds = refinementClock.nsecsElapsed() / 1e9;
    if (worker->w_closed.load()) {
        // Ctrl-C, even one that came while the workbook was written: a cancelled run leaves nothing.
        if (finished && !results::last_report.workbookPath.isEmpty())
            QFile::remove(results::last_report.workbookPath);
        outcome.end = RunOutcome::End::Cancelled;
    } else {
        outcome.end = finished ? RunOutcome::End::Finished : RunOutcome::End::Failed;
    }
    return outcome;
}
