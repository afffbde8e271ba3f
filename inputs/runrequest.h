#pragma once

// One run's inputs as plain data, already converted (temperatures in kelvin, the manual pH as
// a hydrogen-ion concentration), and the checks every front end makes before a run starts.

#include "feedschedule.h"
#include "modelparameters.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

enum class Input;

// Which right-hand side the model scripts integrate: their own Python code, or the compiled
// kernel that gives the same numbers sooner.
enum class Engine { Scripts, Native };
inline const char *engineName(Engine engine) { return engine == Engine::Native ? "native" : "scripts"; }

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
    // The model constants that differ from their defaults, by name.
    ParameterValues parameters;
    // The feed schedule read from a file; null for the built-in feed (final_Q_in and X_c_in),
    // which a schedule replaces.
    std::shared_ptr<const FeedSchedule> feed;
    // Which right-hand side the scripts integrate.
    Engine engine = Engine::Native;
};

// What a check refused: one input, the fraction sum, or the manual pH. Each front end names
// it in its own words.
struct InputProblem {
    enum class Subject { Input, Fractions, ManualPh };
    Subject subject;
    Input input;     // when subject is Input
    QString reason;  // e.g. "must be greater than 0"
};

// The longest timespan whose table fits a workbook sheet (1 048 576 rows, 4 of them titles).
inline constexpr double kLongestTimespan = 104857.0;
// Temperatures of liquid water, in kelvin.
inline constexpr double kLowestTemperature = 273.15, kHighestTemperature = 373.15;
// The manual pH the input field and the command line take.
inline constexpr double kLowestPh = 1.0, kHighestPh = 12.99;

// Whether the three fractioning factors add up to more than 1. Factors typed to add up to
// exactly 1 (0.33, 0.56, 0.11) may exceed it by a rounding error of the sum; they pass.
bool fractionsExceedOne(double f_pr, double f_li, double f_ch);

// The fraction sum above 1, and inputs that make the model meaningless: a timespan under
// 0.1 d or longer than a sheet holds, a manual pH outside the field's range (an empty field
// reads as pH 0), a volume, pressure or absolute temperature of 0 or less, a temperature
// outside liquid water, and a zero feed flux for the temperature-phased and pump-mixed runs.
// Only the inputs the configuration takes are checked.
std::optional<InputProblem> checkRunRequest(const RunRequest &request);

// Why the request's model constants or feed schedule cannot run, one sentence each (empty when
// they can): the constants' checks, and a schedule row without flow for a configuration that
// divides by the feed flow.
QStringList checkModelInputs(const RunRequest &request);
