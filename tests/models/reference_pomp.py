"""A plain, unoptimised transcription of the pump-mixed model: numpy scalars straight from the state
vector, the three sections evaluated one after the other by the same literal code, no caching. It runs
like the model script, composed with the solver script. The optimised script must reproduce its tables
bit for bit; it also serves as the yardstick of its speed."""
import math

import numpy as np
from scipy import integrate

rhs_evaluations = 0


def tank(t, y):
    global rhs_evaluations, gasflow, P_headspace, p_h2, p_ch4, p_co2, pH, S_h_ion, S_nh4_ion, \
        S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion, S_co2, S_nh3
    rhs_evaluations += 1
    I_ph_aa_ll = 4.0; I_ph_aa_ul = 5.5; I_ph_ac_ll = 6.0; I_ph_ac_ul = 7.0
    I_ph_h2_ll = 5.0; I_ph_h2_ul = 6.0
    kdec_xsu = 0.02; kdec_xaa = 0.02; kdec_xfa = 0.02; kdec_xc4 = 0.02; kdec_xpro = 0.02
    kdec_xac = 0.02; kdec_xh2 = 0.02
    khyd_ch = 10.0; khyd_pr = 10.0; khyd_li = 10.0
    KI_h2_fa = 5e-6; KI_h2_c4 = 1e-5; KI_h2_pro = 3.5e-6; KI_nh3_ac = 0.0018
    kLa = 200.0
    km_su = 30.0; km_aa = 50.0; km_fa = 6.0; km_c4 = 20.0; km_pro = 13.0; km_ac = 8.0; km_h2 = 35.0
    Ks_su = 0.5; Ks_aa = 0.3; Ks_fa = 0.4; Ks_c4 = 0.2; Ks_pro = 0.1; Ks_ac = 0.15; Ks_h2 = 7e-6
    Ks_IN = 0.0001
    k_p = 1e4
    N_aa = 0.007; N_biom = 0.00571; N_SI = 0.00429; N_Xc = 0.00269; N_XI = 0.00429

    dydt = np.zeros(89)

    # Exchange between the sections; particulates (12 to 23) x_delay times as fast.
    llt_12 = np.zeros(24)
    llt_23 = np.zeros(24)
    llt_31 = np.zeros(24)
    for i in range(24):
        if i < 12:
            k12 = kLl_12_s
            k23 = kLl_23_s
            k31 = kLl_31_s
        else:
            k12 = kLl_12_s * x_delay
            k23 = kLl_23_s * x_delay
            k31 = kLl_31_s * x_delay
        llt_12[i] = k12 * (y[i] - y[30 + i])
        llt_23[i] = k23 * (y[30 + i] - y[60 + i])
        llt_31[i] = k31 * (y[60 + i] - y[i])

    Q_in = input_Q_in[40]
    Ds = Q_in / (V / 3)

    for section in range(3):
        o = 30 * section
        S_su = y[o + 0]; S_aa = y[o + 1]; S_fa = y[o + 2]; S_va = y[o + 3]; S_bu = y[o + 4]
        S_pro = y[o + 5]; S_ac = y[o + 6]; S_h2 = y[o + 7]; S_ch4 = y[o + 8]; S_IC = y[o + 9]
        S_IN = y[o + 10]; S_I = y[o + 11]; X_c = y[o + 12]; X_ch = y[o + 13]; X_pr = y[o + 14]
        X_li = y[o + 15]; X_su = y[o + 16]; X_aa = y[o + 17]; X_fa = y[o + 18]; X_c4 = y[o + 19]
        X_pro = y[o + 20]; X_ac = y[o + 21]; X_h2 = y[o + 22]; X_I = y[o + 23]
        S_cat = y[o + 24]; S_an = y[o + 25]

        (S_h_ion, S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion,
         S_co2, S_nh3) = solve_ph(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an,
                                  Ka_IN, Ka_co2, K_w, ph_mode, S_h_ion_manual)
        pH = -math.log10(S_h_ion)

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

        if section == 0:
            S_h2_g = y[26]
            S_ch4_g = y[27]
            S_co2_g = y[28]
            p_h2 = S_h2_g * R * T / 16
            p_ch4 = S_ch4_g * R * T / 64
            p_co2 = S_co2_g * R * T
            lgt8 = kLa * (S_h2 - 16 * KH_h2 * p_h2)
            lgt9 = kLa * (S_ch4 - 64 * KH_ch4 * p_ch4)
            lgt10 = kLa * (S_co2 - KH_co2 * p_co2)
        else:
            lgt8 = 0
            lgt9 = 0
            lgt10 = 0

        SUM_SI = (s1 * bio1 + s2 * bio2 + s3 * bio3 + s4 * bio4 + s5 * bio5 + s6 * bio6 + s7 * bio7
                  + s8 * bio8 + s9 * bio9 + s10 * bio10 + s11 * bio11 + s12 * bio12
                  + s13 * (bio13 + bio14 + bio15 + bio16 + bio17 + bio18 + bio19))
        SUM_bio_13_19 = bio13 + bio14 + bio15 + bio16 + bio17 + bio18 + bio19

        if section == 0:
            P_headspace = p_co2 + p_h2 + p_ch4 + p_h2o
            if P_headspace < P_atm:
                gasflow = 0
            else:
                gasflow = k_p * V_g * (P_headspace - P_atm) * P_headspace / P_atm

        reaction = [
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
            - Y_c4 * N_biom * bio8 - Y_c4 * N_biom * bio9 - Y_pro * N_biom * bio10 - Y_ac * N_biom * bio11
            - Y_h2 * N_biom * bio12 + (N_biom - N_Xc) * SUM_bio_13_19
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
            f_XI_xc * bio1,
        ]
        inflow = [0.0] * 24
        inflow[9] = S_IC_in
        inflow[10] = S_IN_in
        inflow[12] = X_c_in
        for i in range(24):
            if section == 0:
                dydt[i] = Ds * (inflow[i] - 0) + reaction[i] - llt_12[i] + k_pomp * llt_31[i]
            elif section == 1:
                dydt[o + i] = reaction[i] + llt_12[i] - llt_23[i]
            else:
                dydt[o + i] = Ds * (0 - y[o + i]) + reaction[i] + llt_23[i] - k_pomp * llt_31[i]
        dydt[o + 24] = Ds * ((S_IC_in + 0.035) - S_cat)
        dydt[o + 25] = Ds * (S_IN_in - S_an)
        if section == 0:
            dydt[26] = -S_h2_g * gasflow / V_g + lgt8 * (V / 3) / V_g
            dydt[27] = -S_ch4_g * gasflow / V_g + lgt9 * (V / 3) / V_g
            dydt[28] = -S_co2_g * gasflow / V_g + lgt10 * (V / 3) / V_g

    return dydt


