#include "operation.h"

#include "resultcolumns.h"

#include <outputs.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr int kGasflowN = columnOf("gasflow_N"), kCh4 = columnOf("Ch4 %"), kCo2 = columnOf("CO2 %"),
              kH2 = columnOf("H2 %"), kH2o = columnOf("H2O %"), kPh = columnOf("pH"), kSac = columnOf("S_ac"),
              kSpro = columnOf("S_pro"), kSbu = columnOf("S_bu"), kSva = columnOf("S_va"), kSic = columnOf("S_IC"),
              kSin = columnOf("S_IN"), kScat = columnOf("S_cat"), kSan = columnOf("S_an"), kSnh3 = columnOf("S_nh3"),
              kSnh4 = columnOf("S_nh4_ion"), kSh = columnOf("S_h_ion");
static_assert(kGasflowN >= 0 && kCh4 >= 0 && kCo2 >= 0 && kH2 >= 0 && kH2o >= 0 && kPh >= 0 && kSac >= 0 &&
              kSpro >= 0 && kSbu >= 0 && kSva >= 0 && kSic >= 0 && kSin >= 0 && kScat >= 0 && kSan >= 0 &&
              kSnh3 >= 0 && kSnh4 >= 0 && kSh >= 0);

// COD of a kmol of each acid (kg COD/kmol), and the mass of a mol of acetic acid.
constexpr double kCodAc = 64, kCodPro = 112, kCodBu = 160, kCodVa = 208, kHAc = 60;
// The acids' constants of the model where its constants do not declare them.
constexpr double kPKaAc = 4.76, kPKaPro = 4.88, kPKaBu = 4.82, kPKaVa = 4.86;
constexpr double kR = 0.083145;  // bar·m3/(kmol·K), as the model scripts write it
constexpr double kWaterHeat = 4.18;   // kJ/(kg·K), the feed taken as water
constexpr double kWaterDensity = 1000;  // kg/m3
constexpr double kSecondsPerDay = 86400, kHoursPerDay = 24;
constexpr double kPi = 3.14159265358979323846;

// Nordmann's titration: 20 mL of sample, 0.1 N acid; mL of titrant per eq/L of sample.
constexpr double kTitrantPerEquivalent = 20 / 0.1;
constexpr double kTacEnd = 1e-5;                   // pH 5.0
const double kFosEnd = std::pow(10.0, -4.4);       // pH 4.4
constexpr double kCaCO3PerEquivalent = 50;         // g

double valueOr(const ParameterValues &given, const QString &name, double fallback)
{
    if (given.contains(name))
        return given.value(name);
    const ModelParameter *declared = modelParameter(name);
    return declared ? declared->defaultValue : fallback;
}

// An acid's constant: Ka_<acid> or pKa_<acid> where the model's constants declare one, else the
// model's own value.
double acidConstant(const ParameterValues &given, const char *acid, double pKa)
{
    const QString ka = QStringLiteral("Ka_") + QLatin1String(acid);
    if (given.contains(ka) || modelParameter(ka))
        return valueOr(given, ka, 0);
    return std::pow(10.0, -valueOr(given, QStringLiteral("pKa_") + QLatin1String(acid), pKa));
}

// The model's van 't Hoff law from 298 K.
double vantHoff(const ParameterValues &given, const char *pKa, const char *enthalpy, double T)
{
    return std::pow(10.0, -valueOr(given, QLatin1String(pKa), kNaN)) *
           std::exp(valueOr(given, QLatin1String(enthalpy), kNaN) / (kR * 100) * (1.0 / 298 - 1 / T));
}

// The charge the sample holds beyond neutral at hydrogen ions H: the strong acid it takes to reach H.
double excessCharge(const Sample &s, const AcidConstants &k, double H)
{
    const auto ion = [H](double total, double Ka) { return total * Ka / (Ka + H); };
    return H + s.cat - s.an + s.IN * H / (k.Ka_IN + H) - ion(s.IC, k.Ka_co2) - ion(s.ac, k.Ka_ac) -
           ion(s.pro, k.Ka_pro) - ion(s.bu, k.Ka_bu) - ion(s.va, k.Ka_va) - k.K_w / H;
}

