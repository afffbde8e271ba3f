// The model scripts' right-hand sides, compiled. Every expression below is written as its
// script writes it, operand for operand and in the same order, and this file is compiled
// without contraction into fused multiply-adds and without the compiler's own versions of
// pow, exp and log10: each sum, product and quotient then rounds as Python's floats round, and
// ** 2, exp and log10 call the same libm functions as Python's, so the results are bit for bit
// the scripts' results. (The compiled engine, which integrates a run itself, computes the charge
// balance by reciprocals: see chargeBalance.)
//
// Where the scripts divide plain Python floats (values that do not come from the state), Python
// raises on a zero divisor even after the scripts retry an evaluation on numpy scalars; the
// kernel raises the same exceptions there (plainDivide, plainSquare, phOf). Everywhere else the
// scripts' retry gives IEEE results, as the kernel's arithmetic does.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "kernel.h"

#include "engine.h"

#include <math.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

constexpr int kLiquid = 24;     // liquid species of a block
constexpr int kBlock = 29;      // a digester's state: liquid species, cations, anions, 3 gases
constexpr int kSecond = 30;     // offset of the second reactor or section (after a spacer)
constexpr int kThird = 60;      // offset of the pump-mixed run's third section
constexpr int kInfluent = 26;   // a feed row's concentrations: liquid species, cations, anions

[[noreturn]] void raise(PyObject *type, const char *message)
{
    PyErr_SetString(type, message);
    throw py::error_already_set();
}

// a / b on plain Python floats.
double plainDivide(double a, double b)
{
    if (b == 0.0)
        raise(PyExc_ZeroDivisionError, "float division by zero");
    return a / b;
}

// x ** 2 on a plain Python float.
double plainSquare(double x)
{
    const double square = ::pow(x, 2.0);
    if (std::isinf(square) && std::isfinite(x))
        raise(PyExc_OverflowError, "(34, 'Numerical result out of range')");
    return square;
}

// ph_of of the solver script: -log10(S_h) as math.log10 gives it, and its error.
double phOf(double S_h)
{
    if (S_h <= 0.0) {
        char message[128];
        std::snprintf(message, sizeof message,
                      "the pH cannot be computed: the hydrogen-ion concentration came out at %.6g kmol/m3", S_h);
        raise(PyExc_ValueError, message);
    }
    return -::log10(S_h);
}

double constant(const py::dict &constants, const char *name)
{
    if (!constants.contains(name))
        raise(PyExc_KeyError, (std::string("digestra_kernel needs the constant ") + name).c_str());
    return constants[name].cast<double>();
}

// The constants every digester and section shares, by their names in the scripts.
#define KINETIC_CONSTANTS(X)                                                                   \
    X(I_ph_aa_ll) X(I_ph_aa_ul) X(I_ph_ac_ll) X(I_ph_ac_ul) X(I_ph_h2_ll) X(I_ph_h2_ul)          \
    X(kdec_xsu) X(kdec_xaa) X(kdec_xfa) X(kdec_xc4) X(kdec_xpro) X(kdec_xac) X(kdec_xh2)        \
    X(khyd_ch) X(khyd_pr) X(khyd_li) X(KI_h2_fa) X(KI_h2_c4) X(KI_h2_pro) X(KI_nh3_ac) X(kLa)  \
    X(km_su) X(km_aa) X(km_fa) X(km_c4) X(km_h2)                                               \
    X(Ks_su) X(Ks_aa) X(Ks_fa) X(Ks_c4) X(Ks_pro) X(Ks_ac) X(Ks_h2) X(Ks_IN) X(k_p)            \
    X(N_aa) X(N_biom) X(N_SI) X(N_Xc) X(N_XI)                                                  \
    X(f_ac_su) X(f_bu_su) X(f_pro_su) X(f_h2_su) X(f_ac_aa) X(f_bu_aa) X(f_pro_aa) X(f_va_aa)  \
    X(f_h2_aa) X(f_fa_li) X(Y_su) X(Y_aa) X(Y_fa) X(Y_c4) X(Y_pro) X(Y_ac) X(Y_h2) X(R)        \
    X(f_XI_xc) X(f_SI_xc) X(f_pr_xc) X(f_li_xc) X(f_ch_xc)                                     \
    X(s1) X(s2) X(s3) X(s4) X(s5) X(s6) X(s7) X(s8) X(s9) X(s10) X(s11) X(s12) X(s13)          \

// The acid constants of the volatile fatty acids (the pH solver's own).
struct Acids {
    double Ka_ac, Ka_bu, Ka_pro, Ka_va;

    explicit Acids(const py::dict &c)
        : Ka_ac(constant(c, "Ka_ac")), Ka_bu(constant(c, "Ka_bu")), Ka_pro(constant(c, "Ka_pro")),
          Ka_va(constant(c, "Ka_va"))
    {
    }
};

struct Kinetics {
#define DECLARE(name) double name;
    KINETIC_CONSTANTS(DECLARE)
#undef DECLARE

    explicit Kinetics(const py::dict &c)
    {
#define READ(name) name = constant(c, #name);
        KINETIC_CONSTANTS(READ)
#undef READ
    }
};

// One digester's own values, in the order of the temperature-phased script's conditions.
struct Conditions {
    double V_gas, P_vent, liquid, headspace, T, Ka_co2, Ka_IN, K_w, KH_h2, KH_ch4, KH_co2, p_h2o,
        kdis, km_ac, km_pro;
};

Conditions conditionsOf(const py::dict &c, double V_gas, double P_vent, double liquid,
                        double headspace)
{
    return {V_gas,
            P_vent,
            liquid,
            headspace,
            constant(c, "T"),
            constant(c, "Ka_co2"),
            constant(c, "Ka_IN"),
            constant(c, "K_w"),
            constant(c, "KH_h2"),
            constant(c, "KH_ch4"),
            constant(c, "KH_co2"),
            constant(c, "p_h2o"),
            constant(c, "kdis"),
            constant(c, "km_ac"),
            constant(c, "km_pro")};
}

Conditions conditionsOf(const py::dict &c, const char *tupleName)
{
    if (!c.contains(tupleName))
        raise(PyExc_KeyError, (std::string("digestra_kernel needs the constant ") + tupleName).c_str());
    const auto v = c[tupleName].cast<std::vector<double>>();
    if (v.size() != 15)
        raise(PyExc_ValueError, (std::string(tupleName) + " must hold 15 values").c_str());
    return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13],
            v[14]};
}

