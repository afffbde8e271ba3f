"""The distributions of uncertain parameters, each mapping points of the unit interval to values
through its inverse distribution function, so one quasi-random design in the unit cube serves every
parameter.

    table = {'km_ac': {'dist': 'uniform', 'min': 4, 'max': 12},
             'kdis': {'dist': 'lognormal', 'median': 0.5, 'gsd': 1.5}}
    found, problems = distributions.read(table, 'sensitivity.parameters')
    values = distributions.values(list(found.values()), unit)   # unit: array (n, k) in [0, 1]

Kinds and their keys: "uniform" (`min`, `max`); "normal" (`mean`, `sd`, truncated at `min` and/or
`max` when given); "lognormal" (`median`, `gsd`: the geometric standard deviation, above 1);
"triangular" (`min`, `mode`, `max`). A distribution without bounds maps 0 and 1 to its 0.5 % and
99.5 % quantiles rather than to infinity (this matters only for the end levels of a Morris design).
"""
import dataclasses
import math

import numpy as np
from scipy import stats

TAIL = 0.005
KEYS = {
    'uniform': (('min', 'max'), ()),
    'normal': (('mean', 'sd'), ('min', 'max')),
    'lognormal': (('median', 'gsd'), ()),
    'triangular': (('min', 'mode', 'max'), ()),
}


@dataclasses.dataclass(frozen=True)
class Distribution:
    name: str
    kind: str
    settings: dict     # the keys of KEYS[kind] that were given, with their values

    def frozen(self):
        """The scipy.stats distribution."""
        s = self.settings
        if self.kind == 'uniform':
            return stats.uniform(loc=s['min'], scale=s['max'] - s['min'])
        if self.kind == 'normal':
            low = (s.get('min', -math.inf) - s['mean']) / s['sd']
            high = (s.get('max', math.inf) - s['mean']) / s['sd']
            return stats.truncnorm(low, high, loc=s['mean'], scale=s['sd'])
        if self.kind == 'lognormal':
            return stats.lognorm(math.log(s['gsd']), scale=s['median'])
        return stats.triang((s['mode'] - s['min']) / (s['max'] - s['min']), loc=s['min'], scale=s['max'] - s['min'])

    width = 1   # the columns of the unit cube it takes

    def bounded(self):
        return self.kind in ('uniform', 'triangular') or (self.kind == 'normal' and {'min', 'max'} <= set(self.settings))

    def values(self, unit):
        """The values at the points `unit` of [0, 1]."""
        unit = np.asarray(unit, dtype=float)
        if not self.bounded():   # only the very ends: a sample keeps the distribution's tails
            unit = np.where(unit <= 0, TAIL, np.where(unit >= 1, 1 - TAIL, unit))
        return self.frozen().ppf(unit)


def _is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool) and math.isfinite(value)


def _problems(kind, s):
    """(key, reason) of the settings' values, once all are numbers."""
    if kind in ('uniform', 'triangular') and not s['min'] < s['max']:
        yield 'max', f'must be greater than min ({s["max"]:g} is not above {s["min"]:g})'
    if kind == 'triangular' and not s['min'] <= s['mode'] <= s['max']:
        yield 'mode', f'must lie from min to max ({s["mode"]:g} is outside {s["min"]:g} to {s["max"]:g})'
    if kind == 'normal':
        if s['sd'] <= 0:
            yield 'sd', f'must be greater than 0 (got {s["sd"]:g})'
        if 'min' in s and 'max' in s and not s['min'] < s['max']:
            yield 'max', f'must be greater than min ({s["max"]:g} is not above {s["min"]:g})'
    if kind == 'lognormal':
        if s['median'] <= 0:
            yield 'median', f'must be greater than 0 (got {s["median"]:g})'
        if s['gsd'] <= 1:
            yield 'gsd', f'must be greater than 1 (got {s["gsd"]:g})'


