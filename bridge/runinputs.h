#pragma once

// The inputs of the latest run, shared by the four workers: a run writes only the fields it
// receives, so a field holds what the last run that set it left (0 before any run).
struct RunInputs {
    static double final_Q_in, X_c_in, t_end, f_pr_xc, f_li_xc, f_ch_xc, S_h_ion_manual;
    static double T_1, T_2, P_atm1, P_atm2, V_t1, V_t2;
    static int ph_mode, mode;
    static double t_sr;   // temperature-phased only
    static double mix_i;  // pump-mixed only
};
