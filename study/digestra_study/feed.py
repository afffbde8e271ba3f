"""A run's feed as the study runner reads it: a feed schedule file (CSV, or TOML with columns as
arrays or [[feed]] rows; read through the guarded reader) and, for the panel under a fit's gas, the
feed of a study's base run over time: its flow into the first reactor (m3/d) and the COD it carries
(kgCOD/d), from

  - a schedule of composites (Q_in, X_c_in): Q_in × X_c_in;
  - a schedule of components (Q_in and states by name): Q_in × the states of organic matter
    (those in kgCOD/m3);
  - a schedule of substrates (flows in m3/d, or t/d through the density): each substrate's flow ×
    its COD, as `digestra-cli --list-substrates` gives them from the study's substrates file;
  - no schedule: the built-in feed of q-in and x-c-in, a quarter of q-in on day 0 rising in daily
    steps to the whole from day 40 on (the pump-mixed run: the whole from day 0).

Each row holds from its day until the next row's day, the last to the end of the run."""
import csv
import dataclasses
import io
import json
import math
import subprocess

from . import readfile, studyfile
from .series import COLUMNS


@dataclasses.dataclass
class Schedule:
    """A feed schedule of substrates as read: its columns (the first `day`), their units and rows."""
    columns: list
    units: list
    rows: list

    def varied(self, flows):
        """The schedule with substrate flows replaced: `flows` {column: [(from day, value)...]}."""
        days = sorted({row[0] for row in self.rows} | {day for changes in flows.values() for day, _ in changes})
        rows = []
        for day in days:
            row = list([r for r in self.rows if r[0] <= day][-1])
            row[0] = day
            for column, changes in flows.items():
                row[self.columns.index(column)] = [value for start, value in changes if start <= day][-1]
            rows.append(row)
        return Schedule(self.columns, self.units, rows)

    def csv(self):
        text = io.StringIO()
        writer = csv.writer(text, lineterminator='\n')
        writer.writerow([f'{c} [{u}]' for c, u in zip(self.columns, self.units)])
        writer.writerows([repr(float(v)) for v in row] for row in self.rows)
        return text.getvalue()

    def fed(self, t_end):
        """{column: amount fed from day 0 to `t_end`} (flow times the days it holds)."""
        ends = [row[0] for row in self.rows[1:]] + [t_end]
        return {c: math.fsum(row[i] * max(0.0, min(end, t_end) - row[0]) for row, end in zip(self.rows, ends))
                for i, c in enumerate(self.columns) if i}


class ScheduleError(Exception):
    pass


def read_schedule(path):
    """The feed schedule at `path` (CSV, or TOML with columns as arrays or [[feed]] rows)."""
    try:
        text = readfile.read_text(path, readfile.STUDY_CAP, encoding='utf-8-sig')
    except readfile.ReadError as e:
        raise ScheduleError(str(e)) from None
    try:
        if str(path).endswith('.toml'):
            data = readfile.parse_toml(text)
            if isinstance(data.get('feed'), list):
                names = list(dict.fromkeys(k for row in data['feed'] for k in row))
                data = {n: [row.get(n, 0.0) for row in data['feed']] for n in names}
            names = sorted(data, key=lambda name: name != 'day')
            table = [[float(v) for v in values] for values in zip(*(data[n] for n in names))]
            units = [''] * len(names)
        else:
            lines = [line for line in text.splitlines() if line.strip() and not line.lstrip().startswith('#')]
            rows = list(csv.reader(lines))
            heads = [cell.strip().partition('[') for cell in rows[0]]
            names, units = [h[0].strip() for h in heads], [h[2].rstrip(']').strip() for h in heads]
            table = [[float(cell) for cell in row] for row in rows[1:]]
    except (ValueError, TypeError, IndexError, AttributeError, csv.Error) as e:
        raise ScheduleError(f'{path}: not a feed schedule digestra-cli reads ({e})') from None
    if not table or not names or names[0] != 'day' or any(len(row) != len(names) for row in table):
        raise ScheduleError(f'{path}: not a feed schedule of a day column and substrate columns')
    units = [u or ('d' if n == 'day' else 'm3/d') for n, u in zip(names, units)]
    return Schedule(names, units, table)


RAMP_DAYS = 40   # the built-in feed reaches q-in on this day


def base_feed(base, config, cli):
    """{'t', 'flow', 'cod'} of the feed of a run with the inputs `base` (as steps: each value holds
    from its time to the next; the last time is the run's end; 'cod' None when the feed does not
    tell), or a string saying why it cannot be drawn."""
    declared = {k: base.get(k, studyfile.DECLARED[k]['default'][config]) for k in ('q-in', 'x-c-in', 't-end')}
    end = float(declared['t-end'])
    if not base.get('feed'):
        q, x = float(declared['q-in']), float(declared['x-c-in'])
        days = [0] if config == 'pomp' else range(RAMP_DAYS + 1)
        flows = [q if config == 'pomp' else q * (0.25 + 0.75 * day / RAMP_DAYS) for day in days]
        return _steps(list(days), flows, [f * x for f in flows], end)
    try:
        schedule = read_schedule(base['feed'])
    except ScheduleError as e:
        return str(e)
    columns = dict(zip(schedule.columns, zip(*schedule.rows)))
    if 'Q_in' in columns:
        organic = [c for c in schedule.columns if c == 'X_c_in' or COLUMNS.get(c) == 'kgCOD/m3']
        cod = [q * math.fsum(row) for q, *row in zip(columns['Q_in'], *(columns[c] for c in organic))]
        return _steps(columns['day'], columns['Q_in'], cod if organic else None, end)
    substrates = _substrates(cli, base.get('substrates'))
    if isinstance(substrates, str):
        return substrates
    flows, cod = [0.0] * len(schedule.rows), [0.0] * len(schedule.rows)
    for name, unit in zip(schedule.columns[1:], schedule.units[1:]):
        entry = substrates.get(name, {})
        per_m3 = 1000 / entry.get('density', 1000) if unit == 't/d' else 1.0   # density in kg/m3
        for i, value in enumerate(columns[name]):
            flows[i] += value * per_m3
            cod[i] += value * per_m3 * entry.get('COD', math.nan)
    return _steps(columns['day'], flows, cod, end)


def _substrates(cli, path):
    """{substrate: its components, COD and density per m3} of the substrates file, or why not."""
    if not path:
        return 'a schedule of substrates needs the substrates file in [base]'
    try:
        done = subprocess.run([cli, '--substrates', str(path), '--list-substrates', '--json'], capture_output=True,
                              text=True, timeout=60)
        listed = json.loads(done.stdout) if done.returncode == 0 else None
    except (OSError, subprocess.TimeoutExpired, ValueError) as e:
        return f'{cli} --list-substrates: {e}'
    return listed if isinstance(listed, dict) else f'{cli} --list-substrates gave no substrates ({done.stderr.strip()})'


def _steps(days, flows, cod, end):
    """The feed as steps up to `end`: every row from its day, then the last one's value at `end`."""
    days = [float(d) for d in days if d < end] or [0.0]
    n = len(days)

    def held(values):
        return None if values is None else [float(v) for v in values[:n]] + [float(values[n - 1])]
    return {'t': days + [end], 'flow': held(list(flows)), 'cod': held(list(cod) if cod is not None else None)}
