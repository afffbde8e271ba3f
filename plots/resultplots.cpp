#include "resultplots.h"

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace {

void setAxes(QCustomPlot *plot, const QString &valueLabel, double tEnd, double valueTop)
{
    plot->xAxis->setLabel(QStringLiteral("time [d]"));
    plot->yAxis->setLabel(valueLabel);
    plot->xAxis->setRange(0, tEnd);
    plot->yAxis->setRange(0, valueTop);
}

}  // namespace

void drawFlowPlot(QCustomPlot *plot, const QVector<double> &t, const QVector<double> &flow, double peak,
                  double tEnd)
{
    plot->clearGraphs();
    plot->addGraph();
    plot->graph(0)->setData(t, flow);
    setAxes(plot, QStringLiteral("Gasflow [m3/d]"), tEnd, peak);
    plot->replot();
}

void drawCompositionPlot(QCustomPlot *plot, const QVector<double> &t, const QVector<double> &ch4,
                         const QVector<double> &co2, const QVector<double> &h2, const QVector<double> &h2o,
                         double tEnd)
{
    struct Gas {
        const QVector<double> &share;
        Qt::GlobalColor colour;
        const char *name;
    };
    const Gas gases[] = {{ch4, Qt::red, "CH4"}, {co2, Qt::blue, "CO2"}, {h2, Qt::green, "H2"}, {h2o, Qt::black, "H2O"}};

    plot->clearGraphs();
    for (const Gas &gas : gases) {
        QCPGraph *graph = plot->addGraph();
        graph->setData(t, gas.share);
        graph->setPen(QPen(gas.colour));
        graph->setName(QString::fromUtf8(gas.name));
    }
    setAxes(plot, QStringLiteral("[%]"), tEnd, 100);
    plot->legend->setVisible(true);
    plot->replot();
}

void drawStabilityPlot(QCustomPlot *plot, const QVector<double> &t, const QVector<double> &fosTac,
                       const QVector<double> &pH, const StabilityThresholds &thresholds, double tEnd)
{
    plot->clearGraphs();
    const auto graph = [&](QCPAxis *valueAxis, const QVector<double> &values, const QPen &pen, const QString &name) {
        QCPGraph *g = plot->addGraph(plot->xAxis, valueAxis);
        g->setData(t, values);
        g->setPen(pen);
        g->setName(name);
    };
    const auto level = [&](QCPAxis *valueAxis, double value, const QColor &colour, Qt::PenStyle style,
                           const QString &name) {
        graph(valueAxis, QVector<double>(t.size(), value), QPen(colour, 1, style), name);
    };
    graph(plot->yAxis, fosTac, QPen(Qt::darkRed, 2), QStringLiteral("FOS/TAC"));
    level(plot->yAxis, thresholds.fosTacWarning, QColor(230, 140, 0), Qt::DashLine, QStringLiteral("FOS/TAC warning"));
    level(plot->yAxis, thresholds.fosTacCritical, Qt::red, Qt::DashLine, QStringLiteral("FOS/TAC critical"));
    graph(plot->yAxis2, pH, QPen(Qt::blue, 2), QStringLiteral("pH"));
    level(plot->yAxis2, thresholds.phLow, Qt::blue, Qt::DotLine, QStringLiteral("pH alarm"));

    double top = std::max(1.0, thresholds.fosTacCritical * 1.25), lowest = 5, highest = 9;
    for (double v : fosTac)
        top = std::isfinite(v) ? std::max(top, v) : top;
    for (double v : pH)
        if (std::isfinite(v))
            lowest = std::min(lowest, v), highest = std::max(highest, v);
    setAxes(plot, QStringLiteral("FOS/TAC [-]"), tEnd, top);
    plot->yAxis2->setVisible(true);
    plot->yAxis2->setLabel(QStringLiteral("pH [-]"));
    plot->yAxis2->setRange(lowest, highest);
    plot->legend->setVisible(true);
    plot->replot();
}
