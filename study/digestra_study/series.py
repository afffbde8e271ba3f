"""The time series of a run that fit and uncertainty studies read, by name: a column of the run's
CSV by its title (`gasflow_N`, `S_IN`, `X_ac`...) or by a series name (`gasflow`, `normal_gasflow`,
`ch4_share`, `co2_share`, `h2_share`, `pH`, `vfa`), with `R1.` or `R2.` for a reactor of a
two-stage run; their units, their columns in a run's CSV, and a series as a plant measures it: its
value at a time (`spot`), or its mean (`daily_mean`) or integral (`daily_total`) over the day that
ends at that time."""
import csv
import json
import pathlib
import re

import numpy as np

SERIES_POINTS = 2000
# One reactor's columns in a run's CSV (as results/resultcolumns.h heads them) and the unit of their
# values; a test compares them with digestra-cli's CSV.
COLUMNS = {
    'gasflow': 'm3/d', 'gasflow_N': 'Nm3/d', 'Ch4 %': '%', 'CO2 %': '%', 'H2 %': '%', 'H2O %': '%', 'pH': '-',
    **dict.fromkeys(('Total COD', 'COD_S', 'COD_X', 'S_ch4_g'), 'kgCOD/m3'), 'S_co2_g': 'M',
    **dict.fromkeys(('S_h2_g', 'S_aa', 'S_ac'), 'kgCOD/m3'), 'S_an': 'M', 'S_bu': 'kgCOD/m3', 'S_cat': 'M',
    'S_ch4': 'kgCOD/m3', 'S_co2': 'M', **dict.fromkeys(('S_fa', 'S_h2', 'S_I'), 'kgCOD/m3'),
    **dict.fromkeys(('S_IC', 'S_IN', 'S_nh3'), 'M'),
    **dict.fromkeys(('S_pro', 'S_su', 'S_va', 'X_aa', 'X_ac', 'X_c', 'X_c4', 'X_ch', 'X_fa', 'X_h2', 'X_I', 'X_li',
                     'X_pr', 'X_pro', 'X_su'), 'kgCOD/m3'),
    **dict.fromkeys(('S_ac_ion', 'S_bu_ion', 'S_hco3_ion', 'S_h_ion', 'S_nh4_ion', 'S_oh_ion', 'S_pro_ion',
                     'S_va_ion'), 'M'),
}
# Then the values derived from each row (dry gas, the operator's values, energy), as the output
# declaration that digestra-cli exports (outputs.json) names them.
OUTPUTS = json.loads((pathlib.Path(__file__).with_name('outputs.json')).read_text(encoding='utf-8'))['outputs']
COLUMNS.update({o['column']: o['unit'] for o in OUTPUTS if o['column'] and o['column'] not in COLUMNS and o['column'] != 't'})
# Series names of fits and bands for columns: each declared output by its key; `vfa` adds up the four acids.
ALIASES = {o['key']: (o['column'],) for o in OUTPUTS if o['column'] and o['key'] != o['column'] and o['column'] != 't'}
ALIASES['vfa'] = ('S_ac', 'S_pro', 'S_bu', 'S_va')
AGGREGATES = ('spot', 'daily_mean', 'daily_total')
# What reports call the series named above (a column's title names itself).
TITLES = {'gasflow': 'Gas flow', 'normal_gasflow': 'Normal gas flow', 'ch4_share': 'CH4 share',
          'co2_share': 'CO2 share', 'h2_share': 'H2 share', 'vfa': 'Total VFA', 'normal_dry_gasflow': 'Dry normal gas flow'}
# What each declared output means, by its key, its column and its other names.
MEANINGS = {name: o['meaning'] for o in OUTPUTS for name in (o['key'], o['column'], *o['aliases']) if name}


def declared():
    """{series name: (its columns in a run's CSV, unit)}: every column by its title and every alias.
    The one lookup of what a run gives."""
    found = {column: ((column,), unit) for column, unit in COLUMNS.items()}
    found.update({alias: (columns, COLUMNS[columns[0]]) for alias, columns in ALIASES.items()})
    return found


SERIES = declared()


# The largest measurement of any series taken: no plant's value comes near it, and the squares of
# residuals stay finite numbers.
LARGEST = 1e100


