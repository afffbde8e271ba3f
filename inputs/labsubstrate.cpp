#include "labsubstrate.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

// The method: the Weender analysis of a feed laboratory split into the model's substrates, as in
// the ADM1 input characterisations of energy crops and manure by M. Luebken et al. (2007),
// Modelling the energy balance of an anaerobic digester fed with cattle manure and renewable
// energy crops, Water Research 41, 4085-4096, and K. Koch et al. (2010), Biogas from grass silage -
// Measurements and modeling with ADM1, Bioresource Technology 101, 8158-8165:
//   - organic dry matter (VS) = crude protein (XP) + crude fat (XL) + crude fibre (XF) + the
//     nitrogen-free extract (the rest); fibre and extract are carbohydrates;
//   - crude protein is Kjeldahl organic nitrogen times 6.25, so with TKN given the protein is
//     6.25 (TKN - NH4-N) and the total nitrogen is TKN;
//   - each fraction's COD follows from its representative formula (oxygen to CO2, H2O and NH3):
//     carbohydrate C6H10O5 1.185, protein C5H7NO2 1.415, lipid C57H104O6 (triolein) 2.891 g COD/g;
//   - the part of VS that does not degrade is inert (X_I). It is set by the degradable share of
//     VS, by a methane potential test (BMP: degradable COD = BMP / 0.35 per kg VS), or by lignin
//     through D. Chandler et al. (1980), Predicting methane fermentation biodegradability,
//     Biotechnology and Bioengineering Symposium 10, 93-107: degradable share of VS
//     = 0.830 - 0.028 lignin (lignin as % of VS). The inert part is lignocellulose first, so it is
//     taken from the carbohydrates; only beyond them from proteins and lipids alike;
//   - a lab COD above or below the fractions' by at most 10 % is organic matter the fractions do
//     not show (lignin oxidises with more oxygen per gram than carbohydrate): it moves the inerts;
//   - the ammonium is S_IN; with no alkalinity given it is taken as ammonium bicarbonate (S_IC
//     equal to S_IN, as in manure and digestate); a measured alkalinity (as bicarbonate) sets S_IC
//     and the cations (S_cat) or anions (S_an) that balance it against the ammonium.

