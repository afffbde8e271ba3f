// Class-wide storage of the workers and the shared run inputs.
#include "runinputs.h"
#include "workers.h"

#include <configuration.h>

double RunInputs::final_Q_in = 0, RunInputs::X_c_in = 0, RunInputs::t_end = 0;
double RunInputs::f_pr_xc = 0, RunInputs::f_li_xc = 0, RunInputs::f_ch_xc = 0;
double RunInputs::S_h_ion_manual = 0;
double RunInputs::T_1 = 0, RunInputs::T_2 = 0, RunInputs::P_atm1 = 0, RunInputs::P_atm2 = 0;
double RunInputs::V_t1 = 0, RunInputs::V_t2 = 0;
int RunInputs::ph_mode = 0, RunInputs::mode = 0;
double RunInputs::t_sr = 0, RunInputs::mix_i = 0;

ResultRows calc_SSAD::results_R1;
int calc_SSAD::results_rows = 0;
std::vector<double> calc_SSAD::run_params;
ModelInputs calc_SSAD::run_model;

ResultRows calc_TSAD::results_R1, calc_TSAD::results_R2;
int calc_TSAD::results_rows = 0;
std::vector<double> calc_TSAD::run_params;
ModelInputs calc_TSAD::run_model;

ResultRows calc_TPAD::results_R1, calc_TPAD::results_R2;
int calc_TPAD::results_rows = 0;
std::vector<double> calc_TPAD::run_params;
ModelInputs calc_TPAD::run_model;

ResultRows calc_POMP::results_R1;
int calc_POMP::results_rows = 0;
std::vector<double> calc_POMP::run_params;
ModelInputs calc_POMP::run_model;

WorkerTables workerTables(int mode)
{
    // In the order of the configuration table.
    const WorkerTables tables[] = {
        {&calc_SSAD::results_R1, nullptr, calc_SSAD::results_rows, &calc_SSAD::run_params, &calc_SSAD::run_model},
        {&calc_TSAD::results_R1, &calc_TSAD::results_R2, calc_TSAD::results_rows, &calc_TSAD::run_params, &calc_TSAD::run_model},
        {&calc_TPAD::results_R1, &calc_TPAD::results_R2, calc_TPAD::results_rows, &calc_TPAD::run_params, &calc_TPAD::run_model},
        {&calc_POMP::results_R1, nullptr, calc_POMP::results_rows, &calc_POMP::run_params, &calc_POMP::run_model},
    };
    return tables[configuration(mode).mode - 1];
}
