#include "engine.h"

#include <cvode/cvode.h>
#include <nvector/nvector_serial.h>
#include <sunmatrix/sunmatrix_dense.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

// The Newton systems' dense algebra on the dense matrix's own column-major data: LU with partial
// pivoting and its solve, as LINPACK's dgefa and dgesl (Dongarra et al., "LINPACK Users' Guide",
// SIAM 1979, ch. 1), with contiguous column updates; and the matrix copy and I + c A that the
// integrator asks before each factorisation. The library's generic versions index element by
// element and took two thirds of a run's instructions on this 29-state model.
namespace dense {

double *data(SUNMatrix a) { return SUNDenseMatrix_Data(a); }
sunindextype order(SUNMatrix a) { return SUNDenseMatrix_Columns(a); }

int copy(SUNMatrix from, SUNMatrix to)
{
    std::copy_n(data(from), SUNDenseMatrix_LData(from), data(to));
    return SUNMAT_SUCCESS;
}

int scaleAddIdentity(realtype c, SUNMatrix a)
{
    const sunindextype n = order(a);
    double *m = data(a);
    for (sunindextype k = 0; k < n * n; ++k)
        m[k] *= c;
    for (sunindextype k = 0; k < n; ++k)
        m[k * n + k] += 1.0;
    return SUNMAT_SUCCESS;
}

SUNMatrix clone(SUNMatrix a);

// A dense matrix whose copy, I + c A and clones are the ones above.
SUNMatrix matrix(sunindextype n, SUNContext context)
{
    SUNMatrix a = SUNDenseMatrix(n, n, context);
    if (a) {
        a->ops->copy = copy;
        a->ops->scaleaddi = scaleAddIdentity;
        a->ops->clone = clone;
    }
    return a;
}

SUNMatrix clone(SUNMatrix a) { return matrix(order(a), a->sunctx); }

struct Pivots {
    std::vector<sunindextype> rows;
};

Pivots &pivots(SUNLinearSolver s) { return *static_cast<Pivots *>(s->content); }

// Factorises a in place into L U with row exchanges; a zero pivot is a recoverable failure (the
// integrator then tries a shorter step).
int factorise(SUNLinearSolver s, SUNMatrix a)
{
    const sunindextype n = order(a);
    double *m = data(a);
    auto &rows = pivots(s).rows;
    rows.resize(size_t(n));
    for (sunindextype k = 0; k < n; ++k) {
        double *column = m + k * n;
        sunindextype p = k;
        for (sunindextype i = k + 1; i < n; ++i)
            if (std::fabs(column[i]) > std::fabs(column[p]))
                p = i;
        rows[size_t(k)] = p;
        if (column[p] == 0.0)
            return SUNLS_LUFACT_FAIL;
        if (p != k)
            for (sunindextype j = k; j < n; ++j)  // the columns left of k keep their rows
                std::swap(m[j * n + k], m[j * n + p]);
        const double inverse = 1.0 / column[k];
        for (sunindextype i = k + 1; i < n; ++i)
            column[i] *= inverse;
        for (sunindextype j = k + 1; j < n; ++j) {
            double *target = m + j * n;
            const double factor = target[k];
            if (factor != 0.0)
                for (sunindextype i = k + 1; i < n; ++i)
                    target[i] -= factor * column[i];
        }
    }
    return SUNLS_SUCCESS;
}

// Solves L U x = P b with the factors of the last factorise.
int solve(SUNLinearSolver s, SUNMatrix a, N_Vector x, N_Vector b, realtype)
{
    const sunindextype n = order(a);
    const double *m = data(a);
    const auto &rows = pivots(s).rows;
    double *v = N_VGetArrayPointer(x);
    if (x != b)
        std::copy_n(N_VGetArrayPointer(b), n, v);
    for (sunindextype k = 0; k < n; ++k) {
        std::swap(v[k], v[rows[size_t(k)]]);
        const double *column = m + k * n;
        for (sunindextype i = k + 1; i < n; ++i)
            v[i] -= column[i] * v[k];
    }
    for (sunindextype k = n - 1; k >= 0; --k) {
        const double *column = m + k * n;
        v[k] /= column[k];
        for (sunindextype i = 0; i < k; ++i)
            v[i] -= column[i] * v[k];
    }
    return SUNLS_SUCCESS;
}

int release(SUNLinearSolver s)
{
    delete static_cast<Pivots *>(s->content);
    s->content = nullptr;
    SUNLinSolFreeEmpty(s);
    return SUNLS_SUCCESS;
}

SUNLinearSolver solver(SUNContext context)
{
    SUNLinearSolver s = SUNLinSolNewEmpty(context);
    if (!s)
        return nullptr;
    s->content = new Pivots;
    s->ops->gettype = [](SUNLinearSolver) { return SUNLINEARSOLVER_DIRECT; };
    s->ops->getid = [](SUNLinearSolver) { return SUNLINEARSOLVER_CUSTOM; };
    s->ops->setup = factorise;
    s->ops->solve = solve;
    s->ops->free = release;
    return s;
}

}  // namespace dense

