#pragma once

// The start of the running simulation, for the remaining-time estimate. The start is taken at
// the first progress update of the program and again at the first update after a restart was
// asked for (a new run, a reset of the input page).

#include <QtGlobal>

class RemainingTime {
public:
    void markRestart() { restart = true; }

    // Milliseconds since the start, truncated; `nowNs` is a monotonic clock reading in
    // nanoseconds. Takes the start first when there is none yet or a restart is marked.
    qint64 elapsedMs(qint64 nowNs);

    // The monotonic clock, in nanoseconds.
    static qint64 now();

private:
    bool started = false;
    bool restart = false;
    qint64 startNs = 0;
};
