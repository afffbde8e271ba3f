"""Optimisation studies: a study file with an `[optimize]` table looks for the run inputs, model
constants (`parameters.NAME`) and substrate flows of the base feed schedule (`substrates.NAME`, for
the whole run or one value per period) that give the most (or least) of one output, or of the
profit the prices give, while outputs stay within their limits.

The search is SciPy's differential evolution (R. Storn and K. Price (1997), Differential evolution -
a simple and efficient heuristic for global optimization over continuous spaces, J. Global
Optimization 11, 341-359), its limits handled as J. Lampinen (2002), A constraint handling approach
for the differential evolution algorithm, Proc. CEC 2002, 1468-1473: a feasible point beats an
infeasible one, and of two infeasible points the one violating the limits less wins. SciPy
evaluates the limits one point at a time outside its `workers`; given the whole generation at once
(`vectorized`), the runner sends it to the study's cluster in one go and gathers it in order. Every
run goes through the runner core's `Runs`: kept in `runs/<id>.json`, never run twice, so `--resume`
follows the same seeded search without running anything again. A run that fails counts as
infeasible. A varied schedule is written as a feed file named by its content under `runs/feeds/`."""
import dataclasses
import hashlib
import math
import pathlib
import sys
import tempfile
import time

import numpy as np

from . import clicheck, core, outputs, progress, report, studyfile
from . import feed
from .feed import Schedule
from .files import FileError, write_file
from .studyfile import DECLARED, INPUTS, StudyError, is_number, nearest

SENSES = ('maximize', 'minimize')
KEYS = (*SENSES, 'max_runs', 'seed', 'variables', 'constraints', 'prices')   # of [optimize]; the manual page has each
PROFIT = 'profit'
SUBSTRATES = 'substrates'
POPSIZE = 15             # members per variable in a generation (SciPy's default)
TOLERANCE = 1e-3         # the search ends when the spread of a generation's objective falls below this share
FAILED = 1e6             # the limits' violation of a run that gave no values
MOST_SEED = 2 ** 32 - 1  # SciPy's search seeds numpy's RandomState, which takes no more


@dataclasses.dataclass
class Variable:
    name: str            # 'q-in', 'parameters.km_ac', 'substrates.maize' or, for a period, 'substrates.maize@60'
    key: str             # its key in the file
    low: float
    high: float
    unit: str
    column: str = None   # a substrate's column of the feed schedule
    day: float = 0.0     # a substrate flow holds from this day


@dataclasses.dataclass
class Problem:
    title: str
    base: dict                 # the run inputs of every run, constants as "parameters.NAME"
    variables: list
    sense: str = 'maximize'
    objective: str = None      # an output key or "profit"
    constraints: dict = dataclasses.field(default_factory=dict)   # output key -> {min, max}
    prices: dict = dataclasses.field(default_factory=dict)        # output key or "substrates.NAME" -> price
    max_runs: int = 300
    seed: int = 0
    schedule: Schedule = None
    lines: dict = dataclasses.field(default_factory=dict)
    problems: list = dataclasses.field(default_factory=list)
    kind = 'optimize'

    @property
    def config(self):
        return self.base.get('config', studyfile.DEFAULT_CONFIG)

    @property
    def population(self):
        return max(5, POPSIZE * len(self.variables))

    def generations(self):
        return self.max_runs // self.population if self.variables and self.max_runs else 0

    def runs(self):
        """The most runs the search makes."""
        return self.generations() * self.population if self.max_runs else None

    def outputs(self):
        """The summary keys the study reads: its objective, limits and priced outputs."""
        return {self.objective, *self.constraints, *(k for k in self.prices if not k.startswith(f'{SUBSTRATES}.'))}

    def t_end(self):
        return float(self.base.get('t-end', DECLARED['t-end']['default'][self.config]))

    def schedule_of(self, point):
        """The feed schedule of a point, or None when no substrate flow is varied."""
        flows = {}
        for v in self.variables:
            if v.column:
                flows.setdefault(v.column, []).append((v.day, float(point[v.name])))
        return self.schedule.varied(flows) if flows else None

    def inputs(self, point, feed=None):
        """A run's inputs for a point {variable: value}; `feed` the path of its schedule's file."""
        inputs = dict(self.base)
        for v in self.variables:
            if not v.column:
                decimals = DECLARED.get(v.name, {}).get('decimals')
                value = float(point[v.name]) if decimals is None else round(float(point[v.name]), decimals)
                inputs[v.name] = studyfile.canonical(value)
        if feed:
            inputs['feed'] = str(feed)
        return {name: inputs[name] for name in INPUTS if name in inputs}


