#pragma once

// "Plant and alarms": the inputs of the plant around the digesters (methane's heating value, the
// CHP's efficiencies, own electricity use, feed and ambient temperatures, the walls' heat
// transfer) and the alarm thresholds, one field each with its unit and help from the input
// declaration; OK is held back while a value is refused.

#include <runrequest.h>

#include <QDialog>

#include <map>

QT_BEGIN_NAMESPACE
class QLabel;
class QLineEdit;
class QPushButton;
QT_END_NAMESPACE

struct InputInfo;

class PlantDialog : public QDialog {
    Q_OBJECT

public:
    // Shows the plant inputs of `values` (a request whose other inputs are not read).
    PlantDialog(const RunRequest &values, QWidget *parent = nullptr);

    // `values` with the fields' plant inputs.
    RunRequest values(RunRequest values) const;

private:
    void check();

    std::map<const InputInfo *, QLineEdit *> fields;
    QLabel *problemsLabel;
    QPushButton *okButton;
};

// Copies the plant inputs of `from` into `to`.
void takePlantInputs(RunRequest &to, const RunRequest &from);
