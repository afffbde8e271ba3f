#pragma once

// "Model parameters": every model constant in a table (name, value, default, unit, meaning),
// values that differ from the default in bold, values a run cannot take marked and OK held back
// until they are mended, and a reset of every value to its default; beside them the free pH's
// solver.

#include <modelparameters.h>
#include <runrequest.h>

#include <QDialog>

QT_BEGIN_NAMESPACE
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
QT_END_NAMESPACE

class ParametersDialog : public QDialog {
    Q_OBJECT

public:
    ParametersDialog(const ParameterValues &values, PhSolver phSolver, QWidget *parent = nullptr);

    // The values of the table that differ from their defaults.
    ParameterValues values() const;
    PhSolver phSolver() const;

private:
    void showValues(const ParameterValues &values);
    // Marks every value as it stands and holds OK back while any is refused.
    void check();

    QTableWidget *table;
    QComboBox *solverBox;
    QLabel *problemsLabel;
    QPushButton *okButton;
};
