#pragma once

// The result plots of the last refinement saved as PNG or PDF images, drawn as on the results pages.

#include <plotimage.h>

#include <safefile.h>

#include <QString>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

struct PlotImages {
    // Each image saved: its path, and the hidden file that holds it until committed onto it.
    std::vector<std::pair<QString, std::unique_ptr<StagedFile>>> saved;
    QString error;  // why saving stopped, empty on success
};

// The images of a configuration (1 to 4) in dir: a flow and a composition image per reactor.
QStringList plotImagePaths(const QString &dir, int mode, ImageFormat format);

// Saves the images of plotImagePaths, for dir, which is created when missing. tEnd is the end of the horizontal axes; the images are the
// results pages' plot size times scale.
PlotImages savePlotImages(const QString &dir, int mode, double tEnd, ImageFormat format = ImageFormat::Png,
                          double scale = 1.0);