// The ions of a liquid, in solve_ph's order.
struct Ions {
    double S_h_ion, S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion,
        S_co2, S_nh3;
};

Ions ionsAt(double S_va, double S_bu, double S_pro, double S_ac, double S_IC, double S_IN,
            double Ka_IN, double Ka_co2, double K_w, double S_H, const Acids &k)
{
    const double S_hco3_ion = Ka_co2 * S_IC / (Ka_co2 + S_H);
    return {S_H,
            S_H * S_IN / (Ka_IN + S_H),
            S_hco3_ion,
            k.Ka_ac * S_ac / (k.Ka_ac + S_H),
            k.Ka_bu * S_bu / (k.Ka_bu + S_H),
            k.Ka_va * S_va / (k.Ka_va + S_H),
            k.Ka_pro * S_pro / (k.Ka_pro + S_H),
            plainDivide(K_w, S_H),
            S_IC - S_hco3_ion,
            Ka_IN * S_IN / (Ka_IN + S_H)};
}

// The charge balance's fractions num / den and num / den ** 2, either as the scripts compute
// them (a division each, the square by libm's pow) or by one reciprocal of den, which equals them
// but for the last bits and costs a small part of them. The compiled engine, which gives no
// bit-identical numbers anyway, takes the reciprocals: the balance's 101 passes divide 15 times
// each, and those divisions were the largest part of its evaluations.
struct AsScripts {
    double den;
    double of(double num) const { return num / den; }
    double ofSquare(double num) const { return num / ::pow(den, 2.0); }
};

struct ByReciprocal {
    explicit ByReciprocal(double den) : reciprocal(1.0 / den) {}
    double reciprocal;
    double of(double num) const { return num * reciprocal; }
    double ofSquare(double num) const { return num * reciprocal * reciprocal; }
};

template <class Fraction>
Ions chargeBalance(double S_va, double S_bu, double S_pro, double S_ac, double S_IC, double S_IN,
                   double S_cat, double S_an, double Ka_IN, double Ka_co2, double K_w,
                   const Acids &k)
{
    const double TOL = 1e-12;
    const int MaxSteps = 100;
    const double nh3_num = Ka_IN * S_IN;
    const double hco3_num = Ka_co2 * S_IC;
    const double ac_num = k.Ka_ac * S_ac;
    const double bu_num = k.Ka_bu * S_bu;
    const double va_num = k.Ka_va * S_va;
    const double pro_num = k.Ka_pro * S_pro;
    double H0 = 5.79e-8;
    double S_H = H0;
    double S_nh4_ion = 0, S_hco3_ion = 0, S_ac_ion = 0, S_bu_ion = 0, S_va_ion = 0, S_pro_ion = 0,
           S_oh_ion = 0;
    for (int pass = 0; pass < MaxSteps + 1; ++pass) {
        const Fraction nh4{Ka_IN + S_H}, hco3{Ka_co2 + S_H}, ac{k.Ka_ac + S_H}, bu{k.Ka_bu + S_H},
            va{k.Ka_va + S_H}, pro{k.Ka_pro + S_H}, h{S_H};
        S_nh4_ion = nh4.of(S_H * S_IN);
        S_hco3_ion = hco3.of(hco3_num);
        S_ac_ion = ac.of(ac_num);
        S_bu_ion = bu.of(bu_num);
        S_va_ion = va.of(va_num);
        S_pro_ion = pro.of(pro_num);
        S_oh_ion = h.of(K_w);
        const double Delta = S_H + S_cat - S_an + S_nh4_ion - S_hco3_ion - S_ac_ion / 64
                             - S_bu_ion / 160 - S_va_ion / 208 - S_pro_ion / 112 - S_oh_ion;
        const double dDelta = 1 + nh4.ofSquare(nh3_num) + hco3.ofSquare(hco3_num)
                              + ac.ofSquare(ac_num) + bu.ofSquare(bu_num) + va.ofSquare(va_num)
                              + pro.ofSquare(pro_num) + h.ofSquare(K_w);
        S_H = H0 - 0.01 * Delta / dDelta;
        H0 = S_H;
        if (!(Delta > TOL || Delta < -TOL))
            break;
    }
    return {S_H,      S_nh4_ion, S_hco3_ion,           S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion,
            S_oh_ion, S_IC - S_hco3_ion, nh3_num / (Ka_IN + S_H)};
}

// The exact free pH of the solver script (_charge_balance_root): Newton's method on the charge
// balance from S_H, kept inside the bracket that its evaluated points narrow, until the step is at
// most 1e-12 of S_H.
template <class Fraction>
Ions chargeBalanceRoot(double S_va, double S_bu, double S_pro, double S_ac, double S_IC, double S_IN,
                       double S_cat, double S_an, double Ka_IN, double Ka_co2, double K_w,
                       const Acids &k, double S_H)
{
    const double STEP_TOL = 1e-12;
    const double nh3_num = Ka_IN * S_IN;
    const double hco3_num = Ka_co2 * S_IC;
    const double ac_num = k.Ka_ac * S_ac;
    const double bu_num = k.Ka_bu * S_bu;
    const double va_num = k.Ka_va * S_va;
    const double pro_num = k.Ka_pro * S_pro;
    double lo = 0.0, hi = HUGE_VAL;
    for (;;) {
        const Fraction nh4{Ka_IN + S_H}, hco3{Ka_co2 + S_H}, ac{k.Ka_ac + S_H}, bu{k.Ka_bu + S_H},
            va{k.Ka_va + S_H}, pro{k.Ka_pro + S_H}, h{S_H};
        const Ions ions{S_H,
                        nh4.of(S_H * S_IN),
                        hco3.of(hco3_num),
                        ac.of(ac_num),
                        bu.of(bu_num),
                        va.of(va_num),
                        pro.of(pro_num),
                        h.of(K_w),
                        0.0,
                        nh4.of(nh3_num)};
        const double Delta = S_H + S_cat - S_an + ions.S_nh4_ion - ions.S_hco3_ion - ions.S_ac_ion / 64
                             - ions.S_bu_ion / 160 - ions.S_va_ion / 208 - ions.S_pro_ion / 112
                             - ions.S_oh_ion;
        bool done = false;
        if (Delta > 0)
            hi = S_H;
        else if (Delta < 0)
            lo = S_H;
        else
            done = true;
        if (!done) {
            const double dDelta = 1 + nh4.ofSquare(nh3_num) + hco3.ofSquare(hco3_num)
                                  + ac.ofSquare(ac_num) / 64 + bu.ofSquare(bu_num) / 160
                                  + va.ofSquare(va_num) / 208 + pro.ofSquare(pro_num) / 112
                                  + h.ofSquare(K_w);
            const double step = Delta / dDelta;
            done = std::fabs(step) <= STEP_TOL * S_H || hi - lo <= STEP_TOL * S_H;
            if (!done) {
                S_H = S_H - step;
                if (!(lo < S_H && S_H < hi))
                    S_H = lo > 0 && hi < HUGE_VAL ? std::sqrt(lo * hi) : lo == 0 ? hi * 0.1 : lo * 10;
            }
        }
        if (done) {
            Ions result = ions;
            result.S_co2 = S_IC - ions.S_hco3_ion;
            return result;
        }
    }
}

