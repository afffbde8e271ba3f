#include "inputrows.h"

#include <QLineEdit>


namespace inputrows {

#define EDIT(name) &MainForm::name, #name

const std::vector<InputRow> &basic()
{
    static const std::vector<InputRow> rows = {
        {45, "graphics/flux.png", "label_3", "Input biomass flux", EDIT(lineEdit_final_Q_in), Input::FeedFlow,
         "label_9", "[m<sup>3</sup>/d]"},
        {85, "graphics/biomass.png", "label_4", "Biomass concentration", EDIT(lineEdit_X_c_in), Input::BiomassConcentration,
         "label_10", "[kgCOD/m<sup>3</sup>]"},
        {125, "graphics/time.png", "label_5", "Smiulation timespan", EDIT(lineEdit_t_end), Input::Timespan,
         "label_11", "[d]"},
    };
    return rows;
}

const std::vector<InputRow> &fractions()
{
    static const std::vector<InputRow> rows = {
        {210, "graphics/probe.png", "label_7", "f_pr_xc", EDIT(lineEdit_f_pr_xc), Input::Fpr},
        {250, "graphics/probe.png", "label_6", "f_li_xc", EDIT(lineEdit_f_li_xc), Input::Fli},
        {290, "graphics/probe.png", "label_8", "f_ch_xc", EDIT(lineEdit_f_ch_xc), Input::Fch},
    };
    return rows;
}

const std::vector<InputRow> &singleStage()
{
    static const std::vector<InputRow> rows = {
        {35, "graphics/temperature.png", "label_14", "Temperature", EDIT(lineEdit_T_1), Input::T1},
        {75, "graphics/pressure.png", "label_13", "Pressure", EDIT(lineEdit_P_atm1), Input::P1,
         "label_15", "[atm]"},
        {115, "graphics/volume.png", "label_16", "Reactor volume", EDIT(lineEdit_V_t1), Input::V1,
         "label_12", "[m3]"},
    };
    return rows;
}

const std::vector<InputRow> &twoStage()
{
    static const std::vector<InputRow> rows = {
        {35, "graphics/temperature.png", "label_20", "Temperature", EDIT(lineEdit_T_1_ts), Input::T1},
        {75, "graphics/pressure.png", "label_30", "Pressure in R1", EDIT(lineEdit_P_atm1_ts), Input::P1,
         "label_34", "[atm]"},
        {115, "graphics/pressure.png", "label_32", "Pressure in R2", EDIT(lineEdit_P_atm2_ts), Input::P2,
         "label_36", "[atm]"},
        {155, "graphics/volume.png", "label_26", "R1 volume", EDIT(lineEdit_V_t1_ts), Input::V1,
         "label_35", "[m3]"},
        {195, "graphics/volume.png", "label_28", "R2 volume", EDIT(lineEdit_V_t2_ts), Input::V2,
         "label_31", "[m3]"},
    };
    return rows;
}

const std::vector<InputRow> &temperaturePhased()
{
    static const std::vector<InputRow> rows = {
        {35, "graphics/temperature.png", "label_18", "Temperature in R1", EDIT(lineEdit_T_1_tp), Input::T1},
        {75, "graphics/temperature.png", "label_21", "Temperature in R2", EDIT(lineEdit_T_2_tp), Input::T2},
        {115, "graphics/pressure.png", "label_17", "Pressure in R1", EDIT(lineEdit_P_atm1_tp), Input::P1,
         "label_19", "[atm]"},
        {155, "graphics/pressure.png", "label_23", "Pressure in R2", EDIT(lineEdit_P_atm2_tp), Input::P2,
         "label_25", "[atm]"},
        {195, "graphics/volume.png", "label_22", "R1 volume", EDIT(lineEdit_V_t1_tp), Input::V1,
         "label_24", "[m3]"},
        {235, "graphics/volume.png", "label_27", "R2 volume", EDIT(lineEdit_V_t2_tp), Input::V2,
         "label_29", "[m3]"},
        {290, "graphics/time.png", "label_38", "Additional SRT", EDIT(lineEdit_t_sr), Input::Tsr,
         "label_39", "[d]"},
    };
    return rows;
}

const std::vector<InputRow> &pumpMixed()
{
    static const std::vector<InputRow> rows = {
        {35, "graphics/temperature.png", "label_101", "Temperature", EDIT(lineEdit_T_1_pm), Input::T1},
        {75, "graphics/pressure.png", "label_100", "Pressure", EDIT(lineEdit_P_atm1_pm), Input::P1,
         "label_102", "[atm]"},
        {115, "graphics/volume.png", "label_103", "Reactor volume", EDIT(lineEdit_V_t1_pm), Input::V1,
         "label_99", "[m3]"},
        {155, "graphics/mixer.png", "label_104", "Mixing interval", EDIT(lineEdit_mix_i_pm), Input::MixI,
         "label_105", "[min]"},
    };
    return rows;
}

#undef EDIT

const std::vector<InputRow> &reactorRows(int mode)
{
    // In the order of the configuration table.
    using Rows = const std::vector<InputRow> &(*)();
    static const Rows pages[] = {singleStage, twoStage, temperaturePhased, pumpMixed};
    return pages[configuration(mode).mode - 1]();
}

const char *initialText(const InputRow &row, int mode) { return inputInfo(row.input).startText(mode); }
const char *resetText(const InputRow &row, int /*mode*/) { return inputInfo(row.input).resetText; }

void restoreDefaults(const MainForm &form, const std::vector<InputRow> &rows, int mode)
{
    for (const InputRow &row : rows)
        (form.*row.edit)->setText(QString::fromLatin1(resetText(row, mode)));
}

}  // namespace inputrows
