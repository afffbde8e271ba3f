#pragma once

// One scenario of digestra-cli from checked options to its files: the run through the run
// core, then the workbook (written by the run), the CSV, the summary JSON and the plot images,
// and the exit status that sums it up. The single run and --batch both go through here.

#include "clioptions.h"

#include <simulationrun.h>

#include <QString>
#include <QStringList>

class InterruptWatch;
class ProgressLine;

struct ScenarioResult {
    int status = ExitFailed;  // an ExitStatus
    QStringList problems;     // what went wrong, for the user; empty when done
    QStringList files;        // written and kept, workbook first
    RunOutcome outcome;
};

class ScenarioRunner {
public:
    ScenarioRunner();
    ~ScenarioRunner();
    ScenarioRunner(const ScenarioRunner &) = delete;
    ScenarioRunner &operator=(const ScenarioRunner &) = delete;

    // Runs options.request, which passed checkRunRequest; a workbook is written when
    // writeWorkbook. A signal seen by the watch cancels the run and removes what was written.
    ScenarioResult run(const CliOptions &options, bool writeWorkbook, ProgressLine &progress,
                       const InterruptWatch &interrupts);

private:
    calc_SSAD ssad;
    calc_TSAD tsad;
    calc_TPAD tpad;
    calc_POMP pomp;
    Workers workers{&ssad, &tsad, &tpad, &pomp};
    SimulationRun simulation{workers};
};
