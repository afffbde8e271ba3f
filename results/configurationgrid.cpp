#include "configurationgrid.h"

#include <configuration.h>

#include <cmath>

namespace {

// Positions in the run-parameter record.
enum Param {
    Q_in = 0, X_c = 1, T_END = 2, PH_MODE = 4, S_H_ION = 5, F_PR = 6, F_LI = 7, F_CH = 8, MODE = 9,
    T1 = 10, P_ATM1 = 11, V_T1 = 12, T2 = 13, P_ATM2 = 14, V_T2 = 15, T_SR = 16, MIX_I = 17
};

}  // namespace

ConfigurationGrid configurationGrid(const std::vector<double> &p)
{
    auto at = [&p](int k) { return k < int(p.size()) ? p[k] : 0.0; };
    auto num = [](double v) { return QString::number(v, 'g', 6); };
    const int mode = int(at(MODE));  // truncated, as stored
    const bool known = mode >= 1 && mode <= int(configurations().size());
    // Values of inputs the configuration does not take stay empty.
    const auto valueOf = [&](Input input, int k) { return known && applies(input, mode) ? num(at(k)) : QString(); };

    ConfigurationGrid g;
    auto label = [&g](int row, int col, const char *text) { g[row - 1][col].text = QString::fromUtf8(text); };
    auto value = [&g](int row, int col, const QString &text) {
        g[row - 1][col].text = text;
        g[row - 1][col].bold = false;
    };
    enum { A, B, C, D, E, F, G };

    label(1, A, "Input data");
    label(2, A, "Basic parameters");
    label(2, E, "Reactor configuration");

    label(3, A, "Q_in"), label(3, B, "[m3/d]"), value(3, C, num(at(Q_in)));
    label(4, A, "X_c"), label(4, B, "[kgCOD/m3]"), value(4, C, num(at(X_c)));
    label(5, A, "t"), label(5, B, "[d]"), value(5, C, num(at(T_END)));
    label(6, A, "Fractioning factors");
    label(7, A, "f_pr_xc"), label(7, B, "[-]"), value(7, C, num(at(F_PR)));
    label(8, A, "f_li_xc"), label(8, B, "[-]"), value(8, C, num(at(F_LI)));
    label(9, A, "f_ch_xc"), label(9, B, "[-]"), value(9, C, num(at(F_CH)));

    label(3, E, "T1"), label(3, F, "[K]"), value(3, G, num(at(T1)));
    label(4, E, "T2"), label(4, F, "[K]"), value(4, G, valueOf(Input::T2, T2));
    label(5, E, "P_atm1"), label(5, F, "[bar]"), value(5, G, num(at(P_ATM1)));
    label(6, E, "P_atm2"), label(6, F, "[bar]"), value(6, G, valueOf(Input::P2, P_ATM2));
    label(7, E, "V_t1"), label(7, F, "[m3]"), value(7, G, num(at(V_T1)));
    label(8, E, "V_t2"), label(8, F, "[m3]"), value(8, G, valueOf(Input::V2, V_T2));

    label(10, A, "Configuration");
    const bool freePh = at(PH_MODE) == 1;
    label(11, A, "pH"), label(11, B, freePh ? "Free" : "Manual");
    value(11, C, freePh ? QString() : num(-std::log10(at(S_H_ION))));
    label(12, A, "Mode");
    g[11][B].text = known ? QString::fromLatin1(configuration(mode).code).toUpper() : QString();
    label(13, A, "t_sr"), label(13, B, "[d]"), value(13, C, valueOf(Input::Tsr, T_SR));
    label(14, A, "mix_i"), label(14, B, "[min]"), value(14, C, valueOf(Input::MixI, MIX_I));
    return g;
}
