#include "labsubstrate.h"

#include "configuration.h"
#include "modelparameters.h"

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
//   - crude protein (XP) is Kjeldahl nitrogen times 6.25 and so counts the ammonium too: the
//     protein is XP - 6.25 NH4-N, or 6.25 (TKN - NH4-N) with TKN given; the Kjeldahl nitrogen is
//     TKN, or XP / 6.25;
//   - each fraction's COD follows from its representative formula (oxygen to CO2, H2O and NH3):
//     carbohydrate C6H10O5 1.185, protein C5H7NO2 1.415, lipid C57H104O6 (triolein) 2.891 g COD/g;
//   - the part of VS that does not degrade is inert (X_I). It is set by the degradable share of
//     VS, by a methane potential test (BMP, a net yield: the degradable COD is what gives the BMP
//     in the model itself, see methaneShares), or by lignin
//     through D. Chandler et al. (1980), Predicting methane fermentation biodegradability,
//     Biotechnology and Bioengineering Symposium 10, 93-107: degradable share of VS
//     = 0.830 - 0.028 lignin (lignin as % of VS). The inert part is lignocellulose first, so it is
//     taken from the carbohydrates; only beyond them from proteins and lipids alike;
//   - a lab COD above or below the fractions' by at most 10 % is organic matter the fractions do
//     not show (lignin oxidises with more oxygen per gram than carbohydrate): it moves the inerts;
//   - the model's protein carries N_aa (0.007 kmol N/kg COD, 0.098 kg N/kg COD) where protein
//     holds 1/6.25 kg N per 1.415 kg COD (0.113 kg N/kg COD), and its inerts release nothing: the
//     nitrogen of the Kjeldahl nitrogen that the degradable protein cannot carry enters as
//     ammonium (S_IN), so that what the model can release (S_IN + N_aa X_pr) is the lab's
//     Kjeldahl nitrogen;
//   - the ammonium is S_IN; with no alkalinity given it is taken as ammonium bicarbonate (S_IC
//     equal to S_IN, as in manure and digestate); a measured alkalinity (as bicarbonate) sets S_IC
//     and the cations (S_cat) or anions (S_an) that balance it against the measured ammonium, the
//     nitrogen beyond it entering as ammonium bicarbonate, as degrading protein releases it.

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

// The organic loading rate of a methane potential's digester: low, as in a BMP test, where
// nothing inhibits and the biomass decays about as fast as it grows (kg VS/(m3 d)).
constexpr double kLowLoading = 0.5;

// The shares of the COD of degraded carbohydrates, proteins and lipids that the model turns into
// methane at the steady state of a digester fed at the dilution rate D (1/d), from the declared
// constants. Each uptake turns the COD it takes into biomass at its yield Y and the rest into its
// products; acetate and hydrogen give methane. Of the biomass, the share kdec / (kdec + D)
// decays at steady state (the rest leaves with the liquid) into composites, which give inerts
// (X_I, S_I) and carbohydrates, proteins and lipids at the run's fractions (the inputs' defaults,
// 0.3 each) that degrade again. With M_s the methane per COD of species s and M_xc that of the
// composites:
//   M_h2 = (1 - Y_h2) + Y_h2 d_h2 M_xc,  M_ac = (1 - Y_ac) + Y_ac d_ac M_xc      (d = kdec/(kdec+D))
//   M_pro = (1 - Y_pro)(0.57 M_ac + 0.43 M_h2) + Y_pro d_pro M_xc
//   M_bu = (1 - Y_c4)(0.8 M_ac + 0.2 M_h2) + Y_c4 d_c4 M_xc
//   M_va = (1 - Y_c4)(0.54 M_pro + 0.31 M_ac + 0.15 M_h2) + Y_c4 d_c4 M_xc
//   M_fa = (1 - Y_fa)(0.7 M_ac + 0.3 M_h2) + Y_fa d_fa M_xc
//   M_su = (1 - Y_su)(f_h2_su M_h2 + f_bu_su M_bu + f_pro_su M_pro + f_ac_su M_ac) + Y_su d_su M_xc
//   M_aa = (1 - Y_aa)(f_h2_aa M_h2 + f_va_aa M_va + f_bu_aa M_bu + f_pro_aa M_pro + f_ac_aa M_ac)
//          + Y_aa d_aa M_xc
//   M_li = (1 - f_fa_li) M_su + f_fa_li M_fa,  M_xc = f_ch M_su + f_pr M_aa + f_li M_li.
// Each M is a + b M_xc; the last line gives M_xc = a_xc / (1 - b_xc). Dissolved methane, the
// acids left at steady state and the composites not yet disintegrated are left out (below 0.5 %
// at low loading). With the default constants: 0.98 of carbohydrate COD as D goes to 0, 0.94 at
// D = 0.00625/d (cattle manure at 0.5 kg VS/(m3 d)).
struct MethaneShares {
    double carbohydrate, protein, lipid;
};

