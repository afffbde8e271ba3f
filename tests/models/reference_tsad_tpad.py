"""Straightforward two-reactor runs (two-stage and temperature-phased) for checking the model scripts.

Written for clarity, not speed: numpy scalars throughout, every equation in the textbook order, one
reactor evaluated by one function. The optimised scripts must reproduce its tables bit for bit.
`solve_ph` and `start_ph_solver` are the solver script's functions; the caller sets them before the first
run.
"""
import math

import numpy as np
from scipy import integrate

solve_ph = start_ph_solver = None
# The latest run, and its right-hand-side evaluations.
last_run = None
rhs_evaluations = 0

R = 0.083145
T_BASE = 298.0
C = dict(C_aa=0.03, C_ac=0.03125, C_biom=0.03125, C_bu=0.025, C_ch=0.0313, C_ch4=0.015625, C_fa=0.0217,
         C_li=0.022, C_pr=0.03, C_pro=0.0267857142857143, C_SI=0.03, C_su=0.03125, C_va=0.0240384615384615,
         C_Xc=0.0279, C_XI=0.03)
STOICH = dict(f_ac_su=0.41, f_bu_su=0.13, f_pro_su=0.27, f_h2_su=0.19, f_ac_aa=0.4, f_bu_aa=0.26,
              f_pro_aa=0.05, f_va_aa=0.23, f_h2_aa=0.06, f_fa_li=0.95, Y_su=0.1, Y_aa=0.08, Y_fa=0.06,
              Y_c4=0.06, Y_pro=0.04, Y_ac=0.05, Y_h2=0.06)
INITIAL = [0.0126099, 0.0056389, 0.109845, 0.0117245, 0.0148542, 0.0179604, 0.0492285, 2.55e-7, 0.0542531,
           0.0750682, 0.0324451, 1.67072, 1.04006, 0.0103452, 0.0103452, 0.0155177, 0.354125, 0.356823,
           0.390669, 0.144876, 0.0609795, 0.470399, 0.223732, 19.9414, 0.04, 0.0035714, 1.18e-5,
           1.669890973, 0.0112951]
# Result block column -> state index (within one reactor's block of 29) for the state columns.
STATE_COLUMNS = {11: 27, 12: 28, 13: 26, 14: 1, 15: 6, 16: 25, 17: 4, 18: 24, 19: 8, 21: 2, 22: 7, 23: 11,
                 24: 9, 25: 10, 27: 5, 28: 0, 29: 3, 30: 17, 31: 21, 32: 12, 33: 19, 34: 13, 35: 18, 36: 22,
                 37: 23, 38: 15, 39: 14, 40: 20, 41: 16}
ION_COLUMNS = {20: 'S_co2', 26: 'S_nh3', 42: 'S_ac_ion', 43: 'S_bu_ion', 44: 'S_hco3_ion', 45: 'S_h_ion',
               46: 'S_nh4_ion', 47: 'S_oh_ion', 48: 'S_pro_ion', 49: 'S_va_ion'}


def constants(T):
    """Acid-base and Henry constants and water vapour pressure of a liquid at temperature T (K)."""
    def F(dH):
        return math.exp(dH / (R * 100) * (1 / T_BASE - 1 / T))
    return dict(Ka_co2=10 ** -6.35 * F(7646), Ka_IN=10 ** -9.25 * F(51965), K_w=10 ** -14.0 * F(55900),
                KH_h2=0.00078 * F(-4180), KH_ch4=0.0014 * F(-14240), KH_co2=0.035 * F(-19410),
                p_h2o=0.0313 * math.exp(5290 * (1 / T_BASE - 1 / T)))


def rate_constants(T):
    """Disintegration and acetate/propionate uptake rates at temperature T (K)."""
    return dict(kdis=1.105258236 * math.exp(-0.068793508 * (T - 308.15)),
                km_ac=14.26734216 * math.exp(0.004336635 * (T - 308.15)),
                km_pro=7.191570676 * math.exp(0.026149467 * (T - 308.15)))