// solve_ph of the solver script, with the free-pH solver the constants name (ph_solver: "exact"
// unless "damped"): the exact solver starts from its last root, the damped solver remembers the
// results of the most recent argument tuples (found by ==, as Python's dict finds them; least
// recently used goes first).
class PhSolver {
public:
    PhSolver(const py::dict &c, double ph_mode, double S_h_ion_manual)
        : acids(c), ph_mode(ph_mode), S_h_ion_manual(S_h_ion_manual), exact(exactSolver(c))
    {
    }

    Ions solve(double S_va, double S_bu, double S_pro, double S_ac, double S_IC, double S_IN,
               double S_cat, double S_an, double Ka_IN, double Ka_co2, double K_w)
    {
        if (ph_mode != 1)
            return ionsAt(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, Ka_IN, Ka_co2, K_w, S_h_ion_manual,
                          acids);
        if (exact) {
            const auto root = asScripts ? chargeBalanceRoot<AsScripts> : chargeBalanceRoot<ByReciprocal>;
            const Ions ions = root(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w,
                                   acids, lastRoot > 0 && lastRoot < HUGE_VAL ? lastRoot : 5.79e-8);
            lastRoot = ions.S_h_ion;
            return ions;
        }
        const Key key{S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w};
        auto hit = std::find_if(recent.begin(), recent.end(),
                                [&](const Entry &e) { return e.first == key; });
        Entry entry;
        if (hit != recent.end()) {
            entry = *hit;
            recent.erase(hit);
        } else {
            const auto balance = asScripts ? chargeBalance<AsScripts> : chargeBalance<ByReciprocal>;
            entry = {key, balance(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2,
                                  K_w, acids)};
            if (recent.size() >= kRecent)
                recent.erase(recent.begin());
        }
        recent.push_back(entry);
        return entry.second;
    }

    // Whether the balance computes as the scripts do (true until the compiled engine takes the
    // run).
    bool asScripts = true;

private:
    static constexpr size_t kRecent = 8;
    using Key = std::array<double, 11>;
    using Entry = std::pair<Key, Ions>;

    static bool exactSolver(const py::dict &c)
    {
        if (!c.contains("ph_solver"))
            return true;
        const auto name = c["ph_solver"].cast<std::string>();
        if (name != "exact" && name != "damped")
            raise(PyExc_ValueError, ("ph_solver must be exact or damped, not " + name).c_str());
        return name == "exact";
    }

    const Acids acids;
    const double ph_mode, S_h_ion_manual;
    const bool exact;
    double lastRoot = 0.0;  // none yet
    std::vector<Entry> recent;
};

double phInhibition(double pH, double lower, double upper)
{
    if (pH < upper)
        return ::exp(-3 * plainSquare(plainDivide(pH - upper, upper - lower)));
    return 1.0;
}

// What an evaluation publishes for one reactor (or the pump-mixed digester), under the names
// of the result columns.
struct Published {
    double gasflow = 0, P_headspace = 0, p_h2 = 0, p_ch4 = 0, p_co2 = 0, pH = 0;
    Ions ions{};
    double p_h2o = 0;

    py::dict asDict() const
    {
        py::dict d;
        d["gasflow"] = gasflow;
        d["P_headspace"] = P_headspace;
        d["p_h2"] = p_h2;
        d["p_ch4"] = p_ch4;
        d["p_co2"] = p_co2;
        d["pH"] = pH;
        d["S_h_ion"] = ions.S_h_ion;
        d["S_nh4_ion"] = ions.S_nh4_ion;
        d["S_hco3_ion"] = ions.S_hco3_ion;
        d["S_ac_ion"] = ions.S_ac_ion;
        d["S_bu_ion"] = ions.S_bu_ion;
        d["S_va_ion"] = ions.S_va_ion;
        d["S_pro_ion"] = ions.S_pro_ion;
        d["S_oh_ion"] = ions.S_oh_ion;
        d["S_co2"] = ions.S_co2;
        d["S_nh3"] = ions.S_nh3;
        d["p_h2o"] = p_h2o;
        return d;
    }
};

// The process rates bio1 .. bio19 (index 0 unused) of one liquid.
struct Rates {
    double bio[20];
    double SUM_bio_13_19, SUM_SI;
};

