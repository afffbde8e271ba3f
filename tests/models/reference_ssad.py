"""A plain, unoptimised transcription of the pH solver and the single-stage model: numpy scalars
straight from the state vector, every constant recomputed where the equations use it, no caching.
The free pH is either the root of the charge balance, found by Newton's method kept in a bracket and
started from the previous call's root ('exact'), or the 101 damped passes of earlier versions.
The optimised scripts must reproduce its tables bit for bit; it also serves as the yardstick of
their speed."""
import math

import numpy as np
from scipy import integrate


ph_solver = 'exact'
last_S_H = None


def solve_ph(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w, ph_mode,
             S_h_ion_manual):
    global last_S_H
    Ka_ac = 10 ** -4.76
    Ka_bu = 10 ** -4.82
    Ka_pro = 10 ** -4.88
    Ka_va = 10 ** -4.86
    TOL = 1e-12
    MaxSteps = 100

    def ions(S_H):
        return (S_H * S_IN / (Ka_IN + S_H),
                Ka_co2 * S_IC / (Ka_co2 + S_H),
                Ka_ac * S_ac / (Ka_ac + S_H),
                Ka_bu * S_bu / (Ka_bu + S_H),
                Ka_va * S_va / (Ka_va + S_H),
                Ka_pro * S_pro / (Ka_pro + S_H),
                K_w / S_H)

    if ph_mode != 1:
        S_H = S_h_ion_manual
        S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion = ions(S_H)
        S_co2 = S_IC - S_hco3_ion
        S_nh3 = Ka_IN * S_IN / (Ka_IN + S_H)
        return S_H, S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion, S_co2, S_nh3

    if ph_solver == 'exact':
        S_H = last_S_H if last_S_H is not None and 0 < last_S_H < math.inf else 5.79e-8
        lo = 0.0
        hi = math.inf
        while True:
            S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion = ions(S_H)
            Delta = (S_H + S_cat - S_an + S_nh4_ion - S_hco3_ion - S_ac_ion / 64 - S_bu_ion / 160
                     - S_va_ion / 208 - S_pro_ion / 112 - S_oh_ion)
            if Delta > 0:
                hi = S_H
            elif Delta < 0:
                lo = S_H
            else:
                break
            d_nh4 = Ka_IN * S_IN / (Ka_IN + S_H) ** 2
            d_hco3 = -Ka_co2 * S_IC / (Ka_co2 + S_H) ** 2
            d_ac = -Ka_ac * S_ac / (Ka_ac + S_H) ** 2
            d_bu = -Ka_bu * S_bu / (Ka_bu + S_H) ** 2
            d_va = -Ka_va * S_va / (Ka_va + S_H) ** 2
            d_pro = -Ka_pro * S_pro / (Ka_pro + S_H) ** 2
            d_oh = -K_w / S_H ** 2
            dDelta = 1 + d_nh4 - d_hco3 - d_ac / 64 - d_bu / 160 - d_va / 208 - d_pro / 112 - d_oh
            step = Delta / dDelta
            if abs(step) <= 1e-12 * S_H or hi - lo <= 1e-12 * S_H:
                break
            S_H = S_H - step
            if not (lo < S_H < hi):
                if lo > 0 and hi < math.inf:
                    S_H = math.sqrt(lo * hi)
                elif lo == 0:
                    S_H = hi * 0.1
                else:
                    S_H = lo * 10
        last_S_H = S_H
        S_co2 = S_IC - S_hco3_ion
        S_nh3 = Ka_IN * S_IN / (Ka_IN + S_H)
        return S_H, S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion, S_co2, S_nh3

    H0 = 5.79e-8
    S_H = H0
    i = 1
    go_on = True
    while go_on:
        S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion = ions(S_H)
        d_nh4 = Ka_IN * S_IN / (Ka_IN + S_H) ** 2
        d_hco3 = -Ka_co2 * S_IC / (Ka_co2 + S_H) ** 2
        d_ac = -Ka_ac * S_ac / (Ka_ac + S_H) ** 2
        d_bu = -Ka_bu * S_bu / (Ka_bu + S_H) ** 2
        d_va = -Ka_va * S_va / (Ka_va + S_H) ** 2
        d_pro = -Ka_pro * S_pro / (Ka_pro + S_H) ** 2
        d_oh = -K_w / S_H ** 2
        Delta = (S_H + S_cat - S_an + S_nh4_ion - S_hco3_ion - S_ac_ion / 64 - S_bu_ion / 160
                 - S_va_ion / 208 - S_pro_ion / 112 - S_oh_ion)
        dDelta = 1 + d_nh4 - d_hco3 - d_ac - d_bu - d_va - d_pro - d_oh
        S_H = H0 - 0.01 * Delta / dDelta
        H0 = S_H
        go_on = (abs(Delta) > TOL) and (i <= MaxSteps)
        i = i + 1
    S_co2 = S_IC - S_hco3_ion
    S_nh3 = Ka_IN * S_IN / (Ka_IN + S_H)
    return S_H, S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion, S_co2, S_nh3