// As many internal steps per output row or feed change as the scripts' integrator allows.
constexpr long kMaxStepsPerCall = 500;

// The CVODE objects of one run, freed whatever way the run ends.
class Integrator {
public:
    Integrator(RightHandSide &model, const std::vector<double> &initial, double start,
               const EngineTolerances &tolerances)
        : model(model)
    {
        const sunindextype n = sunindextype(model.size());
        if (SUNContext_Create(nullptr, &context) != 0)
            throw std::runtime_error("cannot create the integrator's context");
        y = N_VNew_Serial(n, context);
        matrix = dense::matrix(n, context);
        mem = CVodeCreate(CV_BDF, context);
        if (!y || !matrix || !mem)
            throw std::runtime_error("cannot create the integrator");
        std::copy(initial.begin(), initial.end(), N_VGetArrayPointer(y));
        solver = dense::solver(context);
        row = model.rowAfter(start);
        if (!solver || CVodeInit(mem, &Integrator::rhs, start, y) != CV_SUCCESS
            || CVodeSetUserData(mem, this) != CV_SUCCESS
            || CVodeSetErrHandlerFn(mem, &Integrator::report, this) != CV_SUCCESS
            || CVodeSStolerances(mem, tolerances.relative, tolerances.absolute) != CV_SUCCESS
            || CVodeSetLinearSolver(mem, solver, matrix) != CV_SUCCESS
            || CVodeSetMaxNumSteps(mem, kMaxStepsPerCall) != CV_SUCCESS)
            throw std::runtime_error("cannot set up the integrator");
    }

    ~Integrator()
    {
        CVodeFree(&mem);
        if (solver)
            SUNLinSolFree(solver);
        if (matrix)
            SUNMatDestroy(matrix);
        if (y)
            N_VDestroy(y);
        SUNContext_Free(&context);
    }

    Integrator(const Integrator &) = delete;
    Integrator &operator=(const Integrator &) = delete;

    // Steps exactly to `target`, never beyond it, and gives CVODE's flag: negative when the
    // integrator failed. The model's exception, if any, leaves here; the state is then the last
    // the integrator accepted, at `reached`.
    int advance(double target, double &reached)
    {
        CVodeSetStopTime(mem, target);
        const int flag = CVode(mem, target, y, &reached, CV_NORMAL);
        if (failure)
            std::rethrow_exception(std::exchange(failure, nullptr));
        return flag;
    }

    // Starts afresh at t under the feed in force after t, adding up what the counts held.
    void restart(double t)
    {
        collectCounts();
        row = model.rowAfter(t);
        CVodeReInit(mem, t, y);
        seen = {};  // the integrator counts from 0 again
    }

    EngineCounts counts()
    {
        collectCounts();
        return total;
    }