// Inhibition and process rates of one liquid at the pH and free ammonia found for it.
Rates processRates(const double *s, double pH_t, double S_nh3_t, double kdis, double km_ac,
                   double km_pro, const Kinetics &k)
{
    const double S_su = s[0], S_aa = s[1], S_fa = s[2], S_va = s[3], S_bu = s[4], S_pro = s[5],
                 S_ac = s[6], S_h2 = s[7], S_IN = s[10], X_c = s[12], X_ch = s[13], X_pr = s[14],
                 X_li = s[15], X_su = s[16], X_aa = s[17], X_fa = s[18], X_c4 = s[19],
                 X_pro = s[20], X_ac = s[21], X_h2 = s[22];
    const double I_IN_lim = 1 / (1 + k.Ks_IN / S_IN);
    const double I_h2_fa = 1 / (1 + S_h2 / k.KI_h2_fa);
    const double I_h2_c4 = 1 / (1 + S_h2 / k.KI_h2_c4);
    const double I_h2_pro = 1 / (1 + S_h2 / k.KI_h2_pro);
    const double I_nh3 = 1 / (1 + S_nh3_t / k.KI_nh3_ac);
    const double I_ph_aa = phInhibition(pH_t, k.I_ph_aa_ll, k.I_ph_aa_ul);
    const double I_ph_ac = phInhibition(pH_t, k.I_ph_ac_ll, k.I_ph_ac_ul);
    const double I_ph_h2 = phInhibition(pH_t, k.I_ph_h2_ll, k.I_ph_h2_ul);
    const double I5_6 = I_ph_aa * I_IN_lim;
    const double I7 = I5_6 * I_h2_fa;
    const double I8_9 = I5_6 * I_h2_c4;
    const double I10 = I5_6 * I_h2_pro;
    const double I11 = I_ph_ac * I_IN_lim * I_nh3;
    const double I12 = I_ph_h2 * I_IN_lim;

    Rates r;
    double *bio = r.bio;
    bio[0] = 0.0;
    bio[1] = kdis * X_c;
    bio[2] = k.khyd_ch * X_ch;
    bio[3] = k.khyd_pr * X_pr;
    bio[4] = k.khyd_li * X_li;
    bio[5] = k.km_su * X_su * S_su / (k.Ks_su + S_su) * I5_6;
    bio[6] = k.km_aa * X_aa * S_aa / (k.Ks_aa + S_aa) * I5_6;
    bio[7] = k.km_fa * X_fa * S_fa / (k.Ks_fa + S_fa) * I7;
    bio[8] = k.km_c4 * X_c4 * S_va / (k.Ks_c4 + S_va) * S_va / (S_bu + S_va + 1e-6) * I8_9;
    bio[9] = k.km_c4 * X_c4 * S_bu / (k.Ks_c4 + S_bu) * S_bu / (S_bu + S_va + 1e-6) * I8_9;
    bio[10] = km_pro * X_pro * S_pro / (k.Ks_pro + S_pro) * I10;
    bio[11] = km_ac * X_ac * S_ac / (k.Ks_ac + S_ac) * I11;
    bio[12] = k.km_h2 * X_h2 * S_h2 / (k.Ks_h2 + S_h2) * I12;
    bio[13] = k.kdec_xsu * X_su;
    bio[14] = k.kdec_xaa * X_aa;
    bio[15] = k.kdec_xfa * X_fa;
    bio[16] = k.kdec_xc4 * X_c4;
    bio[17] = k.kdec_xpro * X_pro;
    bio[18] = k.kdec_xac * X_ac;
    bio[19] = k.kdec_xh2 * X_h2;
    r.SUM_bio_13_19 = bio[13] + bio[14] + bio[15] + bio[16] + bio[17] + bio[18] + bio[19];
    r.SUM_SI = k.s1 * bio[1] + k.s2 * bio[2] + k.s3 * bio[3] + k.s4 * bio[4] + k.s5 * bio[5]
               + k.s6 * bio[6] + k.s7 * bio[7] + k.s8 * bio[8] + k.s9 * bio[9] + k.s10 * bio[10]
               + k.s11 * bio[11] + k.s12 * bio[12] + k.s13 * r.SUM_bio_13_19;
    return r;
}