def retention(Q_in, V_r, t_sr):
    """Flow of particulates held back in a reactor of liquid volume V_r (m3/d)."""
    HRT = V_r / Q_in
    if HRT < 6.5:
        Ret = Q_in - V_r / (t_sr + HRT)
        return Ret * (6.5 - HRT) / 6.5
    return 0


class Run:
    def __init__(self, final_Q_in, X_c_in, ph_mode, S_h_ion_manual, f_pr_xc, f_li_xc, f_ch_xc):
        self.input_Q_in = []
        for i in range(41):
            self.input_Q_in.append(final_Q_in * (0.01875 * i + 0.25))
        self.X_c_in = X_c_in
        self.ph_mode = ph_mode
        self.S_h_ion_manual = S_h_ion_manual
        self.f_pr_xc, self.f_li_xc, self.f_ch_xc = f_pr_xc, f_li_xc, f_ch_xc
        f_inerts_xc = 1.0 - (f_pr_xc + f_li_xc + f_ch_xc)
        self.f_XI_xc = 2 / 3 * f_inerts_xc
        self.f_SI_xc = 1 / 3 * f_inerts_xc
        self.s = self.carbon_coefficients()
        self.reactors = []

    def carbon_coefficients(self):
        c, p = C, STOICH
        return [0,
                -c['C_Xc'] + self.f_SI_xc * c['C_SI'] + self.f_ch_xc * c['C_ch'] + self.f_pr_xc * c['C_pr']
                + self.f_li_xc * c['C_li'] + self.f_XI_xc * c['C_XI'],
                -c['C_ch'] + c['C_su'],
                -c['C_pr'] + c['C_aa'],
                -c['C_li'] + (1 - p['f_fa_li']) * c['C_su'] + p['f_fa_li'] * c['C_fa'],
                -c['C_su'] + (1 - p['Y_su']) * (p['f_bu_su'] * c['C_bu'] + p['f_pro_su'] * c['C_pro']
                                                + p['f_ac_su'] * c['C_ac']) + p['Y_su'] * c['C_biom'],
                -c['C_aa'] + (1 - p['Y_aa']) * (p['f_va_aa'] * c['C_va'] + p['f_bu_aa'] * c['C_bu']
                                                + p['f_pro_aa'] * c['C_pro'] + p['f_ac_aa'] * c['C_ac'])
                + p['Y_aa'] * c['C_biom'],
                -c['C_fa'] + (1 - p['Y_fa']) * 0.7 * c['C_ac'] + p['Y_fa'] * c['C_biom'],
                -c['C_va'] + (1 - p['Y_c4']) * 0.54 * c['C_pro'] + (1 - p['Y_c4']) * 0.31 * c['C_ac']
                + p['Y_c4'] * c['C_biom'],
                -c['C_bu'] + (1 - p['Y_c4']) * 0.8 * c['C_ac'] + p['Y_c4'] * c['C_biom'],
                -c['C_pro'] + (1 - p['Y_pro']) * 0.57 * c['C_ac'] + p['Y_pro'] * c['C_biom'],
                -c['C_ac'] + (1 - p['Y_ac']) * c['C_ch4'] + p['Y_ac'] * c['C_biom'],
                (1 - p['Y_h2']) * c['C_ch4'] + p['Y_h2'] * c['C_biom'],
                -c['C_biom'] + c['C_Xc']]

    def flow(self, t):
        if t == 0:
            return self.input_Q_in[0]
        if t <= 40:
            return self.input_Q_in[int(np.ceil(t)) - 1]
        return self.input_Q_in[40]

    def reactor(self, y, o, inflow, cation_in, anion_in, Q_in, D, gas_ratio, r):
        """Derivatives of one reactor's 29 entries at offset o, and its published values.

        inflow: the 24 liquid inflow concentrations; gas_ratio: (a, b) with the transfer term lgt * a / b;
        r: the reactor's run values (volumes, temperatures, constants, rate constants, retention flow).
        """
        p = STOICH
        s = self.s
        S = [y[o + i] for i in range(29)]
        (S_su, S_aa, S_fa, S_va, S_bu, S_pro, S_ac, S_h2, S_ch4, S_IC, S_IN, S_I, X_c, X_ch, X_pr, X_li, X_su,
         X_aa, X_fa, X_c4, X_pro, X_ac, X_h2, X_I, S_cat, S_an, S_h2_g, S_ch4_g, S_co2_g) = S
        (S_h_ion, S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion, S_co2,
         S_nh3) = solve_ph(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, r['Ka_IN'], r['Ka_co2'],
                           r['K_w'], self.ph_mode, self.S_h_ion_manual)
        pH = -math.log10(S_h_ion)

        I_IN_lim = 1 / (1 + 0.0001 / S_IN)
        I_h2_fa = 1 / (1 + S_h2 / 5e-6)
        I_h2_c4 = 1 / (1 + S_h2 / 1e-5)
        I_h2_pro = 1 / (1 + S_h2 / 3.5e-6)
        I_nh3 = 1 / (1 + S_nh3 / 0.0018)

        def I_ph(LL, UL):
            if pH < UL:
                return math.exp(-3 * ((pH - UL) / (UL - LL)) ** 2)
            return 1

        I_ph_aa = I_ph(4.0, 5.5)
        I_ph_ac = I_ph(6.0, 7.0)
        I_ph_h2 = I_ph(5.0, 6.0)
        I5_6 = I_ph_aa * I_IN_lim
        I7 = I_ph_aa * I_IN_lim * I_h2_fa
        I8_9 = I_ph_aa * I_IN_lim * I_h2_c4
        I10 = I_ph_aa * I_IN_lim * I_h2_pro
        I11 = I_ph_ac * I_IN_lim * I_nh3
        I12 = I_ph_h2 * I_IN_lim

        bio = [0,
               r['kdis'] * X_c,
               10.0 * X_ch,
               10.0 * X_pr,
               10.0 * X_li,
               30.0 * X_su * S_su / (0.5 + S_su) * I5_6,
               50.0 * X_aa * S_aa / (0.3 + S_aa) * I5_6,
               6.0 * X_fa * S_fa / (0.4 + S_fa) * I7,
               20.0 * X_c4 * S_va / (0.2 + S_va) * S_va / (S_bu + S_va + 1e-6) * I8_9,
               20.0 * X_c4 * S_bu / (0.2 + S_bu) * S_bu / (S_bu + S_va + 1e-6) * I8_9,
               r['km_pro'] * X_pro * S_pro / (0.1 + S_pro) * I10,
               r['km_ac'] * X_ac * S_ac / (0.15 + S_ac) * I11,
               35.0 * X_h2 * S_h2 / (7e-6 + S_h2) * I12]
        bio += [0.02 * X for X in (X_su, X_aa, X_fa, X_c4, X_pro, X_ac, X_h2)]

        T = r['T_gas']
        p_h2 = S_h2_g * R * T / 16
        p_ch4 = S_ch4_g * R * T / 64
        p_co2 = S_co2_g * R * T
        lgt8 = 200.0 * (S_h2 - 16 * r['KH_h2'] * p_h2)
        lgt9 = 200.0 * (S_ch4 - 64 * r['KH_ch4'] * p_ch4)
        lgt10 = 200.0 * (S_co2 - r['KH_co2'] * p_co2)

        SUM_SI = 0
        for i in range(1, 13):
            SUM_SI = SUM_SI + s[i] * bio[i]
        SUM_bio_13_19 = bio[13] + bio[14] + bio[15] + bio[16] + bio[17] + bio[18] + bio[19]
        SUM_SI = SUM_SI + s[13] * SUM_bio_13_19

        P_headspace = p_co2 + p_h2 + p_ch4 + r['p_h2o']
        if P_headspace < r['P_atm']:
            gasflow = 0
        else:
            gasflow = 1e4 * r['V_g'] * (P_headspace - r['P_atm']) * P_headspace / r['P_atm']

        N_aa, N_biom, N_SI, N_Xc, N_XI = 0.007, 0.00571, 0.00429, 0.00269, 0.00429
        f_XI_xc, f_SI_xc = self.f_XI_xc, self.f_SI_xc
        keep = (1 - r['kRet'] / Q_in) if 'kRet' in r else None

        def out(X):
            return X if keep is None else X * keep

        d = [0] * 29
        d[0] = D * (inflow[0] - S_su) + bio[2] + (1 - p['f_fa_li']) * bio[4] - bio[5]
        d[1] = D * (inflow[1] - S_aa) + bio[3] - bio[6]
        d[2] = D * (inflow[2] - S_fa) + p['f_fa_li'] * bio[4] - bio[7]
        d[3] = D * (inflow[3] - S_va) + (1 - p['Y_aa']) * p['f_va_aa'] * bio[6] - bio[8]
        d[4] = (D * (inflow[4] - S_bu) + (1 - p['Y_su']) * p['f_bu_su'] * bio[5]
                + (1 - p['Y_aa']) * p['f_bu_aa'] * bio[6] - bio[9])
        d[5] = (D * (inflow[5] - S_pro) + (1 - p['Y_su']) * p['f_pro_su'] * bio[5]
                + (1 - p['Y_aa']) * p['f_pro_aa'] * bio[6] + (1 - p['Y_c4']) * 0.54 * bio[8] - bio[10])
        d[6] = (D * (inflow[6] - S_ac) + (1 - p['Y_su']) * p['f_ac_su'] * bio[5]
                + (1 - p['Y_aa']) * p['f_ac_aa'] * bio[6] + (1 - p['Y_fa']) * 0.7 * bio[7]
                + (1 - p['Y_c4']) * 0.31 * bio[8] + (1 - p['Y_c4']) * 0.8 * bio[9]
                + (1 - p['Y_pro']) * 0.57 * bio[10] - bio[11])
        d[7] = (D * (inflow[7] - S_h2) + (1 - p['Y_su']) * p['f_h2_su'] * bio[5]
                + (1 - p['Y_aa']) * p['f_h2_aa'] * bio[6] + (1 - p['Y_fa']) * 0.3 * bio[7]
                + (1 - p['Y_c4']) * 0.15 * bio[8] + (1 - p['Y_c4']) * 0.2 * bio[9]
                + (1 - p['Y_pro']) * 0.43 * bio[10] - bio[12] - lgt8)
        d[8] = D * (inflow[8] - S_ch4) + (1 - p['Y_ac']) * bio[11] + (1 - p['Y_h2']) * bio[12] - lgt9
        d[9] = D * (inflow[9] - S_IC) - SUM_SI - lgt10
        d[10] = (D * (inflow[10] - S_IN) - p['Y_su'] * N_biom * bio[5] + (N_aa - p['Y_aa'] * N_biom) * bio[6]
                 - p['Y_fa'] * N_biom * bio[7] - p['Y_c4'] * N_biom * bio[8] - p['Y_c4'] * N_biom * bio[9]
                 - p['Y_pro'] * N_biom * bio[10] - p['Y_ac'] * N_biom * bio[11] - p['Y_h2'] * N_biom * bio[12]
                 + (N_biom - N_Xc) * SUM_bio_13_19
                 + (N_Xc - f_XI_xc * N_XI - f_SI_xc * N_SI - self.f_pr_xc * N_aa) * bio[1])
        d[11] = D * (inflow[11] - S_I) + f_SI_xc * bio[1]
        d[12] = D * (inflow[12] - out(X_c)) - bio[1] + SUM_bio_13_19
        d[13] = D * (inflow[13] - out(X_ch)) + self.f_ch_xc * bio[1] - bio[2]
        d[14] = D * (inflow[14] - out(X_pr)) + self.f_pr_xc * bio[1] - bio[3]
        d[15] = D * (inflow[15] - out(X_li)) + self.f_li_xc * bio[1] - bio[4]
        d[16] = D * (inflow[16] - out(X_su)) + p['Y_su'] * bio[5] - bio[13]
        d[17] = D * (inflow[17] - out(X_aa)) + p['Y_aa'] * bio[6] - bio[14]
        d[18] = D * (inflow[18] - out(X_fa)) + p['Y_fa'] * bio[7] - bio[15]
        d[19] = D * (inflow[19] - out(X_c4)) + p['Y_c4'] * bio[8] + p['Y_c4'] * bio[9] - bio[16]
        d[20] = D * (inflow[20] - out(X_pro)) + p['Y_pro'] * bio[10] - bio[17]
        d[21] = D * (inflow[21] - out(X_ac)) + p['Y_ac'] * bio[11] - bio[18]
        d[22] = D * (inflow[22] - out(X_h2)) + p['Y_h2'] * bio[12] - bio[19]
        d[23] = D * (inflow[23] - out(X_I)) + f_XI_xc * bio[1]
        d[24] = D * ((cation_in + 0.035) - S_cat)
        d[25] = D * (anion_in - S_an)
        a, b = gas_ratio
        d[26] = -S_h2_g * gasflow / r['V_g'] + lgt8 * a / b
        d[27] = -S_ch4_g * gasflow / r['V_g'] + lgt9 * a / b
        d[28] = -S_co2_g * gasflow / r['V_g'] + lgt10 * a / b
        published = dict(gasflow=gasflow, P_headspace=P_headspace, p_h2=p_h2, p_ch4=p_ch4, p_co2=p_co2, pH=pH,
                         S_h_ion=S_h_ion, S_nh4_ion=S_nh4_ion, S_hco3_ion=S_hco3_ion, S_ac_ion=S_ac_ion,
                         S_bu_ion=S_bu_ion, S_va_ion=S_va_ion, S_pro_ion=S_pro_ion, S_oh_ion=S_oh_ion,
                         S_co2=S_co2, S_nh3=S_nh3)
        return d, published

    def tank(self, t, y):
        global rhs_evaluations
        rhs_evaluations += 1
        r1, r2 = self.reactors
        Q_in = self.flow(t)
        if 't_sr' in r1:
            r1['kRet'] = retention(Q_in, r1['V'], r1['t_sr'])
            r2['kRet'] = retention(Q_in, r2['V'], r2['t_sr'])
        feed = [0] * 24
        feed[12] = self.X_c_in
        d1, self.published1 = self.reactor(y, 0, feed, 0, 0, Q_in, Q_in / r1['V'], (r1['V'], r1['V_g']), r1)
        inflow = [y[i] for i in range(24)]
        if self.retained_stay_in_reactor_1 and 'kRet' in r1:
            for i in range(12, 24):
                inflow[i] = y[i] * (1 - r1['kRet'] / Q_in)
        d2, self.published2 = self.reactor(y, 30, inflow, y[9], y[10], Q_in, Q_in / r2['V'], (28, 5), r2)
        dydt = np.zeros(59)
        dydt[0:29] = d1
        dydt[30:59] = d2
        return dydt

    def block(self, y, o, published, r):
        row = np.zeros(50)
        for col, i in STATE_COLUMNS.items():
            row[col] = y[o + i]
        for col, name in ION_COLUMNS.items():
            row[col] = published[name]
        row[1] = published['gasflow']
        P_headspace, P_atm = published['P_headspace'], r['P_atm']
        row[2] = 0 if P_headspace < P_atm else P_atm * published['gasflow'] * 273.15 / (r['T_gas'] * 1.01325)
        row[3] = published['p_ch4'] / P_headspace * 100
        row[4] = published['p_co2'] / P_headspace * 100
        row[5] = published['p_h2'] / P_headspace * 100
        row[6] = r['p_h2o'] / P_headspace * 100
        row[7] = published['pH']
        COD_S = 0
        for i in (1, 6, 4, 8, 2, 7, 11, 5, 0, 3):
            COD_S = COD_S + y[o + i]
        COD_X = 0
        for i in (17, 21, 12, 19, 13, 18, 22, 23, 15, 14, 20, 16):
            COD_X = COD_X + y[o + i]
        row[8] = COD_S + COD_X
        row[9] = COD_S
        row[10] = COD_X
        return row

    def run(self, t_end, callback, getvalue, ph_solver):
        global last_run, rhs_evaluations
        last_run = self
        rhs_evaluations = 0
        start_ph_solver(ph_solver)
        # The feed changes after each of days 1 to 40: the integration stops there and starts afresh,
        # and until it gets there it sees the feed before the change.
        change = {'day': 1.0}
        solver = integrate.ode(lambda t, y: self.tank(change['day'], y)).set_integrator('lsoda', atol=1e-12,
                                                                                      rtol=1e-6)
        num_steps = int(np.floor(round((t_end - 0.0) / 0.1, 10)) + 1)
        y0 = np.zeros(59)
        y0[0:29] = INITIAL
        y0[30:59] = INITIAL
        solver.set_initial_value(y0, 0.0)
        table = np.zeros((num_steps, 100))
        row0 = np.zeros(50)
        for col, i in STATE_COLUMNS.items():
            row0[col] = INITIAL[i]
        row0[7] = -math.log10(self.S_h_ion_manual)
        row0[45] = self.S_h_ion_manual
        table[0, :50] = row0
        table[0, 50:] = row0
        k = 1
        while solver.successful() and k < num_steps:
            if getvalue() == 1:
                return None
            t = round(k * 0.1, 10)
            while change['day'] < t and solver.successful():
                solver.integrate(change['day'])
                if solver.successful():
                    solver.set_initial_value(solver.y, change['day'])
                    change['day'] = change['day'] + 1 if change['day'] < 40 else math.inf
            if solver.successful():
                solver.integrate(t)
            self.tank(solver.t, solver.y)
            callback(solver.t, t_end)
            table[k, :50] = self.block(solver.y, 0, self.published1, self.reactors[0])
            table[k, 50:] = self.block(solver.y, 30, self.published2, self.reactors[1])
            table[k, 0] = table[k, 50] = solver.t
            k += 1
        return table


