# Pump-mixed digester: ADM1 kinetics of one digester whose liquid a pump mixes at a given interval,
# modelled as three equal liquid sections in series under one headspace (tank), and the run that
# integrates it over the simulated days with an output every 0.1 d (MyFunc). The feed enters section 1,
# the effluent leaves section 3, neighbouring sections exchange matter, the pump returns matter from
# section 3 to section 1, and only section 1 exchanges gas with the headspace.
# solve_ph, ph_of and Integration come from the solver script, which runs in the same namespace after this
# one.
from math import exp, floor, log10

import numpy as np

try:
    import digestra_kernel  # the compiled right-hand side, where the program offers it
except ImportError:
    digestra_kernel = None

# State block of one section, by index: 24 liquid species, cations and anions, three headspace gases.
STATE_NAMES = (
    'S_su', 'S_aa', 'S_fa', 'S_va', 'S_bu', 'S_pro', 'S_ac', 'S_h2', 'S_ch4', 'S_IC', 'S_IN', 'S_I',
    'X_c', 'X_ch', 'X_pr', 'X_li', 'X_su', 'X_aa', 'X_fa', 'X_c4', 'X_pro', 'X_ac', 'X_h2', 'X_I',
    'S_cat', 'S_an',
    'S_h2_g', 'S_ch4_g', 'S_co2_g')

# Every section starts from this block.
INITIAL_STATE = (
    0.0126099, 0.0056389, 0.109845, 0.0117245, 0.0148542, 0.0179604, 0.0492285, 2.55e-7, 0.0542531,
    0.0750682, 0.0324451, 1.67072,
    1.04006, 0.0103452, 0.0103452, 0.0155177, 0.354125, 0.356823, 0.390669, 0.144876, 0.0609795,
    0.470399, 0.223732, 19.9414,
    0.04, 0.0035714,
    1.18e-5, 1.669890973, 0.0112951)

# The three sections' blocks at offsets 0, 30 and 60 with a spacer between them. The headspace entries
# of the first block are the digester's headspace; those of the other two blocks are no part of the
# model and keep their initial values, as do the spacers.
INITIAL_SECTIONS = INITIAL_STATE + (0.0,) + INITIAL_STATE + (0.0,) + INITIAL_STATE
LIQUID = 24
SECTION_2 = 30
SECTION_3 = 60

# Columns of the result table. Liquid values are the means of the three sections, gas values those of
# the headspace; pH, ions, dissolved carbon dioxide and free ammonia are section 3's as tank
# published them, evaluated at the row's time and state.
RESULT_COLUMNS = (
    't', 'gasflow', 'gasflow_N', 'p_ch4_adjust', 'p_co2_adjust', 'p_h2_adjust', 'p_h2o_adjust', 'pH',
    'COD_Tot', 'COD_S', 'COD_X',
    'S_ch4_g', 'S_co2_g', 'S_h2_g',
    'S_aa', 'S_ac', 'S_an', 'S_bu', 'S_cat', 'S_ch4', 'S_co2', 'S_fa', 'S_h2', 'S_I', 'S_IC', 'S_IN',
    'S_nh3', 'S_pro', 'S_su', 'S_va',
    'X_aa', 'X_ac', 'X_c', 'X_c4', 'X_ch', 'X_fa', 'X_h2', 'X_I', 'X_li', 'X_pr', 'X_pro', 'X_su',
    'S_ac_ion', 'S_bu_ion', 'S_hco3_ion', 'S_h_ion', 'S_nh4_ion', 'S_oh_ion', 'S_pro_ion', 'S_va_ion')

OUTPUT_INTERVAL = 0.1

# Right-hand-side evaluations of the current run (read by benchmarks).
rhs_evaluations = 0
# Why the last run's integration ended before its end (None when it did not).
stop_reason = None
# The state the last run reached, by state name, one block per section (state_blocks); None after a
# failed or stopped run.
final_state = None


def tank(t, y):
    global rhs_evaluations
    rhs_evaluations += 1
    try:
        return pump_mixed_rates(t, y.tolist())
    except ArithmeticError:
        # Plain floats raise where numpy scalars give an infinity (or NaN) and a RuntimeWarning: the
        # same evaluation on numpy scalars lets such a value take its course through the integrator.
        return pump_mixed_rates(t, list(y))


