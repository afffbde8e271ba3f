"""Reading a study file: the base case, the inputs to sweep and the output wanted, checked as a whole
before anything runs, then expanded into one input set per scenario.

The inputs carry the names of digestra-cli's options without the dashes. An input a study does not
give is left out of the scenario, so digestra-cli applies its own default."""
import dataclasses
import itertools
import math
import tomllib

ALL_CONFIGS = ('ssad', 'tsad', 'tpad', 'pomp')


@dataclasses.dataclass(frozen=True)
class Input:
    name: str
    kind: str          # 'number', 'temperature', 'config', 'ph' or 'unit'
    unit: str = ''
    configs: tuple = ALL_CONFIGS


INPUTS = {i.name: i for i in (
    Input('config', 'config'),
    Input('q-in', 'number', 'm3/d'),
    Input('x-c-in', 'number', 'kgCOD/m3'),
    Input('t-end', 'number', 'd'),
    Input('f-pr', 'number', '-'),
    Input('f-li', 'number', '-'),
    Input('f-ch', 'number', '-'),
    Input('ph', 'ph', '-'),
    Input('unit', 'unit'),
    Input('t1', 'temperature', 'K'),
    Input('t2', 'temperature', 'K', ('tpad',)),
    Input('p1', 'number', 'bar'),
    Input('p2', 'number', 'bar', ('tsad', 'tpad')),
    Input('v1', 'number', 'm3'),
    Input('v2', 'number', 'm3', ('tsad', 'tpad')),
    Input('t-sr', 'number', 'd', ('tpad',)),
    Input('mix-i', 'number', 'min', ('pomp',)),
)}

MAX_SCENARIOS = 10_000       # more need --yes
MOST_SCENARIOS = 100_000     # even with --yes: a study's scenarios and outcomes are held in memory
LOWEST_PH, HIGHEST_PH = 1, 12.99
LOWEST_T_END, HIGHEST_T_END = 0.1, 104857   # the longest a results sheet holds
LOWEST_KELVIN, HIGHEST_KELVIN = 273.15, 373.15
POSITIVE = ('p1', 'p2', 'v1', 'v2')
FRACTIONS = ('f-pr', 'f-li', 'f-ch')
# digestra-cli's value of a fraction the scenario leaves out; needed only to check the sum here.
CLI_FRACTION = 0.3
FEED_REQUIRED = ('tpad', 'pomp')


class StudyError(Exception):
    """The study file cannot run; `problems` lists every reason, each starting with its key."""

    def __init__(self, problems):
        super().__init__('\n'.join(problems))
        self.problems = problems


@dataclasses.dataclass
class Study:
    title: str
    base: dict         # input name -> value
    sweep: dict        # input name -> list of values, in file order
    mode: str          # 'grid' or 'zip'
    workbooks: bool

    def count(self):
        lengths = [len(values) for values in self.sweep.values()]
        if not lengths:
            return 1
        return lengths[0] if self.mode == 'zip' else math.prod(lengths)

    def scenarios(self):
        """Every scenario's inputs, in the order of INPUTS."""
        names = list(self.sweep)
        rows = zip(*self.sweep.values()) if self.mode == 'zip' else itertools.product(*self.sweep.values())
        for row in rows:
            inputs = {**self.base, **dict(zip(names, row))}
            yield {name: inputs[name] for name in INPUTS if name in inputs}


def is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def canonical(value):
    """20.0 and 20 are one input: whole numbers become ints, so a scenario's identity does not
    depend on how its numbers were typed."""
    if isinstance(value, float) and value.is_integer():
        return int(value)
    return value


def value_problem(name, value):
    """What digestra-cli would refuse in one input's value on its own, or None. Strings of
    config, ph and unit are brought to the CLI's spelling by `normalised` first."""
    kind = INPUTS[name].kind
    if kind == 'config':
        return None if value in ALL_CONFIGS else f'must be one of {", ".join(ALL_CONFIGS)}, not {value!r}'
    if kind == 'unit':
        return None if value in ('K', 'C') else f'must be "K" or "C", not {value!r}'
    if kind == 'ph':
        if value == 'free' or (is_number(value) and LOWEST_PH <= value <= HIGHEST_PH):
            return None
        return f'must be "free" or a pH from 1 to 12.99, not {value!r}'
    if not is_number(value) or not math.isfinite(value):
        return f'must be a number, not {value!r}'
    if kind == 'temperature':
        return None
    if value < 0:
        return f'must not be negative (got {value})'
    if name == 't-end' and not LOWEST_T_END <= value <= HIGHEST_T_END:
        return f'must be from {LOWEST_T_END} to {HIGHEST_T_END} d (got {value})'
    if name in POSITIVE and value <= 0:
        return f'must be greater than 0 (got {value})'
    return None


def normalised(name, value):
    if isinstance(value, str):
        kind = INPUTS[name].kind
        return value.lower() if kind in ('config', 'ph') else value.upper() if kind == 'unit' else value
    return canonical(value)


