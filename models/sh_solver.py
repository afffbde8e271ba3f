# pH and ion equilibrium of one liquid: the hydrogen-ion concentration from the charge balance
# (free pH) or as imposed (manual pH), and the dissociated species that depend on it.
#
# Two free-pH solvers, chosen per run (start_ph_solver): 'exact' returns the root of the charge
# balance, found by a safeguarded Newton iteration started from the run's last solution; 'damped',
# the solver of earlier versions, makes 101 passes of one hundredth of a Newton step from pH 7.237 and
# ends between its start and the root (kept to reproduce earlier results).
#
# The integrator's finite-difference Jacobian repeats the arguments of a recent call for most of its
# evaluations (it perturbs one state at a time, mostly states the solver does not read). The damped
# solver keeps its results for the few most recent argument tuples (with two reactors or three
# sections the calls for the different liquids alternate, hence a handful of entries rather than one);
# the exact solver, started from the last call's root, needs a single evaluation for such a call.
#
# Every model script also takes its feed from here: feed_schedule turns a run's feed into rows, and
# feed_at gives the row in force at a time; feed_table hands the same rows to the compiled kernel.
# Integration carries a run across the feed's change days from its start day; start_state gives its
# state there.
from bisect import bisect_left, bisect_right
from math import inf, log10, sqrt

import numpy as np
from scipy import integrate

# The acid constants of the volatile fatty acids (Ka_ac, Ka_bu, Ka_pro, Ka_va) are model constants,
# module-level names the program sets before every run like the model script's.

PH_SOLVERS = ('exact', 'damped')
_RECENT_FREE_MODE_SIZE = 8
_recent_free_mode = {}
# The free-pH solver of the run, and the hydrogen-ion concentration its last free-mode call returned
# (the exact solver's start; None before the first). Damped results are remembered by argument tuple.
ph_solver = 'exact'
_last_S_H = None


def start_ph_solver(solver):
    # A run's free pH starts afresh: no memory of an earlier run's liquids.
    global ph_solver, _last_S_H
    if solver not in PH_SOLVERS:
        raise ValueError('ph_solver must be exact or damped, not %r' % (solver,))
    ph_solver = solver
    _last_S_H = None
    _recent_free_mode.clear()


def solve_ph(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w, ph_mode, S_h_ion_manual):
    global _last_S_H
    if ph_mode != 1:
        return _ions_at(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, Ka_IN, Ka_co2, K_w, S_h_ion_manual)
    if ph_solver == 'exact':
        # Started from the last call's root, a call with the arguments of the last returns its result
        # after one evaluation: no memory of results needed.
        start = _last_S_H if _last_S_H is not None and 0 < _last_S_H < inf else 5.79e-8
        result = _charge_balance_root(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w, start)
        _last_S_H = result[0]
        return result
    key = (S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w)
    # Least recently used goes first: a hit moves its entry to the end.
    result = _recent_free_mode.pop(key, None)
    if result is None:
        result = _charge_balance(*key)
        if len(_recent_free_mode) >= _RECENT_FREE_MODE_SIZE:
            del _recent_free_mode[next(iter(_recent_free_mode))]
    _recent_free_mode[key] = result
    return result


def _ions_at(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, Ka_IN, Ka_co2, K_w, S_H):
    # Manual pH: the ions at the imposed hydrogen-ion concentration.
    S_hco3_ion = Ka_co2 * S_IC / (Ka_co2 + S_H)
    return (S_H,
            S_H * S_IN / (Ka_IN + S_H),
            S_hco3_ion,
            Ka_ac * S_ac / (Ka_ac + S_H),
            Ka_bu * S_bu / (Ka_bu + S_H),
            Ka_va * S_va / (Ka_va + S_H),
            Ka_pro * S_pro / (Ka_pro + S_H),
            K_w / S_H,
            S_IC - S_hco3_ion,
            Ka_IN * S_IN / (Ka_IN + S_H))