def pump_mixed_rates(t, state):
    global gasflow, P_headspace, p_h2, p_ch4, p_co2, pH, S_h_ion, S_nh4_ion, S_hco3_ion, S_ac_ion, \
        S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion, S_co2, S_nh3
    # Each section's liquid species, cations and anions; the headspace above section 1.
    section_1 = state[:LIQUID + 2]
    section_2 = state[SECTION_2:SECTION_2 + LIQUID + 2]
    section_3 = state[SECTION_3:SECTION_3 + LIQUID + 2]
    S_h2_g, S_ch4_g, S_co2_g = state[LIQUID + 2:SECTION_2 - 1]

    # Headspace partial pressures; the headspace exchanges gas with section 1 only.
    p_h2_t = S_h2_g * R * T / 16
    p_ch4_t = S_ch4_g * R * T / 64
    p_co2_t = S_co2_g * R * T

    # The feed row in force at t (sh_solver's feed_row): its flow, what flows in and the mixing under its
    # flow.
    row = feed_row(t)
    Q_in, inflow = feed_rows[row]
    kLl_12_s, kLl_23_s, kLl_31_s, x_delay, k_pomp, kdis = (mixing_rows[row][name] for name in MIXING_RATES)

    _, _, (lgt8, lgt9, lgt10), reactions_1 = section_rates(section_1, (p_h2_t, p_ch4_t, p_co2_t), kdis)
    _, _, _, reactions_2 = section_rates(section_2, None, kdis)
    ions_3, pH_3, _, reactions_3 = section_rates(section_3, None, kdis)

    # Exchange between the sections, from section 1 to 2, 2 to 3 and 3 to 1: the particulates move
    # x_delay times as fast as the solubles. Cations and anions stay where they are.
    solubles = LIQUID // 2
    k12 = (kLl_12_s,) * solubles + (kLl_12_s * x_delay,) * solubles
    k23 = (kLl_23_s,) * solubles + (kLl_23_s * x_delay,) * solubles
    k31 = (kLl_31_s,) * solubles + (kLl_31_s * x_delay,) * solubles
    C1 = section_1[:LIQUID]
    C2 = section_2[:LIQUID]
    C3 = section_3[:LIQUID]
    llt_12 = [k * (c1 - c2) for k, c1, c2 in zip(k12, C1, C2)]
    llt_23 = [k * (c2 - c3) for k, c2, c3 in zip(k23, C2, C3)]
    llt_31 = [k * (c3 - c1) for k, c3, c1 in zip(k31, C3, C1)]

    P_headspace_t = p_co2_t + p_h2_t + p_ch4_t + p_h2o
    if P_headspace_t < P_atm:
        gasflow_t = 0.0
    else:
        gasflow_t = k_p * V_g * (P_headspace_t - P_atm) * P_headspace_t / P_atm

    # The feed enters section 1, which has no outflow, through sections of a third of the liquid; the
    # effluent leaves section 3. Cations and anions (block entries 24 and 25) are diluted towards the
    # feed's values in every section.
    S_cat_in, S_an_in = inflow[LIQUID:]
    V_s = V / 3
    Ds = Q_in / V_s
    derivatives_1 = [Ds * (c_in - 0) + r - l12 + k_pomp * l31
                     for c_in, r, l12, l31 in zip(inflow[:LIQUID], reactions_1, llt_12, llt_31)]
    derivatives_2 = [r + l12 - l23 for r, l12, l23 in zip(reactions_2, llt_12, llt_23)]
    derivatives_3 = [Ds * (0 - c3) + r + l23 - k_pomp * l31
                     for c3, r, l23, l31 in zip(C3, reactions_3, llt_23, llt_31)]
    derivatives = np.array(
        derivatives_1 + [Ds * (S_cat_in - section_1[24]), Ds * (S_an_in - section_1[25]),
                         -S_h2_g * gasflow_t / V_g + lgt8 * V_s / V_g,
                         -S_ch4_g * gasflow_t / V_g + lgt9 * V_s / V_g,
                         -S_co2_g * gasflow_t / V_g + lgt10 * V_s / V_g, 0.0]
        + derivatives_2 + [Ds * (S_cat_in - section_2[24]), Ds * (S_an_in - section_2[25]),
                           0.0, 0.0, 0.0, 0.0]
        + derivatives_3 + [Ds * (S_cat_in - section_3[24]), Ds * (S_an_in - section_3[25]),
                           0.0, 0.0, 0.0])

    # Published for the run, which reads them after each output step: the gas values of the
    # headspace and, as the sections take their turns, section 3's pH and ions.
    gasflow, P_headspace, p_h2, p_ch4, p_co2 = gasflow_t, P_headspace_t, p_h2_t, p_ch4_t, p_co2_t
    pH = pH_3
    S_h_ion, S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion, S_co2, S_nh3 = ions_3
    return derivatives


