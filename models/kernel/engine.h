#pragma once

// The compiled engine: a whole run of a right-hand side integrated in C++ by SUNDIALS CVODE
// (variable-order BDF, Newton iteration with a dense direct solver, our own LU, on a
// difference-quotient Jacobian; Hindmarsh et al., "SUNDIALS: Suite of nonlinear and
// differential/algebraic equation solvers", ACM TOMS 31(3), 2005). The integrator stops exactly
// at each day the feed changes and starts afresh there under the new feed, so that no step
// straddles a change. Rows come at k * interval, each computed from its own k, and the integrator
// stops on each of them too: a row's state is a step's own result, not interpolated inside a step
// that may hold a kink of the model (where the gas sets in, interpolation missed the gas flow by
// 0.6 %). No Python here.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// What the engine integrates: a state of size() values whose derivatives depend on the time and
// on the feed row in force, which changes at given days.
class RightHandSide {
public:
    virtual ~RightHandSide() = default;
    virtual size_t size() const = 0;
    // The first day after t at which the feed changes; infinity when it no longer changes.
    virtual double nextChange(double t) const = 0;
    // The feed row in force just after t.
    virtual size_t rowAfter(double t) const = 0;
    // The derivatives of state y at t under feed row `row`. May throw: the run then ends with
    // the exception.
    virtual void rates(double t, size_t row, const double *y, double *derivatives) = 0;
};

// The integrator's tolerances: relative, and absolute for every state.
struct EngineTolerances {
    double relative = 1e-6;
    double absolute = 1e-12;
};

// What a run cost: internal steps, right-hand-side evaluations (those of the Jacobian included)
// and Jacobian evaluations.
struct EngineCounts {
    long steps = 0, evaluations = 0, jacobians = 0;
};

enum class EngineEnd { Finished, Cancelled, Failed, NotNumbers };

struct EngineOutcome {
    EngineEnd end = EngineEnd::Finished;
    EngineCounts counts;
    std::string reason;  // why a run Failed, in words
};

// Takes each row's time and state; false stops the run (cancelled).
using RowSink = std::function<bool(double t, const double *y)>;

// Integrates `model` from `initial` at time `start` and hands `rows` rows, at start + k * interval
// for k = 1 .. rows, to `sink`, under the rule the scripts' integration follows too: a failing step
// ends the run with one last row at the time the integrator reached, the last state it accepted
// (Failed); the model throwing at a state the integrator tries ends it there without a further row
// (Failed, the reason being the exception's text), or leaves the run where it throws at the start
// state itself; derivatives that are not numbers, which no
// shorter step avoids, make every row from there on a state of non-numbers (NotNumbers). The
// integrator's message goes to standard output, as the scripts' integrator prints its own.
// Exceptions of the sink leave the run.
EngineOutcome integrateRun(RightHandSide &model, const std::vector<double> &initial, double start,
                           size_t rows, double interval, const EngineTolerances &tolerances,
                           const RowSink &sink);