def MyFunc(final_Q_in, t_end, X_c_in_t, ph_mode_t, S_h_ion_manual_t, f_pr_xc_t, f_li_xc_t, f_ch_xc_t,
           T_1, P_atm1, V_t1, mix_i_t, callback, getvalue, ph_solver='exact'):
    global rhs_evaluations, S_h_ion_manual, f_pr_xc, f_li_xc, f_ch_xc, X_c_in, ph_mode, S_IN_in, S_IC_in
    global f_ac_su, f_bu_su, f_pro_su, f_h2_su, f_ac_aa, f_bu_aa, f_pro_aa, f_va_aa, f_h2_aa, f_fa_li
    global Y_su, Y_aa, Y_fa, Y_c4, Y_pro, Y_ac, Y_h2, R, f_XI_xc, f_SI_xc
    global s1, s2, s3, s4, s5, s6, s7, s8, s9, s10, s11, s12, s13
    global V, V_g, T, P_atm, Ka_co2, Ka_IN, K_w, KH_h2, KH_ch4, KH_co2, p_h2o, input_Q_in
    global kLl_12_s, kLl_23_s, kLl_31_s, x_delay, k_pomp, kdis, mix_i

    rhs_evaluations = 0
    start_ph_solver(ph_solver)
    S_h_ion_manual = S_h_ion_manual_t
    f_pr_xc = f_pr_xc_t
    f_li_xc = f_li_xc_t
    f_ch_xc = f_ch_xc_t
    X_c_in = X_c_in_t
    ph_mode = ph_mode_t
    mix_i = mix_i_t

    f_ac_su = 0.41; f_bu_su = 0.13; f_pro_su = 0.27; f_h2_su = 0.19
    f_ac_aa = 0.4; f_bu_aa = 0.26; f_pro_aa = 0.05; f_va_aa = 0.23; f_h2_aa = 0.06
    f_fa_li = 0.95
    Y_su = 0.1; Y_aa = 0.08; Y_fa = 0.06; Y_c4 = 0.06; Y_pro = 0.04; Y_ac = 0.05; Y_h2 = 0.06
    R = 0.083145

    C_aa = 0.03; C_ac = 0.03125; C_biom = 0.03125; C_bu = 0.025; C_ch = 0.0313; C_ch4 = 0.015625
    C_fa = 0.0217; C_li = 0.022; C_pr = 0.03; C_pro = 0.0267857142857143; C_SI = 0.03
    C_su = 0.03125; C_va = 0.0240384615384615; C_Xc = 0.0279; C_XI = 0.03

    f_inerts_xc = 1.0 - (f_pr_xc + f_li_xc + f_ch_xc)
    f_XI_xc = 2.0 / 3.0 * f_inerts_xc
    f_SI_xc = 1.0 / 3.0 * f_inerts_xc

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

    V = 0.075 / 0.14 * V_t1
    V_g = 0.065 / 0.14 * V_t1
    T = T_1
    P_atm = P_atm1

    def F(dH):
        return math.exp(dH / (R * 100) * (1 / 298 - 1 / T))

    Ka_co2 = 10 ** -6.35 * F(7646)
    Ka_IN = 10 ** -9.25 * F(51965)
    K_w = 10 ** -14.0 * F(55900)
    KH_h2 = 0.00078 * F(-4180)
    KH_ch4 = 0.0014 * F(-14240)
    KH_co2 = 0.035 * F(-19410)
    p_h2o = 0.0313 * math.exp(5290 * (1 / 298 - 1 / T))

    input_Q_in = []
    for i in range(41):
        input_Q_in.append(final_Q_in * (0.01875 * i + 0.25))

    x = mix_i
    y_hrt = V / final_Q_in
    def poly(a):
        return a[0] + a[1] * x + a[2] * y_hrt + a[3] * x ** 2 + a[4] * x * y_hrt + a[5] * y_hrt ** 2

    kLl_12_s = poly([0.65939, -0.014764, -0.081095, 0.00043763, 3.735e-05, 0.0030288])
    kLl_23_s = poly([0.53937, -0.049883, 0.025795, 0.0025947, -0.0043829, 0.0022456])
    kLl_31_s = poly([1.3351, 0.034203, -0.27055, -3.7303e-05, -0.0030278, 0.015111])
    x_delay = poly([19.016, -0.014597, -3.2788, -0.0045615, 0.022532, 0.14481])
    k_pomp = poly([3.4157, 0.032366, -0.58403, 0.00045992, -0.004507, 0.028205])
    kdis = poly([4.712, -0.041905, -0.59706, 0.00068332, 0.0015174, 0.020604])
    S_IN_in = poly([0.055021, 0.0078456, -0.026358, -0.00039791, 0.0010857, 0.0017123])
    S_IC_in = poly([0.1364, 0.012179, -0.047468, -0.00051993, 0.0010464, 0.001959])

    r = integrate.ode(tank).set_integrator('lsoda', atol=1e-12, rtol=1e-6)
    t_start = 0.0
    t_final = t_end
    delta_t = 0.1
    num_steps = int(np.floor(round((t_final - t_start) / delta_t, 10)) + 1)

    block = [0.0126099, 0.0056389, 0.109845, 0.0117245, 0.0148542, 0.0179604, 0.0492285, 2.55e-7,
             0.0542531, 0.0750682, 0.0324451, 1.67072, 1.04006, 0.0103452, 0.0103452, 0.0155177,
             0.354125, 0.356823, 0.390669, 0.144876, 0.0609795, 0.470399, 0.223732, 19.9414, 0.04,
             0.0035714, 1.18e-5, 1.669890973, 0.0112951]
    y0 = np.array(block + [0.0] + block + [0.0] + block)
    r.set_initial_value(y0, t_start)

    res = np.zeros((num_steps, 50))
    res[0, 7] = -math.log10(S_h_ion_manual)
    res[0, 45] = S_h_ion_manual
    state_columns = {11: 27, 12: 28, 13: 26, 14: 1, 15: 6, 16: 25, 17: 4, 18: 24, 19: 8, 21: 2, 22: 7,
                     23: 11, 24: 9, 25: 10, 27: 5, 28: 0, 29: 3, 30: 17, 31: 21, 32: 12, 33: 19, 34: 13,
                     35: 18, 36: 22, 37: 23, 38: 15, 39: 14, 40: 20, 41: 16}
    for c in state_columns:
        res[0, c] = y0[state_columns[c]]

    k = 1
    while r.successful() and k < num_steps:
        if getvalue() == 1:
            return None
        t = round(k * delta_t, 10)
        r.integrate(t)
        tank(r.t, r.y)
        callback(r.t, t_final)
        if P_headspace < P_atm:
            gasflow_N = 0
        else:
            gasflow_N = P_atm * gasflow * 273.15 / (T * 1.01325)
        m = [(r.y[i] + r.y[30 + i] + r.y[60 + i]) / 3 for i in range(26)]
        p_ch4_adjust = p_ch4 / P_headspace * 100
        p_co2_adjust = p_co2 / P_headspace * 100
        p_h2_adjust = p_h2 / P_headspace * 100
        p_h2o_adjust = p_h2o / P_headspace * 100
        COD_S = m[1] + m[6] + m[4] + m[8] + m[2] + m[7] + m[11] + m[5] + m[0] + m[3]
        COD_X = m[17] + m[21] + m[12] + m[19] + m[13] + m[18] + m[22] + m[23] + m[15] + m[14] + m[20] + m[16]
        COD_Tot = COD_S + COD_X
        res[k, 0] = r.t
        res[k, 1] = gasflow
        res[k, 2] = gasflow_N
        res[k, 3] = p_ch4_adjust
        res[k, 4] = p_co2_adjust
        res[k, 5] = p_h2_adjust
        res[k, 6] = p_h2o_adjust
        res[k, 7] = pH
        res[k, 8] = COD_Tot
        res[k, 9] = COD_S
        res[k, 10] = COD_X
        res[k, 11] = r.y[27]
        res[k, 12] = r.y[28]
        res[k, 13] = r.y[26]
        for c in state_columns:
            if state_columns[c] < 26:
                res[k, c] = m[state_columns[c]]
        res[k, 20] = S_co2
        res[k, 26] = S_nh3
        res[k, 42] = S_ac_ion
        res[k, 43] = S_bu_ion
        res[k, 44] = S_hco3_ion
        res[k, 45] = S_h_ion
        res[k, 46] = S_nh4_ion
        res[k, 47] = S_oh_ion
        res[k, 48] = S_pro_ion
        res[k, 49] = S_va_ion
        k += 1
    return res
