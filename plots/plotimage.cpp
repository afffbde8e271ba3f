#include "plotimage.h"

#include <safefile.h>

#include <QFileInfo>

#include <qcustomplot.h>

#include <cmath>

std::optional<ImageFormat> imageFormatOf(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return ImageFormat::Png;
    if (suffix == QLatin1String("pdf"))
        return ImageFormat::Pdf;
    return std::nullopt;
}

QString savePlotImage(QCustomPlot *plot, const QString &path, ImageFormat format, int width, int height, double scale)
{
    SafeFile file(FileTarget{path});
    if (!file.error().isEmpty())
        return file.error();
    if (format == ImageFormat::Png) {
        // Drawn as QCustomPlot::savePng draws it, but written through the safe file, which sees
        // every write error.
        QImage image = plot->toPixmap(width, height, scale).toImage();
        const int dotsPerMeter = int(std::lround(96 * scale / 0.0254));
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        if (!image.save(&file.file(), "PNG"))
            return QStringLiteral("cannot write %1").arg(path);
    } else {
        // The PDF writer opens the file by name: it writes the temporary file, moved into place below.
        const int pageWidth = int(std::lround(width * scale)), pageHeight = int(std::lround(height * scale));
        if (!plot->savePdf(file.tempPath(), pageWidth, pageHeight))
            return QStringLiteral("cannot write %1").arg(path);
    }
    return file.commit().error;
}