// The walls' area of a cylinder as high as it is wide holding volume V: V = π D³ / 4, A = 1.5 π D².
double wallArea(double V)
{
    const double D = std::cbrt(4 * V / kPi);
    return 1.5 * kPi * D * D;
}

double heatLossCoefficient(const OperationContext &c, size_t reactor)  // kW/K
{
    return c.plant.u_value * wallArea(c.volumes[reactor]) / 1000;
}

// One reactor's derived values of a row, by the keys of their declaration.
struct ReactorValues {
    double ch4Dry, co2Dry, h2Dry, normalDry, vfaHac, tac, fos, fosTac, nh3N, nh4N;
};
constexpr std::pair<const char *, double ReactorValues::*> kReactorFields[] = {
    {"ch4_dry_share", &ReactorValues::ch4Dry}, {"co2_dry_share", &ReactorValues::co2Dry},
    {"h2_dry_share", &ReactorValues::h2Dry},   {"normal_dry_gasflow", &ReactorValues::normalDry},
    {"vfa_hac", &ReactorValues::vfaHac},       {"tac", &ReactorValues::tac},
    {"fos", &ReactorValues::fos},              {"fos_tac", &ReactorValues::fosTac},
    {"nh3_n", &ReactorValues::nh3N},           {"nh4_n", &ReactorValues::nh4N},
};

struct PlantValues {
    double methane, electric, heat, loss, demand, net, flare, stored;
};
constexpr std::pair<const char *, double PlantValues::*> kPlantFields[] = {
    {"methane_power", &PlantValues::methane},      {"electric_power", &PlantValues::electric},
    {"chp_heat_power", &PlantValues::heat},        {"chp_loss_power", &PlantValues::loss},
    {"heat_demand_power", &PlantValues::demand},   {"net_heat_power", &PlantValues::net},
    {"flare_power", &PlantValues::flare},          {"stored_methane", &PlantValues::stored},
};

// The fields in the order of the declared columns of a scope.
template <typename Values, size_t N>
std::vector<double Values::*> declaredOrder(OutputInfo::Scope scope, const std::pair<const char *, double Values::*> (&fields)[N])
{
    std::vector<double Values::*> order;
    for (const OutputInfo *info : derivedColumns(scope)) {
        const auto field = std::find_if(std::begin(fields), std::end(fields),
                                        [info](const auto &f) { return std::string_view(f.first) == info->key; });
        if (field == std::end(fields))
            throw std::logic_error(std::string("no value derived for the output ") + info->key);
        order.push_back(field->second);
    }
    return order;
}

template <typename Values>
std::vector<double> rowOf(const Values &values, const std::vector<double Values::*> &order)
{
    std::vector<double> row;
    row.reserve(order.size());
    for (double Values::*field : order)
        row.push_back(values.*field);
    return row;
}

double share(double percent, double dry) { return dry > 0 ? percent * 100 / dry : kNaN; }

// A row's values; the first row of a run (`start`) holds no ions for the start-up state, so its free
// ammonia and ammonium are those of its inorganic nitrogen at its pH, as the model splits it at every
// other row, at the reactor's temperature (k). The titration takes the constants at its own temperature
// (lab); atEquilibrium: from the sample's equilibrium there.
ReactorValues reactorValues(const std::vector<double> &row, const AcidConstants &k, const AcidConstants &lab, bool start,
                            bool atEquilibrium)
{
    const double dry = 100 - row[kH2o];  // % of the wet gas
    const Sample sample{row[kSac] / kCodAc, row[kSpro] / kCodPro, row[kSbu] / kCodBu, row[kSva] / kCodVa,
                        row[kSic], row[kSin], row[kScat], row[kSan], row[kSh]};
    const Titration titration = atEquilibrium ? equilibriumTitration(sample, lab) : nordmannTitration(sample, lab);
    const double nh3 = start ? k.Ka_IN * sample.IN / (k.Ka_IN + sample.H) : row[kSnh3];
    const double nh4 = start ? sample.H * sample.IN / (k.Ka_IN + sample.H) : row[kSnh4];
    return {share(row[kCh4], dry), share(row[kCo2], dry), share(row[kH2], dry), row[kGasflowN] * dry / 100,
            kHAc * (sample.ac + sample.pro + sample.bu + sample.va), titration.tac, titration.fos,
            titration.tac > 0 ? titration.fos / titration.tac : kNaN, nh3 * 14000, nh4 * 14};
}