def read(text, folder, data=None):
    """The optimisation problem in `text` (a study file in `folder`; `data` its TOML document when
    read already) with every problem of the file on its own in `problems`, each at its line; raises
    StudyError when the text is not TOML."""
    data = studyfile.toml_of(text) if data is None else data
    lines = studyfile.key_lines(text)
    problems = studyfile.Problems(lines)
    studyfile.kind_of(data, problems)
    rest = {k: v for k, v in data.items() if k in ('title', 'base', 'output')}
    study = studyfile.resolve_files(studyfile.parse(text, rest), folder)
    problems.found += study.problems
    if study.workbooks:
        problems.add('output.workbooks', 'an optimize study keeps no workbooks; leave it out or set it to false')
    if 'final-state' in study.base:
        problems.add('base.final-state', studyfile.shared_state('all the'))
    problem = Problem(study.title, study.base, [], lines=lines)
    table = problems.table('optimize', data['optimize'], KEYS)
    senses = [s for s in SENSES if s in table]
    if len(senses) != 1:
        problems.add('optimize', 'needs one of maximize = "OUTPUT" and minimize = "OUTPUT"')
    else:
        problem.sense, problem.objective = senses[0], table[senses[0]]
        _read_objective(problem, table, problems)
    for key, low, most in (('max_runs', 1, None), ('seed', 0, MOST_SEED)):
        value = problems.whole(f'optimize.{key}', table.get(key, getattr(problem, key)), low, most)
        if value is not None:
            setattr(problem, key, value)
    _read_variables(problem, problems.table('optimize.variables', table.get('variables', {})), problems)
    for key, entry in problems.table('optimize.constraints', table.get('constraints', {})).items():
        where = f'optimize.constraints.{key}'
        reason = outputs.summary_key_problem(key, problem.config)
        if reason:
            problems.add(where, reason)
        limits = problems.limits(where, entry, ('min', 'max'))
        if not reason and limits:
            problem.constraints[key] = limits
    if problem.variables and problem.max_runs and problem.max_runs < problem.population:
        problems.add('optimize.max_runs', f'must be at least one generation of {problem.population} runs '
                                          f'({POPSIZE} per variable)')
    problem.problems = problems.found
    return problem


def _read_objective(problem, table, problems):
    key, where = problem.objective, f'optimize.{problem.sense}'
    prices = table.get('prices')
    if key == PROFIT:
        if not prices:
            problems.add(where, '"profit" needs its prices in [optimize.prices]')
    elif not isinstance(key, str):
        problems.add(where, f'must be an output key, e.g. "r1_normal_methane", not {key!r}')
    else:
        reason = outputs.summary_key_problem(key, problem.config)
        if reason:
            problems.add(where, reason)
    for name, price in problems.table('optimize.prices', prices or {}).items():
        at = f'optimize.prices.{name}'
        if name.startswith(f'{SUBSTRATES}.'):
            reason = _substrate_problem(problem)
        else:
            reason = outputs.summary_key_problem(name, problem.config)
        if reason:
            problems.add(at, reason)
        value = problems.number(at, price)
        if not reason and value is not None:
            problem.prices[name] = value


def _substrate_problem(problem):
    if 'feed' not in problem.base or SUBSTRATES not in problem.base:
        return 'needs a feed schedule of substrates in [base] (feed = "FILE", substrates = "FILE")'
    return None