// digester_rates of the single-stage, two-stage and temperature-phased scripts: the 29
// derivatives of one digester fed the 24 liquid species `in` (cations at S_cat_in, anions at
// S_an_in) at the dilution rate D, whose particulates leave at the share keep of that rate.
void digesterRates(const double *s, const double *in, double S_cat_in, double S_an_in, double D,
                   double keep, const Conditions &c, const Kinetics &k, PhSolver &ph,
                   double *out, Published &published)
{
    const Ions ions = ph.solve(s[3], s[4], s[5], s[6], s[9], s[10], s[24], s[25], c.Ka_IN,
                               c.Ka_co2, c.K_w);
    const double pH_t = phOf(ions.S_h_ion);
    const Rates r = processRates(s, pH_t, ions.S_nh3, c.kdis, c.km_ac, c.km_pro, k);
    const double *bio = r.bio;
    const double S_h2 = s[7], S_ch4 = s[8], S_h2_g = s[26], S_ch4_g = s[27], S_co2_g = s[28];

    const double p_h2_t = S_h2_g * k.R * c.T / 16;
    const double p_ch4_t = S_ch4_g * k.R * c.T / 64;
    const double p_co2_t = S_co2_g * k.R * c.T;
    const double lgt8 = k.kLa * (S_h2 - 16 * c.KH_h2 * p_h2_t);
    const double lgt9 = k.kLa * (S_ch4 - 64 * c.KH_ch4 * p_ch4_t);
    const double lgt10 = k.kLa * (ions.S_co2 - c.KH_co2 * p_co2_t);

    const double P_headspace_t = p_co2_t + p_h2_t + p_ch4_t + c.p_h2o;
    double gasflow_t;
    if (P_headspace_t < c.P_vent)
        gasflow_t = 0.0;
    else
        gasflow_t = k.k_p * c.V_gas * (P_headspace_t - c.P_vent) * P_headspace_t / c.P_vent;

    const double SUM = r.SUM_bio_13_19;
    out[0] = D * (in[0] - s[0]) + bio[2] + (1 - k.f_fa_li) * bio[4] - bio[5];
    out[1] = D * (in[1] - s[1]) + bio[3] - bio[6];
    out[2] = D * (in[2] - s[2]) + k.f_fa_li * bio[4] - bio[7];
    out[3] = D * (in[3] - s[3]) + (1 - k.Y_aa) * k.f_va_aa * bio[6] - bio[8];
    out[4] = D * (in[4] - s[4]) + (1 - k.Y_su) * k.f_bu_su * bio[5]
             + (1 - k.Y_aa) * k.f_bu_aa * bio[6] - bio[9];
    out[5] = D * (in[5] - s[5]) + (1 - k.Y_su) * k.f_pro_su * bio[5]
             + (1 - k.Y_aa) * k.f_pro_aa * bio[6] + (1 - k.Y_c4) * 0.54 * bio[8] - bio[10];
    out[6] = D * (in[6] - s[6]) + (1 - k.Y_su) * k.f_ac_su * bio[5]
             + (1 - k.Y_aa) * k.f_ac_aa * bio[6] + (1 - k.Y_fa) * 0.7 * bio[7]
             + (1 - k.Y_c4) * 0.31 * bio[8] + (1 - k.Y_c4) * 0.8 * bio[9]
             + (1 - k.Y_pro) * 0.57 * bio[10] - bio[11];
    out[7] = D * (in[7] - s[7]) + (1 - k.Y_su) * k.f_h2_su * bio[5]
             + (1 - k.Y_aa) * k.f_h2_aa * bio[6] + (1 - k.Y_fa) * 0.3 * bio[7]
             + (1 - k.Y_c4) * 0.15 * bio[8] + (1 - k.Y_c4) * 0.2 * bio[9]
             + (1 - k.Y_pro) * 0.43 * bio[10] - bio[12] - lgt8;
    out[8] = D * (in[8] - s[8]) + (1 - k.Y_ac) * bio[11] + (1 - k.Y_h2) * bio[12] - lgt9;
    out[9] = D * (in[9] - s[9]) - r.SUM_SI - lgt10;
    out[10] = D * (in[10] - s[10]) - k.Y_su * k.N_biom * bio[5]
              + (k.N_aa - k.Y_aa * k.N_biom) * bio[6] - k.Y_fa * k.N_biom * bio[7]
              - k.Y_c4 * k.N_biom * bio[8] - k.Y_c4 * k.N_biom * bio[9]
              - k.Y_pro * k.N_biom * bio[10] - k.Y_ac * k.N_biom * bio[11]
              - k.Y_h2 * k.N_biom * bio[12] + (k.N_biom - k.N_Xc) * SUM
              + (k.N_Xc - k.f_XI_xc * k.N_XI - k.f_SI_xc * k.N_SI - k.f_pr_xc * k.N_aa) * bio[1];
    out[11] = D * (in[11] - s[11]) + k.f_SI_xc * bio[1];
    out[12] = D * (in[12] - s[12] * keep) - bio[1] + SUM;
    out[13] = D * (in[13] - s[13] * keep) + k.f_ch_xc * bio[1] - bio[2];
    out[14] = D * (in[14] - s[14] * keep) + k.f_pr_xc * bio[1] - bio[3];
    out[15] = D * (in[15] - s[15] * keep) + k.f_li_xc * bio[1] - bio[4];
    out[16] = D * (in[16] - s[16] * keep) + k.Y_su * bio[5] - bio[13];
    out[17] = D * (in[17] - s[17] * keep) + k.Y_aa * bio[6] - bio[14];
    out[18] = D * (in[18] - s[18] * keep) + k.Y_fa * bio[7] - bio[15];
    out[19] = D * (in[19] - s[19] * keep) + k.Y_c4 * bio[8] + k.Y_c4 * bio[9] - bio[16];
    out[20] = D * (in[20] - s[20] * keep) + k.Y_pro * bio[10] - bio[17];
    out[21] = D * (in[21] - s[21] * keep) + k.Y_ac * bio[11] - bio[18];
    out[22] = D * (in[22] - s[22] * keep) + k.Y_h2 * bio[12] - bio[19];
    out[23] = D * (in[23] - s[23] * keep) + k.f_XI_xc * bio[1];
    out[24] = D * (S_cat_in - s[24]);
    out[25] = D * (S_an_in - s[25]);
    out[26] = -S_h2_g * gasflow_t / c.V_gas + lgt8 * c.liquid / c.headspace;
    out[27] = -S_ch4_g * gasflow_t / c.V_gas + lgt9 * c.liquid / c.headspace;
    out[28] = -S_co2_g * gasflow_t / c.V_gas + lgt10 * c.liquid / c.headspace;

    published = {gasflow_t, P_headspace_t, p_h2_t, p_ch4_t, p_co2_t, pH_t, ions, c.p_h2o};
}

// section_rates of the pump-mixed script: the reaction terms of one section's 24 liquid
// species; with the headspace's partial pressures (section 1) the gas-liquid transfer too.
struct SectionRates {
    Ions ions;
    double pH;
    double lgt8 = 0.0, lgt9 = 0.0, lgt10 = 0.0;
    double reactions[kLiquid];
};

