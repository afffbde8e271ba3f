#pragma once

// How far a run is and how long it may still take, from the worker's percentage: one estimate
// that every front end formats in its own way.

#include <QtGlobal>

struct ProgressEstimate {
    int percent = 0;
    int day = 0;  // the simulated day reached, rounded up
    // The time left, assuming the remaining percent take as long as the ones done. Known from
    // the first percent on, and only when it comes to more than a second.
    bool remainingKnown = false;
    int hours = 0, minutes = 0, seconds = 0;
};

// percent: whole percent of the run's days simulated; tEnd: the day it ends on; elapsedMs: time
// since the run's first progress report; firstDay: the day it started on (a saved state's).
ProgressEstimate estimateProgress(int percent, double tEnd, qint64 elapsedMs, double firstDay = 0);
