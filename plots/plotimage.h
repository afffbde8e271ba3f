#pragma once

// Saving a plot as an image file, for the window's "Save image…" and the command line's images.

#include <QString>

#include <optional>

class QCustomPlot;

enum class ImageFormat { Png, Pdf };

// The format a file name's extension names ("png", "pdf", any case); none for another.
std::optional<ImageFormat> imageFormatOf(const QString &path);

// Draws plot at width × height and saves it to path, written whole or not at all (an earlier
// file stays when saving fails). PNG: width × scale by height × scale pixels, at 96 dpi times
// scale; PDF: vectors on a page of width × scale by height × scale points. Returns why it
// failed, or an empty string.
QString savePlotImage(QCustomPlot *plot, const QString &path, ImageFormat format, int width, int height,
                      double scale = 1.0);
