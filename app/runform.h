#pragma once

// A run's inputs as the form holds them: the texts of page 0 and of the configuration's reactor
// page, converted to the numbers a run takes (temperatures in kelvin, the manual pH as a
// hydrogen-ion concentration), and the words the form uses for each of them.

#include <configuration.h>
#include <inputsfile.h>

#include <QString>

class MainForm;

namespace runform {

// mode: 1 single-stage, 2 two-stage, 3 temperature-phased, 4 pump-mixed. Empty fields count
// as 0; fields the configuration does not use stay 0.
RunRequest readRunRequest(const MainForm &form, int mode);

// The configuration (1 to 4) checked on page 0.
int checkedMode(const MainForm &form);

// The inputs an input file keeps: the configuration checked on page 0, the texts of page 0 and of
// that configuration's reactor page, its temperatures in the unit chosen there.
InputValues readInputValues(const MainForm &form);
// Fills page 0 and the configuration's reactor page (values and unit) from values; inputs that
// values lack take the texts the fields start from.
void showInputValues(const MainForm &form, const InputValues &values);

// The label of the field a check refused, as it reads on the configuration's pages
// ("Reactor volume", "Pressure in R2", "Smiulation timespan").
QString fieldLabel(const InputProblem &problem, int mode);

}  // namespace runform
