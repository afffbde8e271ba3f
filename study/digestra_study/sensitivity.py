"""Sensitivity indices from designs in the unit cube: Sobol indices by the Saltelli scheme and Morris
elementary effects. Designs are points in [0, 1]^k; `distributions.values` turns them into parameter
values, the runs give one row of outputs per point, and the index functions take those rows back.

Sobol (variance-based):
    unit = sobol_design(k, n, seed)                    # n (k + 2) points: A, B, then A_B(1)..A_B(k)
    y = outputs of each point (n (k + 2), m)           # NaN for a failed run
    found = sobol_indices(y, k, seed=seed)             # one dict per output column
First-order indices by Saltelli et al. (2010), S1_i = mean(f(B) (f(A_B(i)) - f(A))) / V, total
indices by Jansen (1999), ST_i = mean((f(A) - f(A_B(i)))^2) / 2V, with V the variance of f over A
and B together; f is first centred and scaled by its mean and standard deviation over A and B, as
the S1 estimator is not invariant to a shift. 95 % intervals by bootstrap: the n base samples are
drawn with replacement (seeded) and the percentiles of the resampled indices taken. A base sample
with any failed run among its k + 2 is left out of that output's indices.

Morris (elementary effects, screening):
    unit = morris_design(k, trajectories, levels, seed)   # trajectories (k + 1) points
    found = morris_indices(unit, y, k)                    # mu_star, mu, sigma per output column
Trajectories of Morris (1991) on a grid of `levels` (even) levels with the step levels / (2 (levels
- 1)); each effect is the output's change over the step divided by the step in the unit cube, so
mu* is in the output's unit per whole range of the parameter and comparable between parameters.
"""
import warnings

import numpy as np
from scipy.stats import qmc

BOOTSTRAP = 1000
CONFIDENCE = 0.95


def sobol_design(k, n, seed):
    """The Saltelli design of k parameters with n base samples: rows A (n), B (n), then for each
    parameter i the matrix A with column i taken from B (n each)."""
    with warnings.catch_warnings():   # n need not be a power of 2; balance is then a little worse
        warnings.simplefilter('ignore', UserWarning)
        base = qmc.Sobol(2 * k, scramble=True, seed=seed).random(n)
    a, b = base[:, :k], base[:, k:]
    mixed = []
    for i in range(k):
        ab = a.copy()
        ab[:, i] = b[:, i]
        mixed.append(ab)
    return np.vstack([a, b, *mixed])


def _terms(blocks):
    """Per base sample (n, 2k + 2): f(B) (f(A_B(i)) - f(A)) and (f(A) - f(A_B(i)))^2 for each i, then
    f(A) + f(B) and f(A)^2 + f(B)^2. Every estimate is a function of their means over the sample."""
    fa, fb, fab = blocks[0], blocks[1], blocks[2:].T
    return np.column_stack([fb[:, None] * (fab - fa[:, None]), (fa[:, None] - fab) ** 2, fa + fb, fa ** 2 + fb ** 2])


def _resampled(n, bootstrap, rng):
    """How often each of n base samples is drawn in each of `bootstrap` draws of n with replacement
    (bootstrap, n): the means of the resamplings are then one matrix product."""
    draws = rng.integers(0, n, size=(bootstrap, n)) + n * np.arange(bootstrap)[:, None]
    return np.bincount(draws.ravel(), minlength=bootstrap * n).reshape(bootstrap, n).astype(float)


def _indices(means):
    """S1 and ST (..., k) from the means (..., 2k + 2) of the terms."""
    k = (means.shape[-1] - 2) // 2
    variance = (means[..., 2 * k + 1] / 2 - (means[..., 2 * k] / 2) ** 2)[..., None]
    return means[..., :k] / variance, means[..., k:2 * k] / (2 * variance)


def _percentiles(samples, at):
    finite = np.isfinite(samples).all(axis=1)
    if not finite.any():
        return np.full((len(at), samples.shape[1]), np.nan)
    return np.percentile(samples[finite], at, axis=0)