def section_rates(liquid, partial_pressures, kdis):
    # pH, ions and the reaction terms of one section's 24 liquid species at the disintegration rate kdis.
    # Given the headspace's partial pressures (section 1) the terms include the gas-liquid transfer,
    # which is returned as well.
    (S_su, S_aa, S_fa, S_va, S_bu, S_pro, S_ac, S_h2, S_ch4, S_IC, S_IN, S_I,
     X_c, X_ch, X_pr, X_li, X_su, X_aa, X_fa, X_c4, X_pro, X_ac, X_h2, X_I,
     S_cat, S_an) = liquid

    # pH and ions
    ions = solve_ph(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w, ph_mode,
                    S_h_ion_manual)
    pH_t = ph_of(ions[0])
    S_co2_t = ions[8]
    S_nh3_t = ions[9]

    # Inhibition
    I_IN_lim = 1 / (1 + Ks_IN / S_IN)
    I_h2_fa = 1 / (1 + S_h2 / KI_h2_fa)
    I_h2_c4 = 1 / (1 + S_h2 / KI_h2_c4)
    I_h2_pro = 1 / (1 + S_h2 / KI_h2_pro)
    I_nh3 = 1 / (1 + S_nh3_t / KI_nh3_ac)
    # pH inhibition falls off below the upper limit only.
    if pH_t < I_ph_aa_ul:
        I_ph_aa = exp(-3 * ((pH_t - I_ph_aa_ul) / (I_ph_aa_ul - I_ph_aa_ll)) ** 2)
    else:
        I_ph_aa = 1.0
    if pH_t < I_ph_ac_ul:
        I_ph_ac = exp(-3 * ((pH_t - I_ph_ac_ul) / (I_ph_ac_ul - I_ph_ac_ll)) ** 2)
    else:
        I_ph_ac = 1.0
    if pH_t < I_ph_h2_ul:
        I_ph_h2 = exp(-3 * ((pH_t - I_ph_h2_ul) / (I_ph_h2_ul - I_ph_h2_ll)) ** 2)
    else:
        I_ph_h2 = 1.0
    I5_6 = I_ph_aa * I_IN_lim
    I7 = I5_6 * I_h2_fa
    I8_9 = I5_6 * I_h2_c4
    I10 = I5_6 * I_h2_pro
    I11 = I_ph_ac * I_IN_lim * I_nh3
    I12 = I_ph_h2 * I_IN_lim

    # Process rates; disintegration at the rate that the mixing regression gives.
    bio1 = kdis * X_c
    bio2 = khyd_ch * X_ch
    bio3 = khyd_pr * X_pr
    bio4 = khyd_li * X_li
    bio5 = km_su * X_su * S_su / (Ks_su + S_su) * I5_6
    bio6 = km_aa * X_aa * S_aa / (Ks_aa + S_aa) * I5_6
    bio7 = km_fa * X_fa * S_fa / (Ks_fa + S_fa) * I7
    bio8 = km_c4 * X_c4 * S_va / (Ks_c4 + S_va) * S_va / (S_bu + S_va + 1e-6) * I8_9
    bio9 = km_c4 * X_c4 * S_bu / (Ks_c4 + S_bu) * S_bu / (S_bu + S_va + 1e-6) * I8_9
    bio10 = km_pro * X_pro * S_pro / (Ks_pro + S_pro) * I10
    bio11 = km_ac * X_ac * S_ac / (Ks_ac + S_ac) * I11
    bio12 = km_h2 * X_h2 * S_h2 / (Ks_h2 + S_h2) * I12
    bio13 = kdec_xsu * X_su
    bio14 = kdec_xaa * X_aa
    bio15 = kdec_xfa * X_fa
    bio16 = kdec_xc4 * X_c4
    bio17 = kdec_xpro * X_pro
    bio18 = kdec_xac * X_ac
    bio19 = kdec_xh2 * X_h2

    # Gas-liquid transfer
    if partial_pressures is None:
        lgt8 = lgt9 = lgt10 = 0.0
    else:
        p_h2_t, p_ch4_t, p_co2_t = partial_pressures
        lgt8 = kLa * (S_h2 - 16 * KH_h2 * p_h2_t)
        lgt9 = kLa * (S_ch4 - 64 * KH_ch4 * p_ch4_t)
        lgt10 = kLa * (S_co2_t - KH_co2 * p_co2_t)

    SUM_bio_13_19 = bio13 + bio14 + bio15 + bio16 + bio17 + bio18 + bio19
    SUM_SI = (s1 * bio1 + s2 * bio2 + s3 * bio3 + s4 * bio4 + s5 * bio5 + s6 * bio6 + s7 * bio7
              + s8 * bio8 + s9 * bio9 + s10 * bio10 + s11 * bio11 + s12 * bio12 + s13 * SUM_bio_13_19)

    reactions = [
        bio2 + (1 - f_fa_li) * bio4 - bio5,
        bio3 - bio6,
        f_fa_li * bio4 - bio7,
        (1 - Y_aa) * f_va_aa * bio6 - bio8,
        (1 - Y_su) * f_bu_su * bio5 + (1 - Y_aa) * f_bu_aa * bio6 - bio9,
        (1 - Y_su) * f_pro_su * bio5 + (1 - Y_aa) * f_pro_aa * bio6 + (1 - Y_c4) * 0.54 * bio8 - bio10,
        (1 - Y_su) * f_ac_su * bio5 + (1 - Y_aa) * f_ac_aa * bio6 + (1 - Y_fa) * 0.7 * bio7
        + (1 - Y_c4) * 0.31 * bio8 + (1 - Y_c4) * 0.8 * bio9 + (1 - Y_pro) * 0.57 * bio10 - bio11,
        (1 - Y_su) * f_h2_su * bio5 + (1 - Y_aa) * f_h2_aa * bio6 + (1 - Y_fa) * 0.3 * bio7
        + (1 - Y_c4) * 0.15 * bio8 + (1 - Y_c4) * 0.2 * bio9 + (1 - Y_pro) * 0.43 * bio10 - bio12 - lgt8,
        (1 - Y_ac) * bio11 + (1 - Y_h2) * bio12 - lgt9,
        -SUM_SI - lgt10,
        -Y_su * N_biom * bio5 + (N_aa - Y_aa * N_biom) * bio6 - Y_fa * N_biom * bio7
        - Y_c4 * N_biom * bio8 - Y_c4 * N_biom * bio9 - Y_pro * N_biom * bio10
        - Y_ac * N_biom * bio11 - Y_h2 * N_biom * bio12 + (N_biom - N_Xc) * SUM_bio_13_19
        + (N_Xc - f_XI_xc * N_XI - f_SI_xc * N_SI - f_pr_xc * N_aa) * bio1,
        f_SI_xc * bio1,
        -bio1 + SUM_bio_13_19,
        f_ch_xc * bio1 - bio2,
        f_pr_xc * bio1 - bio3,
        f_li_xc * bio1 - bio4,
        Y_su * bio5 - bio13,
        Y_aa * bio6 - bio14,
        Y_fa * bio7 - bio15,
        Y_c4 * bio8 + Y_c4 * bio9 - bio16,
        Y_pro * bio10 - bio17,
        Y_ac * bio11 - bio18,
        Y_h2 * bio12 - bio19,
        f_XI_xc * bio1]
    return ions, pH_t, (lgt8, lgt9, lgt10), reactions


