#include "configuration.h"

#include <QString>

#include <cmath>
#include <stdexcept>

namespace {

// The table's rows, built by what each adds to the common parts.
struct Declared {
    InputInfo info;

    Declared configs(unsigned set) { info.configurations = set; return *this; }
    Declared range(double lowest, double highest) { info.lowest = lowest; info.highest = highest; return *this; }
    Declared above(double lowest, unsigned in = kEveryConfiguration)
    {
        info.lowest = lowest;
        info.lowestExcludedIn = in;
        return *this;
    }
    Declared below(double highest) { info.highest = highest; info.highestExcluded = true; return *this; }
    Declared decimals(int n) { info.decimals = n; return *this; }
    Declared record(int position) { info.recordPosition = position; return *this; }
    Declared kind(FieldKind kind) { info.fieldKind = kind; return *this; }
    Declared unit(const char *unit) { info.unit = unit; return *this; }
    Declared plant() { info.plant = true; return *this; }
    Declared startsAt(unsigned configs, const char *text) { info.startTexts.push_back({configs, text}); return *this; }
    operator InputInfo() const { return info; }
};

Declared number(Input input, const char *key, const char *label, const char *unit, double RunRequest::*field,
                const char *resetText, const char *help)
{
    InputInfo info{input, key, label, unit, help, resetText, {}};
    info.field = field;
    info.lowest = 0;  // no input is negative
    return {info};
}

Declared temperature(Input input, const char *key, const char *label, double RunRequest::*field, const char *help,
                     const char *resetText = "308")
{
    Declared d = number(input, key, label, "K", field, resetText, help).range(kCelsiusOffset, kCelsiusOffset + 100);
    d.info.temperature = true;
    return d;
}

Declared choice(Input input, const char *key, const char *label, const char *choices, const char *resetText,
                const char *help)
{
    InputInfo info{input, key, label, "", help, resetText, {}};
    info.choices = choices;
    info.fieldKind = FieldKind::Choice;
    return {info};
}

}  // namespace

const char *InputInfo::startText(int mode) const
{
    for (const auto &[configs, text] : startTexts)
        if (configs & (1u << mode))
            return text;
    return resetText;
}

