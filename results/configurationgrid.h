#pragma once

// The input grid of the workbook's "CONFIGURATION" sheet: 14 rows by 7 columns (A to G) of text,
// built from a run-parameter record.

#include <QString>

#include <array>
#include <vector>

struct GridCell {
    QString text;
    bool bold = true;
};

using ConfigurationGrid = std::array<std::array<GridCell, 7>, 14>;

// Numbers have at most six significant digits and '.' as decimal point, whatever the locale, so
// the file reads the same everywhere. Entries missing from a short record count as 0.
ConfigurationGrid configurationGrid(const std::vector<double> &runParams);
