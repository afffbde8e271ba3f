#pragma once

// Drawing the result plots of one reactor. Titles belong to whoever owns the plot widgets.
// Both functions replace the plot's graphs, so drawing again for a new run leaves only that
// run's graphs. Ranges are set, never rescaled to the data.

#include <QVector>

class QCustomPlot;

// Normal biogas flow over time: one graph with the library's default pen, no legend;
// horizontal range 0 to tEnd, vertical range 0 to peak.
void drawFlowPlot(QCustomPlot *plot, const QVector<double> &t, const QVector<double> &flow, double peak,
                  double tEnd);

// Biogas composition over time: graphs "CH4" (red), "CO2" (blue), "H2" (green), "H2O" (black);
// legend shown; horizontal range 0 to tEnd, vertical range 0 to 100 %.
void drawCompositionPlot(QCustomPlot *plot, const QVector<double> &t, const QVector<double> &ch4,
                         const QVector<double> &co2, const QVector<double> &h2, const QVector<double> &h2o,
                         double tEnd);

// Process stability over time: "FOS/TAC" (dark red) on the left axis with its warning and
// critical thresholds as dashed lines, "pH" (blue) on the right axis with its alarm as a dotted
// line; legend shown; horizontal range 0 to tEnd, FOS/TAC from 0 to at least 1, pH 5 to 9 or
// wider when the run goes beyond.
struct StabilityThresholds {
    double fosTacWarning, fosTacCritical, phLow;
};
void drawStabilityPlot(QCustomPlot *plot, const QVector<double> &t, const QVector<double> &fosTac,
                       const QVector<double> &pH, const StabilityThresholds &thresholds, double tEnd);
