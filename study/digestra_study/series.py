"""The time series of a run that fit and uncertainty studies read, by name: `gasflow`,
`normal_gasflow`, `ch4_share`, `co2_share`, `h2_share`, `pH`, `vfa` or a state column (`S_IN`,
`X_ac`...), with `R1.` or `R2.` for a reactor of a two-stage run; their units, and their columns in
a run's CSV."""
import csv
import re

import numpy as np

SERIES_POINTS = 2000
# The series by name: its column in the run's CSV and its unit. Any other state column (S_IN,
# S_nh3, X_ac...) is taken by its own name. `vfa` adds up the four acids.
SERIES = {
    'gasflow': ('gasflow', 'm3/d'), 'normal_gasflow': ('gasflow_N', 'Nm3/d'),
    'ch4_share': ('Ch4 %', '%'), 'co2_share': ('CO2 %', '%'), 'h2_share': ('H2 %', '%'),
    'pH': ('pH', '-'), 'vfa': (('S_ac', 'S_pro', 'S_bu', 'S_va'), 'kgCOD/m3'),
}
MOLAR = {'S_co2_g', 'S_an', 'S_cat', 'S_co2', 'S_IC', 'S_IN', 'S_nh3'}   # [M]; the other states kgCOD/m3
STATE = re.compile(r'[SX]_[A-Za-z0-9_]+$')


def series_unit(name):
    """The unit of a run's series by its name (with R1./R2. for a reactor), or None if unknown."""
    bare = re.sub(r'^R[12]\.', '', name)
    if bare in SERIES:
        return SERIES[bare][1]
    if STATE.match(bare):
        return 'M' if bare in MOLAR or bare.endswith('_ion') else 'kgCOD/m3'
    return None


def columns_of(header, name):
    """The CSV column of a series' time and those of its values (its reactor's, e.g. "R2 pH" for
    R2.pH), or None when the run's table lacks any."""
    reactor, _, bare = name.rpartition('.')
    prefix = f'{reactor} ' if reactor else ''
    column = SERIES.get(bare, (bare,))[0]
    wanted = [prefix + part for part in (column if isinstance(column, tuple) else (column,))]
    if prefix + 't' not in header or not all(w in header for w in wanted):
        return None
    return header.index(prefix + 't'), [header.index(w) for w in wanted]


def series_of(path, names):
    """{name: (t, y)} of the series `names` in a run's CSV (headers, units line, then values), at
    most SERIES_POINTS rows of it: a run's table may hold many thousands."""
    with open(path, newline='', encoding='utf-8') as f:
        rows = [row for row in csv.reader(f) if row]
    header, values = rows[0], np.array(rows[2:], dtype=float) if len(rows) > 2 else np.empty((0, len(rows[0])))
    if len(values) > SERIES_POINTS:   # evenly thinned, ends kept: what bands and fits interpolate
        values = values[np.unique(np.linspace(0, len(values) - 1, SERIES_POINTS).round().astype(int))]
    found = {}
    for name in names:
        columns = columns_of(header, name)
        if columns is not None:
            found[name] = (values[:, columns[0]].tolist(), values[:, columns[1]].sum(axis=1).tolist())
    return found