def _numerators(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, Ka_IN, Ka_co2):
    # The numerators of the ions that do not depend on S_H (free ammonia, bicarbonate, the four acids).
    return (Ka_IN * S_IN, Ka_co2 * S_IC, Ka_ac * S_ac, Ka_bu * S_bu, Ka_va * S_va, Ka_pro * S_pro)


def _balance_at(S_H, nums, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w):
    # At S_H: the ions (NH4+, HCO3-, Ac-, Bu-, Va-, Pro-, OH-), the charge balance
    #   Delta = S_H + S_cat - S_an + S_nh4_ion - S_hco3_ion - S_ac_ion/64 - S_bu_ion/160
    #           - S_va_ion/208 - S_pro_ion/112 - S_oh_ion
    # and the denominators Ka + S_H of the ammonium, bicarbonate and acid terms.
    nh3_num, hco3_num, ac_num, bu_num, va_num, pro_num = nums
    dens = (Ka_IN + S_H, Ka_co2 + S_H, Ka_ac + S_H, Ka_bu + S_H, Ka_va + S_H, Ka_pro + S_H)
    nh4_den, hco3_den, ac_den, bu_den, va_den, pro_den = dens
    S_nh4_ion = S_H * S_IN / nh4_den
    S_hco3_ion = hco3_num / hco3_den
    S_ac_ion = ac_num / ac_den
    S_bu_ion = bu_num / bu_den
    S_va_ion = va_num / va_den
    S_pro_ion = pro_num / pro_den
    S_oh_ion = K_w / S_H
    Delta = (S_H + S_cat - S_an + S_nh4_ion - S_hco3_ion - S_ac_ion / 64 - S_bu_ion / 160
             - S_va_ion / 208 - S_pro_ion / 112 - S_oh_ion)
    return (S_nh4_ion, S_hco3_ion, S_ac_ion, S_bu_ion, S_va_ion, S_pro_ion, S_oh_ion), Delta, dens


def _charge_balance_root(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w, S_H):
    # Free pH, exact: the root of the charge balance
    #   Delta(S_H) = S_H + S_cat - S_an + S_nh4_ion - S_hco3_ion - S_ac_ion/64 - S_bu_ion/160
    #                - S_va_ion/208 - S_pro_ion/112 - S_oh_ion = 0,
    # which increases strictly with S_H from -inf (S_H -> 0) to +inf. Newton's method from S_H, kept
    # inside the bracket [lo, hi] that every evaluated point narrows (lo: Delta < 0, hi: Delta > 0):
    # a step that leaves it is replaced by the bracket's geometric mean (by a tenth of hi while no
    # point below the root is known). It ends when the Newton step is at most STEP_TOL of S_H
    # (|delta pH| <= 4.3e-13) or the bracket is that narrow, and returns the ions of its last point.
    # A NaN balance (a state already not a number) ends it at once.
    STEP_TOL = 1e-12
    nums = _numerators(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, Ka_IN, Ka_co2)
    nh3_num, hco3_num, ac_num, bu_num, va_num, pro_num = nums
    lo, hi = 0.0, inf
    while True:
        ions, Delta, dens = _balance_at(S_H, nums, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w)
        nh4_den, hco3_den, ac_den, bu_den, va_den, pro_den = dens
        if Delta > 0:
            hi = S_H
        elif Delta < 0:
            lo = S_H
        else:
            break
        dDelta = (1 + nh3_num / nh4_den ** 2 + hco3_num / hco3_den ** 2 + ac_num / ac_den ** 2 / 64
                  + bu_num / bu_den ** 2 / 160 + va_num / va_den ** 2 / 208 + pro_num / pro_den ** 2 / 112
                  + K_w / S_H ** 2)
        step = Delta / dDelta
        if abs(step) <= STEP_TOL * S_H or hi - lo <= STEP_TOL * S_H:
            break
        S_H = S_H - step
        if not (lo < S_H < hi):
            S_H = sqrt(lo * hi) if lo > 0 and hi < inf else (hi * 0.1 if lo == 0 else lo * 10)
    return (S_H, *ions, S_IC - ions[1], nh3_num / nh4_den)


