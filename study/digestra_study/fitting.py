"""Fitting parameters to measurements: bounded nonlinear least squares on weighted residuals, with
the model's runs handed out in batches so that they can run in parallel.

    parameters = [Parameter('km_ac', 2, 20, start=8), Parameter('kdis', 0.1, 1, start=0.5)]
    measurements = {'gasflow': (days, values), 'pH': (days, values)}      # NaN: not measured
    found = fit(evaluate, parameters, measurements, sigma={'pH': 0.05}, holdout=40, starts=4)

`evaluate(points)` takes a list of points, each {parameter name: value}, runs them (in parallel if
it can) and returns one prediction per point: {series name: (t, y)}, or None for a failed run. With
several starts it is called from several threads at once. A prediction is interpolated linearly at
the measured days; a day within half the prediction's interval beyond its first or last time takes
that time's value (a run's times are sums of its output interval: a 10-day run may end at
9.99999999999998). A measured day it does not reach (a failed run, a run stopped early) counts as a
residual of PENALTY in the search and is left out of the statistics; a best point with such days is
no fit (`failure`).

The residual of a measured value is sqrt(weight) (predicted - measured) / sigma, sigma being the
series' own (given) or else the standard deviation of its fitted measurements; a series whose
fitted values do not spread (a constant pH) needs its sigma, and a sigma must lie from NEGLIGIBLE
to 1 / NEGLIGIBLE times the series' largest value (beyond, the residuals overflow or vanish). Measurements after day `holdout` are not fitted, only
scored. A parameter whose box lies above 0 is searched on a log scale. scipy's least_squares
(trust region reflective) runs from the start and from `starts` - 1 more points of a scrambled
Sobol sample of the box, in parallel; the lowest cost is kept.

Jacobian: forward differences of step STEP times the box's width (on the search scale), backward
at the upper bound. The step is wide on purpose: a run's gas flow is the headspace's overpressure
times a large outlet coefficient, which turns the integrator's error into noise of about 1e-3 of the
flow from one sample to the next (up to 1e-2 at single samples; the states carry about 1e-6). The
classic step for a function of relative noise e is about sqrt(e) of the value, here 3 to 5 %; STEP
gives 4.6 % on a box of one decade. A step of 1e-3 of the box measured that noise instead of the
slope, and the search stalled near its start. The forward difference's truncation error at this
step is a few per cent of the slope; central differences would remove it for twice the runs.

Each point the optimiser asks for is evaluated in one batch with the p points of its Jacobian
(p + 1 runs), because the optimiser asks for the Jacobian of every point it accepts and accepts
most; on a cluster the batch costs the time of one run. Every point is run once: runs
are cached by the point's values. `max_runs` ends the search before a batch would exceed it;
Ctrl-C ends it after the batches under way. Either way the best point so far is reported.

Statistics at the best point: the covariance s^2 (J'J)^-1 from the Jacobian J of the residuals in
the parameters' own units and the residual variance s^2 = sum(r^2) / (n - p); standard errors,
95 % intervals from Student's t with n - p degrees of freedom (for log-scale parameters the
interval is taken on the log scale, so it stays positive), the correlation matrix. A parameter is
"not identifiable from these data" when its interval spans more than half its box (on the search
scale) or when its correlation with another exceeds 0.95 in magnitude. Per series and for the
fitted and held-out data apart: RMSE, PBIAS = 100 sum(measured - predicted) / sum(measured)
(positive when the model predicts too little), Nash-Sutcliffe efficiency and R^2 (the squared
correlation of measured and predicted).

The fitted curves' 95 % band is the delta method's (Bates and Watts, 1988, Nonlinear Regression
Analysis and Its Applications, section 2.3): the curve's slope g(t) in each parameter, from the
Jacobian's neighbour runs, gives the variance g(t) C g(t)' of the curve at t under the covariance C;
the band is the curve -/+ t_(0.975, n - p) times its square root.
"""
import concurrent.futures
import dataclasses
import math
import threading
import time
import warnings