// The methane's energy flow (kW) of every reactor and the digesters' heat demand at row i.
std::pair<double, double> methaneAndDemand(const OperationContext &c, int i)
{
    const PlantInputs &p = c.plant;
    double methane = 0, demand = 0;
    const double t = (*c.tables[0])[i][ResultCol::t];
    const double heatPerKelvin = c.feedFlow(t) * kWaterDensity * kWaterHeat / kSecondsPerDay;  // kW/K
    for (size_t r = 0; r < c.tables.size(); ++r) {
        const std::vector<double> &row = (*c.tables[r])[i];
        methane += row[kGasflowN] * row[kCh4] / 100 * p.lhv_ch4 / kHoursPerDay;
        // The feed reaches the first reactor at its own temperature, the next at the one before's.
        const double inflow = r == 0 ? p.T_feed : c.temperatures[r - 1];
        demand += heatPerKelvin * std::max(0.0, c.temperatures[r] - inflow) +
                  heatLossCoefficient(c, r) * (c.temperatures[r] - p.T_ambient);
    }
    return {methane, std::max(demand, 0.0)};
}

// The CHP, the gas storage and the flare row by row. The CHP burns at most its rated power over
// its electrical efficiency; a surplus fills the storage and, once it is full, goes to the flare;
// a shortfall is drawn from the storage while it holds methane. The storage balance is explicit:
// a row's rates hold over the interval that ends at it (the rows' step, 0.1 d), and the room or
// the methane at the interval's start bounds them, so the storage never overfills nor runs below
// empty. It starts empty; row 0 ends no interval and fills nothing.
class GasRoute {
public:
    explicit GasRoute(const PlantInputs &p)
        : p_(p), fuelLimit_(p.chp_power > 0 ? p.chp_power / p.eta_el : std::numeric_limits<double>::infinity())
    {
    }

    // The row's values from its methane and heat demand, after `days` since the row before.
    PlantValues next(double methane, double demand, double days)
    {
        const double kWhPerNm3 = p_.lhv_ch4, hours = days * kHoursPerDay;
        const double room = (p_.gas_storage - stored_) * kWhPerNm3, held = stored_ * kWhPerNm3;  // kWh
        double fuel = methane, flare = 0, charge = 0;  // kW
        if (methane > fuelLimit_) {
            fuel = fuelLimit_;
            charge = hours > 0 ? std::min(methane - fuel, room / hours) : 0.0;
            flare = methane - fuel - charge;
        } else if (hours > 0) {
            charge = -std::min(fuelLimit_ - methane, held / hours);
            fuel = methane - charge;
        }
        stored_ = std::clamp(stored_ + charge * hours / kWhPerNm3, 0.0, p_.gas_storage);
        // Rounding never lifts the electricity above the rated power.
        const double electric = p_.chp_power > 0 ? std::min(p_.eta_el * fuel, p_.chp_power) : p_.eta_el * fuel;
        const double heat = p_.eta_th * fuel;
        return {methane, electric, heat, fuel - electric - heat, demand, heat - demand, flare, stored_};
    }

private:
    const PlantInputs &p_;
    double fuelLimit_;    // kW of methane
    double stored_ = 0;   // Nm3 of methane
};

// The trapezoid rule of a column over the rows' times.
double integral(const ResultRows &time, const ResultRows &table, int column, int rows)
{
    double total = 0;
    for (int i = 1; i < rows; ++i)
        total += (time[i][ResultCol::t] - time[i - 1][ResultCol::t]) * (table[i][column] + table[i - 1][column]) / 2;
    return rows > 0 ? total : kNaN;
}

int derivedIndex(OutputInfo::Scope scope, const char *key)
{
    const int column = derivedColumn(scope, key);
    if (column < 0)
        throw std::logic_error(std::string("no derived column ") + key);
    return column;
}

}  // namespace

