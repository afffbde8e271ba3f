"""The estimators of sensitivity, uncertainty and fit studies, with the model replaced by numpy
functions whose answers are known, through the same functions the runner calls."""
import csv
import json
import locale
import math

import numpy as np
import pytest
from scipy import stats

from digestra_study import distributions, fitting, report, sensitivity, series, uncertainty


def ishigami(unit, a=7, b=0.1):
    x = -np.pi + 2 * np.pi * unit
    return np.sin(x[:, 0]) + a * np.sin(x[:, 1]) ** 2 + b * x[:, 2] ** 4 * np.sin(x[:, 0])


G_A = np.array([0, 1, 4.5, 9, 99, 99])


def g_function(unit):
    return np.prod((np.abs(4 * unit - 2) + G_A) / (1 + G_A), axis=1)


def g_indices():
    part = 1 / (3 * (1 + G_A) ** 2)
    variance = np.prod(1 + part) - 1
    return part / variance, part * np.prod(1 + part) / (1 + part) / variance


@pytest.mark.parametrize('function, k, first, total', [
    (ishigami, 3, [0.3139, 0.4424, 0], [0.5576, 0.4424, 0.2437]),
    (g_function, 6, *g_indices()),
])
def test_sobol_intervals_hold_the_analytic_indices(function, k, first, total):
    unit = sensitivity.sobol_design(k, 1024, seed=1)
    assert unit.shape == (1024 * (k + 2), k)
    y = function(unit)
    found, = sensitivity.sobol_indices(np.column_stack([y]), k, seed=2)
    for key, exact in (('S1', first), ('ST', total)):
        low, high = found[f'{key}_low'], found[f'{key}_high']
        assert np.all((low <= exact) & (exact <= high)), (key, low, exact, high)
        assert np.all(high - low < 0.35) and np.allclose(found[key], exact, atol=0.06)
    assert found['S1_sum'] == pytest.approx(sum(found['S1']))
    # A failed run leaves its base sample out; the rest still gives the indices.
    y[5] = np.nan
    assert sensitivity.sobol_indices(y, k, seed=2)[0]['samples_used'] == 1023


def test_morris_ranks_the_ishigami_inputs_above_an_input_without_effect():
    # A fourth input the function ignores. On 4 levels the mean absolute effects over the grid are
    # 7.70 (x1), 7.875 (x2) and 6.25 (x3): x1 and x2 lead, x3 interacts only (mu near 0).
    unit = sensitivity.morris_design(4, trajectories=1000, levels=4, seed=3)
    assert unit.shape == (1000 * 5, 4)
    assert np.all(np.count_nonzero(np.diff(unit.reshape(1000, 5, 4), axis=1), axis=2) == 1)
    found, = sensitivity.morris_indices(unit, ishigami(unit), 4)
    assert found['mu_star'] == pytest.approx([7.70, 7.875, 6.25, 0], rel=0.05)
    assert set(np.argsort(-found['mu_star'])[:2]) == {0, 1}
    assert found['sigma'][3] == 0 and abs(found['mu'][2]) < 0.2 * found['sigma'][2]


HALF = math.sqrt(2 / math.pi)


@pytest.mark.parametrize('entry, mean, sd, low, high', [
    ({'dist': 'uniform', 'min': 4, 'max': 12}, 8, 8 / math.sqrt(12), 4, 12),
    ({'dist': 'normal', 'mean': 5, 'sd': 1}, 5, 1, -math.inf, math.inf),
    ({'dist': 'normal', 'mean': 10, 'sd': 2, 'min': 10}, 10 + 2 * HALF, 2 * math.sqrt(1 - HALF ** 2), 10, math.inf),
    ({'dist': 'normal', 'mean': 0, 'sd': 1, 'min': -1, 'max': 1}, 0, 0.5396, -1, 1),
    ({'dist': 'lognormal', 'median': 0.5, 'gsd': 1.5}, 0.5 * math.exp(math.log(1.5) ** 2 / 2),
     0.5 * math.exp(math.log(1.5) ** 2 / 2) * math.sqrt(math.exp(math.log(1.5) ** 2) - 1), 0, math.inf),
    ({'dist': 'triangular', 'min': 1, 'mode': 2, 'max': 6}, 3, math.sqrt(21 / 18), 1, 6),
])
def test_distributions_sample_within_their_bounds_with_their_moments(entry, mean, sd, low, high):
    found, problems = distributions.read({'x': entry}, 'uncertainty.parameters')
    assert problems == []
    values = distributions.values([found['x']], uncertainty.design(1, 20000, seed=4))[:, 0]
    assert np.all((low <= values) & (values <= high))
    assert np.mean(values) == pytest.approx(mean, rel=0.01, abs=0.01)
    assert np.std(values) == pytest.approx(sd, rel=0.01)
    assert np.all(np.isfinite(found['x'].values([0, 1])))   # a Morris design's end levels


