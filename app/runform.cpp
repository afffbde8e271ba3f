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

QRadioButton *celsiusOf(const MainForm &form, int mode)
{
    QRadioButton *const celsius[] = {form.radioButton_UnitC, form.radioButton_UnitC_ts, form.radioButton_UnitC_tp,
                                     form.radioButton_UnitC_pm};
    return celsius[configuration(mode).mode - 1];
}

// Page 0's choice of each configuration, in the order of the configuration table.
QRadioButton *configurationRadio(const MainForm &form, int mode)
{
    QRadioButton *const radios[] = {form.radioButton_SSAD, form.radioButton_TSAD, form.radioButton_TPAD,
                                    form.radioButton_POMP};
    return radios[configuration(mode).mode - 1];
}

// Page 0's rows and those of the configuration's reactor page.
template <typename Visit>
void forEachRow(int mode, Visit visit)
{
    for (const auto *rows : {&inputrows::basic(), &inputrows::fractions(), &inputrows::reactorRows(mode)})
        for (const InputRow &row : *rows)
            visit(row);
}

}  // namespace

RunRequest readRunRequest(const MainForm &form, int mode)
{
    const double toKelvin = kelvinOf(form, mode)->isChecked() ? 0.0 : kCelsiusOffset;
    RunRequest request;
    request.mode = mode;
    forEachRow(mode, [&](const InputRow &row) {
        const InputInfo &info = inputInfo(row.input);
        request.*info.field = (form.*row.edit)->text().toDouble() + (info.temperature ? toKelvin : 0.0);
    });
    request.ph_mode = form.radioButton_free->isChecked() ? 1 : 0;
    // Passed in both pH modes; the free mode's scripts ignore it.
    request.S_h_ion_manual = std::pow(10.0, -form.lineEdit_manual_ph->text().toDouble());
    return request;
}

int checkedMode(const MainForm &form)
{
    for (const Configuration &c : configurations())
        if (configurationRadio(form, c.mode)->isChecked())
            return c.mode;
    return configurations().back().mode;
}

InputValues readInputValues(const MainForm &form)
{
    InputValues values;
    values.mode = checkedMode(form);
    values.celsius = !kelvinOf(form, values.mode)->isChecked();
    values.freePh = form.radioButton_free->isChecked();
    values.manualPh = form.lineEdit_manual_ph->text();
    forEachRow(values.mode, [&](const InputRow &row) { values.texts[row.input] = (form.*row.edit)->text(); });
    return values;
}

void showInputValues(const MainForm &form, const InputValues &values)
{
    const int mode = values.mode;
    configurationRadio(form, mode)->setChecked(true);
    (values.celsius ? celsiusOf(form, mode) : kelvinOf(form, mode))->setChecked(true);
    (values.freePh ? form.radioButton_free : form.radioButton_manual)->setChecked(true);
    if (!values.freePh)
        form.lineEdit_manual_ph->setText(values.manualPh);
    forEachRow(mode, [&](const InputRow &row) {
        const auto given = values.texts.find(row.input);
        (form.*row.edit)->setText(given != values.texts.end() ? given->second
                                                              : QString::fromLatin1(inputrows::initialText(row, mode)));
    });
}

QString fieldLabel(const InputProblem &problem, int mode)
{
    if (problem.key == QLatin1String(kFractionSumKey))
        return QStringLiteral("The fractioning factors");
    if (problem.key == QLatin1String(inputInfo(Input::Ph).key))
        return QStringLiteral("The manual pH");
    QString label;
    forEachRow(mode, [&](const InputRow &row) {
        if (QLatin1String(inputInfo(row.input).key) == problem.key)
            label = QString::fromLatin1(row.labelText);
    });
    return label;
}

}  // namespace runform
