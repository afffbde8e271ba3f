#include "previousrun.h"

#include <results.h>

#include <qcustomplot.h>

#include <algorithm>

namespace {

const QString kLayer = QStringLiteral("previous");

QCPLayer *previousLayer(QCustomPlot *plot)
{
    if (!plot->layer(kLayer))
        plot->addLayer(kLayer, plot->layer(QStringLiteral("main")), QCustomPlot::limBelow);
    return plot->layer(kLayer);
}

void addFaint(QCustomPlot *plot, const QVector<double> &t, const QVector<double> &values, bool named)
{
    QCPGraph *graph = plot->addGraph();
    graph->setLayer(previousLayer(plot));
    graph->setData(t, values);
    graph->setPen(QPen(QColor(150, 150, 150, 130)));
    if (named)
        graph->setName(QStringLiteral("previous run"));
    else
        graph->removeFromLegend();
}

void removePrevious(QCustomPlot *plot)
{
    for (int i = plot->graphCount() - 1; i >= 0; --i)
        if (plot->graph(i)->layer()->name() == kLayer)
            plot->removeGraph(i);
}

}  // namespace

RunCurves lastRunCurves(int reactors)
{
    RunCurves run;
    run.reactors.push_back({results::plot_t_R1, results::plot_flow_R1, results::plot_ch4_R1, results::plot_co2_R1,
                            results::plot_h2_R1, results::plot_h2o_R1});
    if (reactors == 2)
        run.reactors.push_back({results::plot_t_R2, results::plot_flow_R2, results::plot_ch4_R2,
                                results::plot_co2_R2, results::plot_h2_R2, results::plot_h2o_R2});
    return run;
}

void drawPreviousRun(QCustomPlot *flow, QCustomPlot *composition, const ReactorCurves &previous)
{
    clearPreviousRun(flow, composition);
    // The flow plot's own graph has no name: the legend names only the earlier run.
    for (int i = 0; i < flow->graphCount(); ++i)
        flow->graph(i)->removeFromLegend();
    addFaint(flow, previous.t, previous.flow, true);
    flow->legend->setVisible(true);
    if (!previous.flow.isEmpty())
        flow->yAxis->setRangeUpper(std::max(flow->yAxis->range().upper,
                                            *std::max_element(previous.flow.begin(), previous.flow.end())));
    addFaint(composition, previous.t, previous.ch4, true);
    for (const QVector<double> *share : {&previous.co2, &previous.h2, &previous.h2o})
        addFaint(composition, previous.t, *share, false);
    flow->replot();
    composition->replot();
}

void clearPreviousRun(QCustomPlot *flow, QCustomPlot *composition)
{
    removePrevious(flow);
    removePrevious(composition);
    flow->legend->setVisible(false);
    flow->replot();
    composition->replot();
}