AcidConstants acidConstants(const ParameterValues &parameters, double T)
{
    return {vantHoff(parameters, "pKa_co2", "deltaH0_Ka_co2", T), vantHoff(parameters, "pKa_nh3", "deltaH0_Ka_nh4", T),
            vantHoff(parameters, "pKa_h2o", "deltaH0_Ka_h2o", T), acidConstant(parameters, "ac", kPKaAc),
            acidConstant(parameters, "pro", kPKaPro), acidConstant(parameters, "bu", kPKaBu),
            acidConstant(parameters, "va", kPKaVa)};
}

namespace {

// The titration of a sample whose excess charge at its start is `start` (0 at its balance's root).
Titration titrate(const Sample &sample, const AcidConstants &k, double start)
{
    if (!(sample.H > 0))
        return {kNaN, kNaN};
    // A sample already below pH 5.0 (or 4.4) takes no acid to get there.
    const double toTac = std::max(excessCharge(sample, k, kTacEnd) - start, 0.0);
    const double toFos = std::max(excessCharge(sample, k, kFosEnd) - start, toTac);
    const double B = (toFos - toTac) * kTitrantPerEquivalent;  // mL
    return {toTac * kCaCO3PerEquivalent, std::max((B * 1.66 - 0.15) * 500, 0.0) / 1000};
}

}  // namespace

Titration nordmannTitration(const Sample &sample, const AcidConstants &k)
{
    return titrate(sample, k, sample.H > 0 ? excessCharge(sample, k, sample.H) : 0.0);
}

Titration equilibriumTitration(const Sample &sample, const AcidConstants &k) { return titrate(sample, k, 0.0); }

OperationTables deriveOperation(const OperationContext &c)
{
    const auto reactorOrder = declaredOrder(OutputInfo::Scope::Reactor, kReactorFields);
    const auto plantOrder = declaredOrder(OutputInfo::Scope::Plant, kPlantFields);
    OperationTables out;
    const bool asLab = c.phSolver == PhSolver::Exact;
    const double titrationTemperature = valueOr(c.parameters, QStringLiteral("titration_temperature"), kNaN);
    for (size_t r = 0; r < c.tables.size(); ++r) {
        const AcidConstants k = acidConstants(c.parameters, c.temperatures[r]);
        const AcidConstants lab = asLab ? acidConstants(c.parameters, titrationTemperature) : k;
        ResultRows derived;
        derived.reserve(size_t(c.rows));
        for (int i = 0; i < c.rows; ++i)
            derived.push_back(rowOf(reactorValues((*c.tables[r])[i], k, lab, i == 0, asLab), reactorOrder));
        out.reactors.push_back(std::move(derived));
    }
    out.plant.reserve(size_t(c.rows));
    GasRoute route(c.plant);
    for (int i = 0; i < c.rows; ++i) {
        const auto [methane, demand] = methaneAndDemand(c, i);
        const double days = i > 0 ? (*c.tables[0])[i][ResultCol::t] - (*c.tables[0])[i - 1][ResultCol::t] : 0.0;
        out.plant.push_back(rowOf(route.next(methane, demand, days), plantOrder));
    }
    return out;
}

