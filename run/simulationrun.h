#pragma once

// One simulation run from checked inputs to its outcome, for every front end: the window, the
// command line and the studies start runs only here. A run has a thread of its own, on which
// the configuration's worker runs the model script and, once its table is kept, the run's
// results object refines it (series, peaks, workbook). The run then ends with one outcome,
// delivered to the thread that owns this object.
//
// Cancelling drops the run: its outcome is Cancelled whatever it had reached, its workbook is
// removed and the class-wide series, peaks and workbook name are as they were before it.

#include "runrequest.h"

#include <results.h>
#include <workers.h>

#include <QObject>
#include <QString>

#include <memory>

struct RunOutcome {
    enum class End { Finished, StoppedEarly, Failed, Cancelled };
    End end = End::Failed;
    RunRequest request;
    QString failure;             // the model's error of a failed run
    RefinementReport report;     // rows, early stop, workbook of a refined run
    RunCost cost;                // the model's own share of the run
    ModelState finalState;       // the state reached; empty where the model gave none
    QString stopReason;          // why the integration of a run that stopped early ended there
    double refinementSeconds = 0.0;

    bool refined() const { return end == End::Finished || end == End::StoppedEarly; }
};
Q_DECLARE_METATYPE(RunOutcome)

// The state file of the state a finished run reached, on the day of its last row; empty where the
// run ended otherwise (a run that stopped early leaves none: its last state is where the model or
// the integrator failed), its model gave no final state or one that is not numbers.
QByteArray finalStateText(const RunOutcome &outcome, const QString &version);

// The worker that runs a configuration (mode 1 to 4).
SimulationWorker *workerFor(const Workers &workers, int mode);
// Calls that worker's run slot with the request's values, on the calling thread.
void runOnWorker(const Workers &workers, const RunRequest &request);

class SimulationRun : public QObject {
    Q_OBJECT
public:
    // The workers are borrowed and outlive this object.
    explicit SimulationRun(const Workers &workers, QObject *parent = nullptr);
    // Cancels a run still going and waits until it has left the interpreter.
    ~SimulationRun() override;

    // Starts a run of a request that passed checkRunRequest. Its workbook goes to workbookPath,
    // or, when that is empty, to a fresh "results_" name in the workbook folder; without
    // writeWorkbook there is none. A run still going is cancelled first.
    void start(const RunRequest &request, const QString &workbookPath = {}, bool writeWorkbook = true);
    // The workbook folder of the runs started from now on; empty (the default) means the
    // working directory.
    void setWorkbookFolder(const QString &dir) { workbookFolder = dir; }
    // The current run stops at its script's next step and is dropped.
    void cancel();
    // Returns once the last run's thread has ended.
    void wait();
    bool isRunning() const;

signals:
    // The worker's percentage of the current run.
    void progressed(int percent);
    // Once for every start.
    void ended(const RunOutcome &outcome);

private:
    struct Turn;
    static void undo(Turn &turn);

    const Workers workers;
    QString workbookFolder;
    std::shared_ptr<Turn> current;
};