def tank(t, y):
    global rhs_evaluations, gasflow, P_headspace, p_h2, p_ch4, p_co2, pH, S_h_ion, S_nh4_ion, \
        S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion, S_co2, S_nh3
    rhs_evaluations += 1
    S_su = y[0]; S_aa = y[1]; S_fa = y[2]; S_va = y[3]; S_bu = y[4]; S_pro = y[5]; S_ac = y[6]
    S_h2 = y[7]; S_ch4 = y[8]; S_IC = y[9]; S_IN = y[10]; S_I = y[11]; X_c = y[12]; X_ch = y[13]
    X_pr = y[14]; X_li = y[15]; X_su = y[16]; X_aa = y[17]; X_fa = y[18]; X_c4 = y[19]
    X_pro = y[20]; X_ac = y[21]; X_h2 = y[22]; X_I = y[23]; S_cat = y[24]; S_an = y[25]
    S_h2_g = y[26]; S_ch4_g = y[27]; S_co2_g = y[28]

    I_ph_aa_ll = 4.0; I_ph_aa_ul = 5.5; I_ph_ac_ll = 6.0; I_ph_ac_ul = 7.0
    I_ph_h2_ll = 5.0; I_ph_h2_ul = 6.0
    kdec_xsu = 0.02; kdec_xaa = 0.02; kdec_xfa = 0.02; kdec_xc4 = 0.02; kdec_xpro = 0.02
    kdec_xac = 0.02; kdec_xh2 = 0.02
    kdis = 0.5; khyd_ch = 10.0; khyd_pr = 10.0; khyd_li = 10.0
    KI_h2_fa = 5e-6; KI_h2_c4 = 1e-5; KI_h2_pro = 3.5e-6; KI_nh3_ac = 0.0018
    kLa = 200.0
    km_su = 30.0; km_aa = 50.0; km_fa = 6.0; km_c4 = 20.0; km_pro = 13.0; km_ac = 8.0; km_h2 = 35.0
    Ks_su = 0.5; Ks_aa = 0.3; Ks_fa = 0.4; Ks_c4 = 0.2; Ks_pro = 0.1; Ks_ac = 0.15; Ks_h2 = 7e-6
    Ks_IN = 0.0001
    k_p = 1e4
    N_aa = 0.007; N_biom = 0.00571; N_SI = 0.00429; N_Xc = 0.00269; N_XI = 0.00429

    result = solve_ph(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w, ph_mode,
                      S_h_ion_manual)
    S_h_ion = result[0]
    pH = -math.log10(S_h_ion)
    S_nh4_ion = result[1]; S_hco3_ion = result[2]; S_ac_ion = result[3]; S_bu_ion = result[4]
    S_va_ion = result[5]; S_pro_ion = result[6]; S_oh_ion = result[7]; S_co2 = result[8]
    S_nh3 = result[9]

    I_IN_lim = 1 / (1 + Ks_IN / S_IN)
    I_h2_fa = 1 / (1 + S_h2 / KI_h2_fa)
    I_h2_c4 = 1 / (1 + S_h2 / KI_h2_c4)
    I_h2_pro = 1 / (1 + S_h2 / KI_h2_pro)
    I_nh3 = 1 / (1 + S_nh3 / KI_nh3_ac)
    if pH < I_ph_aa_ul:
        I_ph_aa = math.exp(-3 * ((pH - I_ph_aa_ul) / (I_ph_aa_ul - I_ph_aa_ll)) ** 2)
    else:
        I_ph_aa = 1
    if pH < I_ph_ac_ul:
        I_ph_ac = math.exp(-3 * ((pH - I_ph_ac_ul) / (I_ph_ac_ul - I_ph_ac_ll)) ** 2)
    else:
        I_ph_ac = 1
    if pH < I_ph_h2_ul:
        I_ph_h2 = math.exp(-3 * ((pH - I_ph_h2_ul) / (I_ph_h2_ul - I_ph_h2_ll)) ** 2)
    else:
        I_ph_h2 = 1
    I5_6 = I_ph_aa * I_IN_lim
    I7 = I_ph_aa * I_IN_lim * I_h2_fa
    I8_9 = I_ph_aa * I_IN_lim * I_h2_c4
    I10 = I_ph_aa * I_IN_lim * I_h2_pro
    I11 = I_ph_ac * I_IN_lim * I_nh3
    I12 = I_ph_h2 * I_IN_lim

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

    p_h2 = S_h2_g * R * T / 16
    p_ch4 = S_ch4_g * R * T / 64
    p_co2 = S_co2_g * R * T
    lgt8 = kLa * (S_h2 - 16 * KH_h2 * p_h2)
    lgt9 = kLa * (S_ch4 - 64 * KH_ch4 * p_ch4)
    lgt10 = kLa * (S_co2 - KH_co2 * p_co2)

    SUM_SI = (s1 * bio1 + s2 * bio2 + s3 * bio3 + s4 * bio4 + s5 * bio5 + s6 * bio6 + s7 * bio7
              + s8 * bio8 + s9 * bio9 + s10 * bio10 + s11 * bio11 + s12 * bio12
              + s13 * (bio13 + bio14 + bio15 + bio16 + bio17 + bio18 + bio19))
    SUM_bio_13_19 = bio13 + bio14 + bio15 + bio16 + bio17 + bio18 + bio19

    if t == 0:
        Q_in = input_Q_in[0]
    elif t <= len(input_Q_in) - 1:
        Q_in = input_Q_in[int(np.ceil(t)) - 1]
    else:
        Q_in = input_Q_in[len(input_Q_in) - 1]

    P_headspace = p_co2 + p_h2 + p_ch4 + p_h2o
    if P_headspace < P_atm:
        gasflow = 0
    else:
        gasflow = k_p * V_g * (P_headspace - P_atm) * P_headspace / P_atm

    D = Q_in / V
    dy = np.zeros(29)
    dy[0] = D * (0 - S_su) + bio2 + (1 - f_fa_li) * bio4 - bio5
    dy[1] = D * (0 - S_aa) + bio3 - bio6
    dy[2] = D * (0 - S_fa) + f_fa_li * bio4 - bio7
    dy[3] = D * (0 - S_va) + (1 - Y_aa) * f_va_aa * bio6 - bio8
    dy[4] = D * (0 - S_bu) + (1 - Y_su) * f_bu_su * bio5 + (1 - Y_aa) * f_bu_aa * bio6 - bio9
    dy[5] = (D * (0 - S_pro) + (1 - Y_su) * f_pro_su * bio5 + (1 - Y_aa) * f_pro_aa * bio6
             + (1 - Y_c4) * 0.54 * bio8 - bio10)
    dy[6] = (D * (0 - S_ac) + (1 - Y_su) * f_ac_su * bio5 + (1 - Y_aa) * f_ac_aa * bio6
             + (1 - Y_fa) * 0.7 * bio7 + (1 - Y_c4) * 0.31 * bio8 + (1 - Y_c4) * 0.8 * bio9
             + (1 - Y_pro) * 0.57 * bio10 - bio11)
    dy[7] = (D * (0 - S_h2) + (1 - Y_su) * f_h2_su * bio5 + (1 - Y_aa) * f_h2_aa * bio6
             + (1 - Y_fa) * 0.3 * bio7 + (1 - Y_c4) * 0.15 * bio8 + (1 - Y_c4) * 0.2 * bio9
             + (1 - Y_pro) * 0.43 * bio10 - bio12 - lgt8)
    dy[8] = D * (0 - S_ch4) + (1 - Y_ac) * bio11 + (1 - Y_h2) * bio12 - lgt9
    dy[9] = D * (S_IC_in - S_IC) - SUM_SI - lgt10
    dy[10] = (D * (S_IN_in - S_IN) - Y_su * N_biom * bio5 + (N_aa - Y_aa * N_biom) * bio6
              - Y_fa * N_biom * bio7 - Y_c4 * N_biom * bio8 - Y_c4 * N_biom * bio9
              - Y_pro * N_biom * bio10 - Y_ac * N_biom * bio11 - Y_h2 * N_biom * bio12
              + (N_biom - N_Xc) * SUM_bio_13_19
              + (N_Xc - f_XI_xc * N_XI - f_SI_xc * N_SI - f_pr_xc * N_aa) * bio1)
    dy[11] = D * (0 - S_I) + f_SI_xc * bio1
    dy[12] = D * (X_c_in - X_c) - bio1 + SUM_bio_13_19
    dy[13] = D * (0 - X_ch) + f_ch_xc * bio1 - bio2
    dy[14] = D * (0 - X_pr) + f_pr_xc * bio1 - bio3
    dy[15] = D * (0 - X_li) + f_li_xc * bio1 - bio4
    dy[16] = D * (0 - X_su) + Y_su * bio5 - bio13
    dy[17] = D * (0 - X_aa) + Y_aa * bio6 - bio14
    dy[18] = D * (0 - X_fa) + Y_fa * bio7 - bio15
    dy[19] = D * (0 - X_c4) + Y_c4 * bio8 + Y_c4 * bio9 - bio16
    dy[20] = D * (0 - X_pro) + Y_pro * bio10 - bio17
    dy[21] = D * (0 - X_ac) + Y_ac * bio11 - bio18
    dy[22] = D * (0 - X_h2) + Y_h2 * bio12 - bio19
    dy[23] = D * (0 - X_I) + f_XI_xc * bio1
    dy[24] = D * ((S_IC_in + 0.035) - S_cat)
    dy[25] = D * (S_IN_in - S_an)
    dy[26] = -S_h2_g * gasflow / V_g + lgt8 * V / V_g
    dy[27] = -S_ch4_g * gasflow / V_g + lgt9 * V / V_g
    dy[28] = -S_co2_g * gasflow / V_g + lgt10 * V / V_g
    return dy


