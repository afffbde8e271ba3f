"""A fit's measurements as a plant records them, read and checked whole before any run.

The CSV file has a `day` column (days since the run's start) or a `date` column (ISO 8601 dates or
date-times, counted from the fit's `start`), then one column per measured series named as a run's
series (see `series`), each header optionally with its unit in brackets ("gasflow [m3/d]"), which
must then be the series' own as recorded: a daily total of gas flow is in m3. An empty cell is a
value not measured; the stamps must increase, with gaps as they come. Each series is recorded as
`aggregate` says: `spot` (the value at the stamp, the default), `daily_mean` or `daily_total` (over
the day that ends at the stamp). A value must be a finite number its series can take
(`series.series_range`: not negative, a share up to 100 %, a pH up to 14); `start` goes with a
`date` column only. Every value must lie within the runs, from day 0 to t-end (a
stamp within TOLERANCE of t-end is on it), and a daily value from day 1: the runs start on day 0,
so they hold no whole day before it.
"""
import csv
import datetime
import io
import math
import re

from . import readfile
from .series import AGGREGATES, series_range, series_unit

TOLERANCE = 1e-9   # days


class MeasurementsError(Exception):
    def __init__(self, reasons):
        super().__init__('; '.join(reasons))
        self.reasons = reasons


def _rows(path):
    """(line, cells) of each line of the file with a value in it: the one place it is read."""
    try:
        text = readfile.read_text(path, readfile.STUDY_CAP, encoding='utf-8-sig')
    except readfile.ReadError as e:
        raise MeasurementsError([f'cannot read: {e}']) from None
    reader = csv.reader(io.StringIO(text, newline=''))
    try:
        return [(reader.line_num, row) for row in reader if any(cell.strip() for cell in row)]
    except csv.Error as e:   # a cell longer than csv's limit, a NUL byte
        raise MeasurementsError([f'line {reader.line_num}: {e}']) from None


def start_of(value):
    """The fit's `start` (a TOML date or date-time, or such a string) as a date-time, or a reason."""
    if isinstance(value, str):
        try:
            value = datetime.datetime.fromisoformat(value)
        except ValueError:
            return f'must be an ISO 8601 date, e.g. 2026-03-01, not {value!r}'
    if type(value) is datetime.date:
        value = datetime.datetime.combine(value, datetime.time())
    if not isinstance(value, datetime.datetime):
        return f'must be a date, e.g. 2026-03-01, not {value!r}'
    if value.tzinfo is not None:
        return 'must be a local date or date-time, without a time zone'
    return value


def aggregate_of(aggregate, name):
    """How the series `name` was recorded, by the fit's `aggregate` table (spot where it says nothing
    it could mean)."""
    how = aggregate.get(name) if isinstance(aggregate, dict) else None
    return how if how in AGGREGATES else 'spot'


def aggregate_problems(aggregate, measured):
    """(key, reason) of each problem of the fit's `aggregate` table for the series measured (None:
    unknown, the file having problems)."""
    if not isinstance(aggregate, dict):
        return [('aggregate', 'must be a table of series and how each was recorded, e.g. { gasflow = "daily_mean" }')]
    problems = []
    for name, how in aggregate.items():
        if measured is not None and name not in measured:
            problems.append((f'aggregate.{name}', 'is not a measured series'))
        elif how not in AGGREGATES:
            problems.append((f'aggregate.{name}', f'must be {", ".join(map(repr, AGGREGATES))}, not {how!r}'))
        elif series_unit(name) is not None and series_unit(name, how) is None:
            problems.append((f'aggregate.{name}', f'{name} is in {series_unit(name)}, a value, not a rate per day: '
                                                  'it has no daily total'))
    return problems


def _header(cell):
    found = re.match(r'\s*([^\[\]]+?)\s*(?:\[\s*([^\]]*?)\s*\])?\s*$', cell)
    return (found.group(1), found.group(2)) if found else (cell.strip(), None)


def _stamp(cell, start):
    """The day of a `day` or `date` cell (with `start`), or None."""
    try:
        if start is None:
            day = float(cell)
            return day if math.isfinite(day) else None
        stamp = datetime.datetime.fromisoformat(cell)
    except ValueError:
        return None
    return None if stamp.tzinfo is not None else (stamp - start).total_seconds() / 86400