SectionRates sectionRates(const double *s, const double *partialPressures, const Conditions &c,
                          const Kinetics &k, PhSolver &ph)
{
    SectionRates out;
    out.ions = ph.solve(s[3], s[4], s[5], s[6], s[9], s[10], s[24], s[25], c.Ka_IN, c.Ka_co2,
                        c.K_w);
    out.pH = phOf(out.ions.S_h_ion);
    const Rates r = processRates(s, out.pH, out.ions.S_nh3, c.kdis, c.km_ac, c.km_pro, k);
    const double *bio = r.bio;
    if (partialPressures) {
        out.lgt8 = k.kLa * (s[7] - 16 * c.KH_h2 * partialPressures[0]);
        out.lgt9 = k.kLa * (s[8] - 64 * c.KH_ch4 * partialPressures[1]);
        out.lgt10 = k.kLa * (out.ions.S_co2 - c.KH_co2 * partialPressures[2]);
    }
    const double SUM = r.SUM_bio_13_19;
    double *x = out.reactions;
    x[0] = bio[2] + (1 - k.f_fa_li) * bio[4] - bio[5];
    x[1] = bio[3] - bio[6];
    x[2] = k.f_fa_li * bio[4] - bio[7];
    x[3] = (1 - k.Y_aa) * k.f_va_aa * bio[6] - bio[8];
    x[4] = (1 - k.Y_su) * k.f_bu_su * bio[5] + (1 - k.Y_aa) * k.f_bu_aa * bio[6] - bio[9];
    x[5] = (1 - k.Y_su) * k.f_pro_su * bio[5] + (1 - k.Y_aa) * k.f_pro_aa * bio[6]
           + (1 - k.Y_c4) * 0.54 * bio[8] - bio[10];
    x[6] = (1 - k.Y_su) * k.f_ac_su * bio[5] + (1 - k.Y_aa) * k.f_ac_aa * bio[6]
           + (1 - k.Y_fa) * 0.7 * bio[7] + (1 - k.Y_c4) * 0.31 * bio[8]
           + (1 - k.Y_c4) * 0.8 * bio[9] + (1 - k.Y_pro) * 0.57 * bio[10] - bio[11];
    x[7] = (1 - k.Y_su) * k.f_h2_su * bio[5] + (1 - k.Y_aa) * k.f_h2_aa * bio[6]
           + (1 - k.Y_fa) * 0.3 * bio[7] + (1 - k.Y_c4) * 0.15 * bio[8]
           + (1 - k.Y_c4) * 0.2 * bio[9] + (1 - k.Y_pro) * 0.43 * bio[10] - bio[12] - out.lgt8;
    x[8] = (1 - k.Y_ac) * bio[11] + (1 - k.Y_h2) * bio[12] - out.lgt9;
    x[9] = -r.SUM_SI - out.lgt10;
    x[10] = -k.Y_su * k.N_biom * bio[5] + (k.N_aa - k.Y_aa * k.N_biom) * bio[6]
            - k.Y_fa * k.N_biom * bio[7] - k.Y_c4 * k.N_biom * bio[8]
            - k.Y_c4 * k.N_biom * bio[9] - k.Y_pro * k.N_biom * bio[10]
            - k.Y_ac * k.N_biom * bio[11] - k.Y_h2 * k.N_biom * bio[12]
            + (k.N_biom - k.N_Xc) * SUM
            + (k.N_Xc - k.f_XI_xc * k.N_XI - k.f_SI_xc * k.N_SI - k.f_pr_xc * k.N_aa) * bio[1];
    x[11] = k.f_SI_xc * bio[1];
    x[12] = -bio[1] + SUM;
    x[13] = k.f_ch_xc * bio[1] - bio[2];
    x[14] = k.f_pr_xc * bio[1] - bio[3];
    x[15] = k.f_li_xc * bio[1] - bio[4];
    x[16] = k.Y_su * bio[5] - bio[13];
    x[17] = k.Y_aa * bio[6] - bio[14];
    x[18] = k.Y_fa * bio[7] - bio[15];
    x[19] = k.Y_c4 * bio[8] + k.Y_c4 * bio[9] - bio[16];
    x[20] = k.Y_pro * bio[10] - bio[17];
    x[21] = k.Y_ac * bio[11] - bio[18];
    x[22] = k.Y_h2 * bio[12] - bio[19];
    x[23] = k.f_XI_xc * bio[1];
    return out;
}

// The influent over time: rows of (day, Q_in, 24 liquid species, cations, anions). The feed at
// time t is the last row whose day is before t, the first row up to its day.
class Feed {
public:
    explicit Feed(const py::object &table)
    {
        for (const py::handle row : table) {
            const auto values = row.cast<std::vector<double>>();
            if (values.size() != 2 + kInfluent)
                raise(PyExc_ValueError, "a feed row holds day, Q_in and 26 concentrations");
            days.push_back(values[0]);
            flows.push_back(values[1]);
            influents.emplace_back();
            std::copy(values.begin() + 2, values.end(), influents.back().begin());
        }
        if (days.empty())
            raise(PyExc_ValueError, "the feed has no row");
    }

    size_t rowAt(double t) const
    {
        const auto after = std::lower_bound(days.begin(), days.end(), t);
        return after == days.begin() ? 0 : size_t(after - days.begin()) - 1;
    }
    // The row in force just after t, and the first day after t at which another row takes over
    // (infinity after the last row's day).
    size_t rowAfter(double t) const
    {
        const auto after = std::upper_bound(days.begin(), days.end(), t);
        return after == days.begin() ? 0 : size_t(after - days.begin()) - 1;
    }
    double nextChange(double t) const
    {
        const auto after = std::upper_bound(days.begin() + 1, days.end(), t);
        return after == days.end() ? HUGE_VAL : *after;
    }
    double flow(size_t row) const { return flows[row]; }
    const double *influent(size_t row) const { return influents[row].data(); }

private:
    std::vector<double> days, flows;
    std::vector<std::array<double, kInfluent>> influents;
};

// What the four run classes share: the constants and feed of one run, the count of
// evaluations and the values the latest evaluation published. The compiled engine integrates
// them as they are.
class RunBase : public RightHandSide {
public:
    RunBase(const py::dict &constants, const py::object &feed, size_t stateSize, size_t reactors)
        : k(constants),
          ph(constants, constant(constants, "ph_mode"), constant(constants, "S_h_ion_manual")),
          feed(feed), stateSize(stateSize), published(reactors)
    {
    }

    py::list publishedValues() const
    {
        py::list list;
        for (const Published &p : published)
            list.append(p.asDict());
        return list;
    }

    // The derivatives at (t, y) under the feed in force at t, counted; checks the state.
    py::array_t<double> operator()(double t, const py::array_t<double, py::array::c_style | py::array::forcecast> &y)
    {
        ++evaluations;
        if (y.ndim() != 1 || size_t(y.shape(0)) != stateSize)
            raise(PyExc_ValueError, ("the state must hold " + std::to_string(stateSize) + " values").c_str());
        py::array_t<double> derivatives(stateSize);
        rates(t, feed.rowAt(t), y.data(), derivatives.mutable_data());
        return derivatives;
    }

    size_t size() const override { return stateSize; }
    double nextChange(double t) const override { return feed.nextChange(t); }
    size_t rowAfter(double t) const override { return feed.rowAfter(t); }
    size_t rowAt(double t) const { return feed.rowAt(t); }

    long evaluations = 0;
    // What the compiled engine's last run cost (0 on the other engines).
    long steps = 0, jacobian_evaluations = 0;
    // Why the compiled engine's last run ended before its last row (empty when it did not).
    std::string stop_reason;

    // For the compiled engine: the charge balance by reciprocals, not as the scripts compute it.
    void balanceByReciprocals() { ph.asScripts = false; }

protected:
    const Kinetics k;
    PhSolver ph;
    const Feed feed;
    const size_t stateSize;
    std::vector<Published> published;
};

// module_ssad.py's tank.
class SingleStage : public RunBase {
public:
    SingleStage(const py::dict &c, const py::object &feed)
        : RunBase(c, feed, kBlock, 1),
          V(constant(c, "V")),
          conditions(conditionsOf(c, constant(c, "V_g"), constant(c, "P_atm"), V, constant(c, "V_g")))
    {
    }

