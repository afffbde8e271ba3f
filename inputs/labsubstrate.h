#pragma once

// A substrate as a feed laboratory describes it (dry matter, organic dry matter, the Weender
// fractions crude protein, fat and fibre, lignin, ammonium and Kjeldahl nitrogen, COD, a methane
// potential), converted into the model's components per m3 of fresh matter: carbohydrates,
// proteins and lipids (X_ch, X_pr, X_li), inerts (X_I), inorganic nitrogen and carbon (S_IN,
// S_IC) and the ions that balance them (S_cat, S_an). Never into composites (X_c), whose split
// depends on the run's fractions.

#include <QMap>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

// A lab value a substrate table may give: key, unit, meaning, and the values it takes.
struct LabKey {
    const char *key;
    const char *unit;
    const char *meaning;
    double low, high;  // inclusive
};
const std::vector<LabKey> &labKeys();
const LabKey *labKey(const QString &key);

// What a conversion adds beside the components, per m3 of fresh matter: kg of fresh matter, of
// dry matter, of organic dry matter, the lab's Kjeldahl nitrogen (TKN, or XP / 6.25 where none is
// given), the nitrogen the model can release as ammonium from the components (S_IN + N_aa X_pr),
// which equals the Kjeldahl nitrogen, and the nitrogen the model's bookkeeping gives its inerts
// (N_XI X_I + N_SI S_I), which it never releases (kg/m3).
inline constexpr const char *kDensity = "density";
inline constexpr const char *kTotalSolids = "total_solids";
inline constexpr const char *kVolatileSolids = "volatile_solids";
inline constexpr const char *kNitrogen = "nitrogen";
inline constexpr const char *kReleasedNitrogen = "released_nitrogen";
inline constexpr const char *kInertNitrogen = "inert_nitrogen";
// The methane the substrate gives in the model at low loading (Nm3/m3): its BMP times its VS
// where a BMP is given.
inline constexpr const char *kMethanePotential = "methane_potential";
inline constexpr double kDefaultDensity = 1000;  // kg/m3

// The most methane that a kilogram of COD gives: one mole of CH4 (22.414 normal litres at
// 0 °C and 1.01325 bar, ideal gas) is oxidised by 64 g of O2, so 0.35022 Nm3/kgCOD.
inline constexpr double kMethanePerCod = 22.414 / 64;

struct LabValue {
    double value;
    int line = 0, column = 0;
};
using LabValues = std::map<QString, LabValue>;  // by key

struct LabNote {
    int line = 0, column = 0;
    QString text;
};

struct LabConversion {
    // Components by state name and the properties above; none when refused.
    std::optional<QMap<QString, double>> values;
    std::vector<LabNote> problems, warnings;
};

// The components of a substrate given by lab values; at: the substrate's table, for problems of
// the table as a whole.
LabConversion convertLabValues(const LabValues &given, LabNote at);

// Lab values a run sets over those of its substrates file, by "substrate.key"
// ("maize_silage.degradable_share"), as a study varies them. A degradable share set this way
// replaces a BMP of the file and the other way round.
using SubstrateValues = QMap<QString, double>;

// A substrate table as read: its components as given (with a density, if any, for flows in t/d),
// or, when it gives lab values, their conversion with the run's values set over them. Refused:
// components and lab values at once, a run's value for a substrate given by components or for a
// key that is no lab value.
LabConversion readSubstrateTable(const QString &name, const QMap<QString, double> &components, LabValues lab,
                                 const SubstrateValues &set, LabNote at);

// Why a run's values name substrates the file does not hold.
QStringList strayValues(const QStringList &substrates, const SubstrateValues &set);
