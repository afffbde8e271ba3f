#pragma once

// The rows of the input pages: icon, label, line edit and unit label of every value the user
// enters, and the input each field holds (its texts at start-up and after a reset come from the
// configuration table).

#include "mainform.h"

#include <configuration.h>

#include <vector>

struct InputRow {
    int y;                           // top of the line edit within its box
    const char *icon;                // image shown left of the label
    const char *labelName, *labelText;
    QLineEdit *MainForm::*edit;
    const char *editName;
    Input input;
    const char *unitName = nullptr;  // no unit label when null
    const char *unitText = nullptr;
};

namespace inputrows {

// Page 0: feed flux, biomass concentration, timespan.
const std::vector<InputRow> &basic();
// Page 0: the three fractioning factors.
const std::vector<InputRow> &fractions();
// Pages 1 to 4.
const std::vector<InputRow> &singleStage();
const std::vector<InputRow> &twoStage();
const std::vector<InputRow> &temperaturePhased();
const std::vector<InputRow> &pumpMixed();
// The reactor page of a configuration (mode 1 to 4).
const std::vector<InputRow> &reactorRows(int mode);

// The texts a row's field shows at start-up and after a reset, on the page of configuration mode
// (the declaration's).
const char *initialText(const InputRow &row, int mode);
const char *resetText(const InputRow &row, int mode);

// Writes every row's reset text into its line edit.
void restoreDefaults(const MainForm &form, const std::vector<InputRow> &rows, int mode);

}  // namespace inputrows