def mixing_regression(a, x, y):
    # A run value from the mixing interval x (min) and the hydraulic retention time y (d). Used as it
    # stands: nothing clamps a negative coefficient or feed concentration.
    return a[0] + a[1] * x + a[2] * y + a[3] * x ** 2 + a[4] * x * y + a[5] * y ** 2


# The values of the mixing regressions that the rates take, by name (mixing_at).
MIXING_RATES = ('kLl_12_s', 'kLl_23_s', 'kLl_31_s', 'x_delay', 'k_pomp', 'kdis')


def mixing_at(Q_in):
    # The mixing under the feed flow Q_in: exchange coefficients (1/d), particulate delay factor, pump
    # return factor, disintegration rate (1/d) and the feed's inorganic nitrogen and carbon (kmol/m3),
    # from the mixing interval and the hydraulic retention time of the whole liquid.
    HRT = V / Q_in
    return dict(
        kLl_12_s=mixing_regression((0.65939, -0.014764, -0.081095, 0.00043763, 3.735e-05, 0.0030288), mix_i, HRT),
        kLl_23_s=mixing_regression((0.53937, -0.049883, 0.025795, 0.0025947, -0.0043829, 0.0022456), mix_i, HRT),
        kLl_31_s=mixing_regression((1.3351, 0.034203, -0.27055, -3.7303e-05, -0.0030278, 0.015111), mix_i, HRT),
        x_delay=mixing_regression((19.016, -0.014597, -3.2788, -0.0045615, 0.022532, 0.14481), mix_i, HRT),
        k_pomp=mixing_regression((3.4157, 0.032366, -0.58403, 0.00045992, -0.004507, 0.028205), mix_i, HRT),
        kdis=mixing_regression((4.712, -0.041905, -0.59706, 0.00068332, 0.0015174, 0.020604), mix_i, HRT),
        S_IN_in=mixing_regression((0.055021, 0.0078456, -0.026358, -0.00039791, 0.0010857, 0.0017123),
                                  mix_i, HRT),
        S_IC_in=mixing_regression((0.1364, 0.012179, -0.047468, -0.00051993, 0.0010464, 0.001959), mix_i, HRT))