def _charge_balance(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w):
    # Free pH, damped (the solver of earlier versions): a damped Newton iteration on the charge
    # balance that always starts from pH 7.237 and applies one hundredth of the Newton step per pass.
    # It stops when the residual of a pass is at most TOL or after 101 passes, which in practice is
    # what ends it, short of the root. The ions returned are those of the last pass, evaluated before
    # its update; the free ammonia is taken at the updated S_H.
    TOL = 1e-12
    MaxSteps = 100
    # Numerators that do not depend on S_H (the products are the same as in the ion functions).
    nums = _numerators(S_va, S_bu, S_pro, S_ac, S_IC, S_IN, Ka_IN, Ka_co2)
    nh3_num, hco3_num, ac_num, bu_num, va_num, pro_num = nums
    H0 = 5.79e-8
    S_H = H0
    for _ in range(MaxSteps + 1):
        ions, Delta, dens = _balance_at(S_H, nums, S_IN, S_cat, S_an, Ka_IN, Ka_co2, K_w)
        nh4_den, hco3_den, ac_den, bu_den, va_den, pro_den = dens
        # The slope of every decreasing term enters with a plus sign; the acid terms carry no COD
        # divisors here.
        dDelta = (1 + nh3_num / nh4_den ** 2 + hco3_num / hco3_den ** 2 + ac_num / ac_den ** 2
                  + bu_num / bu_den ** 2 + va_num / va_den ** 2 + pro_num / pro_den ** 2 + K_w / S_H ** 2)
        S_H = H0 - 0.01 * Delta / dDelta
        H0 = S_H
        if not (Delta > TOL or Delta < -TOL):  # |Delta| > TOL, NaN included, without a call
            break
    return (S_H, *ions, S_IC - ions[1], nh3_num / (Ka_IN + S_H))


def feed_schedule(final_Q_in, X_c_in, inorganic, feed):
    # The feed's days and, for each, its flow and the concentrations flowing in: the 24 liquid species,
    # cations and anions, in the order of STATE_NAMES. feed maps column names to lists of equal length:
    # day (from 0, increasing), Q_in and either X_c_in (composites, flowing in with the inorganic carbon
    # S_IC_in and nitrogen S_IN_in that inorganic(Q_in) gives for the row's flow, cations at
    # S_IC_in + 0.035 and anions at S_IN_in) or any of the 26 components by state name (0 where not
    # given). Without a feed, the built-in ramp of the composites X_c_in: a quarter of final_Q_in on
    # day 1, rising in daily steps to final_Q_in from day 41 on.
    if feed is None:
        days = range(41)
        feed = {'day': days, 'Q_in': [final_Q_in * (0.01875 * i + 0.25) for i in days], 'X_c_in': [X_c_in] * 41}
    components = STATE_NAMES[:26]
    if 'X_c_in' in feed:
        given = []
        for Q_in, X_c in zip(feed['Q_in'], feed['X_c_in']):
            S_IC_in, S_IN_in = inorganic(Q_in)
            given.append(dict(X_c=X_c, S_IC=S_IC_in, S_IN=S_IN_in, S_cat=S_IC_in + 0.035, S_an=S_IN_in))
    else:
        columns = [name for name in components if name in feed]
        given = [{name: feed[name][i] for name in columns} for i in range(len(feed['day']))]
    inflows = [tuple(row.get(name, 0.0) for name in components) for row in given]
    return [float(day) for day in feed['day']], list(zip(feed['Q_in'], inflows))


def feed_row(t):
    # The number of the run's feed row in force at t: the last whose day is before t (row 0 at t = 0);
    # the last row holds after its day.
    return max(bisect_left(feed_days, t) - 1, 0)


def feed_at(t):
    # The row of the run's feed schedule in force at t (feed_row).
    return feed_rows[feed_row(t)]