def _numeric_names():
    return [n for n, i in INPUTS.items() if i.kind in ('number', 'temperature', 'constant')]


def _read_schedule(problem, cli):
    """Takes the base feed schedule as digestra-cli lists it, when substrate flows vary or are priced;
    the problems of those naming no column of it, each at its key."""
    named = [(v.key, v) for v in problem.variables if v.column]
    named += [(f'optimize.prices.{k}', k.removeprefix(f'{SUBSTRATES}.')) for k in problem.prices
              if k.startswith(f'{SUBSTRATES}.')]
    if not named or _substrate_problem(problem):   # the latter told by read
        return []
    found = studyfile.Problems(problem.lines)
    try:
        problem.schedule = feed.schedule(cli, problem.base)
    except feed.FeedError as e:
        found.add('base.feed', str(e))
        return found.found
    columns = problem.schedule.columns[1:]
    for key, named_column in named:
        column = named_column.column if isinstance(named_column, Variable) else named_column
        if column not in columns:
            found.add(key, f'"{column}" is not a column of the feed schedule{nearest(column, columns)}')
        elif isinstance(named_column, Variable):
            named_column.unit = problem.schedule.units[problem.schedule.columns.index(column)]
    return list(dict.fromkeys(found.found))


def _read_variables(problem, table, problems):
    if not table:
        problems.add('optimize.variables', 'must name at least one variable, e.g. "q-in" = { min = 2, max = 12 }')
    for name, entry in table.items():
        key = f'optimize.variables.{name}'
        column = name.removeprefix(f'{SUBSTRATES}.') if name.startswith(f'{SUBSTRATES}.') else None
        if column is not None:   # checked against the schedule digestra-cli lists, which gives its unit
            reason, unit = _substrate_problem(problem), None
        elif name in INPUTS and INPUTS[name].kind in ('number', 'temperature', 'constant'):
            unit = INPUTS[name].unit
            reason = None if problem.config in INPUTS[name].configs else \
                f'cannot matter: it does not apply to config {problem.config}'
        elif name in INPUTS:
            reason = 'only numeric inputs vary'
        else:
            reason = ('is neither a numeric run input, a model constant (parameters.NAME) nor a substrate flow '
                      f'(substrates.NAME){nearest(name, _numeric_names())}')
        if reason:
            problems.add(key, reason)
        limits = problems.limits(key, entry, ('min', 'max', 'periods') if column else ('min', 'max'))
        if set(limits) != {'min', 'max'}:
            if limits and isinstance(entry, dict):
                problems.add(key, 'needs both min and max')
            continue
        if limits['max'] == limits['min']:
            problems.add(f'{key}.max', 'must be above min: a variable varies')
            continue
        periods = entry.get('periods', [0])
        if not isinstance(periods, list) or not periods or not all(is_number(p) and math.isfinite(p) for p in periods) \
                or periods[0] != 0 \
                or any(b <= a for a, b in zip(periods, periods[1:])):
            problems.add(f'{key}.periods',
                         f'must list the days each period starts, from 0 on, e.g. [0, 60], not {periods!r}')
            continue
        late = [p for p in periods if p >= problem.t_end()]
        if late:
            problems.add(f'{key}.periods',
                         f'a period from day {late[0]:g} starts after the run ends (t-end {problem.t_end():g})')
            continue
        if reason:
            continue
        for day in periods:
            label = f'{name}@{day:g}' if len(periods) > 1 else name
            problem.variables.append(Variable(label, key, limits['min'], limits['max'], unit, column, float(day)))


def corners(problem):
    """The points at every variable's min, and at every max."""
    return [{v.name: getattr(v, side) for v in problem.variables} for side in ('low', 'high')]