    void rates(double, size_t row, const double *s, double *out) override
    {
        const double *in = feed.influent(row);
        Published p;
        digesterRates(s, in, in[24], in[25], plainDivide(feed.flow(row), V), 1.0, conditions, k,
                      ph, out, p);
        published[0] = p;
    }

private:
    const double V;
    const Conditions conditions;
};

// The series of module_tsad.py and module_tpad.py: reactor 1 takes the feed, reactor 2 the
// liquid leaving reactor 1 at the same flow. With solids retention (temperature-phased),
// particulates leave each reactor at the share keep of the flow and only those leaving
// reactor 1 reach reactor 2.
class Series : public RunBase {
public:
    Series(const py::dict &c, const py::object &feed, bool retention)
        : RunBase(c, feed, kSecond + kBlock, 2),
          V(constant(c, "V")),
          V_2(constant(c, "V_2")),
          t_sr(retention ? constant(c, "t_sr") : 0.0),
          retention(retention),
          first(retention ? conditionsOf(c, "conditions_1")
                          : conditionsOf(c, constant(c, "V_g"), constant(c, "P_atm"), V, constant(c, "V_g"))),
          second(retention ? conditionsOf(c, "conditions_2")
                           : conditionsOf(c, constant(c, "V_g2"), constant(c, "P_atm2"),
                                          33 * (1 - constant(c, "headspace_share")),
                                          33 * constant(c, "headspace_share")))
    {
    }

    void rates(double, size_t row, const double *s, double *out) override
    {
        const double Q_in = feed.flow(row);
        const double *in = feed.influent(row);
        double keep_1 = 1.0, keep_2 = 1.0;
        if (retention) {
            keep_1 = 1 - plainDivide(retainedFlow(Q_in, V), Q_in);
            keep_2 = 1 - plainDivide(retainedFlow(Q_in, V_2), Q_in);
        }
        Published p1, p2;
        digesterRates(s, in, in[24], in[25], plainDivide(Q_in, V), keep_1, first, k, ph, out, p1);
        published[0] = p1;
        out[kBlock] = 0.0;
        double inflow_2[kLiquid];
        std::copy(s, s + kLiquid, inflow_2);
        if (retention)
            for (int i = kLiquid / 2; i < kLiquid; ++i)
                inflow_2[i] = s[i] * keep_1;
        digesterRates(s + kSecond, inflow_2, s[9] + 0.035, s[10], plainDivide(Q_in, V_2), keep_2,
                      second, k, ph, out + kSecond, p2);
        published[1] = p2;
    }

private:
    // retained_flow of the temperature-phased script.
    double retainedFlow(double Q_in, double V_r) const
    {
        const double HRT = plainDivide(V_r, Q_in);
        if (HRT < 6.5) {
            const double Ret = Q_in - plainDivide(V_r, t_sr + HRT);
            return Ret * (6.5 - HRT) / 6.5;
        }
        return 0.0;
    }

    const double V, V_2, t_sr;
    const bool retention;
    const Conditions first, second;
};

// module_pomp.py's tank: three sections under one headspace above section 1.
class PumpMixed : public RunBase {
public:
    PumpMixed(const py::dict &c, const py::object &feed)
        : RunBase(c, feed, kThird + kBlock, 1),
          V(constant(c, "V")),
          conditions(conditionsOf(c, constant(c, "V_g"), constant(c, "P_atm"), V, constant(c, "V_g")))
    {
        if (!c.contains("mixing_rows"))
            raise(PyExc_KeyError, "digestra_kernel needs the constant mixing_rows");
        for (const py::handle row : c["mixing_rows"]) {
            const py::dict values = row.cast<py::dict>();
            mixing.push_back({constant(values, "kLl_12_s"), constant(values, "kLl_23_s"),
                              constant(values, "kLl_31_s"), constant(values, "x_delay"),
                              constant(values, "k_pomp"), constant(values, "kdis")});
        }
    }

    void rates(double, size_t row, const double *s, double *out) override
    {
        if (row >= mixing.size())
            raise(PyExc_ValueError, "mixing_rows must hold one mixing per feed row");
        const auto [kLl_12_s, kLl_23_s, kLl_31_s, x_delay, k_pomp, kdis] = mixing[row];
        Conditions c = conditions;
        c.kdis = kdis;
        const double *s1 = s, *s2 = s + kSecond, *s3 = s + kThird;
        const double S_h2_g = s[26], S_ch4_g = s[27], S_co2_g = s[28];
        const double partialPressures[3] = {S_h2_g * k.R * c.T / 16, S_ch4_g * k.R * c.T / 64,
                                            S_co2_g * k.R * c.T};
        const SectionRates r1 = sectionRates(s1, partialPressures, c, k, ph);
        const SectionRates r2 = sectionRates(s2, nullptr, c, k, ph);
        const SectionRates r3 = sectionRates(s3, nullptr, c, k, ph);

        double llt_12[kLiquid], llt_23[kLiquid], llt_31[kLiquid];
        for (int i = 0; i < kLiquid; ++i) {
            const bool soluble = i < kLiquid / 2;
            const double k12 = soluble ? kLl_12_s : kLl_12_s * x_delay;
            const double k23 = soluble ? kLl_23_s : kLl_23_s * x_delay;
            const double k31 = soluble ? kLl_31_s : kLl_31_s * x_delay;
            llt_12[i] = k12 * (s1[i] - s2[i]);
            llt_23[i] = k23 * (s2[i] - s3[i]);
            llt_31[i] = k31 * (s3[i] - s1[i]);
        }

        const double P_headspace_t =
            partialPressures[2] + partialPressures[0] + partialPressures[1] + c.p_h2o;
        double gasflow_t;
        if (P_headspace_t < c.P_vent)
            gasflow_t = 0.0;
        else
            gasflow_t = k.k_p * c.V_gas * (P_headspace_t - c.P_vent) * P_headspace_t / c.P_vent;

        const double Q_in = feed.flow(row);
        const double *in = feed.influent(row);
        const double V_s = V / 3;
        const double Ds = plainDivide(Q_in, V_s);
        for (int i = 0; i < kLiquid; ++i) {
            out[i] = Ds * (in[i] - 0.0) + r1.reactions[i] - llt_12[i] + k_pomp * llt_31[i];
            out[kSecond + i] = r2.reactions[i] + llt_12[i] - llt_23[i];
            out[kThird + i] = Ds * (0.0 - s3[i]) + r3.reactions[i] + llt_23[i] - k_pomp * llt_31[i];
        }
        for (const int offset : {0, kSecond, kThird}) {
            out[offset + 24] = Ds * (in[24] - s[offset + 24]);
            out[offset + 25] = Ds * (in[25] - s[offset + 25]);
        }
        out[26] = -S_h2_g * gasflow_t / c.V_gas + r1.lgt8 * V_s / c.V_gas;
        out[27] = -S_ch4_g * gasflow_t / c.V_gas + r1.lgt9 * V_s / c.V_gas;
        out[28] = -S_co2_g * gasflow_t / c.V_gas + r1.lgt10 * V_s / c.V_gas;
        out[kBlock] = 0.0;
        std::fill(out + kSecond + 26, out + kThird, 0.0);
        std::fill(out + kThird + 26, out + kThird + kBlock, 0.0);

        published[0] = {gasflow_t,           P_headspace_t, partialPressures[0], partialPressures[1],
                        partialPressures[2], r3.pH,         r3.ions,             c.p_h2o};
    }

private:
    // The values of the mixing regressions under a feed row's flow, in the order of MIXING_RATES.
    struct Mixing {
        double kLl_12_s, kLl_23_s, kLl_31_s, x_delay, k_pomp, kdis;
    };

