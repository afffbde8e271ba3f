#pragma once

// The progress of a run as one line on a terminal, rewritten in place: percent, simulated day
// and, once there is something to go by, the remaining time.

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

class ProgressLine {
public:
    // Writes to stream only when enabled (a terminal, and no --quiet).
    // A run from a saved state starts on firstDay.
    ProgressLine(std::FILE *stream, double tEnd, bool enabled, double firstDay = 0);

    // One progress report of the worker; the clock starts at the first.
    void show(int percent);
    // Clears the line, so what follows starts on a clean one.
    void finish();

    // " 25 %  day 13 of 50  about 00:01:30 remaining": the remaining time is extrapolated from
    // the time elapsed since the first report.
    static QString text(int percent, qint64 elapsedMs, double tEnd, double firstDay = 0);

private:
    std::FILE *stream;
    double tEnd;
    bool enabled;
    double firstDay;
    QElapsedTimer clock;
    QString shown;
};