const std::vector<InputInfo> &inputInfos()
{
    using R = RunRequest;
    static const std::vector<InputInfo> infos = {
        choice(Input::Config, "config", "Reactor configuration", "ssad tsad tpad pomp", "ssad",
               "ssad (single-stage), tsad (two-stage), tpad (temperature-phased) or pomp (pump-mixed)")
            .record(9),
        number(Input::FeedFlow, "q-in", "Input biomass flux", "m3/d", &R::final_Q_in, "5.31",
               "Flow of the feed; 0 is a batch run")
            .above(0, kTpad | kPomp).record(0),
        number(Input::BiomassConcentration, "x-c-in", "Biomass concentration", "kgCOD/m3", &R::X_c_in, "10",
               "Composite particulates in the feed")
            .record(1),
        number(Input::Timespan, "t-end", "Simulation timespan", "d", &R::t_end, "50",
               "The day the run ends on (from day 0, or from a saved start state's day), at most what a "
               "results sheet holds")
            .range(0.1, 104857).record(2),
        number(Input::Fpr, "f-pr", "Fractioning factor f_pr_xc", "-", &R::f_pr_xc, "0.3",
               "Share of proteins in the composite; the three factors add up to at most 1")
            .below(1).kind(FieldKind::Fraction).record(6),
        number(Input::Fli, "f-li", "Fractioning factor f_li_xc", "-", &R::f_li_xc, "0.3",
               "Share of lipids in the composite")
            .below(1).kind(FieldKind::Fraction).record(7),
        number(Input::Fch, "f-ch", "Fractioning factor f_ch_xc", "-", &R::f_ch_xc, "0.3",
               "Share of carbohydrates in the composite")
            .below(1).kind(FieldKind::Fraction).record(8),
        // Recorded as the pH mode (position 4) and 10^-pH (position 5).
        choice(Input::Ph, "ph", "pH", "free", "7.0", "free (computed), or a manual pH imposed on the run")
            .unit("-").range(1, 12.99).decimals(2).kind(FieldKind::Ph).record(4),
        choice(Input::Unit, "unit", "Temperature unit", "K C", "K", "K or C (°C), of the temperatures given"),
        temperature(Input::T1, "t1", "Temperature (in R1)", &R::T_1, "Temperature of the (first) reactor").record(10),
        temperature(Input::T2, "t2", "Temperature in R2", &R::T_2, "Temperature of the second reactor")
            .configs(kTpad).record(13),
        number(Input::P1, "p1", "Pressure (in R1)", "bar", &R::P_atm1, "1.013",
               "Headspace pressure of the (first) reactor; the field reads [atm], the value is in bar")
            .above(0).startsAt(kTsad, "2.026").record(11),
        number(Input::P2, "p2", "Pressure in R2", "bar", &R::P_atm2, "1.013", "Headspace pressure of the second reactor")
            .above(0).configs(kTsad | kTpad).record(14),
        number(Input::V1, "v1", "Reactor volume (R1)", "m3", &R::V_t1, "33",
               "Total volume (liquid and headspace) of the (first) reactor")
            .above(0).record(12),
        number(Input::V2, "v2", "R2 volume", "m3", &R::V_t2, "33", "Total volume of the second reactor")
            .above(0).configs(kTsad | kTpad).record(15),
        number(Input::Tsr, "t-sr", "Additional SRT", "d", &R::t_sr, "0", "Additional solids retention time")
            .configs(kTpad).record(16),
        number(Input::MixI, "mix-i", "Mixing interval", "min", &R::mix_i, "10", "Minutes between the pump's mixings")
            .configs(kPomp).record(17),
        // The plant and the alarms. Energy: methane's lower heating value 35.88 MJ/Nm3 = 9.97 kWh/Nm3
        // (ISO 6976); a farm-size gas-engine CHP of some 100 to 500 kW converts about 40 % into
        // electricity and 45 % into usable heat (ASUE, BHKW-Kenndaten 2014/2015); agricultural plants
        // use some 5 to 10 % of their electricity themselves (FNR, Leitfaden Biogas, 2016). No heating
        // value of methane exceeds its higher heating value, 39.82 MJ/Nm3 = 11.06 kWh/Nm3 (ISO 6976).
        number(Input::MethaneLhv, "lhv-ch4", "Methane lower heating value", "kWh/Nm3", &R::lhv_ch4, "9.97",
               "Energy of a normal m3 of methane (ISO 6976: 9.97; at most its higher heating value, 11.06)")
            .range(0, 11.06).above(0).plant(),
        number(Input::EtaEl, "eta-el", "CHP electrical efficiency", "-", &R::eta_el, "0.40",
               "Share of the methane's energy the CHP turns into electricity (farm gas engine: 0.40)").range(0, 1).plant(),
        number(Input::EtaTh, "eta-th", "CHP thermal efficiency", "-", &R::eta_th, "0.45",
               "Share of the methane's energy the CHP gives as usable heat (farm gas engine: 0.45); "
               "eta-el + eta-th at most 1").range(0, 1).plant(),
        number(Input::OwnUse, "own-use", "Own electricity use", "-", &R::own_use, "0.08",
               "Share of the electricity the plant uses itself (pumps, mixers: 0.05 to 0.10)").range(0, 1).plant(),
        temperature(Input::FeedTemperature, "t-feed", "Feed temperature", &R::T_feed,
                    "Temperature of the feed before it is heated to the digester's", "288.15")
            .range(kCelsiusOffset, kCelsiusOffset + 100).plant(),
        temperature(Input::AmbientTemperature, "t-ambient", "Ambient temperature", &R::T_ambient,
                    "Temperature around the digesters, for their walls' heat loss", "283.15")
            .range(kCelsiusOffset - 50, kCelsiusOffset + 60).plant(),
        // Insulated farm digesters lose 0.3 to 0.6 W/(m2·K) through walls, roof and floor (FNR,
        // Leitfaden Biogas, 2016); the walls' area follows each reactor's volume (a cylinder as high
        // as it is wide), so UA grows with the plant. A bare steel wall in strong wind loses some
        // 25 W/(m2·K), the film coefficient of the air outside (VDI-Wärmeatlas); 50 is beyond any wall.
        number(Input::UValue, "u-value", "Wall heat transfer coefficient", "W/(m2·K)", &R::u_value, "0.5",
               "Heat loss of the digesters' walls, roof and floor per m2 and K; UA = u-value × the area of a "
               "cylinder as high as wide holding the reactor's volume")
            .range(0, 50).plant(),
        // Alarm thresholds an operator acts on (Lossie and Pütz 2008, Targeted control of biogas plants
        // with the help of FOS/TAC, Hach Lange; Drosg 2013, Process monitoring in biogas plants, IEA
        // Bioenergy Task 37): FOS/TAC above 0.3 calls for care, above 0.4 for less feed; a pH below 6.8
        // or volatile acids above 4 g/L as acetic acid show a souring digester.
        number(Input::FosTacWarning, "fos-tac-warning", "FOS/TAC warning", "-", &R::fos_tac_warning, "0.3",
               "FOS/TAC above which the digester is watched").plant(),
        number(Input::FosTacCritical, "fos-tac-critical", "FOS/TAC critical", "-", &R::fos_tac_critical, "0.4",
               "FOS/TAC above which the feed is too much").plant(),
        number(Input::PhLow, "ph-low", "pH alarm", "-", &R::ph_low, "6.8", "pH below which the digester sours")
            .range(1, 14).plant(),
        number(Input::VfaHigh, "vfa-high", "VFA alarm", "g/L", &R::vfa_high, "4",
               "Volatile fatty acids (as acetic acid) above which the digester sours").plant(),
        // The CHP's size and the gas storage before the flare: methane beyond what the CHP takes at
        // its rated power fills the storage, and once it is full goes to the flare; the storage
        // empties into the CHP when the digesters give less (see results/operation.h).
        number(Input::ChpPower, "chp-power", "CHP rated electrical power", "kW", &R::chp_power, "0",
               "Electrical power of the CHP at full load; 0: no limit, the CHP takes all the methane").plant(),
        number(Input::GasStorage, "gas-storage", "Gas storage (methane)", "Nm3", &R::gas_storage, "0",
               "Methane the gas storage holds before the flare (a 1000 m3 storage of biogas at 55 % methane "
               "holds 550 Nm3); 0: no storage").plant(),
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

const InputInfo *inputInfoByKey(const QString &key)
{
    for (const InputInfo &info : inputInfos())
        if (key == QLatin1String(info.key))
            return &info;
    return nullptr;
}

const std::vector<Configuration> &configurations()
{
    static const std::vector<Configuration> table = {
        {1, "ssad", "Single-stage AD", 1, 101, "module_ssad", "cbtest_SSAD", 16},
        {2, "tsad", "Two-stage AD / AHPD", 2, 103, "module_tsad", "cbtest_TSAD", 16},
        {3, "tpad", "TPAD", 2, 104, "module_tpad", "cbtest_TPAD", 17},
        {4, "pomp", "Pomp-mixed", 1, 105, "module_pomp", "cbtest_POMP", 18},
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

QStringList configurationCodes(unsigned set)
{
    QStringList codes;
    for (const Configuration &c : configurations())
        if (set & (1u << c.mode))
            codes << QLatin1String(c.code);
    return codes;
}

bool applies(Input input, int mode) { return inputInfo(input).takes(mode); }

RunRequest defaultRequest(int mode)
{
    RunRequest r;
    r.mode = mode;
    r.ph_mode = 0;
    r.S_h_ion_manual = std::pow(10.0, -QString::fromLatin1(inputInfo(Input::Ph).resetText).toDouble());
    for (const InputInfo &info : inputInfos())
        if (info.field && info.takes(mode))
            r.*info.field = QString::fromLatin1(info.startText(mode)).toDouble();
    return r;
}
