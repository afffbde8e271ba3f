#pragma once

// "Process stability" of the last run: FOS/TAC and pH over time with the run's alarm thresholds,
// one plot per reactor, beside the results pages' plots rather than among them.

#include <QDialog>

class StabilityDialog : public QDialog {
    Q_OBJECT

public:
    // The last refined run of configuration mode, drawn up to tEnd days.
    StabilityDialog(int mode, double tEnd, QWidget *parent = nullptr);
};