    const double *state() const { return N_VGetArrayPointer(y); }
    // Whether the model gave derivatives once.
    bool evaluated() const { return evaluatedOnce; }

private:
    static int rhs(realtype t, N_Vector y, N_Vector derivatives, void *data)
    {
        auto *self = static_cast<Integrator *>(data);
        try {
            self->model.rates(t, self->row, N_VGetArrayPointer(y), N_VGetArrayPointer(derivatives));
            self->evaluatedOnce = true;
        } catch (...) {
            self->failure = std::current_exception();
            return -1;  // unrecoverable: the run ends with the model's exception
        }
        const double *d = N_VGetArrayPointer(derivatives);
        const bool finite = std::all_of(d, d + self->model.size(), [](double v) { return std::isfinite(v); });
        return finite ? 0 : 1;  // recoverable: the integrator tries a shorter step
    }

    // The integrator's messages leave on standard output, as the scripts' integrator prints its
    // own; a failure of the model speaks for itself.
    static void report(int, const char *module, const char *function, char *message, void *data)
    {
        if (static_cast<Integrator *>(data)->failure)
            return;
        std::printf("%s--  %s: %s\n", module, function, message);
        std::fflush(stdout);
    }

    void collectCounts()
    {
        long steps = 0, evaluations = 0, jacobianEvaluations = 0, jacobians = 0;
        CVodeGetNumSteps(mem, &steps);
        CVodeGetNumRhsEvals(mem, &evaluations);
        CVodeGetNumLinRhsEvals(mem, &jacobianEvaluations);
        CVodeGetNumJacEvals(mem, &jacobians);
        total.steps += steps - seen.steps;
        total.evaluations += evaluations + jacobianEvaluations - seen.evaluations;
        total.jacobians += jacobians - seen.jacobians;
        seen = {steps, evaluations + jacobianEvaluations, jacobians};
    }

    RightHandSide &model;
    SUNContext context = nullptr;
    N_Vector y = nullptr;
    SUNMatrix matrix = nullptr;
    SUNLinearSolver solver = nullptr;
    void *mem = nullptr;
    size_t row = 0;
    bool evaluatedOnce = false;
    std::exception_ptr failure;
    EngineCounts total, seen;
};

}  // namespace

EngineOutcome integrateRun(RightHandSide &model, const std::vector<double> &initial, double start,
                           size_t rows, double interval, const EngineTolerances &tolerances, const RowSink &sink)
{
    if (initial.size() != model.size())
        throw std::invalid_argument("the initial state must hold " + std::to_string(model.size())
                                    + " values");
    EngineOutcome outcome;
    if (rows == 0)
        return outcome;
    Integrator integrator(model, initial, start, tolerances);
    double change = model.nextChange(start);
    double reached = start;
    for (size_t k = 1; k <= rows && outcome.end == EngineEnd::Finished; ++k) {
        const double t = start + double(k) * interval;
        for (bool atRow = false; !atRow;) {
            const double target = std::min(t, change);
            int flag = CV_SUCCESS;
            try {
                flag = integrator.advance(target, reached);
            } catch (const std::exception &error) {
                // The model cannot compute a state the integrator tried: no row past the last. At
                // the start state itself, the run cannot start.
                if (!integrator.evaluated())
                    throw;
                outcome.reason = error.what();
                outcome.end = EngineEnd::Failed;
                break;
            }
            if (flag == CV_FIRST_RHSFUNC_ERR || flag == CV_REPTD_RHSFUNC_ERR) {
                // The model gave values that are not numbers: so does the rest of the run, as
                // when the scripts integrate them.
                const std::vector<double> notNumbers(model.size(), std::nan(""));
                for (size_t rest = k; rest <= rows; ++rest)
                    sink(start + double(rest) * interval, notNumbers.data());
                outcome.end = EngineEnd::NotNumbers;
                break;
            }
            if (flag < 0) {
                // As in the scripts' integration, a failed step still gives its row.
                outcome.reason = "the integrator could not go on";
                sink(reached, integrator.state());
                outcome.end = EngineEnd::Failed;
                break;
            }
            atRow = target == t;
            if (target == change) {
                // The feed changes after this day: the next step starts here under the new row.
                integrator.restart(change);
                change = model.nextChange(change);
            }
        }
        if (outcome.end == EngineEnd::Finished && !sink(t, integrator.state()))
            outcome.end = EngineEnd::Cancelled;
    }
    outcome.counts = integrator.counts();
    return outcome;
}
