"""A run's feed as digestra-cli lists it (`"list-feed": true` on a batch line of the study's base
inputs), never read here a second time: a feed schedule's table as digestra-cli read it, whose
substrate flows the optimiser varies, and, for the panel under a fit's gas, the feed over time: its
flow into the first reactor (m3/d) and the COD it carries (kgCOD/d), each step from its day to the
next step's, the last to the end of the run."""
import csv
import dataclasses
import io
import json
import math
import subprocess


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


LIST_SECONDS = 60   # a line is read, its files too, and answered without a run


class FeedError(Exception):
    """digestra-cli did not list the feed; the message says why."""


def listed(cli, inputs):
    """The feed digestra-cli lists for a run of the batch line `inputs` (`"list-feed": true`): its
    steps, t_end and, with a schedule, the schedule's table as read; raises FeedError."""
    line = json.dumps({**inputs, 'id': 0, 'list-feed': True}) + '\n'
    try:
        done = subprocess.run([cli, '--batch'], input=line, capture_output=True, text=True, timeout=LIST_SECONDS)
    except (OSError, subprocess.TimeoutExpired) as e:
        raise FeedError(f'{cli} --batch did not list it: {e}') from None
    try:
        answer = json.loads(done.stdout.partition('\n')[0])
    except ValueError:
        answer = None
    feed = answer.get('feed') if isinstance(answer, dict) else None
    if not isinstance(feed, dict) or not feed.get('steps'):
        why = answer.get('message') if isinstance(answer, dict) else done.stderr.strip()
        raise FeedError(f'{cli} --batch did not list it ({why or "its answer holds no feed"})')
    return feed


def schedule(cli, inputs):
    """The feed schedule of the batch line `inputs` as digestra-cli read it, the day column first;
    raises FeedError."""
    table = listed(cli, inputs).get('schedule')
    if not isinstance(table, dict):
        raise FeedError(f'{inputs.get("feed")} is not a feed schedule {cli} lists')
    heads = [title.rpartition(' [') for title in table['titles']]
    names, units = [h[0] for h in heads], [h[2].rstrip(']') for h in heads]
    order = sorted(range(len(names)), key=lambda i: names[i] != 'day')
    return Schedule([names[i] for i in order], [units[i] for i in order],
                    [[float(row[i]) for i in order] for row in table['rows']])


def base_feed(inputs, cli):
    """{'t', 'flow', 'cod'} of the feed of a run of the batch line `inputs` as steps (each value holds
    from its time to the next; the last time is the run's end; 'cod' in kgCOD/d), or a string saying
    why it cannot be drawn."""
    try:
        listing = listed(cli, inputs)
    except FeedError as e:
        return str(e)
    steps = listing['steps']
    return {'t': [s['day'] for s in steps] + [listing['t_end']], 'flow': [s['flow'] for s in steps] + [steps[-1]['flow']],
            'cod': [s['cod_load'] for s in steps] + [steps[-1]['cod_load']]}
