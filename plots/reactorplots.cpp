#include "reactorplots.h"

#include "resultplots.h"

#include <results.h>

#include <qcustomplot.h>

std::vector<ReactorPlots> reactorPlotSet(int reactors)
{
    const QString composition = QStringLiteral("Biogas composition");
    if (reactors == 1)
        return {{1, QStringLiteral("Biogas flow"), composition, QString()}};
    return {{1, QStringLiteral("R1 Biogas flow"), composition, QStringLiteral("R1_")},
            {2, QStringLiteral("R2 Biogas flow"), composition, QStringLiteral("R2_")}};
}

void addPlotTitle(QCustomPlot *plot, const QString &title)
{
    plot->plotLayout()->insertRow(0);
    plot->plotLayout()->addElement(0, 0, new QCPTextElement(plot, title, QFont(QStringLiteral("sans"), 8, QFont::Bold)));
}

void drawReactorPlots(const ReactorPlots &plots, QCustomPlot *flow, QCustomPlot *composition, double tEnd)
{
    if (plots.reactor == 1) {
        drawFlowPlot(flow, results::plot_t_R1, results::plot_flow_R1, results::peak_flow_R1, tEnd);
        drawCompositionPlot(composition, results::plot_t_R1, results::plot_ch4_R1, results::plot_co2_R1,
                            results::plot_h2_R1, results::plot_h2o_R1, tEnd);
    } else {
        drawFlowPlot(flow, results::plot_t_R2, results::plot_flow_R2, results::peak_flow_R2, tEnd);
        drawCompositionPlot(composition, results::plot_t_R2, results::plot_ch4_R2, results::plot_co2_R2,
                            results::plot_h2_R2, results::plot_h2o_R2, tEnd);
    }
}
