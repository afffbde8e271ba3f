#include "resultplots.h"

#include <qcustomplot.h>

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