def reactor_values(T, T_gas, P_atm, V_t, rates):
    r = dict(T=T, T_gas=T_gas, P_atm=P_atm, V=28 / 33 * V_t, V_g=5 / 33 * V_t)
    r.update(constants(T))
    r.update(rates)
    return r


def run_tsad(final_Q_in, t_end, X_c_in, ph_mode, S_h_ion_manual, f_pr_xc, f_li_xc, f_ch_xc, T_1, P_atm1,
             P_atm2, V_t1, V_t2, callback, getvalue, ph_solver='exact'):
    run = Run(final_Q_in, X_c_in, ph_mode, S_h_ion_manual, f_pr_xc, f_li_xc, f_ch_xc)
    fixed = dict(kdis=0.5, km_ac=8.0, km_pro=13.0)
    run.reactors = [reactor_values(T_1, T_1, P_atm1, V_t1, fixed),
                    reactor_values(T_1, T_1, P_atm2, V_t2, fixed)]
    run.retained_stay_in_reactor_1 = False
    return run.run(t_end, callback, getvalue, ph_solver)


def run_tpad(final_Q_in, t_end, X_c_in, ph_mode, S_h_ion_manual, f_pr_xc, f_li_xc, f_ch_xc, T_1, P_atm1, V_t1,
             callback, getvalue, TPAD_values, consistent=True, ph_solver='exact'):
    """consistent=False gives the variant in which reactor 2's gas side uses reactor 1's temperature and
    the solids that reactor 1 holds back reach reactor 2 all the same."""
    T_2, P_atm2, V_t2, t_sr = TPAD_values
    run = Run(final_Q_in, X_c_in, ph_mode, S_h_ion_manual, f_pr_xc, f_li_xc, f_ch_xc)
    r1 = reactor_values(T_1, T_1, P_atm1, V_t1, rate_constants(T_1))
    r2 = reactor_values(T_2, T_2 if consistent else T_1, P_atm2, V_t2, rate_constants(T_2))
    r1['t_sr'] = r2['t_sr'] = t_sr
    run.reactors = [r1, r2]
    run.retained_stay_in_reactor_1 = consistent
    return run.run(t_end, callback, getvalue, ph_solver)