def sobol_indices(y, k, seed=0, bootstrap=BOOTSTRAP, confidence=CONFIDENCE):
    """For each column of y (n (k + 2), m) or y (n (k + 2),): a dict of arrays over the k parameters
    S1, S1_low, S1_high, ST, ST_low, ST_high, and S1_sum and the base samples used."""
    y = np.asarray(y, dtype=float)
    columns = y.reshape(len(y), -1)
    n = len(y) // (k + 2)
    if n * (k + 2) != len(y):
        raise ValueError(f'{len(y)} outputs are not a Saltelli design of {k} parameters')
    found = []
    for number, column in enumerate(columns.T):
        blocks = column.reshape(k + 2, n)
        blocks = blocks[:, np.all(np.isfinite(blocks), axis=0)]
        used = blocks.shape[1]
        with np.errstate(divide='ignore', invalid='ignore'), warnings.catch_warnings():
            warnings.simplefilter('ignore', RuntimeWarning)   # a constant output or no samples: NaN
            base = blocks[:2]
            terms = _terms((blocks - np.mean(base)) / np.std(base))
            first, total = _indices(np.mean(terms, axis=0))
            s1, st = _indices(_resampled(used, bootstrap, np.random.default_rng([seed, number])) @ terms / used)
        tail = 100 * (1 - confidence) / 2
        s1_low, s1_high = _percentiles(s1, [tail, 100 - tail])
        st_low, st_high = _percentiles(st, [tail, 100 - tail])
        found.append({'S1': first, 'S1_low': s1_low, 'S1_high': s1_high, 'ST': total, 'ST_low': st_low,
                      'ST_high': st_high, 'S1_sum': float(np.sum(first)), 'samples_used': used})
    return found


def morris_design(k, trajectories, levels, seed):
    """`trajectories` Morris trajectories of k + 1 points each, stacked: (trajectories (k + 1), k)."""
    if levels < 2 or levels % 2:
        raise ValueError('levels must be an even number of at least 2')
    rng = np.random.default_rng(seed)
    step = levels / (2 * (levels - 1))
    starts = np.arange(levels // 2) / (levels - 1)    # the levels from which a step up stays inside
    lower = np.tril(np.ones((k + 1, k)), -1)           # row j has its first j coordinates moved
    points = []
    for _ in range(trajectories):
        base = rng.choice(starts, size=k)
        directions = rng.choice([-1.0, 1.0], size=k)
        order = rng.permutation(k)
        moved = base + step / 2 * ((2 * lower - 1) * directions + 1)
        points.append(moved[:, order])
    return np.vstack(points)


def morris_indices(unit, y, k):
    """For each column of y: a dict of arrays over the k parameters mu_star, mu, sigma, and the
    effects used per parameter (a step with a failed run at either end is left out)."""
    unit = np.asarray(unit, dtype=float)
    y = np.asarray(y, dtype=float).reshape(len(unit), -1)
    trajectories = len(unit) // (k + 1)
    unit = unit.reshape(trajectories, k + 1, k)
    y = y.reshape(trajectories, k + 1, -1)
    moves = np.diff(unit, axis=1)                          # (r, k, k): one nonzero per step
    which = np.argmax(np.abs(moves), axis=2)               # (r, k): the parameter moved at each step
    step = np.take_along_axis(moves, which[..., None], axis=2)[..., 0]
    found = []
    for column in np.moveaxis(y, 2, 0):
        change = np.diff(column, axis=1) / step            # (r, k)
        effects = [change[which == i] for i in range(k)]
        effects = [e[np.isfinite(e)] for e in effects]
        with warnings.catch_warnings():
            warnings.simplefilter('ignore', RuntimeWarning)   # a parameter without effects: NaN
            found.append({'mu_star': np.array([np.mean(np.abs(e)) for e in effects]),
                          'mu': np.array([np.mean(e) for e in effects]),
                          'sigma': np.array([np.std(e, ddof=1) if len(e) > 1 else np.nan for e in effects]),
                          'effects_used': np.array([len(e) for e in effects])})
    return found