def prepare(problem, cli, yes=False):
    """Checks the problem whole, with digestra-cli's own checks of its corner points (nothing run);
    raises StudyError with every problem."""
    problems = list(problem.problems)
    too_many = core.size_problem(problem, yes)
    problems += [too_many] if too_many else []
    problems += _read_schedule(problem, cli)
    if not problems:
        with tempfile.TemporaryDirectory(prefix='digestra-optimize-') as folder:
            points = corners(problem)
            inputs = [problem.inputs(p, _feed(problem, p, pathlib.Path(folder))) for p in points]
            problems += _point_problems(problem, points, inputs, clicheck.refusals(cli, inputs))
            if not problems:
                problems += _inapplicable(problem, clicheck.not_applicable(cli, inputs[0], problem.outputs()))
    if problems:
        raise StudyError(problems)


def _inapplicable(problem, notes):
    """The outputs the study names that no run gives, each at its key."""
    found = studyfile.Problems(problem.lines)
    for key, note in notes.items():
        at = [f'optimize.{problem.sense}'] if key == problem.objective else []
        at += [f'optimize.{part}.{key}' for part in ('constraints', 'prices') if key in getattr(problem, part)]
        for where in at:
            found.add(where, f'{key} is {note}')
    return found.found


def _point_problems(problem, points, inputs, messages):
    """What digestra-cli would refuse at a point, each named once under its variable or [base]."""
    found, seen = studyfile.Problems(problem.lines), set()
    keys = {v.name if not v.column else 'feed': v.key for v in problem.variables}
    for point, given, message in zip(points, inputs, messages):
        reasons = [(n, studyfile.value_problem(n, given[n])) for n in given if n in keys and n != 'feed']
        reasons += list(studyfile.scenario_problems(given))
        constants = [n.removeprefix('parameters.') for n in given if n.startswith('parameters.')]
        reasons += list(studyfile.cli_problems(message, constants))
        for name, reason in reasons:
            if reason and (name, reason) not in seen:
                seen.add((name, reason))
                at = keys.get(name, f'base.{name}')
                found.add(at, f'{reason} (at {"min" if point is points[0] else "max"})')
    return found.found


def _feed(problem, point, folder):
    """The path of the point's feed schedule, written under `folder` (named by its content), or None."""
    schedule = problem.schedule_of(point)
    if schedule is None:
        return None
    text = schedule.csv()
    path = folder / f'{hashlib.sha256(text.encode()).hexdigest()[:16]}.csv'
    if not path.is_file():
        write_file(path, text)
    return path