def integrate_compiled(rhs, initial_state, start_day, callback, getvalue, results, row):
    # MyFunc's engine 'compiled': the kernel integrates the whole run in C++ from start_day; results[k] of
    # each output row after the start becomes row(t, state, the values published by an evaluation at that
    # time and state). When the integration ends early, the rows after its last stay at zero and
    # stop_reason says why; None when cancelled. What the run cost goes to the names the program reads,
    # and the state reached by a whole run to final_state.
    global rhs_evaluations, integrator_steps, jacobian_evaluations, final_state, stop_reason
    rows = digestra_kernel.integrate(rhs, initial_state, start_day, len(results) - 1, OUTPUT_INTERVAL, callback,
                                     getvalue)
    rhs_evaluations, integrator_steps, jacobian_evaluations = rhs.evaluations, rhs.steps, rhs.jacobian_evaluations
    if rows is None:
        return None
    for k, (t, y, published) in enumerate(rows, 1):
        results[k] = row(t, y, published)
    if len(rows) == len(results) - 1 and not rhs.stop_reason:
        final_state = state_blocks(rows[-1][1] if rows else initial_state)
    stop_reason = rhs.stop_reason or None
    return results


def feed_table():
    # The run's feed schedule as the compiled kernel takes it, under the same rule as feed_at: rows of
    # day, Q_in and the 26 concentrations flowing in.
    return [(day, Q_in) + inflow for day, (Q_in, inflow) in zip(feed_days, feed_rows)]


class Integration:
    # A run's integration (LSODA, rtol 1e-6, atol 1e-12) of rhs from the state y0 on day t0, which stops
    # at every change day of the feed and starts afresh there. Until it reaches a change day, rhs sees
    # the feed in force before it, also where a step reaches beyond it: a change on day d alters no
    # state up to d. The feed rows are the run's (feed_schedule); rhs depends on t through them only.
    # A quantity that rhs cannot compute at a state the integrator tries (an ArithmeticError or
    # ValueError) ends the integration as the integrator's own failure does, at the state reached
    # before, with the error as the reason (stop_reason), as the compiled engine ends it; at the start
    # state itself it fails the run.
    def __init__(self, rhs, y0, t0=0.0):
        self.rhs = rhs
        self.error = None
        self.evaluated = False  # whether rhs gave derivatives once
        self.changes = feed_days[1:]
        self.ode = integrate.ode(self.segment_rates).set_integrator('lsoda', atol=1e-12, rtol=1e-6)
        self.ode.set_initial_value(y0, t0)
        self.segment_end = self.next_change(t0)

    def next_change(self, t):
        later = bisect_right(self.changes, t)
        return self.changes[later] if later < len(self.changes) else inf

    def segment_rates(self, t, y):
        # The feed in force up to the segment's end, at any t within or beyond the segment.
        derivatives = self.rhs(self.segment_end, y)
        self.evaluated = True
        return derivatives

    def integrate(self, t):
        # Carries the state to day t (y, on day t), or as far as the integrator gets (y on day self.t).
        try:
            while self.segment_end < t and self.ode.successful():
                self.ode.integrate(self.segment_end)
                if self.ode.successful():
                    self.ode.set_initial_value(self.ode.y, self.segment_end)
                    self.segment_end = self.next_change(self.segment_end)
            if self.ode.successful():
                self.ode.integrate(t)
        except (ArithmeticError, ValueError) as error:
            if not self.evaluated:
                raise
            self.error = str(error) or type(error).__name__

    def successful(self):
        return self.error is None and self.ode.successful()

    def stop_reason(self):
        # Why the integration ended before the run's end; None while it goes on.
        if self.error is not None:
            return self.error
        return None if self.successful() else 'the integrator could not go on'

    @property
    def t(self):
        return self.ode.t

    @property
    def y(self):
        return self.ode.y


# Each reactor (each section of the pump-mixed digester) holds a block of the state vector: the entries
# of STATE_NAMES at an offset of BLOCK times its number, with a spacer after every block but the last.
BLOCK = 30