def test_distribution_problems_name_key_and_reason():
    _, problems = distributions.read({
        'a': {'dist': 'beta'}, 'b': {'dist': 'uniform', 'min': 3, 'max': 2}, 'c': {'dist': 'normal', 'mean': 1},
        'd': {'dist': 'lognormal', 'median': 1, 'gsd': 1}, 'e': {'dist': 'triangular', 'min': 0, 'mode': 5, 'max': 2},
        'f': {'dist': 'uniform', 'min': 0, 'max': 1, 'spread': 2}, 'g': {'dist': 'normal', 'mean': '1', 'sd': 1},
        'h': 3, 'i': {'dist': 'normal', 'mean': 0, 'sd': 0, 'min': 1, 'max': 1}}, 'p')
    assert [(key, reason.split(' (')[0]) for key, reason in problems] == [
        ('p.a.dist', "must be one of uniform, normal, lognormal, triangular, not 'beta'"),
        ('p.b.max', 'must be greater than min'), ('p.c.sd', 'missing'), ('p.d.gsd', 'must be greater than 1'),
        ('p.e.mode', 'must lie from min to max'), ('p.f.spread', 'unknown key'),
        ('p.g.mean', "must be a number, not '1'"), ('p.h', 'must be a table naming its distribution, e.g. { dist = "uniform", min = 1, max = 2 }'),
        ('p.i.sd', 'must be greater than 0'), ('p.i.max', 'must be greater than min')]


def test_constants_drawn_jointly_from_a_fit_have_its_estimates_and_covariance_beside_an_independent_one():
    """A singular covariance (kdis twice km_ac's deviation) serves too."""
    fit = {'parameters': [{'parameter': 'km_ac', 'estimate': 8, 'std_error': 0.5},
                          {'parameter': 'kdis', 'estimate': 0.5, 'std_error': 0.05},
                          {'parameter': 'k_dep', 'estimate': 1, 'std_error': 0.1}],
           'correlation': [[1, -0.6, 1], [-0.6, 1, -0.6], [1, -0.6, 1]]}
    joint = distributions.joint_from_fit(fit)
    found, _ = distributions.read({'x': {'dist': 'uniform', 'min': 0, 'max': 1}}, 'p')
    values = distributions.values([found['x'], joint], uncertainty.design(4, 20000, seed=2))
    expected = np.array(fit['correlation']) * np.outer([0.5, 0.05, 0.1], [0.5, 0.05, 0.1])
    assert np.mean(values[:, 1:], axis=0) == pytest.approx([8, 0.5, 1], rel=1e-3)
    assert np.cov(values[:, 1:], rowvar=False) == pytest.approx(expected, rel=0.03, abs=1e-5)
    assert abs(np.corrcoef(values[:, 0], values[:, 1])[0, 1]) < 0.02


def test_bands_count_the_runs_that_reach_each_time_and_percentiles_skip_failed_runs():
    t = np.linspace(0, 10, 11)
    curves = [(t, np.full(11, c)) for c in (1, 2, 3)] + [(t[:6], np.full(6, 4.0))]   # the last stopped at day 5
    found = uncertainty.bands(curves, grid=[2, 8])
    assert list(found['runs']) == [4, 3]
    assert list(found['p50']) == [2.5, 2]
    table = uncertainty.percentiles({'yield': [1, 2, 3, None, math.nan]})['yield']
    assert (table['runs'], table['not_numbers'], table['p50'], table['mean']) == (3, 2, 2, 2)


DAYS = np.arange(30.0)
LINE = 2 + 0.5 * DAYS + np.random.default_rng(5).normal(0, 0.3, len(DAYS))


class Line:
    """y = a + b t, recording every batch it is given."""

    def __init__(self, model=lambda p: p['a'] + p['b'] * DAYS):
        self.batches, self.model = [], model

    def __call__(self, points):
        self.batches.append([tuple(p.values()) for p in points])
        return [{'y': (DAYS, self.model(p))} for p in points]