def set_run_values(final_Q_in, X_c_in_t, ph_mode_t, S_h_ion_manual_t, f_pr_xc_t, f_li_xc_t, f_ch_xc_t,
                   T_1, P_atm1, V_t1, mix_i_t, feed=None):
    # Module-level values that tank reads, all set anew for every run. The model constants (km_ac,
    # Y_su, C_su, pKa_co2, ...) are module-level names the program sets before every run; the mixing
    # (mixing_rows) replaces kdis.
    global S_h_ion_manual, f_pr_xc, f_li_xc, f_ch_xc, ph_mode, mix_i, mixing_rows, feed_days, feed_rows, \
        R, f_XI_xc, f_SI_xc, s1, s2, s3, s4, s5, s6, s7, s8, s9, s10, s11, s12, s13, \
        V, V_g, T, P_atm, Ka_co2, Ka_IN, K_w, KH_h2, KH_ch4, KH_co2, p_h2o
    S_h_ion_manual = S_h_ion_manual_t
    f_pr_xc = f_pr_xc_t
    f_li_xc = f_li_xc_t
    f_ch_xc = f_ch_xc_t
    ph_mode = ph_mode_t
    mix_i = mix_i_t
    R = 0.083145

    f_inerts_xc = 1.0 - (f_pr_xc + f_li_xc + f_ch_xc)
    f_XI_xc = 2 / 3 * f_inerts_xc
    f_SI_xc = 1 / 3 * f_inerts_xc

    # Carbon balance of each process (kmol C per kg COD)
    s1 = -C_Xc + f_SI_xc * C_SI + f_ch_xc * C_ch + f_pr_xc * C_pr + f_li_xc * C_li + f_XI_xc * C_XI
    s2 = -C_ch + C_su
    s3 = -C_pr + C_aa
    s4 = -C_li + (1 - f_fa_li) * C_su + f_fa_li * C_fa
    s5 = -C_su + (1 - Y_su) * (f_bu_su * C_bu + f_pro_su * C_pro + f_ac_su * C_ac) + Y_su * C_biom
    s6 = (-C_aa + (1 - Y_aa) * (f_va_aa * C_va + f_bu_aa * C_bu + f_pro_aa * C_pro + f_ac_aa * C_ac)
          + Y_aa * C_biom)
    s7 = -C_fa + (1 - Y_fa) * 0.7 * C_ac + Y_fa * C_biom
    s8 = -C_va + (1 - Y_c4) * 0.54 * C_pro + (1 - Y_c4) * 0.31 * C_ac + Y_c4 * C_biom
    s9 = -C_bu + (1 - Y_c4) * 0.8 * C_ac + Y_c4 * C_biom
    s10 = -C_pro + (1 - Y_pro) * 0.57 * C_ac + Y_pro * C_biom
    s11 = -C_ac + (1 - Y_ac) * C_ch4 + Y_ac * C_biom
    s12 = (1 - Y_h2) * C_ch4 + Y_h2 * C_biom
    s13 = -C_biom + C_Xc

    # Liquid to headspace volume 0.075 : 0.065; each section holds a third of the liquid.
    V = 0.075 / 0.14 * V_t1
    V_g = 0.065 / 0.14 * V_t1
    T = T_1
    P_atm = P_atm1

    # Equilibrium constants at 298 K, corrected to the digester temperature (van 't Hoff)
    Ka_co2 = 10 ** -pKa_co2 * exp(deltaH0_Ka_co2 / (R * 100) * (1 / 298 - 1 / T))
    Ka_IN = 10 ** -pKa_nh3 * exp(deltaH0_Ka_nh4 / (R * 100) * (1 / 298 - 1 / T))
    K_w = 10 ** -pKa_h2o * exp(deltaH0_Ka_h2o / (R * 100) * (1 / 298 - 1 / T))
    KH_h2 = KH_h2_298 * exp(deltaH0_KH_h2 / (R * 100) * (1 / 298 - 1 / T))
    KH_ch4 = KH_ch4_298 * exp(deltaH0_KH_ch4 / (R * 100) * (1 / 298 - 1 / T))
    KH_co2 = KH_co2_298 * exp(deltaH0_KH_co2 / (R * 100) * (1 / 298 - 1 / T))
    p_h2o = p_h2o_298 * exp(p_h2o_slope * (1 / 298 - 1 / T))

    # No start-up ramp: the built-in feed is the final flow from day 0 on. Each feed row has the mixing
    # under its own flow (mixing_at), in force while the row is: a change of the flow changes the mixing
    # from its day on.
    if feed is None:
        feed = {'day': [0.0], 'Q_in': [final_Q_in], 'X_c_in': [X_c_in_t]}
    mixing_rows = [mixing_at(Q_in) for Q_in in feed['Q_in']]

    def inorganic(Q_in):
        mixing = mixing_at(Q_in)
        return mixing['S_IC_in'], mixing['S_IN_in']
    feed_days, feed_rows = feed_schedule(final_Q_in, X_c_in_t, inorganic, feed)