import numpy as np
from scipy import optimize, stats
from scipy.stats import qmc

STEP = 0.02          # of the box's width on the search scale: see above
TOLERANCE = 1e-6
PENALTY = 1e3
CONFIDENCE = 0.95
WIDE = 0.5            # an interval wider than this share of the box is not an estimate
CORRELATED = 0.95
NEGLIGIBLE = 1e-12    # a spread or sigma below this share of a series' values is rounding, not scatter
NOT_IDENTIFIABLE = 'not identifiable from these data'


@dataclasses.dataclass(frozen=True)
class Parameter:
    """A parameter to estimate in its box [min, max], searched on a log scale when min > 0."""
    name: str
    min: float
    max: float
    start: float

    @property
    def log(self):
        return self.min > 0

    def searched(self, value):
        """The value on the search scale."""
        return math.log(value) if self.log else value


def check(parameters, measurements, sigma=None, weights=None, holdout=None, max_runs=None):
    """(key, reason) of every problem of a fit's settings, before any run."""
    problems = []
    if max_runs is not None and max_runs < len(parameters) + 1:
        problems.append(('max_runs', f'must be at least {len(parameters) + 1}: one point and its Jacobian'))
    for p in parameters:
        if not all(isinstance(v, (int, float)) and math.isfinite(v) for v in (p.min, p.max, p.start)):
            problems.append((p.name, 'min, max and start must be numbers'))
        elif not p.min < p.max:
            problems.append((f'{p.name}.max', f'must be greater than min ({p.max:g} is not above {p.min:g})'))
        elif not p.min <= p.start <= p.max:
            problems.append((f'{p.name}.start', f'must lie from min to max ({p.start:g} is outside {p.min:g} to {p.max:g})'))
    sigma, weights = sigma or {}, weights or {}
    for key, given, allowed in (('sigma', sigma, 'greater than 0'), ('weights', weights, '0 or more')):
        for name, value in given.items():
            if name not in measurements:
                problems.append((f'{key}.{name}', 'is not a measured series'))
            elif not _is_number(value) or value < 0 or (key == 'sigma' and value == 0):
                problems.append((f'{key}.{name}', f'must be a number {allowed}, not {value!r}'))
    fitted = 0
    for name, (days, values) in measurements.items():
        values = np.asarray(values, dtype=float)
        given, largest = sigma.get(name), float(np.max(np.abs(values), initial=0, where=np.isfinite(values)))
        if _is_number(given) and 0 < given < NEGLIGIBLE * largest:
            problems.append((f'sigma.{name}', f'{given:g} is below what the values resolve: give at least '
                                              f'{NEGLIGIBLE * largest:.3g}'))
        elif _is_number(given) and largest and given > largest / NEGLIGIBLE:
            problems.append((f'sigma.{name}', f'{given:g} would leave the values no weight: give at most '
                                              f'{largest / NEGLIGIBLE:.3g}'))
        values = values[_fitted_mask(days, values, holdout)]
        if not len(values) or weights.get(name, 1) == 0:
            continue
        fitted += len(values)
        if name not in sigma and not _spread(values):
            problems.append((f'sigma.{name}', f'needed: the {len(values)} fitted values of {name} do not spread, '
                                              'so they give no scale; give their measurement error'))
    if fitted <= len(parameters):
        problems.append(('holdout' if holdout is not None else 'weights' if 0 in weights.values() else 'measurements',
                         f'{fitted} measured values to fit; more than the {len(parameters)} parameters are needed'))
    return problems


def _is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool) and math.isfinite(value)


def _fitted_mask(days, values, holdout):
    mask = np.isfinite(np.asarray(values, dtype=float))
    return mask & (np.asarray(days, dtype=float) <= holdout) if holdout is not None else mask


class _OutOfRuns(Exception):
    pass