def test_fit_of_a_straight_line_gives_the_least_squares_answer_in_batches_of_each_point_and_its_jacobian():
    line = Line()
    parameters = [fitting.Parameter('a', -10, 10, start=0), fitting.Parameter('b', 0.01, 5, start=1)]
    found = fitting.fit(line, parameters, {'y': (DAYS, LINE)}, holdout=24, starts=3, seed=6)
    x = np.column_stack([np.ones(25), DAYS[:25]])
    exact, residual, _, _ = np.linalg.lstsq(x, LINE[:25], rcond=None)
    error = np.sqrt(np.diag(residual[0] / 23 * np.linalg.inv(x.T @ x)))
    a, b = found['parameters']
    assert [a['estimate'], b['estimate']] == pytest.approx(exact, rel=1e-6)
    assert [a['std_error'], b['std_error']] == pytest.approx(error, rel=1e-6)
    t = stats.t.ppf(0.975, 23)
    assert (a['ci_low'], a['ci_high']) == pytest.approx((exact[0] - t * error[0], exact[0] + t * error[0]), rel=1e-6)
    assert (b['ci_low'], b['ci_high']) == pytest.approx(exact[1] * np.exp([-t * error[1] / exact[1], t * error[1] / exact[1]]))
    assert a['identifiable'] and b['identifiable'] and abs(found['correlation'][0][1]) < 0.95
    series = found['series']['y']
    assert (series['fitted']['points'], series['held_out']['points']) == (25, 5)
    assert series['fitted']['nse'] == pytest.approx(series['fitted']['r2'])   # least squares with an intercept
    # Each batch is one point and its Jacobian's points; no point runs twice.
    assert all(len(batch) == 3 for batch in line.batches)
    points = [p for batch in line.batches for p in batch]
    assert len(points) == len(set(points)) == found['runs']
    assert found['cache_hits'] > 0 and len(found['starts']) == 3 and found['stopped'] is None


def test_fit_stops_at_max_runs_and_flags_what_the_data_cannot_tell_apart():
    line = Line(lambda p: (p['a'] + p['b']) * DAYS)   # only a + b shows in the data
    parameters = [fitting.Parameter('a', 0.1, 10, start=1), fitting.Parameter('b', 0.1, 10, start=2)]
    found = fitting.fit(line, parameters, {'y': (DAYS, LINE)}, max_runs=12)
    assert found['stopped'] == 'max_runs' and found['runs'] <= 12
    assert all(not row['identifiable'] and row['notes'] for row in found['parameters'])
    assert ('max_runs', 'must be at least 3: one point and its Jacobian') in fitting.check(
        parameters, {'y': (DAYS, LINE)}, max_runs=2)


def test_fit_sees_through_noise_like_the_integrators():
    """A run's gas flow carries noise of 1e-3 to 1e-2 of its value that changes with any change of a
    constant: the Jacobian's step must measure the slope, not that noise (a step of 1e-3 of the box
    fails here)."""
    def rise(p):
        curve = 30 * (1 - np.exp(-p['k'] * DAYS))
        return curve * (1 + 3e-3 * np.random.default_rng(abs(hash(p['k']))).standard_normal(len(DAYS)))
    measured = 30 * (1 - np.exp(-0.2 * DAYS)) * (1 + 0.02 * np.random.default_rng(1).standard_normal(len(DAYS)))
    [k] = fitting.fit(Line(rise), [fitting.Parameter('k', 0.02, 2, start=0.1)], {'y': (DAYS, measured)})['parameters']
    assert k['estimate'] == pytest.approx(0.2, rel=0.05) and k['ci_low'] <= 0.2 <= k['ci_high']


def test_a_day_on_the_runs_last_time_is_predicted_and_a_series_never_predicted_fails_the_fit():
    """A run's times are sums of its output interval: a 10-day run ends at 9.99999999999998, and a
    measurement on day 10 takes that row. A series no run gives leaves penalties only: no fit."""
    t = np.cumsum([0] + [0.1] * 100)
    days = np.arange(11.0)

    def runs(points):
        return [{'y': (t, p['a'] * t)} for p in points]
    parameter = [fitting.Parameter('a', 0.1, 10, start=1)]
    found = fitting.fit(runs, parameter, {'y': (days, 2 * days)})
    assert t[-1] < 10 and found['not_predicted'] == 0 and fitting.failure(found) is None
    assert found['parameters'][0]['estimate'] == pytest.approx(2)
    found = fitting.fit(runs, parameter, {'y': (days, 2 * days), 'z': (days, days + 1)})
    assert fitting.failure(found).startswith('11 of 22 fitted values were not predicted at the best point (no run gave z)')