def start_state(initial_state, built_in, rhs):
    # The state vector at the start: built_in (the start-up) for None, the steady state of rhs under the
    # feed's first row for 'steady' (both on day 0), or the given blocks (on the day they were saved),
    # one mapping from state name to value per reactor, laid out as built_in is.
    if initial_state is None:
        return built_in
    if initial_state == 'steady':
        return tuple(steady_state(rhs, built_in))
    blocks = list(initial_state)
    reactors = len(state_blocks(built_in))
    if len(blocks) != reactors:
        raise ValueError('the start state holds %d reactors, the run %d' % (len(blocks), reactors))
    y = []
    for block in blocks:
        missing = [name for name in STATE_NAMES if name not in block]
        if missing:
            raise ValueError('the start state lacks ' + ', '.join(missing))
        y += [float(block[name]) for name in STATE_NAMES] + [0.0]
    return tuple(y[:-1])


def state_blocks(y):
    # The state vector y as one mapping from state name to value per reactor.
    values = list(y)
    return [dict(zip(STATE_NAMES, values[offset:offset + len(STATE_NAMES)]))
            for offset in range(0, len(values), BLOCK)]


def steady_state(rhs, y0):
    # The state where rhs vanishes under the feed's first row (rhs at day 0), found by pseudo-transient
    # continuation from y0 (C. T. Kelley and D. E. Keyes, Convergence analysis of pseudo-transient
    # continuation, SIAM J. Numer. Anal. 35 (1998) 508-523): implicit Euler steps
    # (I / dt - J) s = f(y) with a difference-quotient Jacobian J, whose length dt grows as the
    # weighted residual falls (switched evolution relaxation), so that the steps follow the digester's
    # own course at first and become Newton's method near the steady state. A step that would leave a
    # concentration negative or the residual not a number is taken again at a quarter of the length;
    # the residual is none where the model cannot compute it (its error is the reason given when no
    # steady state is found). Entries that never change (spacers, the unused headspace of the
    # pump-mixed run's sections 2 and 3) keep their values.
    reason = ''

    def rates(y):
        nonlocal reason
        try:
            return np.asarray(rhs(0.0, y), dtype=float)
        except (ArithmeticError, ValueError) as error:
            reason = ': ' + (str(error) or type(error).__name__)
            return np.full(y.size, np.nan)

    def weighted_norm(f, y):
        return np.linalg.norm(f / (np.abs(y) + 1e-6))

    y = np.array(y0, dtype=float)
    f = rates(y)
    residual = weighted_norm(f, y)
    dt = 0.01
    for _ in range(500 if np.isfinite(residual) else 0):  # no step from a start without rates
        h = 1e-7 * np.maximum(np.abs(y), 1e-5)
        jacobian = np.empty((y.size, y.size))
        for j in range(y.size):
            shifted = y.copy()
            shifted[j] += h[j]
            jacobian[:, j] = (rates(shifted) - f) / h[j]
        moving = np.flatnonzero(jacobian.any(axis=1))
        while dt > 1e-9:
            step = np.linalg.solve(np.eye(moving.size) / dt - jacobian[np.ix_(moving, moving)], f[moving])
            y_new = y.copy()
            y_new[moving] += step
            if (y_new >= 0).all():
                f_new = rates(y_new)
                residual_new = weighted_norm(f_new, y_new)
                if np.isfinite(residual_new):
                    break
            dt /= 4
        else:
            break
        converged = dt >= 1e3 and (np.abs(step) <= 1e-10 * np.abs(y[moving]) + 1e-15).all()
        dt = min(dt * min(max(residual / residual_new, 0.5), 10.0), 1e15) if residual_new > 0 else 1e15
        y, f, residual = y_new, f_new, residual_new
        if converged:
            return y
    raise ValueError('no steady state found under the first feed row' + reason)


def ph_of(S_h_ion):
    # The pH of a liquid's hydrogen-ion concentration, which must be above 0 to have one.
    if S_h_ion <= 0:
        raise ValueError('the pH cannot be computed: the hydrogen-ion concentration came out at %.6g kmol/m3'
                         % S_h_ion)
    return -log10(S_h_ion)
