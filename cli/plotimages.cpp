#include "plotimages.h"

#include "resultplots.h"
#include "results.h"
#include "safefile.h"

#include <QDir>

#include <qcustomplot.h>

namespace {

constexpr int kWidth = 350, kHeight = 320;  // the plots' size on the results pages
constexpr int kDotsPerMeter = int(96 / 0.0254);

struct ReactorSeries {
    const char *prefix;  // of the file names
    const char *flowTitle;
    const QVector<double> &t, &flow, &ch4, &co2, &h2, &h2o;
    double peak;
};

void addTitle(QCustomPlot &plot, const char *title)
{
    plot.plotLayout()->insertRow(0);
    plot.plotLayout()->addElement(
        0, 0, new QCPTextElement(&plot, QString::fromUtf8(title), QFont(QStringLiteral("sans"), 8, QFont::Bold)));
}

}  // namespace

PlotImages savePlotImages(const QString &dir, int mode, double tEnd)
{
    PlotImages images;
    if (!QDir().mkpath(dir)) {
        images.error = QStringLiteral("cannot create the folder %1").arg(dir);
        return images;
    }
    std::vector<ReactorSeries> reactors;
    if (mode == 2 || mode == 3) {
        reactors.push_back({"R1_", "R1 Biogas flow", results::plot_t_R1, results::plot_flow_R1, results::plot_ch4_R1,
                            results::plot_co2_R1, results::plot_h2_R1, results::plot_h2o_R1, results::peak_flow_R1});
        reactors.push_back({"R2_", "R2 Biogas flow", results::plot_t_R2, results::plot_flow_R2, results::plot_ch4_R2,
                            results::plot_co2_R2, results::plot_h2_R2, results::plot_h2o_R2, results::peak_flow_R2});
    } else {
        reactors.push_back({"", "Biogas flow", results::plot_t_R1, results::plot_flow_R1, results::plot_ch4_R1,
                            results::plot_co2_R1, results::plot_h2_R1, results::plot_h2o_R1, results::peak_flow_R1});
    }

    const QDir folder(dir);
    const auto save = [&](QCustomPlot &plot, const QString &name) {
        SafeFile file(FileTarget{folder.filePath(name)});
        if (!file.error().isEmpty()) {
            images.error = file.error();
            return false;
        }
        // Drawn as QCustomPlot::savePng draws it, at 96 dpi, but written through the safe file,
        // which sees every write error.
        QImage image = plot.toPixmap(kWidth, kHeight).toImage();
        image.setDotsPerMeterX(kDotsPerMeter);
        image.setDotsPerMeterY(kDotsPerMeter);
        if (!image.save(&file.file(), "PNG")) {
            images.error = QStringLiteral("cannot write %1").arg(folder.filePath(name));
            return false;
        }
        const WrittenFile written = file.commit();
        images.error = written.error;
        if (!written.path.isEmpty())
            images.written << written.path;
        return written.error.isEmpty();
    };
    for (const ReactorSeries &r : reactors) {
        QCustomPlot flow;
        addTitle(flow, r.flowTitle);
        drawFlowPlot(&flow, r.t, r.flow, r.peak, tEnd);
        QCustomPlot composition;
        addTitle(composition, "Biogas composition");
        drawCompositionPlot(&composition, r.t, r.ch4, r.co2, r.h2, r.h2o, tEnd);
        const QString prefix = QLatin1String(r.prefix);
        if (!save(flow, prefix + QStringLiteral("biogas_flow.png")) ||
            !save(composition, prefix + QStringLiteral("biogas_composition.png")))
            break;
    }
    return images;
}
