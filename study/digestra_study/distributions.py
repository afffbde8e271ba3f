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


def values(distributions, unit):
    """Values (n, k) of the k distributions at the unit-cube points `unit` (n, k)."""
    unit = np.atleast_2d(unit)
    return np.column_stack([d.values(unit[:, j]) for j, d in enumerate(distributions)])
