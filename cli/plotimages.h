#pragma once

// The result plots of the last refinement saved as PNG or PDF images, drawn as on the results pages.

#include <plotimage.h>

#include <QString>
#include <QStringList>

struct PlotImages {
    QStringList written;  // paths of the images saved
    QString error;        // why saving stopped, empty on success
};

// One flow and one composition image per reactor of the configuration (1 to 4), into dir,
// which is created when missing. tEnd is the end of the horizontal axes; the images are the
// results pages' plot size times scale.
PlotImages savePlotImages(const QString &dir, int mode, double tEnd, ImageFormat format = ImageFormat::Png,
                          double scale = 1.0);
