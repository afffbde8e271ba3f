#pragma once

// One simulation run on the calling thread, as the window's run thread does it: the
// configuration's worker runs the model script and, when it finishes, the results object
// refines its table (series, peaks, workbook) through the same direct connection the window
// makes. Ctrl-C (see InterruptWatch) stops the script at its next step.

#include "runrequest.h"
#include "workers.h"

#include <QString>

#include <functional>

class results;

struct RunOutcome {
    enum class End { Finished, Failed, Cancelled };
    End end = End::Failed;
    QString failure;                 // the Python error of a failed run
    RunCost cost;                    // the model's own share of the run
    double refinementSeconds = 0.0;  // series, peaks and workbook
};

RunOutcome runHeadless(const RunRequest &request, results &refinement, const std::function<void(int)> &progress);
