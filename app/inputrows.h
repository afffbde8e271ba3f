#pragma once

// The rows of the input pages: icon, label, line edit and unit label of every value the user
// enters, with the value each field returns to on a reset.

#include "mainform.h"

#include <vector>

struct InputRow {
    int y;                           // top of the line edit within its box
    const char *icon;                // image shown left of the label
    const char *labelName, *labelText;
    QLineEdit *MainForm::*edit;
    const char *editName;
    const char *defaultText;         // what a reset writes
    const char *unitName = nullptr;  // no unit label when null
    const char *unitText = nullptr;
    const char *initialText = nullptr;  // the text at start-up, when it differs from the default
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

extern const char *const defaultManualPh;

// Writes every row's default text into its line edit.
void restoreDefaults(const MainForm &form, const std::vector<InputRow> &rows);

}  // namespace inputrows