def initial_row():
    # The start: the initial state (the sections start equal, so also their means) and the pH entered
    # on the input page, in either pH mode.
    values = dict.fromkeys(RESULT_COLUMNS, 0.0)
    values.update(zip(STATE_NAMES, INITIAL_STATE))
    values['pH'] = -log10(S_h_ion_manual)
    values['S_h_ion'] = S_h_ion_manual
    return [values[name] for name in RESULT_COLUMNS]


def report_row(t, y):
    # One output row: the section means and the headspace reached at t, and the values tank published
    # for them.
    state = y.tolist()
    values = {name: (state[i] + state[SECTION_2 + i] + state[SECTION_3 + i]) / 3
              for i, name in enumerate(STATE_NAMES[:LIQUID + 2])}
    values.update(zip(STATE_NAMES[LIQUID + 2:], state[LIQUID + 2:SECTION_2 - 1]))
    COD_S = (values['S_aa'] + values['S_ac'] + values['S_bu'] + values['S_ch4'] + values['S_fa']
             + values['S_h2'] + values['S_I'] + values['S_pro'] + values['S_su'] + values['S_va'])
    COD_X = (values['X_aa'] + values['X_ac'] + values['X_c'] + values['X_c4'] + values['X_ch']
             + values['X_fa'] + values['X_h2'] + values['X_I'] + values['X_li'] + values['X_pr']
             + values['X_pro'] + values['X_su'])
    if P_headspace < P_atm:
        gasflow_N = 0.0
    else:
        gasflow_N = P_atm * gasflow * 273.15 / (T * 1.01325)
    values.update(
        t=t, gasflow=gasflow, gasflow_N=gasflow_N,
        p_ch4_adjust=p_ch4 / P_headspace * 100, p_co2_adjust=p_co2 / P_headspace * 100,
        p_h2_adjust=p_h2 / P_headspace * 100, p_h2o_adjust=p_h2o / P_headspace * 100,
        pH=pH, COD_Tot=COD_S + COD_X, COD_S=COD_S, COD_X=COD_X, S_co2=S_co2, S_nh3=S_nh3,
        S_ac_ion=S_ac_ion, S_bu_ion=S_bu_ion, S_hco3_ion=S_hco3_ion, S_h_ion=S_h_ion,
        S_nh4_ion=S_nh4_ion, S_oh_ion=S_oh_ion, S_pro_ion=S_pro_ion, S_va_ion=S_va_ion)
    return [values[name] for name in RESULT_COLUMNS]