def scenario_problems(inputs):
    """What digestra-cli would refuse in a scenario's combination of inputs, as (key, reason)."""
    config = inputs.get('config', 'ssad')   # digestra-cli's configuration when none is given
    for name in inputs:
        if config not in INPUTS[name].configs:
            yield name, f'does not apply to config {config} (only to {", ".join(INPUTS[name].configs)})'
    celsius = inputs.get('unit') == 'C'
    for name in ('t1', 't2'):
        if name in inputs:
            kelvin = inputs[name] + (273.15 if celsius else 0)
            if not LOWEST_KELVIN <= kelvin <= HIGHEST_KELVIN:
                yield name, f'must be from 273.15 K to 373.15 K (got {kelvin:g} K)'
    if config in FEED_REQUIRED and inputs.get('q-in', 1) <= 0:   # the CLI's own feed is positive
        yield 'q-in', f'must be greater than 0 for config {config}'
    total = sum(inputs.get(name, CLI_FRACTION) for name in FRACTIONS)
    if total > 1 + 1e-12:
        yield 'f-pr + f-li + f-ch', f'must not add up to more than 1 (got {total:g}, {CLI_FRACTION} for each not given)'


class _Reader:
    """Collects every problem of one study file while reading it."""

    def __init__(self):
        self.problems = []

    def problem(self, key, reason):
        self.problems.append(f'{key}: {reason}')

    def table(self, data, key, allowed):
        table = data.get(key, {})
        if not isinstance(table, dict):
            self.problem(key, 'must be a table')
            return {}
        for unknown in sorted(set(table) - set(allowed)):
            self.problem(f'{key}.{unknown}', 'unknown key')
        return {k: v for k, v in table.items() if k in allowed}

    def checked(self, key, name, value):
        value = normalised(name, value)
        reason = value_problem(name, value)
        if reason:
            self.problem(key, reason)
        return value

    def range_values(self, key, name, entry):
        extra = set(entry) - {'from', 'to', 'steps'}
        for unknown in sorted(extra):
            self.problem(f'{key}.{unknown}', 'unknown key (a range has from, to and steps)')
        missing = [k for k in ('from', 'to', 'steps') if k not in entry]
        if missing:
            self.problem(key, f'a range needs from, to and steps (missing {", ".join(missing)})')
            return []
        if INPUTS[name].kind not in ('number', 'temperature'):
            self.problem(key, 'only numeric inputs take a range')
            return []
        start, stop, steps = entry['from'], entry['to'], entry['steps']
        bad = [k for k in ('from', 'to') if not is_number(entry[k])]
        for k in bad:
            self.problem(f'{key}.{k}', f'must be a number, not {entry[k]!r}')
        if not isinstance(steps, int) or isinstance(steps, bool) or not 2 <= steps <= MOST_SCENARIOS:
            self.problem(f'{key}.steps', f'must be a whole number from 2 to {MOST_SCENARIOS}, not {steps!r}')
            return []
        if bad:
            return []
        values = [round(start + (stop - start) * i / (steps - 1), 12) for i in range(steps)]
        return [self.checked(key, name, v) for v in values]

    def sweep_values(self, key, name, entry):
        if isinstance(entry, dict):
            return self.range_values(key, name, entry)
        if not isinstance(entry, list):
            self.problem(key, 'must be a list of values or a range { from, to, steps }')
            return []
        if not entry:
            self.problem(key, 'must not be an empty list')
        return [self.checked(f'{key}[{i}]', name, v) for i, v in enumerate(entry)]


def parse(text):
    """The study in `text`; raises StudyError naming every problem."""
    try:
        data = tomllib.loads(text)
    except tomllib.TOMLDecodeError as e:
        raise StudyError([f'not TOML: {e}']) from None
    except RecursionError:
        raise StudyError(['arrays or tables nested too deeply']) from None
    reader = _Reader()
    for unknown in sorted(set(data) - {'title', 'base', 'sweep', 'output'}):
        reader.problem(unknown, 'unknown key')
    title = data.get('title', '')
    if not isinstance(title, str):
        reader.problem('title', 'must be a string')
    base = {name: reader.checked(f'base.{name}', name, value)
            for name, value in reader.table(data, 'base', INPUTS).items()}
    sweep_table = reader.table(data, 'sweep', (*INPUTS, 'mode'))
    mode = sweep_table.pop('mode', 'grid')
    if mode not in ('grid', 'zip'):
        reader.problem('sweep.mode', f'must be "grid" or "zip", not {mode!r}')
    sweep = {name: reader.sweep_values(f'sweep.{name}', name, entry) for name, entry in sweep_table.items()}
    workbooks = reader.table(data, 'output', ('workbooks',)).get('workbooks', False)
    if not isinstance(workbooks, bool):
        reader.problem('output.workbooks', 'must be true or false')
    if mode == 'zip' and len({len(v) for v in sweep.values()}) > 1:
        lengths = ', '.join(f'{name} has {len(v)}' for name, v in sweep.items())
        reader.problem('sweep', f'mode = "zip" pairs lists of one length ({lengths})')
    if reader.problems:
        raise StudyError(reader.problems)
    return Study(title, base, sweep, mode, workbooks)


def check_scenarios(study):
    """Raises StudyError when digestra-cli would refuse any scenario's combination of inputs;
    each problem is named once, with the first scenario that shows it."""
    seen = {}
    for number, inputs in enumerate(study.scenarios(), 1):
        for key, reason in scenario_problems(inputs):
            seen.setdefault((key, reason), number)
    if seen:
        raise StudyError([f'{key}: {reason} (scenario {number} of {study.count()})'
                          for (key, reason), number in seen.items()])