def set_run_values(final_Q_in, X_c_in_t, ph_mode_t, S_h_ion_manual_t, f_pr_xc_t, f_li_xc_t,
                   f_ch_xc_t, T_1, P_atm1, V_t1):
    global S_h_ion_manual, f_pr_xc, f_li_xc, f_ch_xc, X_c_in, ph_mode, S_IN_in, \
        S_IC_in, f_ac_su, f_bu_su, f_pro_su, f_h2_su, f_ac_aa, f_bu_aa, f_pro_aa, f_va_aa, f_h2_aa, \
        f_fa_li, Y_su, Y_aa, Y_fa, Y_c4, Y_pro, Y_ac, Y_h2, R, f_XI_xc, f_SI_xc, s1, s2, s3, s4, s5, \
        s6, s7, s8, s9, s10, s11, s12, s13, V, V_g, T, P_atm, Ka_co2, Ka_IN, K_w, KH_h2, KH_ch4, \
        KH_co2, p_h2o, input_Q_in
    S_h_ion_manual = S_h_ion_manual_t
    f_pr_xc = f_pr_xc_t
    f_li_xc = f_li_xc_t
    f_ch_xc = f_ch_xc_t
    X_c_in = X_c_in_t
    ph_mode = ph_mode_t
    S_IN_in = 0
    S_IC_in = 0
    f_ac_su = 0.41; f_bu_su = 0.13; f_pro_su = 0.27; f_h2_su = 0.19
    f_ac_aa = 0.4; f_bu_aa = 0.26; f_pro_aa = 0.05; f_va_aa = 0.23; f_h2_aa = 0.06
    f_fa_li = 0.95
    Y_su = 0.1; Y_aa = 0.08; Y_fa = 0.06; Y_c4 = 0.06; Y_pro = 0.04; Y_ac = 0.05; Y_h2 = 0.06
    R = 0.083145
    f_inerts_xc = 1.0 - (f_pr_xc + f_li_xc + f_ch_xc)
    f_XI_xc = 2.0 / 3.0 * f_inerts_xc
    f_SI_xc = 1.0 / 3.0 * f_inerts_xc

    C_aa = 0.03; C_ac = 0.03125; C_biom = 0.03125; C_bu = 0.025; C_ch = 0.0313; C_ch4 = 0.015625
    C_fa = 0.0217; C_li = 0.022; C_pr = 0.03; C_pro = 0.0267857142857143; C_SI = 0.03
    C_su = 0.03125; C_va = 0.0240384615384615; C_Xc = 0.0279; C_XI = 0.03
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

    V = 28.0 / 33.0 * V_t1
    V_g = 5.0 / 33.0 * V_t1
    T = T_1
    P_atm = P_atm1

    def correction(deltaH):
        return math.exp(deltaH / (R * 100) * (1 / 298 - 1 / T))

    Ka_co2 = 10 ** -6.35 * correction(7646)
    Ka_IN = 10 ** -9.25 * correction(51965)
    K_w = 10 ** -14.0 * correction(55900)
    KH_h2 = 0.00078 * correction(-4180)
    KH_ch4 = 0.0014 * correction(-14240)
    KH_co2 = 0.035 * correction(-19410)
    p_h2o = 0.0313 * math.exp(5290 * (1 / 298 - 1 / T))

    input_Q_in = []
    for i in range(41):
        input_Q_in.append(final_Q_in * (0.01875 * i + 0.25))