namespace {

constexpr double kCodCarbohydrate = 1.185;  // g COD/g: 6 mol O2 (192 g) per 162 g of C6H10O5
constexpr double kCodProtein = 1.415;       // 5 mol O2 (160 g) per 113.1 g of C5H7NO2
constexpr double kCodLipid = 2.891;         // 80 mol O2 (2560 g) per 885.4 g of C57H104O6
constexpr double kProteinPerNitrogen = 6.25;
constexpr double kNitrogenMolarMass = 14.0;  // kg/kmol
constexpr double kCodAgreement = 0.10;       // relative

QString number(double v) { return QString::number(v, 'g', 4); }
// A value as given, every digit it has (100.0001, not 100).
QString exact(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

// The values outside the range their key takes.
std::vector<LabNote> rangeProblems(const LabValues &given)
{
    std::vector<LabNote> problems;
    for (const auto &[key, v] : given)
        if (const LabKey *k = labKey(key); k && !(v.value >= k->low && v.value <= k->high))
            problems.push_back({v.line, v.column, QStringLiteral("%1 must be from %2 to %3 %4 (got %5)")
                                                      .arg(key, number(k->low), number(k->high), QLatin1String(k->unit), exact(v.value))});
    return problems;
}

QString labKeyNames()
{
    QStringList names;
    for (const LabKey &k : labKeys())
        names << QLatin1String(k.key);
    return names.join(QStringLiteral(", "));
}

}  // namespace

const std::vector<LabKey> &labKeys()
{
    static const std::vector<LabKey> keys = {
        {"TS", "% of fresh mass", "dry matter (total solids)", 0, 100},
        {"VS", "% of TS", "organic dry matter (volatile solids)", 0, 100},
        {"XP", "% of TS", "crude protein", 0, 100},
        {"XL", "% of TS", "crude fat", 0, 100},
        {"XF", "% of TS", "crude fibre", 0, 100},
        {"ADL", "% of TS", "lignin (acid detergent lignin)", 0, 100},
        {"NH4_N", "g/kg fresh mass", "ammonium nitrogen", 0, 1000},
        {"TKN", "g/kg fresh mass", "total Kjeldahl nitrogen", 0, 1000},
        {"COD", "g/kg fresh mass", "chemical oxygen demand", 0, 3000},
        {"density", "kg/m3", "fresh mass per m3 as it takes up the digester's volume (default 1000)", 500, 2000},
        {"alkalinity", "mmol/L", "alkalinity as bicarbonate", 0, 1000},
        {"degradable_share", "-", "share of VS that degrades (0 to 1)", 0, 1},
        {"BMP", "Nm3/kg VS", "biochemical methane potential", 0, 10},
    };
    return keys;
}

const LabKey *labKey(const QString &key)
{
    for (const LabKey &k : labKeys())
        if (key == QLatin1String(k.key))
            return &k;
    return nullptr;
}

LabConversion convertLabValues(const LabValues &given, LabNote at)
{
    LabConversion out;
    const auto value = [&](const char *key) -> std::optional<double> {
        const auto it = given.find(QLatin1String(key));
        return it == given.end() ? std::nullopt : std::optional<double>(it->second.value);
    };
    const auto note = [&](std::vector<LabNote> &notes, const char *key, const QString &text) {
        const auto it = given.find(QLatin1String(key));
        notes.push_back(it == given.end() ? LabNote{at.line, at.column, text} : LabNote{it->second.line, it->second.column, text});
    };

    out.problems = rangeProblems(given);
    QStringList missing;
    for (const char *key : {"TS", "VS", "XL", "XF"})
        if (!value(key))
            missing << QLatin1String(key);
    if (!value("XP") && !value("TKN"))
        missing << QStringLiteral("XP or TKN");
    if (!missing.isEmpty())
        note(out.problems, "", QStringLiteral("lab values need %1").arg(missing.join(QStringLiteral(", "))));
    if (value("degradable_share") && value("BMP"))
        note(out.problems, "BMP", QStringLiteral("give degradable_share or BMP, not both"));
    else if (!value("degradable_share") && !value("BMP") && !value("ADL"))
        note(out.problems, "", QStringLiteral("lab values need degradable_share, BMP or ADL for the share that degrades"));
    if (!out.problems.empty())
        return out;

    // Per kg of fresh mass.
    const double ts = *value("TS") / 100, vs = ts * *value("VS") / 100;
    const double ammonium = value("NH4_N").value_or(0) / 1000;  // kg N
    double protein = value("XP").value_or(0) / 100 * ts;
    const char *proteinKey = "XP";
    if (const std::optional<double> tkn = value("TKN")) {
        proteinKey = "TKN";
        if (*tkn / 1000 < ammonium)
            note(out.problems, "TKN", QStringLiteral("TKN (%1 g/kg) is below NH4_N (%2 g/kg)").arg(number(*tkn), number(ammonium * 1000)));
        const double fromNitrogen = kProteinPerNitrogen * std::max(*tkn / 1000 - ammonium, 0.0);
        if (value("XP") && std::abs(fromNitrogen - protein) > kCodAgreement * std::max(fromNitrogen, protein))
            note(out.warnings, "XP", QStringLiteral("XP %1 % of TS and 6.25 (TKN - NH4_N) = %2 % of TS differ by more than 10 %; "
                                                    "the nitrogen holds")
                                         .arg(number(*value("XP")), number(ts > 0 ? fromNitrogen / ts * 100 : 0)));
        protein = fromNitrogen;
    }
    // Nitrogen is part of the dry matter: no more of it than the solids that carry it.
    for (const char *key : {"NH4_N", "TKN"})
        if (value(key) && *value(key) > *value("TS") * 10)
            note(out.problems, key, QStringLiteral("%1 (%2 g/kg) is above the dry matter that carries it (TS %3 % = %4 g/kg)")
                                        .arg(QLatin1String(key), exact(*value(key)), exact(*value("TS")), exact(*value("TS") * 10)));
    const double lipid = *value("XL") / 100 * ts, fibre = *value("XF") / 100 * ts;
    if (protein + lipid + fibre > vs * (1 + 1e-12))
        note(out.problems, proteinKey, QStringLiteral("XP + XL + XF (%1 % of TS) is above VS (%2 % of TS)")
                                           .arg(number(ts > 0 ? (protein + lipid + fibre) / ts * 100 : 0), number(*value("VS"))));
    if (value("ADL") && *value("ADL") > *value("VS"))
        note(out.problems, "ADL", QStringLiteral("ADL (%1 % of TS) is above VS (%2 % of TS)").arg(number(*value("ADL")), number(*value("VS"))));
    const double carbohydrate = vs - protein - lipid;  // crude fibre and nitrogen-free extract
    double ch = kCodCarbohydrate * carbohydrate, pr = kCodProtein * protein, li = kCodLipid * lipid;  // kg COD
    const double potential = vs > 0 ? kMethanePerCod * (ch + pr + li) / vs : 0;                        // Nm3/kg VS
    if (value("BMP") && *value("BMP") > potential * (1 + 1e-9))
        note(out.problems, "BMP", QStringLiteral("BMP %1 Nm3/kg VS is above the %2 Nm3/kg VS the given fractions can yield")
                                      .arg(number(*value("BMP")), number(potential)));
    if (!out.problems.empty())
        return out;

    // The inert part: a share of the carbohydrates, then of the proteins and lipids alike.
    double fromCarbohydrate = 0, fromRest = 0;
    if (const std::optional<double> bmp = value("BMP")) {
        const double inert = std::max(ch + pr + li - *bmp / kMethanePerCod * vs, 0.0);  // kg COD
        fromCarbohydrate = ch > 0 ? std::min(inert / ch, 1.0) : 0;
        fromRest = pr + li > 0 ? std::clamp((inert - fromCarbohydrate * ch) / (pr + li), 0.0, 1.0) : 0;
    } else {
        const double lignin = value("ADL") && *value("VS") > 0 ? *value("ADL") / *value("VS") * 100 : 0;  // % of VS
        const double share = value("degradable_share") ? *value("degradable_share") : std::clamp(0.830 - 0.028 * lignin, 0.0, 1.0);
        const double inert = (1 - share) * vs;  // kg
        fromCarbohydrate = carbohydrate > 0 ? std::min(inert / carbohydrate, 1.0) : 0;
        fromRest = protein + lipid > 0 ? std::clamp((inert - fromCarbohydrate * carbohydrate) / (protein + lipid), 0.0, 1.0) : 0;
    }
    double inert = fromCarbohydrate * ch + fromRest * (pr + li);
    ch *= 1 - fromCarbohydrate;
    pr *= 1 - fromRest;
    li *= 1 - fromRest;

    if (const std::optional<double> labCod = value("COD")) {
        const double cod = *labCod / 1000, fractions = ch + pr + li + inert;
        if (std::abs(cod - fractions) <= kCodAgreement * cod && inert + cod - fractions >= 0)
            inert += cod - fractions;
        else
            note(out.warnings, "COD", QStringLiteral("COD %1 g/kg from the lab and %2 g/kg from the fractions differ by "
                                                     "more than 10 %; the fractions hold")
                                          .arg(number(*labCod), number(fractions * 1000)));
    }

    const double density = value("density").value_or(kDefaultDensity);
    const double nitrogen = ammonium + protein / kProteinPerNitrogen;  // kg N
    const double S_IN = ammonium * density / kNitrogenMolarMass;       // kmol/m3
    QMap<QString, double> c{{QStringLiteral("X_ch"), ch * density},
                            {QStringLiteral("X_pr"), pr * density},
                            {QStringLiteral("X_li"), li * density},
                            {QStringLiteral("X_I"), inert * density},
                            {QStringLiteral("S_IN"), S_IN},
                            {QStringLiteral("S_IC"), S_IN},
                            {QLatin1String(kDensity), density},
                            {QLatin1String(kTotalSolids), ts * density},
                            {QLatin1String(kVolatileSolids), vs * density},
                            {QLatin1String(kNitrogen), nitrogen * density}};
    if (const std::optional<double> alkalinity = value("alkalinity")) {
        const double bicarbonate = *alkalinity / 1000;  // kmol/m3
        c[QStringLiteral("S_IC")] = bicarbonate;
        c[QStringLiteral("S_cat")] = std::max(bicarbonate - S_IN, 0.0);
        c[QStringLiteral("S_an")] = std::max(S_IN - bicarbonate, 0.0);
    }
    out.values = c;
    return out;
}

LabConversion readSubstrateTable(const QString &name, const QMap<QString, double> &components, LabValues lab,
                                 const SubstrateValues &set, LabNote at)
{
    const bool densityOnly = lab.empty() || (lab.size() == 1 && lab.count(QLatin1String(kDensity)));
    LabConversion out;
    if (set.contains(name + QStringLiteral(".BMP")) && set.contains(name + QStringLiteral(".degradable_share")))
        out.problems.push_back({at.line, at.column, QStringLiteral("BMP and degradable_share both set by the run: one or the other")});
    for (auto it = set.begin(); it != set.end(); ++it) {
        if (it.key().section(QLatin1Char('.'), 0, 0) != name)
            continue;
        const QString key = it.key().section(QLatin1Char('.'), 1);
        if (!labKey(key)) {
            out.problems.push_back({at.line, at.column, QStringLiteral("%1 set by the run is no lab value (%2)").arg(key, labKeyNames())});
            continue;
        }
        if (densityOnly) {
            out.problems.push_back({at.line, at.column, QStringLiteral("%1 set by the run, but the substrate is given by components, not lab values").arg(key)});
            continue;
        }
        if (key == QLatin1String("degradable_share") || key == QLatin1String("BMP"))
            lab.erase(key == QLatin1String("BMP") ? QStringLiteral("degradable_share") : QStringLiteral("BMP"));
        const auto given = lab.find(key);
        lab[key] = given == lab.end() ? LabValue{it.value(), at.line, at.column} : LabValue{it.value(), given->second.line, given->second.column};
    }
    if (!out.problems.empty())
        return out;
    if (!densityOnly && !components.isEmpty())
        return {std::nullopt, {{at.line, at.column, QStringLiteral("gives components and lab values: one or the other")}}, {}};
    if (!densityOnly)
        return convertLabValues(lab, at);
    out = {components, rangeProblems(lab), {}};
    (*out.values)[QLatin1String(kDensity)] = lab.empty() ? kDefaultDensity : lab.begin()->second.value;
    if (!out.problems.empty())
        out.values.reset();
    return out;
}

QStringList strayValues(const QStringList &substrates, const SubstrateValues &set)
{
    QStringList problems;
    for (auto it = set.begin(); it != set.end(); ++it)
        if (!substrates.contains(it.key().section(QLatin1Char('.'), 0, 0)))
            problems << QStringLiteral("no substrate %1 for %2").arg(it.key().section(QLatin1Char('.'), 0, 0), it.key());
    return problems;
}