class _Stopped(Exception):
    pass


class _Data:
    """The measurements as the residuals see them: per series the fitted and the held-out points."""

    def __init__(self, measurements, sigma, weights, holdout):
        self.series = {}
        for name, (days, values) in measurements.items():
            days, values = np.asarray(days, dtype=float), np.asarray(values, dtype=float)
            fitted = _fitted_mask(days, values, holdout)
            held_out = np.isfinite(values) & ~fitted
            scale = (sigma or {}).get(name) or _spread(values[fitted]) or 1.0   # 1: a series of weight 0
            weight = (weights or {}).get(name, 1.0)
            self.series[name] = {'days': days, 'values': values, 'fitted': fitted, 'held_out': held_out,
                                 'sigma': float(scale), 'weight': float(weight)}

    def predicted(self, prediction, name):
        """A prediction's values at the series' days; NaN where it has none."""
        s = self.series[name]
        result = np.full(len(s['days']), np.nan)
        if prediction is None or name not in prediction:
            return result
        t, y = (np.asarray(a, dtype=float) for a in prediction[name])
        if not len(t):
            return result
        half = np.median(np.diff(t)) / 2 if len(t) > 1 else 0.0
        inside = (s['days'] >= t[0] - half) & (s['days'] <= t[-1] + half)   # np.interp takes the ends beyond
        result[inside] = np.interp(s['days'][inside], t, y)
        return result

    def residuals(self, prediction):
        """The weighted residuals of the fitted values; NaN where the prediction has none."""
        return np.concatenate([math.sqrt(s['weight']) * (self.predicted(prediction, name) - s['values'])[s['fitted']]
                               / s['sigma'] for name, s in self.series.items()])


def _spread(values):
    """The standard deviation of the values; 0 when it is rounding (a constant series gives 1.8e-15)."""
    if len(values) < 2:
        return 0.0
    spread = float(np.std(values, ddof=1))
    return spread if spread > NEGLIGIBLE * float(np.max(np.abs(values))) else 0.0


class _Objective:
    """The residuals and their Jacobian on the search scale, from runs done in batches, cached."""

    def __init__(self, evaluate, parameters, data, max_runs, step, progress):
        self.evaluate, self.parameters, self.data = evaluate, parameters, data
        self.max_runs, self.progress = max_runs, progress
        self.low = np.array([p.searched(p.min) for p in parameters])
        self.high = np.array([p.searched(p.max) for p in parameters])
        self.step = step * (self.high - self.low)
        self.log = np.array([p.log for p in parameters])
        self.cache = {}              # point -> (prediction, residuals), or an Event while it runs
        self.lock = threading.Lock()
        self.stop = threading.Event()
        self.runs = self.hits = self.batches = 0
        self.best = None             # (cost, z) of the best point evaluated with its Jacobian

    def natural(self, z):
        x = np.where(self.log, np.exp(z), z)
        return np.clip(x, [p.min for p in self.parameters], [p.max for p in self.parameters])

    def key(self, z):
        return tuple(float(v) for v in self.natural(z))

    def neighbours(self, z):
        z = np.asarray(z, dtype=float)
        points = []
        for j, h in enumerate(self.step):
            moved = z.copy()
            moved[j] += h if z[j] + h <= self.high[j] else -h
            points.append(moved)
        return points

    def ensure(self, points):
        """Runs, in one batch, those of the points not run yet, and waits for those under way."""
        keys = list(dict.fromkeys(self.key(z) for z in points))
        with self.lock:
            new = [k for k in keys if k not in self.cache]
            if new and self.stop.is_set():
                raise _Stopped
            waiting = [self.cache[k] for k in keys if isinstance(self.cache.get(k), threading.Event)]
            self.hits += len(keys) - len(new)
            if new and self.max_runs is not None and self.runs + len(new) > self.max_runs:
                raise _OutOfRuns
            done = threading.Event()
            for k in new:
                self.cache[k] = done
            self.runs += len(new)
            self.batches += bool(new)
        if new:
            try:
                predictions = self.evaluate([dict(zip((p.name for p in self.parameters), k)) for k in new])
            except BaseException:
                with self.lock:
                    for k in new:
                        del self.cache[k]
                done.set()
                raise
            with self.lock:
                for k, prediction in zip(new, predictions):
                    r = self.data.residuals(prediction)
                    self.cache[k] = (prediction, np.where(np.isfinite(r), r, PENALTY))
            done.set()
        for event in waiting:
            event.wait()
        with self.lock:
            if not all(isinstance(self.cache.get(k), tuple) for k in keys):
                raise _Stopped   # the batch of another search failed, and ends the fit

    def residuals(self, z):
        self.ensure([z, *self.neighbours(z)])
        r = self.cache[self.key(z)][1]
        with self.lock:
            cost = 0.5 * float(r @ r)
            if self.best is None or cost < self.best[0]:
                self.best = (cost, np.array(z, dtype=float))
            if self.progress:
                self.progress(self.runs, self.best[0])
        return r

    def jacobian(self, z, natural=False):
        """d residuals / d parameters on the search scale, or in the parameters' units."""
        neighbours = self.neighbours(z)
        self.ensure([z, *neighbours])
        centre, x = self.cache[self.key(z)][1], self.natural(z)
        columns = []
        for j, moved in enumerate(neighbours):
            change = self.natural(moved)[j] - x[j] if natural else moved[j] - z[j]
            columns.append((self.cache[self.key(moved)][1] - centre) / change)
        return np.column_stack(columns)