class Search:
    """The runs of the search: each generation sent to the cluster at once, every new point kept
    in `evaluations` (in the order run) with its objective, limits and whether it is feasible."""

    def __init__(self, problem, runs, feeds, progress=None):
        self.problem, self.runs, self.feeds, self.progress = problem, runs, feeds, progress
        self.evaluations, self.generation, self.calls = {}, 0, 0
        self.best = []   # the best feasible objective after each run

    def evaluate(self, x):
        """The evaluations of the points in the columns of `x` (variables x points)."""
        x = np.asarray(x)
        columns = x.T if x.ndim == 2 else [x]   # SciPy sends one point on its own first
        points = [dict(zip((v.name for v in self.problem.variables), column)) for column in columns]
        inputs = [self.problem.inputs(p, _feed(self.problem, p, self.feeds)) for p in points]
        at = {self.runs.scenario(i).id: p for p, i in zip(points, inputs)}
        # Each run as it finishes, so that a stop keeps it; then those run before (--resume).
        records = self.runs.run(inputs, lambda scenario, record: self._add(at[scenario.id], record))
        for point, record in zip(points, records):
            self._add(point, record)
        return [self.evaluations[r['id']] for r in records]

    def _add(self, point, record):
        if record['id'] in self.evaluations:
            return
        self.evaluations[record['id']] = {'run': record['id'], 'generation': self.generation,
                                          **self._scored(point, record)}
        best = self.best_feasible()
        self.best.append(best['objective'] if best else None)
        if self.progress:
            self.progress(len(self.best), math.nan if best is None else best['objective'])

    def _scored(self, point, record):
        values = core.summary_values(record) if record['status'] == 'done' else {}
        p = self.problem
        if p.prices and record['status'] == 'done':   # revenues less the substrates' costs
            schedule = p.schedule_of(point) or p.schedule
            fed = schedule.fed(p.t_end()) if schedule else {}
            terms = [price * values.get(k, np.nan) if not k.startswith(f'{SUBSTRATES}.')
                     else -price * fed[k.removeprefix(f'{SUBSTRATES}.')] for k, price in p.prices.items()]
            values[PROFIT] = math.fsum(terms) if all(t is not None and math.isfinite(t) for t in terms) else None
        objective = values.get(p.objective)
        limits = {k: values.get(k) for k in p.constraints}
        numbers = [objective, *limits.values()]
        done = record['status'] == 'done' and all(is_number(v) and math.isfinite(v) for v in numbers)
        slack = {k: min(((v - b['min']) if 'min' in b else math.inf, (b['max'] - v) if 'max' in b else math.inf))
                 / (abs(b.get('max', b.get('min'))) or 1.0) if done else None
                 for (k, b), v in zip(p.constraints.items(), limits.values())}
        return {'point': point, 'objective': objective if done else None, 'profit': values.get(PROFIT),
                'limits': limits, 'slack': slack,
                'done': done, 'status': record['status'], 'message': record.get('message', ''),
                'feasible': done and all(s >= 0 for s in slack.values())}

    def energies(self, x):
        """What the search minimises, of each point: the objective (negated to maximise); a failed run's
        is infinite."""
        sign = -1 if self.problem.sense == 'maximize' else 1
        return np.array([sign * e['objective'] if e['done'] else np.inf for e in self.evaluate(x)])

    def violations(self, x):
        """Each limit's relative slack (at least 0 where met) and whether the run gave values, of each
        point; a new generation starts here, as SciPy asks for the limits first."""
        if np.ndim(x) == 2:   # a generation (SciPy's first call checks one point on its own)
            self.generation, self.calls = self.calls, self.calls + 1
        found = self.evaluate(x)
        rows = [[e['slack'][k] if e['done'] else 0.0 for e in found] for k in self.problem.constraints]
        return np.array(rows + [[0.0 if e['done'] else -FAILED for e in found]])

    def best_feasible(self):
        feasible = [e for e in self.evaluations.values() if e['feasible']]
        sign = 1 if self.problem.sense == 'maximize' else -1
        return max(feasible, key=lambda e: sign * e['objective'], default=None)

    def least_violating(self):
        return min(self.evaluations.values(), key=lambda e: (not e['done'], -min(e['slack'].values(), default=0)
                                                             if e['done'] else 0), default=None)


def search(problem, found):
    """Runs SciPy's differential evolution over the problem with `found` (a Search) doing the runs."""
    from scipy.optimize import Bounds, NonlinearConstraint, differential_evolution
    bounds = Bounds([v.low for v in problem.variables], [v.high for v in problem.variables])
    limit = NonlinearConstraint(found.violations, 0, np.inf)
    return differential_evolution(found.energies, bounds, constraints=(limit,), seed=problem.seed,
                                  maxiter=problem.generations() - 1, popsize=POPSIZE, tol=TOLERANCE, polish=False,
                                  updating='deferred', vectorized=True)