def MyFunc(final_Q_in, t_end, X_c_in_t, ph_mode_t, S_h_ion_manual_t, f_pr_xc_t, f_li_xc_t, f_ch_xc_t,
           T_1, P_atm1, V_t1, callback, getvalue, ph_solver='exact'):
    global rhs_evaluations, last_S_H
    rhs_evaluations = 0
    globals()['ph_solver'] = ph_solver
    last_S_H = None
    set_run_values(final_Q_in, X_c_in_t, ph_mode_t, S_h_ion_manual_t, f_pr_xc_t, f_li_xc_t, f_ch_xc_t,
                   T_1, P_atm1, V_t1)

    # The feed changes after each of days 1 to 40: the integration stops there and starts afresh, and
    # until it gets there it sees the feed before the change.
    change = {'day': 1.0}
    r = integrate.ode(lambda t, y: tank(change['day'], y)).set_integrator('lsoda', atol=1e-12, rtol=1e-6)
    t_final = t_end
    num_steps = int(np.floor(round((t_final - 0.0) / 0.1, 10))) + 1
    y0 = [0.0126099, 0.0056389, 0.109845, 0.0117245, 0.0148542, 0.0179604, 0.0492285, 2.55e-7,
          0.0542531, 0.0750682, 0.0324451, 1.67072, 1.04006, 0.0103452, 0.0103452, 0.0155177,
          0.354125, 0.356823, 0.390669, 0.144876, 0.0609795, 0.470399, 0.223732, 19.9414, 0.04,
          0.0035714, 1.18e-5, 1.669890973, 0.0112951]
    r.set_initial_value(y0, 0.0)

    out = np.zeros((num_steps, 50))
    state_columns = {11: 27, 12: 28, 13: 26, 14: 1, 15: 6, 16: 25, 17: 4, 18: 24, 19: 8, 21: 2,
                     22: 7, 23: 11, 24: 9, 25: 10, 27: 5, 28: 0, 29: 3, 30: 17, 31: 21, 32: 12,
                     33: 19, 34: 13, 35: 18, 36: 22, 37: 23, 38: 15, 39: 14, 40: 20, 41: 16}
    out[0, 0] = 0.0
    for col, idx in state_columns.items():
        out[0, col] = y0[idx]
    out[0, 7] = -math.log10(S_h_ion_manual)
    out[0, 45] = S_h_ion_manual

    k = 1
    while r.successful() and k < num_steps:
        if getvalue() == 1:
            return None
        t = round(k * 0.1, 10)
        while change['day'] < t and r.successful():
            r.integrate(change['day'])
            if r.successful():
                r.set_initial_value(r.y, change['day'])
                change['day'] = change['day'] + 1 if change['day'] < 40 else math.inf
        if r.successful():
            r.integrate(t)
        tank(r.t, r.y)
        callback(r.t, t_final)
        y = r.y
        if P_headspace < P_atm:
            gasflow_N = 0
        else:
            gasflow_N = P_atm * gasflow * 273.15 / (T * 1.01325)
        COD_S = y[1] + y[6] + y[4] + y[8] + y[2] + y[7] + y[11] + y[5] + y[0] + y[3]
        COD_X = (y[17] + y[21] + y[12] + y[19] + y[13] + y[18] + y[22] + y[23] + y[15] + y[14]
                 + y[20] + y[16])
        out[k, 0] = r.t
        out[k, 1] = gasflow
        out[k, 2] = gasflow_N
        out[k, 3] = p_ch4 / P_headspace * 100
        out[k, 4] = p_co2 / P_headspace * 100
        out[k, 5] = p_h2 / P_headspace * 100
        out[k, 6] = p_h2o / P_headspace * 100
        out[k, 7] = pH
        out[k, 8] = COD_S + COD_X
        out[k, 9] = COD_S
        out[k, 10] = COD_X
        for col, idx in state_columns.items():
            out[k, col] = y[idx]
        out[k, 20] = S_co2
        out[k, 26] = S_nh3
        out[k, 42] = S_ac_ion
        out[k, 43] = S_bu_ion
        out[k, 44] = S_hco3_ion
        out[k, 45] = S_h_ion
        out[k, 46] = S_nh4_ion
        out[k, 47] = S_oh_ion
        out[k, 48] = S_pro_ion
        out[k, 49] = S_va_ion
        k = k + 1
    return out
