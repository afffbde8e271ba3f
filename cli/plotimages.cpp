#include "plotimages.h"

#include <configuration.h>
#include <reactorplots.h>

#include <QDir>

#include <qcustomplot.h>

namespace {

constexpr int kWidth = 350, kHeight = 320;  // the plots' size on the results pages

}  // namespace

QStringList plotImagePaths(const QString &dir, int mode, ImageFormat format)
{
    const QString suffix = format == ImageFormat::Pdf ? QStringLiteral(".pdf") : QStringLiteral(".png");
    QStringList paths;
    for (const ReactorPlots &plots : reactorPlotSet(configuration(mode).reactors))
        for (const char *name : {"biogas_flow", "biogas_composition"})
            paths << QDir(dir).filePath(plots.filePrefix + QLatin1String(name) + suffix);
    return paths;
}

PlotImages savePlotImages(const QString &dir, int mode, double tEnd, ImageFormat format, double scale)
{
    PlotImages images;
    if (!QDir().mkpath(dir)) {
        images.error = QStringLiteral("cannot create the folder %1").arg(dir);
        return images;
    }
    const QStringList paths = plotImagePaths(dir, mode, format);
    int next = 0;
    const auto save = [&](QCustomPlot &plot) {
        const QString path = paths.at(next++);
        auto staged = std::make_unique<StagedFile>(path);
        images.error = staged->error();
        if (images.error.isEmpty())
            images.error = staged->shown(savePlotImage(&plot, staged->path(), format, kWidth, kHeight, scale));
        if (!images.error.isEmpty())
            return false;
        images.saved.emplace_back(path, std::move(staged));
        return true;
    };
    for (const ReactorPlots &plots : reactorPlotSet(configuration(mode).reactors)) {
        QCustomPlot flow, composition;
        // The axes' numbers are the same under any locale, as every number in a file.
        flow.setLocale(QLocale::c());
        composition.setLocale(QLocale::c());
        addPlotTitle(&flow, plots.flowTitle);
        addPlotTitle(&composition, plots.compositionTitle);
        drawReactorPlots(plots, &flow, &composition, tEnd);
        if (!save(flow) || !save(composition))  // in the order of plotImagePaths
            break;
    }
    return images;
}