std::vector<SummaryValue> operationSummary(const OperationContext &c, const OperationTables &tables)
{
    using Scope = OutputInfo::Scope;
    const int rows = c.rows;
    const ResultRows &time = *c.tables[0];
    std::vector<SummaryValue> values;
    // A value that cannot be had says why, so that it does not count as a value that is not a number.
    const auto add = [&values](QString key, QString label, const char *unit, double value, const char *whyNone = nullptr) {
        const bool none = whyNone && !std::isfinite(value);
        values.push_back({std::move(key), std::move(label), QString::fromUtf8(unit), value,
                          none ? QString::fromUtf8(whyNone) : QString()});
    };
    const char *const noBuffer = "not applicable (no buffer: pH below 5)";
    for (size_t r = 0; r < c.tables.size(); ++r) {
        const ResultRows &table = *c.tables[r], &derived = tables.reactors[r];
        const QString key = QStringLiteral("r%1_").arg(r + 1), label = QStringLiteral("Reactor %1 ").arg(r + 1);
        const auto last = [&](const ResultRows &t, int column) { return rows > 0 ? t[rows - 1][column] : kNaN; };
        const auto worst = [&](const ResultRows &t, int column, bool highest) {
            double w = kNaN;
            for (int i = 0; i < rows; ++i)
                if (std::isfinite(t[i][column]) && !(highest ? t[i][column] <= w : t[i][column] >= w))
                    w = t[i][column];
            return w;
        };
        const auto daysBeyond = [&](const ResultRows &t, int column, double threshold, bool above) {
            double days = 0;
            for (int i = 1; i < rows; ++i)
                if (above ? t[i][column] > threshold : t[i][column] < threshold)
                    days += time[i][ResultCol::t] - time[i - 1][ResultCol::t];
            return days;
        };
        const int ch4Dry = derivedIndex(Scope::Reactor, "ch4_dry_share"),
                  dryFlow = derivedIndex(Scope::Reactor, "normal_dry_gasflow"),
                  vfa = derivedIndex(Scope::Reactor, "vfa_hac"), tac = derivedIndex(Scope::Reactor, "tac"),
                  fosTac = derivedIndex(Scope::Reactor, "fos_tac"), nh3 = derivedIndex(Scope::Reactor, "nh3_n"),
                  nh4 = derivedIndex(Scope::Reactor, "nh4_n");
        const PlantInputs &p = c.plant;
        add(key + "final_ch4_dry", label + "final CH4 share of the dry gas", "%", last(derived, ch4Dry));
        add(key + "final_normal_dry_gas_flow", label + "final normal dry gas flow", "Nm3/d", last(derived, dryFlow));
        add(key + "final_vfa_hac", label + "final VFA as acetic acid", "g/L", last(derived, vfa));
        add(key + "final_tac", label + "final TAC", "g CaCO3/L", last(derived, tac));
        add(key + "final_fos_tac", label + "final FOS/TAC", "-", last(derived, fosTac),
            std::isfinite(last(derived, tac)) ? noBuffer : nullptr);
        add(key + "final_nh3_n", label + "final free ammonia nitrogen", "mg N/L", last(derived, nh3));
        add(key + "final_nh4_n", label + "final ammonium nitrogen", "g N/L", last(derived, nh4));
        add(key + "max_fos_tac", label + "highest FOS/TAC", "-", worst(derived, fosTac, true),
            rows > 0 ? noBuffer : nullptr);
        add(key + "min_ph", label + "lowest pH", "-", worst(table, kPh, false));
        add(key + "max_vfa_hac", label + "highest VFA as acetic acid", "g/L", worst(derived, vfa, true));
        add(key + "days_fos_tac_warning", label + "days with FOS/TAC above its warning", "d",
            daysBeyond(derived, fosTac, p.fos_tac_warning, true));
        add(key + "days_fos_tac_critical", label + "days with FOS/TAC above its critical value", "d",
            daysBeyond(derived, fosTac, p.fos_tac_critical, true));
        add(key + "days_ph_low", label + "days with the pH below its alarm", "d", daysBeyond(table, kPh, p.ph_low, false));
        add(key + "days_vfa_high", label + "days with VFA above its alarm", "d",
            daysBeyond(derived, vfa, p.vfa_high, true));
    }

    // kW over days: kWh = 24 × the integral.
    const auto energy = [&](const char *column) {
        return kHoursPerDay * integral(time, tables.plant, derivedIndex(Scope::Plant, column), rows);
    };
    const double days = rows > 0 ? time[rows - 1][ResultCol::t] - time[0][ResultCol::t] : kNaN;
    const double methane = energy("methane_power"), electricity = energy("electric_power"),
                 heat = energy("chp_heat_power"), flared = energy("flare_power");
    double used = 0;  // the CHP heat the digesters take: at most their demand, and at most the heat (the share
                      // is kept to 1 where the two sums' rounding differs)
    const int heatColumn = derivedIndex(Scope::Plant, "chp_heat_power"),
              demandColumn = derivedIndex(Scope::Plant, "heat_demand_power");
    for (int i = 1; i < rows; ++i) {
        const auto take = [&](int row) { return std::min(tables.plant[row][heatColumn], tables.plant[row][demandColumn]); };
        used += kHoursPerDay * (time[i][ResultCol::t] - time[i - 1][ResultCol::t]) * (take(i) + take(i - 1)) / 2;
    }
    double ua = 0;
    for (size_t r = 0; r < c.tables.size(); ++r)
        ua += heatLossCoefficient(c, r);
    add(QStringLiteral("methane_energy"), QStringLiteral("Methane energy (lower heating value)"), "kWh", methane);
    add(QStringLiteral("electricity"), QStringLiteral("CHP electricity"), "kWh", electricity);
    add(QStringLiteral("net_electricity"), QStringLiteral("CHP electricity less own use"), "kWh",
        electricity * (1 - c.plant.own_use));
    add(QStringLiteral("mean_electric_power"), QStringLiteral("Mean electrical power"), "kW",
        days > 0 ? electricity / kHoursPerDay / days : kNaN, days == 0 ? "not applicable (a single row)" : nullptr);
    add(QStringLiteral("chp_full_load_hours"), QStringLiteral("CHP full-load hours"), "h",
        c.plant.chp_power > 0 ? electricity / c.plant.chp_power : kNaN,
        c.plant.chp_power > 0 ? nullptr : "not applicable (no rated CHP power)");
    add(QStringLiteral("chp_heat"), QStringLiteral("CHP heat"), "kWh", heat);
    add(QStringLiteral("chp_losses"), QStringLiteral("CHP losses"), "kWh", energy("chp_loss_power"));
    add(QStringLiteral("heat_demand"), QStringLiteral("Heat demand of the digesters"), "kWh", energy("heat_demand_power"));
    add(QStringLiteral("net_heat"), QStringLiteral("CHP heat less heat demand"), "kWh", energy("net_heat_power"));
    add(QStringLiteral("heat_use_share"), QStringLiteral("Share of the CHP heat the digesters use"), "-",
        heat > 0 ? std::min(used / heat, 1.0) : kNaN, heat == 0 ? "not applicable (no CHP heat)" : nullptr);
    add(QStringLiteral("flared_energy"), QStringLiteral("Flared methane energy"), "kWh", flared);
    add(QStringLiteral("flared_methane"), QStringLiteral("Flared methane"), "Nm3", flared / c.plant.lhv_ch4);
    add(QStringLiteral("flared_share"), QStringLiteral("Share of the methane flared"), "-",
        methane > 0 ? flared / methane : kNaN, methane > 0 ? nullptr : "not applicable (no methane)");
    const double stored = rows > 0 ? tables.plant[rows - 1][derivedIndex(Scope::Plant, "stored_methane")] : kNaN;
    add(QStringLiteral("gas_storage_fill"), QStringLiteral("Gas storage fill at the end"), "-",
        c.plant.gas_storage > 0 ? stored / c.plant.gas_storage : kNaN,
        c.plant.gas_storage > 0 ? nullptr : "not applicable (no gas storage)");
    add(QStringLiteral("heat_loss_coefficient"), QStringLiteral("Heat loss coefficient UA of the digesters"), "kW/K", ua);
    return values;
}

QString operationLine(const RunSummary &s)
{
    const auto value = [&s](const QString &key) {
        for (const SummaryValue &v : s.values)
            if (v.key == key)
                return v.value;
        return kNaN;
    };
    const auto shown = [](double v, int decimals) { return std::isfinite(v) ? QString::number(v, 'f', decimals) : QStringLiteral("-"); };
    QStringList parts;
    for (int r = 1; r <= s.reactors; ++r) {
        const QString key = QStringLiteral("r%1_").arg(r);
        QString part = (s.reactors > 1 ? QStringLiteral("R%1 ").arg(r) : QString()) + QStringLiteral("FOS/TAC ") +
                       shown(value(key + "final_fos_tac"), 2);
        if (const double days = value(key + "days_fos_tac_critical"); days > 0)
            part += QStringLiteral(" (%1 d critical)").arg(QString::number(days, 'g', 3));
        parts << part;
    }
    parts << QStringLiteral("electricity %1 kWh").arg(shown(value(QStringLiteral("electricity")), 0))
          << QStringLiteral("net heat %1 kWh").arg(shown(value(QStringLiteral("net_heat")), 0));
    return parts.join(QStringLiteral(" · "));
}
