#pragma once

// One run's inputs as plain data, already converted (temperatures in kelvin, the manual pH as
// a hydrogen-ion concentration). The window and the command-line runner both fill one, check
// it and hand it to the configuration's worker.

#include <QString>

#include <optional>

class calc_SSAD;
class calc_TSAD;
class calc_TPAD;
class calc_POMP;
class SimulationWorker;

struct RunRequest {
    int mode = 1;  // 1 single-stage, 2 two-stage, 3 temperature-phased, 4 pump-mixed
    double final_Q_in = 0, X_c_in = 0, t_end = 0;
    double f_pr_xc = 0, f_li_xc = 0, f_ch_xc = 0;
    int ph_mode = 0;             // 1 free, 0 manual
    double S_h_ion_manual = 0;   // 10^-pH of the manual pH, passed in both modes
    double T_1 = 0, T_2 = 0;     // K
    double P_atm1 = 0, P_atm2 = 0;
    double V_t1 = 0, V_t2 = 0;
    double t_sr = 0;   // temperature-phased
    double mix_i = 0;  // pump-mixed
};

// The inputs a check can refuse; each front end names them in its own words.
enum class RunField { FinalQin, Tend, Fractions, T1, T2, Patm1, Patm2, Vt1, Vt2 };

struct InputProblem {
    RunField field;
    QString reason;  // e.g. "must be greater than 0"
};

// Whether the three fractioning factors add up to more than 1. Factors typed to add up to
// exactly 1 (0.33, 0.56, 0.11) may exceed it by a rounding error of the sum; they pass.
bool fractionsExceedOne(double f_pr, double f_li, double f_ch);

// The fraction sum above 1, and inputs that make the model meaningless: a timespan under
// 0.1 d, a volume, pressure or absolute temperature of 0 or less, and a zero feed flux for the
// temperature-phased and pump-mixed runs. Only the fields the configuration uses are checked.
std::optional<InputProblem> checkRunRequest(const RunRequest &request);

struct Workers {
    calc_SSAD *ssad = nullptr;
    calc_TSAD *tsad = nullptr;
    calc_TPAD *tpad = nullptr;
    calc_POMP *pomp = nullptr;
    SimulationWorker *forMode(int mode) const;
};

// Calls the configuration's run slot with the request's values, on the calling thread.
void runOnWorker(const Workers &workers, const RunRequest &request);
