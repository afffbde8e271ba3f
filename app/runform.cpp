#include "runform.h"

#include "inputrows.h"
#include "mainform.h"

#include <QLineEdit>
#include <QRadioButton>

#include <cmath>

namespace runform {

namespace {

using Edit = QLineEdit *MainForm::*;

// Where a configuration's page keeps each value; null where it has no such field.
struct ReactorPage {
    QRadioButton *MainForm::*kelvin;
    Edit T_1, T_2, P_atm1, P_atm2, V_t1, V_t2, t_sr, mix_i;
    const std::vector<InputRow> &(*rows)();
};

const ReactorPage &reactorPage(int mode)
{
    static const ReactorPage pages[] = {
        {&MainForm::radioButton_unitK, &MainForm::lineEdit_T_1, nullptr, &MainForm::lineEdit_P_atm1, nullptr,
         &MainForm::lineEdit_V_t1, nullptr, nullptr, nullptr, inputrows::singleStage},
        {&MainForm::radioButton_UnitK_ts, &MainForm::lineEdit_T_1_ts, nullptr, &MainForm::lineEdit_P_atm1_ts,
         &MainForm::lineEdit_P_atm2_ts, &MainForm::lineEdit_V_t1_ts, &MainForm::lineEdit_V_t2_ts, nullptr, nullptr,
         inputrows::twoStage},
        {&MainForm::radioButton_UnitK_tp, &MainForm::lineEdit_T_1_tp, &MainForm::lineEdit_T_2_tp,
         &MainForm::lineEdit_P_atm1_tp, &MainForm::lineEdit_P_atm2_tp, &MainForm::lineEdit_V_t1_tp,
         &MainForm::lineEdit_V_t2_tp, &MainForm::lineEdit_t_sr, nullptr, inputrows::temperaturePhased},
        {&MainForm::radioButton_unitK_pm, &MainForm::lineEdit_T_1_pm, nullptr, &MainForm::lineEdit_P_atm1_pm,
         nullptr, &MainForm::lineEdit_V_t1_pm, nullptr, nullptr, &MainForm::lineEdit_mix_i_pm, inputrows::pumpMixed},
    };
    return pages[mode >= 1 && mode <= 4 ? mode - 1 : 0];
}

double number(const MainForm &form, Edit edit) { return edit ? (form.*edit)->text().toDouble() : 0.0; }

}  // namespace

RunRequest readRunRequest(const MainForm &form, int mode)
{
    const ReactorPage &page = reactorPage(mode);
    // The page's temperatures are in degrees Celsius unless its "K" is checked.
    const double toKelvin = (form.*page.kelvin)->isChecked() ? 0.0 : 273.15;

    RunRequest request;
    request.mode = mode;
    request.final_Q_in = number(form, &MainForm::lineEdit_final_Q_in);
    request.X_c_in = number(form, &MainForm::lineEdit_X_c_in);
    request.t_end = number(form, &MainForm::lineEdit_t_end);
    request.f_pr_xc = number(form, &MainForm::lineEdit_f_pr_xc);
    request.f_li_xc = number(form, &MainForm::lineEdit_f_li_xc);
    request.f_ch_xc = number(form, &MainForm::lineEdit_f_ch_xc);
    request.ph_mode = form.radioButton_free->isChecked() ? 1 : 0;
    // Passed in both pH modes; the free mode's scripts ignore it.
    request.S_h_ion_manual = std::pow(10.0, -number(form, &MainForm::lineEdit_manual_ph));
    request.T_1 = number(form, page.T_1) + toKelvin;
    if (page.T_2)
        request.T_2 = number(form, page.T_2) + toKelvin;
    request.P_atm1 = number(form, page.P_atm1);
    request.P_atm2 = number(form, page.P_atm2);
    request.V_t1 = number(form, page.V_t1);
    request.V_t2 = number(form, page.V_t2);
    request.t_sr = number(form, page.t_sr);
    request.mix_i = number(form, page.mix_i);
    return request;
}

QString fieldLabel(RunField field, int mode)
{
    if (field == RunField::Fractions)
        return QStringLiteral("The fractioning factors");
    const ReactorPage &page = reactorPage(mode);
    Edit edit = nullptr;
    const std::vector<InputRow> *rows = &page.rows();
    switch (field) {
    case RunField::FinalQin: edit = &MainForm::lineEdit_final_Q_in; rows = &inputrows::basic(); break;
    case RunField::Tend: edit = &MainForm::lineEdit_t_end; rows = &inputrows::basic(); break;
    case RunField::T1: edit = page.T_1; break;
    case RunField::T2: edit = page.T_2; break;
    case RunField::Patm1: edit = page.P_atm1; break;
    case RunField::Patm2: edit = page.P_atm2; break;
    case RunField::Vt1: edit = page.V_t1; break;
    case RunField::Vt2: edit = page.V_t2; break;
    case RunField::Fractions: break;
    }
    for (const InputRow &row : *rows)
        if (edit && row.edit == edit)
            return QString::fromLatin1(row.labelText);
    return {};
}

}  // namespace runform
