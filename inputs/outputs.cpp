#include "outputs.h"

#include <QJsonArray>
#include <QStringList>

namespace {

using Scope = OutputInfo::Scope;

OutputInfo column(const char *key, const char *unit, const char *title, const char *columnUnit, const char *meaning,
                  std::vector<const char *> summary = {}, std::vector<const char *> aliases = {})
{
    if (QLatin1String(title) != QLatin1String(key))
        aliases.insert(aliases.begin(), title);
    return {key, unit, meaning, Scope::Reactor, title, columnUnit, std::move(summary), std::move(aliases)};
}

// A state or ion of the model, under its own name.
OutputInfo state(const char *name, const char *meaning)
{
    // The acids and their ions count COD; carbon, nitrogen, charges and the other ions count kmol.
    const bool molar = QByteArrayList{"S_co2_g", "S_an", "S_cat", "S_co2", "S_IC", "S_IN", "S_nh3", "S_hco3_ion",
                                      "S_h_ion", "S_nh4_ion", "S_oh_ion"}.contains(name);
    return column(name, molar ? "kmol/m3" : "kgCOD/m3", name, molar ? "[M]" : "[kgCOD/m3]", meaning);
}

OutputInfo plant(const char *key, const char *title, const char *meaning, std::vector<const char *> summary,
                 const char *unit = "kW", const char *columnUnit = "[kW]")
{
    return {key, unit, meaning, Scope::Plant, title, columnUnit, std::move(summary), {}};
}

OutputInfo runValue(const char *key, const char *unit, const char *meaning, std::vector<const char *> summary = {})
{
    return {key, unit, meaning, Scope::Run, "", "", summary.empty() ? std::vector<const char *>{key} : summary, {}};
}

// The result table's 50 columns, in their order.
const std::vector<OutputInfo> &tableQuantities()
{
    static const std::vector<OutputInfo> table = {
        {"t", "d", "time since the start", Scope::Reactor, "t", "[d]", {}, {}},
        column("gasflow", "m3/d", "gasflow", "[m3/d]", "biogas flow leaving the headspace, wet, at the headspace pressure",
               {"final_gas_flow", "peak_gas_flow"}),
        column("normal_gasflow", "Nm3/d", "gasflow_N", "[Nm3/d]",
               "the biogas flow, wet (with its water vapour), at 0 °C and 1.01325 bar",
               {"final_normal_gas_flow", "normal_biogas"}),
        column("ch4_share", "%", "Ch4 %", "[-]", "methane share of the wet biogas (water vapour included)",
               {"final_ch4", "normal_methane"}),
        column("co2_share", "%", "CO2 %", "[-]", "carbon dioxide share of the wet biogas", {"final_co2"}),
        column("h2_share", "%", "H2 %", "[-]", "hydrogen share of the wet biogas", {"final_h2"}),
        column("h2o_share", "%", "H2O %", "[-]", "water vapour share of the wet biogas"),
        column("pH", "-", "pH", "[-]", "pH of the liquid", {"final_ph", "min_ph", "days_ph_low"}),
        column("total_cod", "kgCOD/m3", "Total COD", "[kgCOD/m3]", "COD of the liquid, soluble and particulate"),
        column("COD_S", "kgCOD/m3", "COD_S", "[kgCOD/m3]", "soluble COD"),
        column("COD_X", "kgCOD/m3", "COD_X", "[kgCOD/m3]", "particulate COD"),
        state("S_ch4_g", "methane in the headspace"),
        state("S_co2_g", "carbon dioxide in the headspace"),
        state("S_h2_g", "hydrogen in the headspace"),
        state("S_aa", "amino acids"),
        state("S_ac", "total acetate"),
        state("S_an", "anions"),
        state("S_bu", "total butyrate"),
        state("S_cat", "cations"),
        state("S_ch4", "dissolved methane"),
        state("S_co2", "dissolved carbon dioxide"),
        state("S_fa", "long-chain fatty acids"),
        state("S_h2", "dissolved hydrogen"),
        state("S_I", "soluble inerts"),
        state("S_IC", "inorganic carbon"),
        state("S_IN", "inorganic nitrogen"),
        {"S_nh3", "kmol/m3", "free ammonia", Scope::Reactor, "S_nh3", "[M]", {"final_free_ammonia"}, {}},
        state("S_pro", "total propionate"),
        state("S_su", "monosaccharides"),
        state("S_va", "total valerate"),
        state("X_aa", "amino acid degraders"),
        state("X_ac", "acetate degraders"),
        state("X_c", "composites"),
        state("X_c4", "valerate and butyrate degraders"),
        state("X_ch", "carbohydrates"),
        state("X_fa", "fatty acid degraders"),
        state("X_h2", "hydrogen degraders"),
        state("X_I", "particulate inerts"),
        state("X_li", "lipids"),
        state("X_pr", "proteins"),
        state("X_pro", "propionate degraders"),
        state("X_su", "sugar degraders"),
        state("S_ac_ion", "acetate ion"),
        state("S_bu_ion", "butyrate ion"),
        state("S_hco3_ion", "bicarbonate ion"),
        state("S_h_ion", "hydrogen ion"),
        state("S_nh4_ion", "ammonium ion"),
        state("S_oh_ion", "hydroxide ion"),
        state("S_pro_ion", "propionate ion"),
        state("S_va_ion", "valerate ion"),
    };
    return table;
}

// What the results derive from each row: reactor columns after the table's, then the plant's
// columns, then the run's values. The methods and their sources are in results/operation.h.
const std::vector<OutputInfo> &derivedQuantities()
{
    static const std::vector<OutputInfo> derived = {
        column("ch4_dry_share", "%", "Ch4 dry %", "[%]", "methane share of the dry biogas (without water vapour)",
               {"final_ch4_dry"}),
        column("co2_dry_share", "%", "CO2 dry %", "[%]", "carbon dioxide share of the dry biogas"),
        column("h2_dry_share", "%", "H2 dry %", "[%]", "hydrogen share of the dry biogas"),
        column("normal_dry_gasflow", "Nm3/d", "gasflow_N_dry", "[Nm3/d]",
               "the dry biogas flow at 0 °C and 1.01325 bar, as gas meters report it", {"final_normal_dry_gas_flow"}),
        column("vfa_hac", "g/L", "VFA_HAc", "[g/L]",
               "volatile fatty acids as acetic acid: 60 g/mol × (S_ac/64 + S_pro/112 + S_bu/160 + S_va/208)",
               {"final_vfa_hac", "max_vfa_hac", "days_vfa_high"}),
        column("tac", "g CaCO3/L", "TAC", "[gCaCO3/L]",
               "buffer capacity: the strong acid a titration of the liquid to pH 5.0 takes, simulated on the "
               "model's speciation, as CaCO3 (Nordmann)",
               {"final_tac"}),
        column("fos", "g HAc/L", "FOS", "[gHAc/L]",
               "volatile acids by Nordmann's formula from the acid a simulated titration takes from pH 5.0 to 4.4"),
        column("fos_tac", "-", "FOS/TAC", "[-]", "FOS over TAC (Nordmann)",
               {"final_fos_tac", "max_fos_tac", "days_fos_tac_warning", "days_fos_tac_critical"}),
        column("nh3_n", "mg N/L", "NH3-N", "[mgN/L]", "free ammonia nitrogen (S_nh3 × 14000)", {"final_nh3_n"}),
        column("nh4_n", "g N/L", "NH4-N", "[gN/L]", "ammonium nitrogen (S_nh4_ion × 14)", {"final_nh4_n"}),
        plant("methane_power", "P_CH4", "energy flow of the methane (lower heating value) of every reactor",
              {"methane_energy"}),
        plant("electric_power", "P_el", "electrical power of the CHP unit, at most its rated power",
              {"electricity", "mean_electric_power", "net_electricity", "chp_full_load_hours"}),
        plant("chp_heat_power", "P_th", "heat of the CHP unit", {"chp_heat"}),
        plant("chp_loss_power", "P_loss", "what the CHP unit turns into neither electricity nor usable heat",
              {"chp_losses"}),
        plant("heat_demand_power", "heat_demand",
              "heat the digesters need: the feed heated to their temperature and their walls' losses", {"heat_demand"}),
        plant("net_heat_power", "net_heat", "CHP heat less the heat demand", {"net_heat"}),
        plant("flare_power", "P_flare",
              "energy flow of the methane burnt in the flare: what the CHP cannot take at its rated power once "
              "the gas storage is full",
              {"flared_energy", "flared_methane", "flared_share"}),
        plant("stored_methane", "CH4_storage", "methane held in the gas storage", {"gas_storage_fill"}, "Nm3", "[Nm3]"),
        {"vfa", "kgCOD/m3", "the four volatile fatty acids together (S_ac + S_pro + S_bu + S_va)", Scope::Reactor, "", "",
         {"final_vfa"}, {}},
        // A reactor's loading and retention count the liquid of the reactors the feed has passed up
        // to it: reactor 1 is the first digester, the last one the whole plant.
        {"hrt", "d", "hydraulic retention time: liquid of the reactors up to this one over the feed flow",
         Scope::Reactor, "", "", {"mean_hrt", "min_hrt"}, {}},
        {"vs_loading", "kgVS/(m3·d)",
         "organic dry matter (VS) fed per day and m3 of the liquid of the reactors up to this one; needs "
         "substrates with lab values", Scope::Reactor, "", "", {"mean_vs_loading", "max_vs_loading"}, {}},
        runValue("heat_use_share", "-", "share of the CHP heat the digesters use over the run"),
        runValue("heat_loss_coefficient", "kW/K", "UA of every reactor's walls together"),
        runValue("organic_loading_rate", "kgCOD/(m3·d)",
                 "COD fed per day and m3 of liquid, by the feed row in force at the end of the run"),
        runValue("mean_organic_loading_rate", "kgCOD/(m3·d)", "COD fed per day and m3 of liquid over the whole run"),
        runValue("specific_methane_yield", "Nm3/kgCOD", "methane of the run per COD fed over the run"),
        runValue("fresh_mass_fed", "t", "fresh mass a schedule of substrates fed over the run"),
        runValue("total_solids_fed", "t", "dry matter (TS) of the substrates fed over the run"),
        runValue("volatile_solids_fed", "t", "organic dry matter (VS) of the substrates fed over the run"),
        runValue("volatile_solids_loading_rate", "kgVS/(m3·d)", "VS fed per day and m3 of liquid"),
        runValue("specific_methane_yield_vs", "Nm3/kgVS", "methane per VS fed"),
        runValue("bmp_share", "-",
                 "methane of the run over what the substrates fed could give at their BMP (the model's own "
                 "methane at low loading where a substrate gives no BMP)"),
    };
    return derived;
}

const char *scopeName(Scope scope)
{
    return scope == Scope::Reactor ? "reactor" : scope == Scope::Plant ? "plant" : "run";
}

QJsonArray texts(const std::vector<const char *> &list)
{
    QJsonArray array;
    for (const char *text : list)
        array.append(QString::fromUtf8(text));
    return array;
}

}  // namespace