MethaneShares methaneShares(double D)
{
    const auto k = [](const char *name) { return modelParameter(QLatin1String(name))->defaultValue; };
    struct Affine {
        double a, b;  // a + b M_xc
    };
    const auto sum = [](std::initializer_list<std::pair<double, Affine>> terms) {
        Affine s{0, 0};
        for (const auto &[w, t] : terms)
            s = {s.a + w * t.a, s.b + w * t.b};
        return s;
    };
    const Affine one{1, 0}, xc{0, 1};
    const auto decaying = [&](const char *group) { return k(group) / (k(group) + D); };
    const double Y_h2 = k("Y_h2"), Y_ac = k("Y_ac"), Y_pro = k("Y_pro"), Y_c4 = k("Y_c4"), Y_fa = k("Y_fa"),
                 Y_su = k("Y_su"), Y_aa = k("Y_aa");
    const Affine h2 = sum({{1 - Y_h2, one}, {Y_h2 * decaying("kdec_xh2"), xc}});
    const Affine ac = sum({{1 - Y_ac, one}, {Y_ac * decaying("kdec_xac"), xc}});
    const Affine pro = sum({{(1 - Y_pro) * 0.57, ac}, {(1 - Y_pro) * 0.43, h2}, {Y_pro * decaying("kdec_xpro"), xc}});
    const Affine bu = sum({{(1 - Y_c4) * 0.8, ac}, {(1 - Y_c4) * 0.2, h2}, {Y_c4 * decaying("kdec_xc4"), xc}});
    const Affine va = sum({{(1 - Y_c4) * 0.54, pro}, {(1 - Y_c4) * 0.31, ac}, {(1 - Y_c4) * 0.15, h2},
                           {Y_c4 * decaying("kdec_xc4"), xc}});
    const Affine fa = sum({{(1 - Y_fa) * 0.7, ac}, {(1 - Y_fa) * 0.3, h2}, {Y_fa * decaying("kdec_xfa"), xc}});
    const Affine su = sum({{(1 - Y_su) * k("f_h2_su"), h2}, {(1 - Y_su) * k("f_bu_su"), bu},
                           {(1 - Y_su) * k("f_pro_su"), pro}, {(1 - Y_su) * k("f_ac_su"), ac},
                           {Y_su * decaying("kdec_xsu"), xc}});
    const Affine aa = sum({{(1 - Y_aa) * k("f_h2_aa"), h2}, {(1 - Y_aa) * k("f_va_aa"), va},
                           {(1 - Y_aa) * k("f_bu_aa"), bu}, {(1 - Y_aa) * k("f_pro_aa"), pro},
                           {(1 - Y_aa) * k("f_ac_aa"), ac}, {Y_aa * decaying("kdec_xaa"), xc}});
    const Affine li = sum({{1 - k("f_fa_li"), su}, {k("f_fa_li"), fa}});
    const auto fraction = [](Input input) { return QString::fromLatin1(inputInfo(input).resetText).toDouble(); };
    const Affine composites = sum({{fraction(Input::Fch), su}, {fraction(Input::Fpr), aa}, {fraction(Input::Fli), li}});
    const double M_xc = composites.a / (1 - composites.b);
    return {su.a + su.b * M_xc, aa.a + aa.b * M_xc, li.a + li.b * M_xc};
}

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
    double kjeldahl = value("XP").value_or(0) / 100 * ts / kProteinPerNitrogen;  // kg N
    double protein = kProteinPerNitrogen * std::max(kjeldahl - ammonium, 0.0);
    const char *proteinKey = "XP";
    if (const std::optional<double> tkn = value("TKN")) {
        kjeldahl = *tkn / 1000;
        proteinKey = "TKN";
        if (*tkn / 1000 < ammonium)
            note(out.problems, "TKN", QStringLiteral("TKN (%1 g/kg) is below NH4_N (%2 g/kg)").arg(number(*tkn), number(ammonium * 1000)));
        const double fromNitrogen = kProteinPerNitrogen * std::max(*tkn / 1000 - ammonium, 0.0);
        const double crude = value("XP").value_or(0) / 100 * ts;
        if (value("XP") && std::abs(kProteinPerNitrogen * *tkn / 1000 - crude) > kCodAgreement * std::max(kProteinPerNitrogen * *tkn / 1000, crude))
            note(out.warnings, "XP", QStringLiteral("XP %1 % of TS and 6.25 TKN = %2 % of TS differ by more than 10 %; "
                                                    "the nitrogen holds")
                                         .arg(number(*value("XP")), number(ts > 0 ? kProteinPerNitrogen * *tkn / 1000 / ts * 100 : 0)));
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
    const double density = value("density").value_or(kDefaultDensity);
    const MethaneShares shares = methaneShares(vs > 0 ? kLowLoading / (vs * density) : 0);
    // Methane (as COD) of the fractions degraded at low loading, kg COD.
    const auto methaneOf = [&](double c, double p, double l) { return shares.carbohydrate * c + shares.protein * p + shares.lipid * l; };
    const double potential = vs > 0 ? kMethanePerCod * methaneOf(ch, pr, li) / vs : 0;  // Nm3/kg VS
    if (value("BMP") && *value("BMP") > potential * (1 + 1e-9))
        note(out.problems, "BMP", QStringLiteral("BMP %1 Nm3/kg VS is above the %2 Nm3/kg VS the given fractions can yield")
                                      .arg(number(*value("BMP")), number(potential)));
    if (!out.problems.empty())
        return out;

    // The inert part: a share of the carbohydrates, then of the proteins and lipids alike.
    double fromCarbohydrate = 0, fromRest = 0;
    if (const std::optional<double> bmp = value("BMP")) {
        // The degradable fractions whose methane at low loading is the BMP: carbohydrates go
        // first, then proteins and lipids alike.
        const double methane = *bmp / kMethanePerCod * vs;  // kg COD
        const double rest = methaneOf(0, pr, li);
        fromCarbohydrate = ch > 0 ? std::clamp(1 - (methane - rest) / (shares.carbohydrate * ch), 0.0, 1.0) : 0;
        fromRest = methane < rest ? std::clamp(1 - methane / rest, 0.0, 1.0) : 0;
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

    // What the protein cannot carry enters as ammonium beside the measured (kmol N/m3).
    const double N_aa = modelParameter(QStringLiteral("N_aa"))->defaultValue;  // kmol N/kg COD
    const double S_IN_measured = ammonium * density / kNitrogenMolarMass;
    const double S_IN = std::max(kjeldahl * density / kNitrogenMolarMass - N_aa * pr * density, S_IN_measured);
    const double inertNitrogen = modelParameter(QStringLiteral("N_XI"))->defaultValue * inert * density * kNitrogenMolarMass;
    QMap<QString, double> c{{QStringLiteral("X_ch"), ch * density},
                            {QStringLiteral("X_pr"), pr * density},
                            {QStringLiteral("X_li"), li * density},
                            {QStringLiteral("X_I"), inert * density},
                            {QStringLiteral("S_IN"), S_IN},
                            {QStringLiteral("S_IC"), S_IN},
                            {QLatin1String(kDensity), density},
                            {QLatin1String(kTotalSolids), ts * density},
                            {QLatin1String(kVolatileSolids), vs * density},
                            {QLatin1String(kNitrogen), kjeldahl * density},
                            {QLatin1String(kReleasedNitrogen), (S_IN + N_aa * pr * density) * kNitrogenMolarMass},
                            {QLatin1String(kInertNitrogen), inertNitrogen},
                            {QLatin1String(kMethanePotential), kMethanePerCod * methaneOf(ch, pr, li) * density}};
    if (const std::optional<double> alkalinity = value("alkalinity")) {
        const double bicarbonate = *alkalinity / 1000;  // kmol/m3
        c[QStringLiteral("S_IC")] = bicarbonate + (S_IN - S_IN_measured);
        c[QStringLiteral("S_cat")] = std::max(bicarbonate - S_IN_measured, 0.0);
        c[QStringLiteral("S_an")] = std::max(S_IN_measured - bicarbonate, 0.0);
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
