#pragma once

// The input grid of the workbook's "CONFIGURATION" sheet: 14 rows by 7 columns (A to G) of text,
// built from a run-parameter record.

#include <QString>

#include <array>
#include <optional>
#include <vector>

struct GridCell {
    QString text;
    bool bold = true;
    std::optional<double> number;  // a value, which the sheet stores as a number
};

using ConfigurationGrid = std::array<std::array<GridCell, 7>, 14>;

// Numbers' texts have at most six significant digits and '.' as decimal point, whatever the
// locale, so the file reads the same everywhere. Entries missing from a short record count as 0.
// A run on a feed schedule (feedFile, its file's name; empty for the built-in feed) shows
// "schedule" for Q_in and X_c, the file's name beside Q_in and "sheet FEED" beside X_c.
ConfigurationGrid configurationGrid(const std::vector<double> &runParams, const QString &feedFile = {});