def main(args, text, data):
    """digestra-study for a study file with [optimize] (its text and TOML document); the exit status."""
    problem = read(text, args.study.parent, data)
    cli, where = core.find_cli(args.cli, local=not args.scheduler)
    if cli is None:
        print(f'digestra-study: {where}', file=sys.stderr)
        return core.EXIT_BAD_STUDY
    try:
        prepare(problem, cli, args.yes)
    except clicheck.CheckError as e:
        print(f'digestra-study: {e}', file=sys.stderr)
        return core.EXIT_BAD_STUDY
    except StudyError as e:
        return core.refused(args.study, e.problems)
    names = ', '.join(v.name for v in problem.variables)
    if args.dry_run:
        print(f'optimize: {len(problem.variables)} variables ({names}), at most {problem.runs()} runs '
              f'({problem.generations()} generations of {problem.population})')
        return core.EXIT_DONE
    print(f'digestra-study: using {cli} ({where})', file=sys.stderr)
    out = args.out or args.study.with_suffix('')
    folder, runs = core.open_study(args, cli, text, out, [])
    if folder is None:   # refused: `runs` is the exit status
        return runs
    bar = progress.BestSoFar(sys.stderr, f'optimize: {{runs}} runs, best feasible {problem.objective} {{cost:.6g}}')
    found, began, stopped = Search(problem, runs, out / 'runs' / 'feeds', bar), time.monotonic(), False
    try:
        with runs:
            search(problem, found)
    except KeyboardInterrupt:
        stopped = True
    except core.Stopped as e:
        print(f'Stopped: {e}; finished runs are kept; --resume continues.', file=sys.stderr)
        return core.EXIT_NOT_ALL
    except FileError as e:   # a feed: what finished is kept
        print(f'digestra-study: {e}', file=sys.stderr)
        return core.EXIT_NOT_ALL
    finally:
        bar.finish()
        folder.release()
    return finish(problem, found, runs, out, began, stopped)


def finish(problem, found, runs, out, began, stopped):
    """Writes the outputs of the search so far and says how it ended; the exit status."""
    best, least = found.best_feasible(), found.least_violating()
    about = {'runs': len(found.evaluations), 'reused from before': runs.resumed,
             'runs failed': sum(not e['done'] for e in found.evaluations.values()),
             'wall time [s]': round(time.monotonic() - began, 1), 'max_runs': problem.max_runs, 'seed': problem.seed,
             **({'stopped': 'interrupted'} if stopped else {})}
    if least is None:
        print('Stopped before any run finished; nothing written.', file=sys.stderr)
        return core.EXIT_INTERRUPTED
    point = best or least
    schedule = problem.schedule_of(point['point'])
    inputs = problem.inputs(point['point'], 'optimum-feed.csv' if schedule else None)
    try:
        if schedule:
            write_file(out / 'optimum-feed.csv', schedule.csv())
        write_file(out / 'optimum.toml', optimum_toml(inputs))
        report.write_optimum(out, problem, found, point, about,
                             report.optimum_setup(problem, core.cli_version(runs.cli)[0]))
    except FileError as e:
        print(f'digestra-study: {e}', file=sys.stderr)
        return core.EXIT_NOT_ALL
    if best is None:
        unmet = [k for k, s in (least['slack'] or {}).items() if s is not None and s < 0]
        why = (f'the limits of {", ".join(unmet)} could not be met' if least['done'] else
               f'no run gave values ({least["message"] or least["status"]})')
        print(f'digestra-study: no feasible point in {len(found.evaluations)} runs: {why}; optimum.* hold the '
              'least violating point', file=sys.stderr)
    else:
        print(f'digestra-study: {problem.sense.removesuffix("e")}ed {problem.objective} = '
              f'{best["objective"]:.6g} in {len(found.evaluations)} runs', file=sys.stderr)
    if stopped:
        print('Stopped: the best feasible point so far is written; --resume continues.', file=sys.stderr)
        return core.EXIT_INTERRUPTED
    print(f'digestra-study: results in {out}', file=sys.stderr)
    return core.EXIT_DONE if best else core.EXIT_NOT_ALL


def optimum_toml(inputs):
    """The inputs of the optimum as an inputs file, constants under [parameters]."""
    import tomli_w
    plain = {k: v for k, v in inputs.items() if not k.startswith('parameters.')}
    constants = {k.removeprefix('parameters.'): v for k, v in inputs.items() if k.startswith('parameters.')}
    return tomli_w.dumps({**plain, **({'parameters': constants} if constants else {})})
