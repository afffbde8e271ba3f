"""A run's feed as the study runner reads it: a feed schedule file (CSV, or TOML with columns as
arrays or [[feed]] rows; read through the guarded reader), whose substrate flows the optimiser
varies, and, for the panel under a fit's gas, the feed of a study's base run over time as
digestra-cli gives it (`"list-feed": true` on a batch line of the base inputs): its flow into the
first reactor (m3/d) and the COD it carries (kgCOD/d), each step from its day to the next step's,
the last to the end of the run."""
import csv
import dataclasses
import io
import json
import math
import subprocess

from . import readfile


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


LIST_SECONDS = 60   # a line is read, its files too, and answered without a run


def base_feed(inputs, cli):
    """{'t', 'flow', 'cod'} of the feed of a run of the batch line `inputs` as steps (each value holds
    from its time to the next; the last time is the run's end; 'cod' in kgCOD/d), or a string saying
    why it cannot be drawn."""
    line = json.dumps({**inputs, 'id': 0, 'list-feed': True}) + '\n'
    try:
        done = subprocess.run([cli, '--batch'], input=line, capture_output=True, text=True, timeout=LIST_SECONDS)
    except (OSError, subprocess.TimeoutExpired) as e:
        return f'{cli} --batch did not list it: {e}'
    try:
        answer = json.loads(done.stdout.partition('\n')[0])
    except ValueError:
        answer = None
    listed = answer.get('feed') if isinstance(answer, dict) else None
    if not isinstance(listed, dict) or not listed.get('steps'):
        why = answer.get('message') if isinstance(answer, dict) else done.stderr.strip()
        return f'{cli} --batch did not list it ({why or "its answer holds no feed"})'
    steps = listed['steps']
    return {'t': [s['day'] for s in steps] + [listed['t_end']], 'flow': [s['flow'] for s in steps] + [steps[-1]['flow']],
            'cod': [s['cod_load'] for s in steps] + [steps[-1]['cod_load']]}
