#include "runform.h"

#include "inputrows.h"
#include "mainform.h"

#include <QLineEdit>
#include <QRadioButton>

#include <cmath>

namespace runform {

namespace {

// The "K" of each reactor page, in the order of the configuration table; unless it is
// checked, the page's temperatures are in degrees Celsius.
QRadioButton *kelvinOf(const MainForm &form, int mode)
{
    QRadioButton *const kelvin[] = {form.radioButton_unitK, form.radioButton_UnitK_ts, form.radioButton_UnitK_tp,
                                    form.radioButton_unitK_pm};
    return kelvin[configuration(mode).mode - 1];
}

}  // namespace

RunRequest readRunRequest(const MainForm &form, int mode)
{
    const double toKelvin = kelvinOf(form, mode)->isChecked() ? 0.0 : 273.15;
    RunRequest request;
    request.mode = mode;
    for (const auto *rows : {&inputrows::basic(), &inputrows::fractions(), &inputrows::reactorRows(mode)}) {
        for (const InputRow &row : *rows) {
            const InputSpec &spec = inputSpec(row.input);
            request.*spec.field = (form.*row.edit)->text().toDouble() + (spec.temperature ? toKelvin : 0.0);
        }
    }
    request.ph_mode = form.radioButton_free->isChecked() ? 1 : 0;
    // Passed in both pH modes; the free mode's scripts ignore it.
    request.S_h_ion_manual = std::pow(10.0, -form.lineEdit_manual_ph->text().toDouble());
    return request;
}

QString fieldLabel(const InputProblem &problem, int mode)
{
    switch (problem.subject) {
    case InputProblem::Subject::Fractions:
        return QStringLiteral("The fractioning factors");
    case InputProblem::Subject::ManualPh:
        return QStringLiteral("The manual pH");
    case InputProblem::Subject::Input:
        break;
    }
    for (const auto *rows : {&inputrows::basic(), &inputrows::fractions(), &inputrows::reactorRows(mode)})
        for (const InputRow &row : *rows)
            if (row.input == problem.input)
                return QString::fromLatin1(row.labelText);
    return {};
}

}  // namespace runform
