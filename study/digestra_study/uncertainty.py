"""Monte Carlo uncertainty: how wide the outcomes spread when the parameters follow their
distributions.

    unit = design(k, samples, seed)                 # Latin hypercube points in [0, 1]^k
    values = distributions.values(dists, unit)      # one run per row
    found = bands([(t, y) of each run], grid=None)  # percentile bands of one time series
    table = percentiles({key: [value of each run]}) # percentiles of every summary value

A run's curve counts only over the days it covers (a run stopped early counts up to its end), so
each time point carries the number of runs behind it. Values that are not numbers (a failed run)
are left out and counted apart.
"""
import numpy as np
from scipy.stats import qmc

PERCENTILES = (5, 25, 50, 75, 95)
GRID_POINTS = 201


def design(k, samples, seed):
    """`samples` points of a Latin hypercube in [0, 1]^k: every parameter's range is cut into
    `samples` equal parts, each sampled once."""
    return qmc.LatinHypercube(d=k, seed=seed).random(samples)


def bands(curves, grid=None, at=PERCENTILES):
    """{'t': grid, 'runs': runs covering each time, 'p5': ..., ...} of curves [(t, y), ...], each
    interpolated linearly onto `grid` (default: GRID_POINTS times over all the curves' span)."""
    curves = [(np.asarray(t, dtype=float), np.asarray(y, dtype=float)) for t, y in curves if len(t)]
    if grid is None:
        if not curves:
            grid = np.array([])
        else:
            grid = np.linspace(min(t[0] for t, _ in curves), max(t[-1] for t, _ in curves), GRID_POINTS)
    grid = np.asarray(grid, dtype=float)
    table = np.full((len(curves), len(grid)), np.nan)
    for row, (t, y) in zip(table, curves):
        inside = (grid >= t[0]) & (grid <= t[-1])
        row[inside] = np.interp(grid[inside], t, y)
    found = {'t': grid, 'runs': np.sum(np.isfinite(table), axis=0)}
    for p in at:
        found[f'p{p:g}'] = _nanpercentile(table, p)
    return found


def _nanpercentile(table, p):
    result = np.full(table.shape[1], np.nan)
    covered = np.isfinite(table).any(axis=0)
    if covered.any():
        result[covered] = np.nanpercentile(table[:, covered], p, axis=0)
    return result


def percentiles(values, at=PERCENTILES):
    """{key: {'runs', 'not_numbers', 'mean', 'sd', 'p5', ...}} of each key's values over the runs."""
    table = {}
    for key, given in values.items():
        given = np.asarray([np.nan if v is None else v for v in given], dtype=float)
        finite = given[np.isfinite(given)]
        row = {'runs': len(finite), 'not_numbers': len(given) - len(finite),
               'mean': float(np.mean(finite)) if len(finite) else np.nan,
               'sd': float(np.std(finite, ddof=1)) if len(finite) > 1 else np.nan}
        row.update({f'p{p:g}': float(np.percentile(finite, p)) if len(finite) else np.nan for p in at})
        table[key] = row
    return table
