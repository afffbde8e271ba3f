#include "configurationgrid.h"

#include <configuration.h>

ConfigurationGrid configurationGrid(const std::vector<double> &p, const QString &feedFile)
{
    using Number = std::optional<double>;
    auto at = [&p](Input input) { return recorded(p, inputInfo(input)); };
    const int mode = int(at(Input::Config));  // truncated, as stored
    const bool known = mode >= 1 && mode <= int(configurations().size());
    // Values of inputs the configuration does not take stay empty.
    const auto valueOf = [&](Input input) { return known && applies(input, mode) ? Number(at(input)) : Number(); };
    const auto phMode = [&p] {
        const size_t k = size_t(inputInfo(Input::Ph).recordPosition);
        return k < p.size() ? p[k] : 0.0;
    };

    ConfigurationGrid g;
    auto label = [&g](int row, int col, const char *text) { g[row - 1][col].text = QString::fromUtf8(text); };
    auto text = [&g](int row, int col, const QString &text) {
        g[row - 1][col].text = text;
        g[row - 1][col].bold = false;
    };
    auto value = [&](int row, int col, Number v) {
        text(row, col, v ? QString::number(*v, 'g', 6) : QString());
        g[row - 1][col].number = v;
    };
    enum { A, B, C, D, E, F, G };

    label(1, A, "Input data");
    label(2, A, "Basic parameters");
    label(2, E, "Reactor configuration");

    label(3, A, "Q_in"), label(3, B, "[m3/d]");
    label(4, A, "X_c"), label(4, B, "[kgCOD/m3]");
    if (feedFile.isEmpty()) {
        value(3, C, at(Input::FeedFlow));
        value(4, C, at(Input::BiomassConcentration));
    } else {  // the rows are on the sheet "FEED"
        text(3, C, QStringLiteral("schedule")), text(3, D, feedFile);
        text(4, C, QStringLiteral("schedule")), text(4, D, QStringLiteral("sheet FEED"));
    }
    label(5, A, "t"), label(5, B, "[d]"), value(5, C, at(Input::Timespan));
    label(6, A, "Fractioning factors");
    label(7, A, "f_pr_xc"), label(7, B, "[-]"), value(7, C, at(Input::Fpr));
    label(8, A, "f_li_xc"), label(8, B, "[-]"), value(8, C, at(Input::Fli));
    label(9, A, "f_ch_xc"), label(9, B, "[-]"), value(9, C, at(Input::Fch));

    label(3, E, "T1"), label(3, F, "[K]"), value(3, G, at(Input::T1));
    label(4, E, "T2"), label(4, F, "[K]"), value(4, G, valueOf(Input::T2));
    label(5, E, "P_atm1"), label(5, F, "[bar]"), value(5, G, at(Input::P1));
    label(6, E, "P_atm2"), label(6, F, "[bar]"), value(6, G, valueOf(Input::P2));
    label(7, E, "V_t1"), label(7, F, "[m3]"), value(7, G, at(Input::V1));
    label(8, E, "V_t2"), label(8, F, "[m3]"), value(8, G, valueOf(Input::V2));

    label(10, A, "Configuration");
    const bool freePh = phMode() == 1;
    label(11, A, "pH"), label(11, B, freePh ? "Free" : "Manual");
    value(11, C, freePh ? Number() : at(Input::Ph));
    label(12, A, "Mode");
    g[11][B].text = known ? QString::fromLatin1(configuration(mode).code).toUpper() : QString();
    label(13, A, "t_sr"), label(13, B, "[d]"), value(13, C, valueOf(Input::Tsr));
    label(14, A, "mix_i"), label(14, B, "[min]"), value(14, C, valueOf(Input::MixI));
    return g;
}