def test_daily_means_and_totals_are_taken_over_every_row_before_a_long_run_is_thinned(tmp_path):
    """A daily cycle's mean over each whole day is 0, its value swinging by 1; with fewer than a
    day's rows (the table thinned first) it would not be. Before day 1, over the time run so far."""
    t = np.arange(3001) / 10
    table = np.column_stack([t, 3 + 2 * t, np.sin(2 * np.pi * t)])
    (tmp_path / 'run.csv').write_text('t,gasflow,pH\n[d],[m3/d],[-]\n' + ''.join(f'{a!r},{b!r},{c!r}\n' for a, b, c in table))
    found = series.series_of(tmp_path / 'run.csv', ['pH', 'pH@daily_mean', 'gasflow@daily_mean', 'gasflow@daily_total'])
    kept, spot = (np.array(v) for v in found['pH'])
    assert len(kept) == series.SERIES_POINTS and np.ptp(spot) > 1.9
    after = kept >= 1
    assert np.abs(np.array(found['pH@daily_mean'][1])[after]).max() < 1e-12
    mean, total = (np.array(found[f'gasflow@daily_{how}'][1]) for how in ('mean', 'total'))
    assert mean == pytest.approx(np.where(after, 2 + 2 * kept, 3 + kept), rel=1e-12)
    assert total == pytest.approx(np.where(after, mean, mean * kept), rel=1e-12)
    assert series.series_unit('gasflow', 'daily_total') == 'm3' and series.series_unit('pH', 'daily_total') is None


def numbers(path):
    with open(path, newline='') as f:
        rows = list(csv.reader(f))
    return rows[0], [float(cell) for row in rows[1:] for cell in row if cell and cell[0] in '-0123456789']


def test_writers_give_the_documented_columns_under_a_comma_locale(tmp_path):
    try:
        locale.setlocale(locale.LC_ALL, 'de_DE.UTF-8')
    except locale.Error:
        pass   # the columns are checked all the same
    try:
        unit = sensitivity.sobol_design(3, 64, seed=1)
        report.write_sensitivity(tmp_path / 'sobol', 'Ishigami', 'sobol', ['x1', 'x2', 'x3'], ['f'],
                                 sensitivity.sobol_indices(ishigami(unit), 3), {'f': 'm3/d'}, {'samples': 64},
                                 labels={'f': 'Ishigami function'})
        unit = sensitivity.morris_design(3, 10, 4, seed=1)
        report.write_sensitivity(tmp_path / 'morris', '', 'morris', ['x1', 'x2', 'x3'], ['f'],
                                 sensitivity.morris_indices(unit, ishigami(unit), 3))
        t = np.linspace(0, 10, 20)
        report.write_uncertainty(tmp_path / 'mc', '', {'gasflow': uncertainty.bands([(t, t), (t, 2 * t)])},
                                 {'yield': [0.25, 0.5, None]}, {'gasflow': 'm3/d'}, drawn={'km_ac': [4.0, 8.0, 12.0]})
        found = fitting.fit(Line(), [fitting.Parameter('a', -10, 10, 0), fitting.Parameter('b', 0.01, 5, 1)],
                            {'y': (DAYS, LINE)}, holdout=20)
        report.write_fit(tmp_path / 'fit', 'Line', found, {'y': 'm'})
    finally:
        locale.setlocale(locale.LC_ALL, 'C.UTF-8')
    for path, header in (('sobol/indices.csv', 'output,parameter,S1,S1_low,S1_high,ST,ST_low,ST_high'),
                         ('morris/indices.csv', 'output,parameter,mu_star,mu,sigma'),
                         ('mc/percentiles.csv', 'output,runs,not_numbers,mean,sd,p5,p25,p50,p75,p95'),
                         ('mc/bands.csv', 'series,t,runs,p5,p25,p50,p75,p95'),
                         ('fit/fit.csv', 'parameter,estimate,std_error,ci_low,ci_high,start,min,max')):
        columns, values = numbers(tmp_path / path)
        assert ','.join(columns) == header and values
    for path in ('sobol/indices.json', 'morris/indices.json', 'mc/uncertainty.json', 'fit/fit.json'):
        json.loads((tmp_path / path).read_text(), parse_constant=pytest.fail)   # no NaN or Infinity
    for folder in ('sobol', 'morris', 'mc', 'fit'):
        page = (tmp_path / folder / 'report.html').read_text()
        assert 'data:image/png;base64,' in page and 'src="plots' not in page
        assert list((tmp_path / folder / 'plots').glob('*.png'))
    assert 'Warning:' in (tmp_path / 'sobol' / 'report.html').read_text()   # 64 samples: intervals too wide
    assert '<h2>Ishigami function [m3/d]</h2>' in (tmp_path / 'sobol' / 'report.html').read_text()
    assert (tmp_path / 'mc' / 'plots' / 'inputs-drawn.png').is_file()