def _starts(parameters, objective, starts, seed):
    first = np.array([p.searched(p.start) for p in parameters])
    if starts <= 1:
        return [first]
    with warnings.catch_warnings():
        warnings.simplefilter('ignore', UserWarning)   # any number of starts, not only powers of 2
        sample = qmc.Sobol(len(parameters), scramble=True, seed=seed).random(starts - 1)
    return [first, *(objective.low + sample * (objective.high - objective.low))]


def _search(objective, z0, tolerance):
    """One least-squares search; its end point and how it ended."""
    try:
        found = optimize.least_squares(objective.residuals, z0, jac=objective.jacobian,
                                       bounds=(objective.low, objective.high), method='trf',
                                       ftol=tolerance, xtol=tolerance, gtol=tolerance)
        return found.x, found.message
    except _OutOfRuns:
        return None, 'stopped: max_runs reached'
    except _Stopped:
        return None, 'stopped'


def fit(evaluate, parameters, measurements, *, sigma=None, weights=None, holdout=None, starts=1,
        max_runs=None, seed=0, step=STEP, tolerance=TOLERANCE, progress=None):
    """The fit's estimates and statistics as plain data (see `statistics`), with 'starts' (each
    search's start, end, cost and message), 'runs', 'cache_hits', 'batches', 'seconds', 'stopped'
    (None, 'max_runs' or 'interrupted'), 'holdout', 'curves' (the best point's prediction),
    'start_curves' (the first start's, or None) and 'bands' ({series: (t, low, high)}, 95 %).
    `progress(runs, best cost)` is called after each point the optimiser asks for."""
    began = time.monotonic()
    data = _Data(measurements, sigma, weights, holdout)
    objective = _Objective(evaluate, parameters, data, max_runs, step, progress)
    points = _starts(parameters, objective, starts, seed)
    stopped = None
    with concurrent.futures.ThreadPoolExecutor(max_workers=len(points)) as pool:
        futures = [pool.submit(_search, objective, z0, tolerance) for z0 in points]
        try:
            concurrent.futures.wait(futures, return_when=concurrent.futures.FIRST_EXCEPTION)
        except KeyboardInterrupt:
            stopped = 'interrupted'
        objective.stop.set()   # the other searches end too when one failed
        concurrent.futures.wait(futures)
    searches = []
    for z0, future in zip(points, futures):
        end, message = future.result()
        if end is None and message.endswith('max_runs reached'):
            stopped = stopped or 'max_runs'
        cost = None
        if end is not None:
            r = objective.cache[objective.key(end)][1]
            cost = 0.5 * float(r @ r)
        searches.append({'start': _named(parameters, objective.natural(z0)),
                         'end': None if end is None else _named(parameters, objective.natural(end)),
                         'cost': cost, 'message': message})
    if objective.best is None:
        raise RuntimeError('no point was evaluated (max_runs is too small for one point and its Jacobian)')
    best = objective.best[1]
    found = statistics(objective, data, best)
    found.update({'starts': searches, 'runs': objective.runs, 'cache_hits': objective.hits,
                  'batches': objective.batches, 'seconds': time.monotonic() - began, 'stopped': stopped,
                  'holdout': holdout,
                  'curves': objective.cache[objective.key(best)][0],
                  'start_curves': _prediction(objective, points[0]),
                  'bands': _bands(objective, best, found)})
    return found