const std::vector<OutputInfo> &outputInfos()
{
    static const std::vector<OutputInfo> all = [] {
        std::vector<OutputInfo> list = tableQuantities();
        list.insert(list.end(), derivedQuantities().begin(), derivedQuantities().end());
        return list;
    }();
    return all;
}

const OutputInfo *outputInfo(const QString &name)
{
    for (const OutputInfo &info : outputInfos()) {
        if (name == QLatin1String(info.key))
            return &info;
        for (const char *alias : info.aliases)
            if (name == QString::fromUtf8(alias))
                return &info;
    }
    return nullptr;
}

std::vector<const OutputInfo *> derivedColumns(OutputInfo::Scope scope)
{
    std::vector<const OutputInfo *> list;
    for (const OutputInfo &info : outputInfos())
        if (&info >= &outputInfos()[tableQuantities().size()] && info.scope == scope && *info.column)
            list.push_back(&info);
    return list;
}

int derivedColumn(OutputInfo::Scope scope, const char *key)
{
    const auto columns = derivedColumns(scope);
    for (size_t c = 0; c < columns.size(); ++c)
        if (QLatin1String(columns[c]->key) == QLatin1String(key))
            return int(c);
    return -1;
}

QJsonObject outputsDescription()
{
    QJsonArray outputs;
    for (const OutputInfo &info : outputInfos())
        outputs.append(QJsonObject{{QStringLiteral("key"), QString::fromUtf8(info.key)},
                                   {QStringLiteral("unit"), QString::fromUtf8(info.unit)},
                                   {QStringLiteral("meaning"), QString::fromUtf8(info.meaning)},
                                   {QStringLiteral("scope"), QLatin1String(scopeName(info.scope))},
                                   {QStringLiteral("column"), QString::fromUtf8(info.column)},
                                   {QStringLiteral("column_unit"), QString::fromUtf8(info.columnUnit)},
                                   {QStringLiteral("summary"), texts(info.summary)},
                                   {QStringLiteral("aliases"), texts(info.aliases)}});
    return {{QStringLiteral("outputs"), outputs}};
}

QString outputsText()
{
    QString text = QStringLiteral("%1 %2 %3 %4 %5\n")
                       .arg(QStringLiteral("key"), -22).arg(QStringLiteral("unit"), -14).arg(QStringLiteral("column"), -14)
                       .arg(QStringLiteral("summary keys (r1_/r2_ per reactor)"), -50).arg(QStringLiteral("meaning"));
    for (const OutputInfo &info : outputInfos()) {
        QStringList summary;
        for (const char *key : info.summary)
            summary << QString::fromUtf8(key);
        text += QStringLiteral("%1 %2 %3 %4 %5\n")
                    .arg(QString::fromUtf8(info.key), -22).arg(QString::fromUtf8(info.unit), -14)
                    .arg(QString::fromUtf8(*info.column ? info.column : "-"), -14)
                    .arg(summary.isEmpty() ? QStringLiteral("-") : summary.join(QLatin1Char(' ')), -50)
                    .arg(QString::fromUtf8(info.meaning));
    }
    return text;
}
