#include "plotimages.h"

#include <configuration.h>
#include <reactorplots.h>

#include <QDir>

#include <qcustomplot.h>

namespace {

constexpr int kWidth = 350, kHeight = 320;  // the plots' size on the results pages

}  // namespace

PlotImages savePlotImages(const QString &dir, int mode, double tEnd)
{
    PlotImages images;
    if (!QDir().mkpath(dir)) {
        images.error = QStringLiteral("cannot create the folder %1").arg(dir);
        return images;
    }
    const QDir folder(dir);
    const auto save = [&](QCustomPlot &plot, const QString &name) {
        const QString path = folder.filePath(name);
        if (!plot.savePng(path, kWidth, kHeight)) {
            images.error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
        images.written << path;
        return true;
    };
    for (const ReactorPlots &plots : reactorPlotSet(configuration(mode).reactors)) {
        QCustomPlot flow, composition;
        addPlotTitle(&flow, plots.flowTitle);
        addPlotTitle(&composition, plots.compositionTitle);
        drawReactorPlots(plots, &flow, &composition, tEnd);
        if (!save(flow, plots.filePrefix + QStringLiteral("biogas_flow.png")) ||
            !save(composition, plots.filePrefix + QStringLiteral("biogas_composition.png")))
            break;
    }
    return images;
}