def read(table, prefix):
    """The distributions of a table {name: {dist = ..., ...}} and the problems found, each a (key,
    reason) with keys under `prefix`; a parameter with a problem is left out."""
    found, problems = {}, []
    for name, entry in table.items():
        key = f'{prefix}.{name}'
        if not isinstance(entry, dict):
            problems.append((key, 'must be a table naming its distribution, e.g. { dist = "uniform", min = 1, max = 2 }'))
            continue
        kind = entry.get('dist')
        if kind not in KEYS:
            problems.append((f'{key}.dist', f'must be one of {", ".join(KEYS)}, not {kind!r}'))
            continue
        required, optional = KEYS[kind]
        before = len(problems)
        for unknown in sorted(set(entry) - {'dist', *required, *optional}):
            problems.append((f'{key}.{unknown}', f'unknown key (a {kind} distribution has {", ".join(required + optional)})'))
        for missing in (k for k in required if k not in entry):
            problems.append((f'{key}.{missing}', f'missing (a {kind} distribution needs {", ".join(required)})'))
        for k in (k for k in required + optional if k in entry and not _is_number(entry[k])):
            problems.append((f'{key}.{k}', f'must be a number, not {entry[k]!r}'))
        if len(problems) == before:
            settings = {k: float(entry[k]) for k in required + optional if k in entry}
            problems += [(f'{key}.{k}', reason) for k, reason in _problems(kind, settings)]
        if len(problems) == before:
            found[name] = Distribution(name, kind, settings)
            with np.errstate(all='ignore'):
                ends = found[name].values([0.0, 1.0])
            if not np.all(np.isfinite(ends)):   # a width or tail past the largest number
                problems.append((key, f'draws values that are not finite numbers (from {ends[0]:g} to {ends[1]:g}); '
                                      'narrow it'))
                del found[name]
    return found, problems


@dataclasses.dataclass(frozen=True)
class JointNormal:
    """Constants drawn together from a multivariate normal distribution: a fit's estimates and their
    covariance. Each point of the unit cube goes to independent standard normal values through the
    inverse distribution function, then to correlated ones through a square root of the covariance
    (x = mean + R z with R R^T = the covariance, from its eigendecomposition so that a singular
    one serves too; e.g. Gentle, Random Number Generation and Monte Carlo Methods, 2nd ed. 2003,
    section 5.3.1)."""
    names: tuple
    mean: np.ndarray
    covariance: np.ndarray

    @property
    def width(self):
        return len(self.names)

    def values(self, unit):
        """The values (n, k) at the points `unit` (n, k) of the unit cube."""
        z = stats.norm.ppf(np.clip(np.reshape(np.asarray(unit, dtype=float), (-1, self.width)), TAIL, 1 - TAIL))
        w, v = np.linalg.eigh(self.covariance)
        return self.mean + z @ (v * np.sqrt(np.clip(w, 0, None))).T


SYMMETRY = 1e-9   # of a covariance: the largest asymmetry and negative eigenvalue, relative to its largest entry


def joint_from_fit(found):
    """The JointNormal of the estimates of a fit's record (fit.json: `parameters` rows with their
    estimate and std_error, and their `correlation`), or raises ValueError saying why it is none."""
    if not isinstance(found, dict) or not isinstance(found.get('parameters'), list) or not found['parameters']:
        raise ValueError('holds no list of "parameters" with estimates: not the fit.json of a fit')
    rows = found['parameters']
    if not all(isinstance(r, dict) and isinstance(r.get('parameter'), str) and _is_number(r.get('estimate'))
               for r in rows):
        raise ValueError('a parameter lacks its name or its estimate (a number)')
    names = [r['parameter'] for r in rows]
    if len(set(names)) != len(names):
        raise ValueError('names a parameter twice')
    errors = [r.get('std_error') for r in rows]
    correlation = found.get('correlation')
    if not all(_is_number(e) and e >= 0 for e in errors) or not isinstance(correlation, list) \
            or not all(isinstance(row, list) and len(row) == len(names) and all(_is_number(v) for v in row)
                       for row in correlation) or len(correlation) != len(names):
        raise ValueError('holds no finite standard errors and correlation of its estimates: the fit could not '
                         'estimate their covariance (see its report\'s notes)')
    errors = np.asarray(errors, dtype=float)
    covariance = np.asarray(correlation, dtype=float) * np.outer(errors, errors)
    scale = np.abs(covariance).max() or 1.0
    if np.abs(covariance - covariance.T).max() > SYMMETRY * scale:
        raise ValueError('the covariance of its estimates is not symmetric')
    if np.linalg.eigvalsh((covariance + covariance.T) / 2).min() < -SYMMETRY * scale:
        raise ValueError('the covariance of its estimates is not positive semi-definite')
    return JointNormal(tuple(names), np.array([r['estimate'] for r in rows], dtype=float), covariance)


def values(distributions, unit):
    """Values (n, k) of the distributions at the unit-cube points `unit` (n, k), each distribution
    taking as many columns as its `width`."""
    unit = np.atleast_2d(unit)
    columns, j = [], 0
    for d in distributions:
        part = d.values(unit[:, j] if d.width == 1 else unit[:, j:j + d.width])
        columns.append(np.reshape(part, (len(unit), d.width)))
        j += d.width
    return np.hstack(columns) if columns else np.empty((len(unit), 0))
