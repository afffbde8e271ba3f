#pragma once

// The two lines under the progress bar: the simulated day and the estimate of the time left.

#include <QString>
#include <QtGlobal>

struct ProgressTexts {
    QString day;        // "Simulating day: 13 of total 50"
    QString remaining;  // "About 00:01:30 remaining..."; empty when the label keeps its text
};

// i_time: whole percent of the timespan simulated; tEnd: the timespan in days; elapsedMs: time
// since the run's first progress update. The estimate assumes the remaining percent take as
// long as the ones done; it is left out at 0 % and when it comes to a second or less.
ProgressTexts progressTexts(int i_time, double tEnd, qint64 elapsedMs);
