#include "headlessrun.h"

#include "interruptwatch.h"
#include "results.h"

#include <QElapsedTimer>

namespace {

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

    {
        const InterruptWatch::StopFlag stopOnInterrupt(worker->w_closed);
        refinement.setStopFlag(&worker->w_closed);  // Ctrl-C while the workbook is written leaves none
        runOnWorker(workers, request);
        refinement.setStopFlag(nullptr);
    }
    outcome.cost = worker->lastRunCost();
    if (finished) {
        outcome.end = RunOutcome::End::Finished;
        outcome.refinementSeconds = refinementClock.nsecsElapsed() / 1e9;
    } else {
        outcome.end = worker->w_closed.load() ? RunOutcome::End::Cancelled : RunOutcome::End::Failed;
    }
    return outcome;
}
