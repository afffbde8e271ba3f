#pragma once

// The curves of an earlier run drawn faintly behind the current ones, for comparison. The curves
// are plain copies of the class-wide series, kept by whoever shows the plots.

#include <QVector>

#include <vector>

class QCustomPlot;

// One reactor's curves: time, normal biogas flow and the four gas shares.
struct ReactorCurves {
    QVector<double> t, flow, ch4, co2, h2, h2o;
};

// A finished run's curves, reactor 1 first; empty before the first run.
struct RunCurves {
    std::vector<ReactorCurves> reactors;
};

// Copies the curves of the last refinement's reactors (1 or 2) from the class-wide series.
RunCurves lastRunCurves(int reactors);

// Adds previous's curves in light grey behind the plots' graphs, with one legend entry
// "previous run" on each plot; the flow plot's vertical range grows to previous's peak.
void drawPreviousRun(QCustomPlot *flow, QCustomPlot *composition, const ReactorCurves &previous);
// Removes what drawPreviousRun added, the flow plot's legend with it.
void clearPreviousRun(QCustomPlot *flow, QCustomPlot *composition);
