#pragma once

// What an operator reads besides gas and pH, derived from each row of the result tables and the
// run's constants, so that every engine and configuration gets it: the dry gas, the stability
// indicators (VFA as acetic acid, TAC, FOS, FOS/TAC, free ammonia and ammonium nitrogen) per
// reactor, and the plant's energy (CHP electricity and heat, the digesters' heat demand), with
// the summary values and alarm days of the run. The quantities are declared in inputs/outputs.cpp.
//
// The CHP takes the methane up to its rated electrical power over its electrical efficiency
// (chp-power; 0: all of it). A surplus fills the gas storage (gas-storage, Nm3 of methane; it
// starts empty) and, once it is full, goes to the flare; a shortfall empties the storage into
// the CHP. The storage is integrated explicitly row by row: a row's flows hold over the interval
// that ends at it (the rows' 0.1 d), bounded by the room or the methane the storage had at the
// interval's start. Each row splits its methane exactly into the CHP's fuel, the flare and the
// storage's filling; the energies over the run are the trapezoid rule of the columns, so
// electricity + CHP heat + CHP losses + flared energy = methane energy when no gas is stored at
// the end (else less the stored methane's energy, up to half a row's filling).
//
// TAC and FOS follow Nordmann's titration (Nordmann 1977; as practised e.g. in Lossie and Pütz
// 2008, Hach Lange): a 20 mL sample titrated with 0.1 N sulphuric acid to pH 5.0 (A mL) and on to
// pH 4.4 (B mL); TAC = A × 250 mg CaCO3/L and FOS = (B × 1.66 − 0.15) × 500 mg HAc/L. Here the
// acid each step takes is simulated on the row's own speciation (the charge balance of the model:
// cations, anions, ammonium, bicarbonate, the four acids' ions, hydroxide), closed to the air, as
// a lab titrates: at the model constant titration_temperature (room temperature), starting from
// the sample's equilibrium there; FOS applies Nordmann's formula to the simulated B. Runs with the
// damped pH solver titrate as versions before 2.0 did, at the reactor's temperature from the row's
// pH, so that they reproduce those versions' results.

#include "resultrows.h"
#include "runsummary.h"

#include <modelparameters.h>
#include <runrequest.h>

#include <functional>
#include <vector>

// The liquid's acid-base constants at one temperature: the model's van 't Hoff laws for carbonate,
// ammonium and water, and the acids' constants.
struct AcidConstants {
    double Ka_co2 = 0, Ka_IN = 0, K_w = 0;
    double Ka_ac = 0, Ka_pro = 0, Ka_bu = 0, Ka_va = 0;
};
AcidConstants acidConstants(const ParameterValues &parameters, double T);

// The totals of one liquid sample (kmol/m3) and the hydrogen ions it holds.
struct Sample {
    double ac = 0, pro = 0, bu = 0, va = 0;  // the acids (kmol/m3: COD over 64, 112, 160, 208)
    double IC = 0, IN = 0, cat = 0, an = 0;
    double H = 0;                           // at the sample's pH
};

struct Titration {
    double tac = 0;  // g CaCO3/L
    double fos = 0;  // g HAc/L
};
// From the sample's pH H; by equilibriumTitration from the root of its charge balance under k (the
// sample settled at k's temperature), H then only telling a row with a liquid (H > 0).
Titration nordmannTitration(const Sample &sample, const AcidConstants &k);
Titration equilibriumTitration(const Sample &sample, const AcidConstants &k);

struct OperationContext {
    std::vector<const ResultRows *> tables;  // reactor 1, then reactor 2
    int rows = 0;
    std::vector<double> temperatures;  // K, per reactor
    std::vector<double> volumes;       // m3, total, per reactor
    ParameterValues parameters;
    std::function<double(double)> feedFlow;  // m3/d in force at a time
    PlantInputs plant;
    PhSolver phSolver = PhSolver::Exact;  // damped: titration as before version 2.0
};

// Per reactor the rows of derivedColumns(Reactor), and the plant's rows of derivedColumns(Plant).
struct OperationTables {
    std::vector<ResultRows> reactors;
    ResultRows plant;
};
OperationTables deriveOperation(const OperationContext &context);

// The run's values of the tables: per reactor final, worst and alarm days, then the energy over
// the run. Days beyond a threshold add up the intervals between rows whose later row is beyond it.
std::vector<SummaryValue> operationSummary(const OperationContext &context, const OperationTables &tables);

// One line for the results pages: each reactor's final FOS/TAC (with its days above the critical
// value when there are any) and the electricity and net heat over the run:
// "FOS/TAC 0.14 · electricity 382 kWh · net heat -956 kWh".
QString operationLine(const RunSummary &summary);