def series_range(name):
    """(least, most) a measurement of the series `name` can be, by what its declaration says: a pH
    from 0 to 14, a share in % from 0 to 100, a power in kW of either sign (net heat), anything else
    (flows, amounts, concentrations, ratios) not negative."""
    bare = re.sub(r'^R[12]\.', '', name)
    unit = SERIES.get(bare, (None, None))[1]
    if bare == 'pH':
        return 0.0, 14.0
    if unit == '%':
        return 0.0, 100.0
    return -LARGEST if unit == 'kW' else 0.0, LARGEST


def series_unit(name, aggregate='spot'):
    """The unit of a run's series by its name (with R1./R2. for a reactor) as aggregated, or None if
    no run gives it or it has no daily total (only a rate per day has one)."""
    declared_unit = SERIES.get(re.sub(r'^R[12]\.', '', name), (None, None))[1]
    if aggregate != 'daily_total' or declared_unit is None:
        return declared_unit
    return declared_unit[:-2] if declared_unit.endswith('/d') else None


def title(name):
    """A series' name as a reader reads it: "Gas flow, reactor 2" for R2.gasflow, "daily mean" added
    for a request such as gasflow@daily_mean."""
    name, _, aggregate = name.partition('@')
    reactor, _, bare = name.rpartition('.') if re.match(r'R[12]\.', name) else ('', '', name)
    parts = [TITLES.get(bare, bare), f'reactor {reactor[1]}' if reactor else '', aggregate.replace('_', ' ')]
    return ', '.join(p for p in parts if p)


def meaning(name):
    """What a series (with R1./R2. for a reactor) is, as the output declaration says, or None."""
    return MEANINGS.get(re.sub(r'^R[12]\.', '', name.partition('@')[0]))


def request(name, aggregate='spot'):
    """The key under which a run's record holds the series `name` as aggregated."""
    return name if aggregate == 'spot' else f'{name}@{aggregate}'


def columns_of(header, name):
    """The CSV column of a series' time and those of its values (its reactor's, e.g. "R2 pH" for
    R2.pH), or None when the run's table lacks any."""
    reactor, _, bare = name.rpartition('.') if re.match(r'R[12]\.', name) else ('', '', name)
    prefix = f'{reactor} ' if reactor else ''
    wanted = [prefix + column for column in SERIES.get(bare, ((bare,),))[0]]
    if prefix + 't' not in header or not all(w in header for w in wanted):
        return None
    return header.index(prefix + 't'), [header.index(w) for w in wanted]


def aggregated(t, y, aggregate):
    """A series as measured at each of its times: the value (spot), or its mean or integral over the
    day that ends there, by the trapezoid rule over the rows; where less than a day has run, over
    the time since the run's start."""
    if aggregate == 'spot' or not len(t):
        return y
    area = np.concatenate([[0.0], np.cumsum(np.diff(t) * (y[1:] + y[:-1]) / 2)])
    total = area - np.interp(t - 1, t, area)   # before the first day, t - 1 is clamped to the start
    if aggregate == 'daily_total':
        return total
    span = np.minimum(t - t[0], 1.0)
    return np.divide(total, span, out=y.astype(float), where=span > 0)


def series_of(path, requests):
    """{request: (t, y)} of the series `requests` (see `request`) in a run's CSV (headers, units line,
    then values), at most SERIES_POINTS rows of each: a run's table may hold many thousands. Daily
    means and totals are taken over every row before the series is thinned."""
    with open(path, newline='', encoding='utf-8') as f:
        rows = [row for row in csv.reader(f) if row]
    header, values = rows[0], np.array(rows[2:], dtype=float) if len(rows) > 2 else np.empty((0, len(rows[0])))
    kept = np.arange(len(values))
    if len(values) > SERIES_POINTS:   # evenly thinned, ends kept: what bands and fits interpolate
        kept = np.unique(np.linspace(0, len(values) - 1, SERIES_POINTS).round().astype(int))
    found = {}
    for key in requests:
        name, _, aggregate = key.partition('@')
        columns = columns_of(header, name)
        if columns is not None:
            t = values[:, columns[0]]
            y = aggregated(t, values[:, columns[1]].sum(axis=1), aggregate or 'spot')
            found[key] = (t[kept].tolist(), y[kept].tolist())
    return found
