#pragma once

// The result plots of a run, one flow and one composition plot per reactor, as the results
// pages show them and the command line saves them: their titles and the class-wide series of
// the last refinement they draw.

#include <QString>

#include <vector>

class QCustomPlot;

struct ReactorPlots {
    int reactor;  // 1 or 2
    QString flowTitle;
    QString compositionTitle;
    QString filePrefix;  // of saved images: "", "R1_", "R2_"
};

// The plots of a configuration with one or two reactors, reactor 1 first.
std::vector<ReactorPlots> reactorPlotSet(int reactors);

// A bold title in a new top row of the plot.
void addPlotTitle(QCustomPlot *plot, const QString &title);

// Draws the reactor's plots from the class-wide series and peak of the last refinement;
// the horizontal axes end at tEnd.
void drawReactorPlots(const ReactorPlots &plots, QCustomPlot *flow, QCustomPlot *composition, double tEnd);
