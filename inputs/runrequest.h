#pragma once

// One run's inputs as plain data, already converted (temperatures in kelvin, the manual pH as
// a hydrogen-ion concentration), and the checks every front end makes before a run starts.

#include "feedschedule.h"
#include "modelparameters.h"
#include "statefile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct InputInfo;

// How a run is integrated: the model scripts drive SciPy's integrator over their own Python code
// (scripts) or over the compiled kernel that gives the same numbers sooner (native), or the
// whole run is integrated in C++ over the kernel (compiled: agrees with the scripts within the
// integrators' tolerances, many times sooner).
enum class Engine { Scripts, Native, Compiled };
inline const char *engineName(Engine engine)
{
    return engine == Engine::Native ? "native" : engine == Engine::Compiled ? "compiled" : "scripts";
}

// How a free pH is solved: the root of the charge balance (exact), or the 101 damped Newton passes
// of versions before 2.0, which end short of it (damped: reproduces their results).
enum class PhSolver { Exact, Damped };
inline const char *phSolverName(PhSolver solver) { return solver == PhSolver::Damped ? "damped" : "exact"; }

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
    // The plant around the digesters (energy) and the operator's alarm thresholds: they change no
    // model value, only what the results derive from it (see results/operation.h).
    double lhv_ch4 = 0;                  // kWh/Nm3
    double eta_el = 0, eta_th = 0;       // CHP efficiencies
    double own_use = 0;                  // share of the electricity the plant uses itself
    double T_feed = 0, T_ambient = 0;    // K
    double u_value = 0;                  // W/(m2·K) of the digesters' walls
    double fos_tac_warning = 0, fos_tac_critical = 0, ph_low = 0, vfa_high = 0;
    double chp_power = 0;                // kW electrical, rated; 0: no limit
    double gas_storage = 0;              // Nm3 of methane held before the flare; 0: none
    // The model constants that differ from their defaults, by name.
    ParameterValues parameters;
    // The feed schedule read from a file; null for the built-in feed (final_Q_in and X_c_in),
    // which a schedule replaces.
    std::shared_ptr<const FeedSchedule> feed;
    // How the run is integrated, and how its free pH is solved.
    Engine engine = Engine::Native;
    PhSolver phSolver = PhSolver::Exact;
    // Where the run starts, and the file its final state goes to (empty: none).
    StartState start;
    QString finalStateFile;
};

// The plant and alarm inputs of a run, as the results take them.
struct PlantInputs {
    double lhv_ch4 = 0, eta_el = 0, eta_th = 0, own_use = 0, T_feed = 0, T_ambient = 0, u_value = 0;
    double fos_tac_warning = 0, fos_tac_critical = 0, ph_low = 0, vfa_high = 0;
    double chp_power = 0, gas_storage = 0;
};
PlantInputs plantInputs(const RunRequest &request);
// The value of a plant input (Input::MethaneLhv ...) among them; NaN for any other input.
double plantInput(const PlantInputs &plant, const InputInfo &info);

// What a check refused: the key of an input ("t-end") or of the fraction sum, the line of the
// file that gave it (0: not from a file), and why ("must be greater than 0 (got 0 m3)"). Each
// front end names the key in its own words.
struct InputProblem {
    InputProblem() = default;
    InputProblem(QString key, QString reason, int line = 0, QString constant = {})
        : key(std::move(key)), reason(std::move(reason)), line(line), constant(std::move(constant)) {}
    QString key;
    QString reason;
    int line = 0;
    QString constant;  // for a problem of the model constants, the constant it concerns
};

// The key of the fractioning factors' sum.
extern const char *const kFractionSumKey;  // "f-pr + f-li + f-ch"
// The keys beside the declared inputs: a feed schedule's file, its substrates' file, and the
// model constants as a table of name = number (or one by one as "parameters.NAME").
extern const char *const kFeedKey;        // "feed"
extern const char *const kSubstratesKey;  // "substrates"
extern const char *const kParametersKey;  // "parameters"
// Lab values set over the substrates file's, as a table of "substrate.key" = number (or one by
// one as "substrate-values.substrate.key").
extern const char *const kSubstrateValuesKey;  // "substrate-values"
// How the run is integrated: "native" (the scripts over the compiled kernel), "scripts" or
// "compiled" (the whole run in C++).
extern const char *const kEngineKey;  // "engine"
// How a free pH is solved: "exact" (the default) or "damped", with the help text every front end
// shows for it.
extern const char *const kPhSolverKey;   // "ph-solver"
extern const char *const kPhSolverHelp;
// The run's start: "start-up" (the default), "steady" or a state file; the file its final state
// goes to.
extern const char *const kInitialStateKey;  // "initial-state"
extern const char *const kFinalStateKey;    // "final-state"
extern const char *const kStartUp;          // "start-up"

// Whether the three fractioning factors add up to more than 1. Factors typed to add up to
// exactly 1 (0.33, 0.56, 0.11) may exceed it by a rounding error of the sum; they pass.
bool fractionsExceedOne(double f_pr, double f_li, double f_ch);

// The manual pH of a hydrogen-ion concentration, as it was given (7.0 gives 7, not 6.999...).
double manualPh(double S_h_ion_manual);

// Why a number is not what the input takes in configuration mode (its range and decimals), or
// an empty text.
QString valueProblem(const InputInfo &info, double value, int mode);

// The values a number takes, for help texts: "from 0.1 to 104857 d", "0 or more, above 0 for
// tpad, pomp", "from 1 to 12.99, at most 2 decimals".
QString validValues(const InputInfo &info);

// Every input the configuration takes against its declared range and decimals, and the fraction
// sum; in the order of the declaration. Empty when the run may start.
QList<InputProblem> checkRunRequest(const RunRequest &request);

// The record of a run that the workbook's "CONFIGURATION" sheet shows, each input at its declared
// position: the configuration's own length; inputs beyond the 16 common positions that the
// configuration does not take hold 0, those within them what `stored` holds.
std::vector<double> runRecord(const RunRequest &stored);
// An input's value in a record (the manual pH for the pH); 0 where the record is too short.
double recorded(const std::vector<double> &record, const InputInfo &info);
// Why the request's model constants or feed schedule cannot run (empty when they can): the
// constants' checks and constants the configuration replaces by a law of its own (key
// "parameters"), a schedule row without flow for a configuration that divides by the feed
// flow (key "feed"), and a run from a saved state that does not end after the state's day (key
// "t-end").
QList<InputProblem> checkModelInputs(const RunRequest &request);