    const double V;
    const Conditions conditions;
    std::vector<Mixing> mixing;  // per feed row
};

// The temperature-phased and two-stage runs under names of their own.
class TwoStage : public Series {
public:
    TwoStage(const py::dict &c, const py::object &feed) : Series(c, feed, false) {}
};

class TemperaturePhased : public Series {
public:
    TemperaturePhased(const py::dict &c, const py::object &feed) : Series(c, feed, true) {}
};

template <class Run>
void bindRun(py::module_ &m, const char *name, const char *doc)
{
    py::class_<Run, RunBase>(m, name, doc)
        .def(py::init<const py::dict &, const py::object &>(), py::arg("constants"), py::arg("feed"));
}

// The run's integration in the compiled engine: `rows` rows at start + k * output_interval, each
// with its state and the values evaluated at its own time and state. progress(days done, days of
// the run) and cancelled() are called after a row at most every few hundredths of a second (and
// after the last row), not per row: a row costs microseconds. None when cancelled.
py::object integrate(RunBase &run, const std::vector<double> &initial, double start, size_t rows,
                     double interval, const py::object &progress, const py::object &cancelled)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto kCallbackPause = std::chrono::milliseconds(20);
    if (cancelled().cast<int>() == 1)
        return py::none();
    run.balanceByReciprocals();
    const size_t n = run.size();
    std::vector<double> scratch(n);
    py::list table;
    auto lastCallback = Clock::now();
    const auto sink = [&](double t, const double *y) {
        run.rates(t, run.rowAt(t), y, scratch.data());  // publishes the row's own values
        py::array_t<double> state(n);
        std::copy(y, y + n, state.mutable_data());
        table.append(py::make_tuple(t, state, run.publishedValues()));
        const auto now = Clock::now();
        if (table.size() < rows && now - lastCallback < kCallbackPause)
            return true;
        lastCallback = now;
        progress(t - start, double(rows) * interval);
        return cancelled().cast<int>() != 1;
    };
    const EngineOutcome outcome = integrateRun(run, initial, start, rows, interval, EngineTolerances{}, sink);
    run.evaluations += outcome.counts.evaluations + long(table.size());
    run.steps = outcome.counts.steps;
    run.jacobian_evaluations = outcome.counts.jacobians;
    run.stop_reason = outcome.end == EngineEnd::Failed ? outcome.reason : std::string();
    if (outcome.end == EngineEnd::Cancelled)
        return py::none();
    return table;
}

}  // namespace

void addKernelBindings(py::module_ &m)
{
    m.doc() = "The model's right-hand sides, compiled. A run object is built once per run from the "
              "script's constants (a mapping by name) and its feed (rows of day, Q_in and 26 "
              "influent concentrations); calling it with (t, y) returns the derivatives.";
    py::class_<RunBase>(m, "Run", "What the four run classes share.")
        .def("__call__", &RunBase::operator(), py::arg("t"), py::arg("y"))
        .def("published", &RunBase::publishedValues,
             "The values the latest evaluation published, one dict per reactor.")
        .def_readonly("evaluations", &RunBase::evaluations)
        .def_readonly("steps", &RunBase::steps)
        .def_readonly("jacobian_evaluations", &RunBase::jacobian_evaluations)
        .def_readonly("stop_reason", &RunBase::stop_reason);
    bindRun<SingleStage>(m, "SingleStage", "module_ssad.py's tank");
    bindRun<TwoStage>(m, "TwoStage", "module_tsad.py's tank");
    bindRun<TemperaturePhased>(m, "TemperaturePhased", "module_tpad.py's tank");
    bindRun<PumpMixed>(m, "PumpMixed", "module_pomp.py's tank");
    m.def(
        "solve_ph",
        [](double S_va, double S_bu, double S_pro, double S_ac, double S_IC, double S_IN,
           double S_cat, double S_an, double Ka_IN, double Ka_co2, double K_w, double ph_mode,
           double S_h_ion_manual, const py::dict &constants) {
            const Ions i = PhSolver(constants, ph_mode, S_h_ion_manual)
                               .solve(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN,
                                      Ka_co2, K_w);
            return py::make_tuple(i.S_h_ion, i.S_nh4_ion, i.S_hco3_ion, i.S_ac_ion, i.S_bu_ion,
                                  i.S_va_ion, i.S_pro_ion, i.S_oh_ion, i.S_co2, i.S_nh3);
        },
        "solve_ph of the solver script; constants gives Ka_ac, Ka_bu, Ka_pro and Ka_va.");
    m.def("integrate", &integrate, py::arg("run"), py::arg("initial_state"), py::arg("start"),
          py::arg("rows"), py::arg("output_interval"), py::arg("progress"), py::arg("cancelled"),
          "The whole run integrated in C++ (CVODE) from the day start: a list of (t, state, published "
          "values) per output row after the start, shorter when the integration ended early (the "
          "run's stop_reason says why); None when cancelled.");
}
