#include "configuration.h"

#include <QString>

#include <cmath>
#include <stdexcept>

const char *const kDefaultManualPh = "7.0";

const std::vector<InputInfo> &inputInfos()
{
    static const std::vector<InputInfo> infos = {
        {Input::FeedFlow, "q-in", "Input biomass flux", "m3/d", &RunRequest::final_Q_in},
        {Input::BiomassConcentration, "x-c-in", "Biomass concentration", "kgCOD/m3", &RunRequest::X_c_in},
        {Input::Timespan, "t-end", "Simulation timespan", "d", &RunRequest::t_end},
        {Input::Fpr, "f-pr", "Fractioning factor f_pr_xc", "-", &RunRequest::f_pr_xc},
        {Input::Fli, "f-li", "Fractioning factor f_li_xc", "-", &RunRequest::f_li_xc},
        {Input::Fch, "f-ch", "Fractioning factor f_ch_xc", "-", &RunRequest::f_ch_xc},
        {Input::T1, "t1", "Temperature (in R1)", "K", &RunRequest::T_1, true},
        {Input::T2, "t2", "Temperature in R2", "K", &RunRequest::T_2, true},
        {Input::P1, "p1", "Pressure (in R1)", "bar", &RunRequest::P_atm1},
        {Input::P2, "p2", "Pressure in R2", "bar", &RunRequest::P_atm2},
        {Input::V1, "v1", "Reactor volume (R1)", "m3", &RunRequest::V_t1},
        {Input::V2, "v2", "R2 volume", "m3", &RunRequest::V_t2},
        {Input::Tsr, "t-sr", "Additional SRT", "d", &RunRequest::t_sr},
        {Input::MixI, "mix-i", "Mixing interval", "min", &RunRequest::mix_i},
    };
    return infos;
}

const InputInfo &inputInfo(Input input)
{
    for (const InputInfo &info : inputInfos())
        if (info.input == input)
            return info;
    throw std::out_of_range("unknown input");
}

const std::vector<InputDefault> &feedInputs()
{
    static const std::vector<InputDefault> inputs = {
        {Input::FeedFlow, "5.31"}, {Input::BiomassConcentration, "10"}, {Input::Timespan, "50"},
        {Input::Fpr, "0.3"},       {Input::Fli, "0.3"},                  {Input::Fch, "0.3"},
    };
    return inputs;
}

const std::vector<Configuration> &configurations()
{
    static const std::vector<Configuration> table = {
        {1, "ssad", "Single-stage AD", 1, 101, "module_ssad", "cbtest_SSAD", false,
         {{Input::T1, "308"}, {Input::P1, "1.013"}, {Input::V1, "33"}}},
        // The first pressure starts at twice the atmospheric; a reset brings it back to atmospheric.
        {2, "tsad", "Two-stage AD / AHPD", 2, 103, "module_tsad", "cbtest_TSAD", false,
         {{Input::T1, "308"}, {Input::P1, "1.013", "2.026"}, {Input::P2, "1.013"}, {Input::V1, "33"},
          {Input::V2, "33"}}},
        {3, "tpad", "TPAD", 2, 104, "module_tpad", "cbtest_TPAD", true,
         {{Input::T1, "308"}, {Input::T2, "308"}, {Input::P1, "1.013"}, {Input::P2, "1.013"}, {Input::V1, "33"},
          {Input::V2, "33"}, {Input::Tsr, "0"}}},
        {4, "pomp", "Pomp-mixed", 1, 105, "module_pomp", "cbtest_POMP", true,
         {{Input::T1, "308"}, {Input::P1, "1.013"}, {Input::V1, "33"}, {Input::MixI, "10"}}},
    };
    return table;
}

const Configuration &configuration(int mode)
{
    if (mode < 1 || mode > int(configurations().size()))
        throw std::out_of_range("configuration code out of range");
    return configurations()[mode - 1];
}

const Configuration *configurationByCode(const QString &code)
{
    for (const Configuration &c : configurations())
        if (code.compare(QLatin1String(c.code), Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

bool applies(Input input, int mode)
{
    for (const InputDefault &d : feedInputs())
        if (d.input == input)
            return true;
    for (const InputDefault &d : configuration(mode).inputs)
        if (d.input == input)
            return true;
    return false;
}

RunRequest defaultRequest(int mode)
{
    RunRequest r;
    r.mode = mode;
    r.ph_mode = 0;
    r.S_h_ion_manual = std::pow(10.0, -QString::fromLatin1(kDefaultManualPh).toDouble());
    for (const auto *inputs : {&feedInputs(), &configuration(mode).inputs})
        for (const InputDefault &d : *inputs)
            r.*inputInfo(d.input).field = QString::fromLatin1(d.initialText()).toDouble();
    return r;
}
