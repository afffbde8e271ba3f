#include "configurationgrid.h"

#include <configuration.h>

ConfigurationGrid configurationGrid(const std::vector<double> &p)
{
    auto num = [](double v) { return QString::number(v, 'g', 6); };
    auto at = [&p](Input input) { return recorded(p, inputInfo(input)); };
    const int mode = int(at(Input::Config));  // truncated, as stored
    const bool known = mode >= 1 && mode <= int(configurations().size());
    // Values of inputs the configuration does not take stay empty.
    const auto valueOf = [&](Input input) { return known && applies(input, mode) ? num(at(input)) : QString(); };
    const auto phMode = [&p] {
        const size_t k = size_t(inputInfo(Input::Ph).recordPosition);
        return k < p.size() ? p[k] : 0.0;
    };

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

    label(3, A, "Q_in"), label(3, B, "[m3/d]"), value(3, C, num(at(Input::FeedFlow)));
    label(4, A, "X_c"), label(4, B, "[kgCOD/m3]"), value(4, C, num(at(Input::BiomassConcentration)));
    label(5, A, "t"), label(5, B, "[d]"), value(5, C, num(at(Input::Timespan)));
    label(6, A, "Fractioning factors");
    label(7, A, "f_pr_xc"), label(7, B, "[-]"), value(7, C, num(at(Input::Fpr)));
    label(8, A, "f_li_xc"), label(8, B, "[-]"), value(8, C, num(at(Input::Fli)));
    label(9, A, "f_ch_xc"), label(9, B, "[-]"), value(9, C, num(at(Input::Fch)));

    label(3, E, "T1"), label(3, F, "[K]"), value(3, G, num(at(Input::T1)));
    label(4, E, "T2"), label(4, F, "[K]"), value(4, G, valueOf(Input::T2));
    label(5, E, "P_atm1"), label(5, F, "[bar]"), value(5, G, num(at(Input::P1)));
    label(6, E, "P_atm2"), label(6, F, "[bar]"), value(6, G, valueOf(Input::P2));
    label(7, E, "V_t1"), label(7, F, "[m3]"), value(7, G, num(at(Input::V1)));
    label(8, E, "V_t2"), label(8, F, "[m3]"), value(8, G, valueOf(Input::V2));

    label(10, A, "Configuration");
    const bool freePh = phMode() == 1;
    label(11, A, "pH"), label(11, B, freePh ? "Free" : "Manual");
    value(11, C, freePh ? QString() : num(at(Input::Ph)));
    label(12, A, "Mode");
    g[11][B].text = known ? QString::fromLatin1(configuration(mode).code).toUpper() : QString();
    label(13, A, "t_sr"), label(13, B, "[d]"), value(13, C, valueOf(Input::Tsr));
    label(14, A, "mix_i"), label(14, B, "[min]"), value(14, C, valueOf(Input::MixI));
    return g;
}