def _prediction(objective, z):
    entry = objective.cache.get(objective.key(z))
    return entry[0] if isinstance(entry, tuple) else None


def _bands(objective, z, found):
    """{series: (t, low, high)}: the 95 % band of each fitted curve (see the module's note); empty
    where the covariance is not known."""
    error = np.array([row['std_error'] for row in found['parameters']])
    correlation = np.asarray(found['correlation'], dtype=float)
    dof = found['degrees_of_freedom']
    curves = _prediction(objective, z)
    if dof <= 0 or not curves or not (np.all(np.isfinite(error)) and np.all(np.isfinite(correlation))):
        return {}
    covariance = correlation * np.outer(error, error)
    x, neighbours = objective.natural(z), objective.neighbours(z)
    quantile = stats.t.ppf(0.5 + CONFIDENCE / 2, dof)
    bands = {}
    for name, (t, y) in curves.items():
        t, y = np.asarray(t, dtype=float), np.asarray(y, dtype=float)
        slopes = []
        for j, moved in enumerate(neighbours):
            other = (_prediction(objective, moved) or {}).get(name)
            if other is None:
                break
            slopes.append((np.interp(t, *(np.asarray(a, dtype=float) for a in other)) - y)
                          / (objective.natural(moved)[j] - x[j]))
        else:
            g = np.column_stack(slopes)
            half = quantile * np.sqrt(np.maximum(np.einsum('ti,ij,tj->t', g, covariance, g), 0))
            bands[name] = (t, y - half, y + half)
    return bands


def failure(found):
    """Why a fit's result is no fit, or None. Fitted values its best point does not predict (its run
    failed or stopped early, or gives no such series) each count PENALTY in the cost, which then
    outweighs every residual: the penalties, not the measurements, decided the estimates."""
    missing = found['not_predicted']
    if not missing:
        return None
    none = [name for name, s in found['series'].items() if not np.any(np.isfinite(s['predicted']))]
    return (f'{missing} of {missing + found["data_points"]} fitted values were not predicted at the best point'
            + (f' (no run gave {", ".join(none)})' if none else ' (its run failed or stopped early)')
            + ': their penalties outweigh the measurements')


def _named(parameters, x):
    return {p.name: float(v) for p, v in zip(parameters, x)}