def row_at(rhs, t, y):
    # The output row of the state y on day t, with the values that one evaluation of rhs there publishes.
    rhs(t, y)
    if rhs is not tank:
        globals().update(rhs.published()[0])
    return report_row(t, y)


# feed: None for the built-in feed, or the schedule's columns by name (see feed_schedule).
# initial_state: None for the start-up state, 'steady', or a saved state's blocks (see start_state).
# start_day: the day the saved state was reached; the run goes on from there to day t_end, its rows
# and its feed carry those days. The start-up and the steady state start on day 0.
# ph_solver: the free pH's solver, 'exact' or 'damped' (see start_ph_solver).
def MyFunc(final_Q_in, t_end, X_c_in_t, ph_mode_t, S_h_ion_manual_t, f_pr_xc_t, f_li_xc_t, f_ch_xc_t,
           T_1, P_atm1, V_t1, mix_i_t, callback, getvalue, feed=None, initial_state=None, engine='native',
           start_day=0.0, ph_solver='exact'):
    global rhs_evaluations, final_state, stop_reason
    rhs_evaluations = 0
    final_state = None
    stop_reason = None
    set_run_values(final_Q_in, X_c_in_t, ph_mode_t, S_h_ion_manual_t, f_pr_xc_t, f_li_xc_t, f_ch_xc_t,
                   T_1, P_atm1, V_t1, mix_i_t, feed)
    start_ph_solver(ph_solver)

    # The kernel computes tank's numbers from this namespace's constants and the feed in force.
    rhs = tank if digestra_kernel is None else digestra_kernel.PumpMixed(globals(), feed_table())
    t_final = t_end
    num_steps = floor(round((t_final - start_day) / OUTPUT_INTERVAL, 10)) + 1  # a row per started tenth of a day
    r = Integration(rhs, start_state(initial_state, INITIAL_SECTIONS, rhs), start_day)

    results = np.zeros((num_steps, len(RESULT_COLUMNS)))
    results[0] = initial_row() if initial_state is None else row_at(rhs, start_day, r.y)
    if engine == 'compiled':
        def row(t, y, published):
            globals().update(published[0])
            return report_row(t, y)
        return integrate_compiled(rhs, r.y, start_day, callback, getvalue, results, row)
    k = 1
    # A failed step still gives its row; the rows after it stay at zero.
    while r.successful() and k < num_steps:
        if getvalue() == 1:
            return None
        t = round(start_day + k * OUTPUT_INTERVAL, 10)  # exact, free of accumulated rounding
        r.integrate(t)
        if r.error is not None:
            break  # no row past the state reached before the model failed
        callback(r.t - start_day, t_final - start_day)
        results[k] = row_at(rhs, r.t, r.y)  # r.t: t, or where a failed step left the state
        k += 1
    if rhs is not tank:
        rhs_evaluations = rhs.evaluations
    if r.successful():
        final_state = state_blocks(r.y)
    stop_reason = r.stop_reason()
    return results