class _Outside:
    """Lines whose values lie outside the runs, each kind told once, at its first line."""

    def __init__(self):
        self.kinds = {}

    def add(self, kind, line, first):
        """`first`: the kind's reason as told at its first line."""
        self.kinds.setdefault(kind, [first]).append(line)

    def reasons(self):
        for reason, line, *more in self.kinds.values():
            yield f'line {line}: {reason}' + (f' (and {len(more)} more lines)' if more else '')


def read(path, t_end, start=None, aggregate=None):
    """{series: (days, values)} of the measurements file at `path` for runs of `t_end` days, dates
    counted from `start` (a date-time); raises MeasurementsError naming every problem."""
    rows = _rows(path)
    if len(rows) < 2:
        raise MeasurementsError(['needs a header line and at least one line of values'])
    reasons, names = [], []
    for number, cell in enumerate(rows[0][1], 1):
        name, unit = _header(cell)
        if number == 1:
            if name not in ('day', 'date') or (unit is not None and (name, unit) != ('day', 'd')):
                reasons.append(f'column 1 must be "day" (days since the run\'s start) or "date" (ISO 8601), not "{cell}"')
            elif name == 'date' and start is None:
                reasons.append('a date column needs the day the runs start: start = YYYY-MM-DD in [fit]')
            elif name == 'day' and start is not None:
                reasons.append('a day column counts from the runs\' start already: start in [fit] is for a date '
                               'column; leave it out')
        elif series_unit(name) is None:
            reasons.append(f'column {number}: "{name}" is not a series of a run '
                           '(e.g. gasflow, normal_gasflow, ch4_share, pH, vfa, or a column of its CSV such as '
                           'gasflow_N or S_IN, with R1./R2. for a reactor)')
        elif unit is not None:
            how = aggregate_of(aggregate, name)
            expected = series_unit(name, how)   # None: no daily total, which `aggregate_problems` tells
            if expected is not None and unit != expected:
                reasons.append(f'column {number}: {name}{"" if how == "spot" else f" ({how})"} is in {expected}, not {unit}')
        names.append(name)
    for duplicate in sorted({n for n in names if names.count(n) > 1}):
        reasons.append(f'column "{duplicate}" appears more than once')
    dates = names[0] == 'date'
    if dates and start is None:
        raise MeasurementsError(reasons)
    table, outside = [], _Outside()
    for line, row in rows[1:]:
        if len(row) != len(names):
            reasons.append(f'line {line}: {len(row)} cells for {len(names)} columns')
            continue
        day = _stamp(row[0].strip(), start if dates else None)
        if day is None:
            reasons.append(f'line {line}: not a {"date" if dates else "number"}: "{row[0].strip()}"')
            continue
        values = [day]
        for column, cell in zip(names[1:], row[1:]):
            cell = cell.strip()
            if not cell:   # not measured
                values.append(math.nan)
                continue
            try:
                value = float(cell)
            except ValueError:
                value = math.inf
            least, most = series_range(column)
            if not math.isfinite(value):
                reasons.append(f'line {line}, {column}: not a number: "{cell}"')
                value = math.nan
            elif not least <= value <= most:
                reasons.append(f'line {line}, {column}: {cell} cannot be a measurement of it (from {least:g} to '
                               f'{most:g} {series_unit(column, aggregate_of(aggregate, column))})')
                value = math.nan
            values.append(value)
        table.append(values)
        measured = [n for n, v in zip(names[1:], values[1:]) if not math.isnan(v)]
        if measured and day < -TOLERANCE:
            shown = start.date() if dates and start.time() == datetime.time() else start
            outside.add('before', line, f'{row[0].strip()} is before start ({shown})' if dates
                        else f'day {day:g} is before the runs start on day 0')
        elif measured and day > t_end + TOLERANCE:
            outside.add('after', line, f'day {day:g} is after t-end = {t_end:g}, where the runs end')
        for name in measured:
            how = aggregate_of(aggregate, name)
            if how != 'spot' and day < 1 - TOLERANCE:
                outside.add(name, line, f'{name}: a {how.replace("_", " ")} on day {day:g} covers time before the '
                                        'runs start (the first is on day 1)')
    reasons += outside.reasons()
    days = [row[0] for row in table]
    if any(later <= earlier for earlier, later in zip(days, days[1:])):
        reasons.append(f'the {"dates" if dates else "days"} must increase from line to line')
    if reasons:
        raise MeasurementsError(reasons)
    return {name: (days, [row[i] for row in table]) for i, name in enumerate(names) if i > 0}