def statistics(objective, data, z):
    """The statistics at the point z (search scale) of an objective whose cache holds z and its
    Jacobian's points: 'parameters' (a list of rows: parameter, estimate, std_error, ci_low,
    ci_high, start, min, max, log_scale, identifiable, notes), 'correlation' (a matrix in the
    parameters' order), 'series' ({name: sigma, weight, days, measured, predicted, fitted: {...},
    held_out: {...}}), 'cost', 'data_points', 'not_predicted' (fitted values the prediction does not
    reach, left out of these statistics), 'degrees_of_freedom', 'residual_variance'."""
    parameters = objective.parameters
    x = objective.natural(z)
    prediction = objective.cache[objective.key(z)][0]
    reached = np.isfinite(data.residuals(prediction))   # the penalties of values not predicted are left out
    r = objective.cache[objective.key(z)][1][reached]
    jacobian = objective.jacobian(z, natural=True)[reached]
    n, p = len(r), len(parameters)
    dof = n - p
    variance = float(r @ r) / dof if dof > 0 else math.nan
    finite = np.all(np.isfinite(jacobian))
    singular = np.linalg.svd(jacobian, compute_uv=False) if finite else None
    if dof > 0 and finite and singular[-1] > singular[0] * 1e-10:
        covariance = variance * np.linalg.inv(jacobian.T @ jacobian)
        error = np.sqrt(np.diag(covariance))
        with np.errstate(invalid='ignore', divide='ignore'):
            correlation = covariance / np.outer(error, error)
    else:
        error = np.full(p, math.inf)
        correlation = np.full((p, p), math.nan)
    t = stats.t.ppf(0.5 + CONFIDENCE / 2, dof) if dof > 0 else math.nan
    rows = []
    for j, parameter in enumerate(parameters):
        if parameter.log:
            with np.errstate(over='ignore'):
                low, high = x[j] * np.exp(np.array([-1, 1]) * t * error[j] / x[j])
        else:
            low, high = x[j] - t * error[j], x[j] + t * error[j]
        notes = []
        width = parameter.searched(high) - parameter.searched(low) if low > 0 or not parameter.log else math.inf
        if not width <= WIDE * (objective.high[j] - objective.low[j]):
            notes.append('its 95 % interval spans most of its box')
        for i, other in enumerate(parameters):
            if i != j and abs(correlation[j, i]) > CORRELATED:
                notes.append(f'correlated with {other.name} (r = {correlation[j, i]:.3f})')
        rows.append({'parameter': parameter.name, 'estimate': float(x[j]), 'std_error': float(error[j]),
                     'ci_low': float(low), 'ci_high': float(high), 'start': parameter.start, 'min': parameter.min,
                     'max': parameter.max, 'log_scale': parameter.log, 'identifiable': not notes, 'notes': notes})
    series = {}
    for name, s in data.series.items():
        predicted = data.predicted(prediction, name)
        series[name] = {'sigma': s['sigma'], 'weight': s['weight'], 'days': s['days'], 'measured': s['values'],
                        'predicted': predicted, 'fitted': quality(s['values'][s['fitted']], predicted[s['fitted']]),
                        'held_out': quality(s['values'][s['held_out']], predicted[s['held_out']])}
    return {'parameters': rows, 'correlation': correlation, 'series': series, 'cost': 0.5 * float(r @ r),
            'data_points': n, 'not_predicted': int(np.sum(~reached)), 'degrees_of_freedom': dof,
            'residual_variance': variance}


def quality(measured, predicted):
    """{'points', 'rmse', 'pbias', 'nse', 'r2'} of predictions against measurements (NaN when
    undefined: no points, a constant series, no predictions)."""
    keep = np.isfinite(measured) & np.isfinite(predicted)
    m, q = measured[keep], predicted[keep]
    result = {'points': int(len(m)), 'rmse': math.nan, 'pbias': math.nan, 'nse': math.nan, 'r2': math.nan}
    if len(m):
        result['rmse'] = float(np.sqrt(np.mean((q - m) ** 2)))
        if np.sum(m) != 0:
            result['pbias'] = float(100 * np.sum(m - q) / np.sum(m))
        spread = float(np.sum((m - np.mean(m)) ** 2))
        if spread > 0:
            result['nse'] = float(1 - np.sum((m - q) ** 2) / spread)
            if len(m) > 1 and np.std(q) > 0:
                result['r2'] = float(np.corrcoef(m, q)[0, 1] ** 2)
    return result
