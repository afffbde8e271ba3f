#include "plotimages.h"

#include <configuration.h>
#include <reactorplots.h>

#include <QDir>

#include <qcustomplot.h>

namespace {

constexpr int kWidth = 350, kHeight = 320;  // the plots' size on the results pages
constexpr int kDotsPerMeter = int(96 / 0.0254);

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
        auto staged = std::make_unique<StagedFile>(path);
        if (!staged->error().isEmpty()) {
            images.error = staged->error();
            return false;
        }
        SafeFile file(FileTarget{staged->path()});
        if (!file.error().isEmpty()) {
            images.error = staged->shown(file.error());
            return false;
        }
        // Drawn as QCustomPlot::savePng draws it, at 96 dpi, but written through the safe file,
        // which sees every write error.
        QImage image = plot.toPixmap(kWidth, kHeight).toImage();
        image.setDotsPerMeterX(kDotsPerMeter);
        image.setDotsPerMeterY(kDotsPerMeter);
        if (!image.save(&file.file(), "PNG")) {
            images.error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
        images.error = staged->shown(file.commit().error);
        if (!images.error.isEmpty())
            return false;
        images.saved.emplace_back(path, std::move(staged));
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
