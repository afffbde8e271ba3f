"""Reading a study file: the base case, the inputs to sweep and the output wanted, checked as a whole
before anything runs, then expanded into one input set per scenario.

The inputs, their kinds, units, ranges and the configurations that take them are digestra-cli's
declaration (`digestra-cli --describe`), exported beside this module as inputs.json; nothing of it
is restated here (after changing an input: build/cli/digestra-cli --describe >
study/digestra_study/inputs.json; a test compares the two). An input a study does not give is left out of the scenario, so digestra-cli
applies its own default.

Beside the inputs a study may give `feed` and `substrates` (files, relative ones beside the study
file), `initial-state` (`steady`, `start-up` or a state file) and `final-state` (a file) and model constants as `parameters.NAME` (in TOML a `parameters` table: `[base.parameters]`,
or `parameters.km_ac = [4, 6, 8]` in [sweep]); the constants' names and units are those of
`digestra-cli --list-parameters --json`, exported beside this module as parameters.json (a test
compares the two); digestra-cli checks their values."""
import collections
import dataclasses
import difflib
import itertools
import json
import math
import pathlib
import re

from . import readfile

DECLARATION = json.loads((pathlib.Path(__file__).with_name('inputs.json')).read_text(encoding='utf-8'))
DECLARED = {i['key']: i for i in DECLARATION['inputs']}
ALL_CONFIGS = tuple(DECLARED['config']['choices'])
DEFAULT_CONFIG = DECLARED['config']['default'][ALL_CONFIGS[0]]   # digestra-cli's when none is given


@dataclasses.dataclass(frozen=True)
class Input:
    name: str
    kind: str          # 'number', 'temperature', 'ph' (a number or "free"), 'choice', 'file', 'constant'
                       # or 'word' (one of WORDS[name])
    unit: str = ''
    configs: tuple = ALL_CONFIGS


def _kind(declared):
    if declared['temperature']:
        return 'temperature'
    if declared['number']:
        return 'ph' if declared['choices'] else 'number'
    return 'choice'


CONSTANTS = json.loads((pathlib.Path(__file__).with_name('parameters.json')).read_text(encoding='utf-8'))
KEYS = ('title', 'base', 'sweep', 'output')   # the keys of a sweep study's file, with 'mode' in [sweep]
KINDS = ('sweep', 'fit', 'sensitivity', 'uncertainty', 'optimize')   # the table that makes a study's kind
PARAMETERS = 'parameters'   # the table of model constants; a constant's key is "parameters.NAME"
INPUTS = {key: Input(key, _kind(d), d['unit'], tuple(d['configs'])) for key, d in DECLARED.items()}
INPUTS.update({key: Input(key, 'file') for key in ('feed', 'substrates', 'initial-state', 'final-state')})
STARTS = ('steady', 'start-up')   # the words initial-state takes beside a state file
ENGINES = ('compiled', 'native', 'scripts')   # how digestra-cli integrates a run (compiled unless the study says)
PH_SOLVERS = ('exact', 'damped')   # how digestra-cli solves a free pH (exact unless the study says)
WORDS = {'engine': ENGINES, 'ph-solver': PH_SOLVERS}
INPUTS.update({key: Input(key, 'word') for key in WORDS})
INPUTS.update({f'{PARAMETERS}.{c["name"]}': Input(f'{PARAMETERS}.{c["name"]}', 'constant', c['unit'])
               for c in CONSTANTS})

FIXED_IN = {f'{PARAMETERS}.{c["name"]}': c['fixed_in'] for c in CONSTANTS}   # configurations replacing each

MAX_SCENARIOS = 10_000       # more need --yes
MOST_SCENARIOS = 100_000     # even with --yes: a study's scenarios and outcomes are held in memory
_REFUSED = object()   # a value with a problem, left out of the study


def _number(value):
    return f'{value:g}'


def range_problem(name, value, config=None):
    """Why digestra-cli refuses a number for an input (its range and decimals), as it says it, or
    None. Without a configuration, only what holds in every configuration that takes the input."""
    d = DECLARED[name]
    excluded_in = d['min_excluded_for']
    excluded = config in excluded_in if config else set(d['configs']) <= set(excluded_in)
    low, high = d['min'], d['max']
    fits = math.isfinite(value) and (low is None or (value > low if excluded else value >= low)) and \
        (high is None or (value < high if d['max_excluded'] else value <= high))
    unit = f' {d["unit"]}' if d['unit'] not in ('', '-') else ''
    if not fits:
        if high is None:
            text = (f'must be greater than {_number(low)}' if excluded else
                    'must not be negative' if low == 0 else f'must be at least {_number(low)}{unit}')
        else:
            text = (f'must be from {"above " if excluded else ""}{_number(low)} to '
                    f'{"below " if d["max_excluded"] else ""}{_number(high)}{unit}')
        if excluded and config and set(excluded_in) != set(ALL_CONFIGS):
            text += f' for config {config}'
        return f'{text} (got {value:.12g}{unit})'
    decimals = d['decimals']
    if decimals is not None:
        scaled = value * 10 ** decimals
        if abs(scaled - round(scaled)) > 1e-9 * max(1, abs(scaled)):
            return f'must have at most {decimals} decimals (got {value:.12g})'
    return None


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
    problems: list = dataclasses.field(default_factory=list)   # of the file on its own, with lines
    lines: dict = dataclasses.field(default_factory=dict)      # key ("base.v1") -> line

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


def nearest(name, names):
    """"; did you mean X?" for the name of `names` nearest to a misspelled `name`, else ''."""
    near = difflib.get_close_matches(name, list(names), 1, 0)
    return f'; did you mean {near[0]}?' if near else ''


def is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def canonical(value):
    """20.0 and 20 are one input: whole numbers become ints, so a scenario's identity does not
    depend on how its numbers were typed."""
    if isinstance(value, float) and value.is_integer():
        return int(value)
    return value


def value_problem(name, value):
    """What digestra-cli would refuse in one input's value on its own, or None. Words are brought
    to the CLI's spelling by `normalised` first."""
    kind = INPUTS[name].kind
    if kind == 'file':
        return None if isinstance(value, str) and value.strip() else f'must be a file name, not {value!r}'
    if kind == 'constant':
        return None if is_number(value) and math.isfinite(value) else f'must be a number, not {value!r}'
    if kind == 'word':
        return None if value in WORDS[name] else f'must be one of {", ".join(WORDS[name])}, not {value!r}'
    d = DECLARED[name]
    if kind == 'choice':
        return None if value in d['choices'] else \
            f'must be one of {", ".join(d["choices"])}, not {value!r}'
    if kind == 'ph':
        if value in d['choices'] or (is_number(value) and not range_problem(name, value)):
            return None
        return (f'must be "{d["choices"][0]}" or a pH from {_number(d["min"])} to {_number(d["max"])} '
                f'with at most {d["decimals"]} decimals, not {value!r}')
    if not is_number(value) or not math.isfinite(value):
        return f'must be a number, not {value!r}'
    return None if kind == 'temperature' else range_problem(name, value)


def normalised(name, value):
    """A word as the declaration spells it ("SSAD" is "ssad"), a whole number as an int."""
    if isinstance(value, str) and name in DECLARED:
        for choice in DECLARED[name]['choices']:
            if value.lower() == choice.lower():
                return choice
        return value
    return canonical(value)


def scenario_problems(inputs):
    """What digestra-cli would refuse in a scenario's combination of inputs, as (key, reason)."""
    config = inputs.get('config', DEFAULT_CONFIG)
    for name in inputs:
        if INPUTS[name].kind == 'constant' and config in FIXED_IN.get(name, ()):
            yield name, f'cannot matter: config {config} replaces {name.removeprefix(PARAMETERS + ".")} by a law of its own'
        if INPUTS[name].kind in ('file', 'constant', 'word'):
            continue   # digestra-cli reads and checks them
        if config not in INPUTS[name].configs:
            yield name, f'does not apply to config {config} (only to {", ".join(INPUTS[name].configs)})'
            continue
        value = inputs[name]
        if INPUTS[name].kind == 'temperature':
            value += DECLARATION['celsius_offset'] if inputs.get('unit') == 'C' else 0
        elif INPUTS[name].kind != 'number' or not DECLARED[name]['min_excluded_for']:
            continue   # checked on its own already
        reason = range_problem(name, value, config)
        if reason:
            yield name, reason
    for rule in DECLARATION['sums']:
        given = [inputs.get(name, DECLARED[name]['default'].get(config, 0)) for name in rule['keys']]
        total = math.fsum(given)
        if total > rule['max'] + 1e-12:
            yield rule['key'], (f'must not add up to more than {_number(rule["max"])} (got {_number(total)}, '
                                "digestra-cli's default for each not given)")


def key_lines(text):
    """The line of every key of a study file ("base.v1", "sweep.t1", "title"), as far as plain
    `key = value` lines under [table] headers show them."""
    lines, table = {}, ''
    for number, line in enumerate(text.splitlines(), 1):
        header = re.match(r'\s*\[\s*([^\[\]]+?)\s*\]\s*(#.*)?$', line)
        if header:
            table = header.group(1)
            lines.setdefault(table, number)
            continue
        key = re.match(r'\s*([A-Za-z0-9_.-]+|"[^"]*")\s*=', line)
        if key:
            lines.setdefault(f'{table}.{key.group(1).strip(chr(34))}' if table else key.group(1), number)
    return lines


class _Reader:
    """Collects every problem of one study file while reading it; a value with a problem is left out."""

    def __init__(self):
        self.problems = []

    def problem(self, key, reason):
        self.problems.append((key, reason))

    def table(self, data, key, allowed):
        table = data.get(key, {})
        if not isinstance(table, dict):
            self.problem(key, 'must be a table')
            return {}
        for unknown in sorted(set(table) - set(allowed)):
            self.problem(f'{key}.{unknown}', 'unknown key')
        return {k: v for k, v in table.items() if k in allowed}

    def with_constants(self, table, key):
        """The table with its `parameters` table's constants as "parameters.NAME" keys."""
        constants = table.pop(PARAMETERS, {})
        if not isinstance(constants, dict):
            self.problem(f'{key}.{PARAMETERS}', 'must be a table of model constants, e.g. { km_ac = 8 }')
            return table
        for name, value in constants.items():
            if f'{PARAMETERS}.{name}' in INPUTS:
                table[f'{PARAMETERS}.{name}'] = value
                continue
            self.problem(f'{key}.{PARAMETERS}.{name}', 'is not a model constant (digestra-cli --list-parameters lists them)'
                         + nearest(name, [c['name'] for c in CONSTANTS]))
        return table

    def checked(self, key, name, value):
        value = normalised(name, value)
        reason = value_problem(name, value)
        if reason:
            self.problem(key, reason)
            return _REFUSED
        return value

    def range_values(self, key, name, entry):
        extra = set(entry) - {'from', 'to', 'steps'}
        for unknown in sorted(extra):
            self.problem(f'{key}.{unknown}', 'unknown key (a range has from, to and steps)')
        missing = [k for k in ('from', 'to', 'steps') if k not in entry]
        if missing:
            self.problem(key, f'a range needs from, to and steps (missing {", ".join(missing)})')
            return []
        if INPUTS[name].kind not in ('number', 'temperature', 'constant'):
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
        return [v for v in (self.checked(key, name, v) for v in values) if v is not _REFUSED]

    def sweep_values(self, key, name, entry):
        if isinstance(entry, dict):
            return self.range_values(key, name, entry)
        if not isinstance(entry, list):
            self.problem(key, 'must be a list of values or a range { from, to, steps }')
            return []
        if not entry:
            self.problem(key, 'must not be an empty list')
        checked = (self.checked(f'{key}[{i}]', name, v) for i, v in enumerate(entry))
        return [v for v in checked if v is not _REFUSED]


def toml_of(text):
    """The study file's TOML document; raises StudyError when it is not TOML or nested too deeply."""
    try:
        return readfile.parse_toml(text)
    except ValueError as e:
        raise StudyError([f'not TOML: {e}']) from None


def read_study(path):
    """The text of the study file at `path`; raises StudyError when it cannot be read."""
    try:
        return readfile.read_text(path, readfile.STUDY_CAP)
    except readfile.ReadError as e:
        raise StudyError([f'cannot read the study file: {e}']) from None


def where(key, lines):
    """"line 3, base.v1" for a key of the file, from the line of the longest part of it given."""
    part = key
    while part not in lines:
        shorter = re.sub(r'(\[\d+\]|\.[^.]*)$', '', part)
        if shorter == part:
            return key
        part = shorter
    return f'line {lines[part]}, {key}'


class Problems:
    """Every problem of a study file found while reading it, each "line N, key: reason"; with the
    checks the kinds of study share."""

    def __init__(self, lines):
        self.lines, self.found = lines, []

    def add(self, key, reason):
        self.found.append(f'{where(key, self.lines)}: {reason}')

    def whole(self, key, value, low=1, most=None):
        """`value` when it is a whole number from `low` (to `most`), else None with the problem."""
        if value is not None and (not isinstance(value, int) or isinstance(value, bool) or value < low
                                  or (most is not None and value > most)):
            within = f'from {low} to {most}' if most is not None else f'of at least {low}'
            self.add(key, f'must be a whole number {within}, not {value!r}')
            return None
        return value

    def known(self, key, table, allowed):
        for unknown in sorted(set(table) - set(allowed)):
            self.add(f'{key}.{unknown}', 'unknown key')

    def table(self, key, value, allowed=None):
        if not isinstance(value, dict):
            self.add(key, 'must be a table')
            return {}
        self.known(key, value, allowed or value)
        return value

    def number(self, key, value):
        if is_number(value) and math.isfinite(value):
            return float(value)
        self.add(key, f'must be a number, not {value!r}')
        return None

    def limits(self, key, entry, allowed):
        """{min, max} of a table that gives either or both, min not above max."""
        entry = self.table(key, entry, allowed)
        found = {k: self.number(f'{key}.{k}', entry[k]) for k in ('min', 'max') if k in entry}
        if not {'min', 'max'} & set(entry):
            self.add(key, 'needs a min, a max or both')
        if None not in found.values() and found.get('min', -math.inf) > found.get('max', math.inf):
            self.add(f'{key}.max', 'must not be below min')
        return {k: v for k, v in found.items() if v is not None}


def kind_of(data, problems=None):
    """The kind of study of the TOML document `data`: the table of KINDS it holds (a sweep when it
    holds none); `problems` is told of every other one it holds."""
    given = sorted((k for k in KINDS if k in data), key=lambda k: k == 'sweep')
    for other in given[1:] if problems is not None else ():
        problems.add(other, f'a study has one of {", ".join(f"[{k}]" for k in KINDS[:-1])} and [{KINDS[-1]}] '
                            f'(also [{given[0]}])')
    return given[0] if given else 'sweep'


def parse(text, data=None):
    """The study in `text` (its TOML document `data` when given: the file's tables other than a
    kind's own), with every problem of the file on its own in `problems` (each value with a problem
    left out), each at its line; raises StudyError when the text is not TOML."""
    data = toml_of(text) if data is None else data
    reader = _Reader()
    for unknown in sorted(set(data) - set(KEYS)):
        reader.problem(unknown, 'unknown key')
    title = data.get('title', '')
    if not isinstance(title, str):
        reader.problem('title', 'must be a string')
    base = {name: reader.checked(f'base.{name}', name, value)
            for name, value in reader.with_constants(reader.table(data, 'base', (*INPUTS, PARAMETERS)), 'base').items()}
    sweep_table = reader.with_constants(reader.table(data, 'sweep', (*INPUTS, PARAMETERS, 'mode')), 'sweep')
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
    lines = key_lines(text)
    problems = [f'{where(key, lines)}: {reason}' for key, reason in reader.problems]
    return Study(title, {k: v for k, v in base.items() if v is not _REFUSED}, {k: v for k, v in sweep.items() if v},
                 mode, workbooks, problems, lines)


def cli_problems(message, constants):
    """(key, reason) of each problem of digestra-cli's refusal `message` (None: no problem): its key,
    "parameters.NAME" for a problem of one of the model constants `constants` that names it; a
    problem told in more parts ("feed: f.csv:1:1: ...; f.csv:1:3: ...") keeps its key."""
    key = None
    for part in message.split('; ') if message else ():
        given, _, reason = part.partition(': ')
        if given in INPUTS or given == PARAMETERS or key is None:
            named = [name for name in constants if re.search(rf'\b{re.escape(name)}\b', reason)]
            key = f'{PARAMETERS}.{named[0]}' if given == PARAMETERS and named else given
        else:
            reason = part
        yield key, reason or part


def resolve_files(study, folder):
    """The study's feed, substrates and state files, relative ones taken as beside the study file."""
    def resolved(value):
        return value if value in STARTS else str(pathlib.Path(folder, value).absolute())
    for name in ('feed', 'substrates', 'initial-state', 'final-state'):
        if name in study.base:
            study.base[name] = resolved(study.base[name])
        if name in study.sweep:
            study.sweep[name] = [resolved(v) for v in study.sweep[name]]
    return study


def shared_state(runs):
    """Why `runs` runs (more than one) cannot be given one final-state file: each would write over
    the one before."""
    return (f'{runs} runs would each write their final state to this one file, which would keep the last: '
            'give each scenario its own file in [sweep] or leave it out')


def check_scenarios(study, refusals=None):
    """Raises StudyError listing every problem of the study at once: those of the file on its own,
    then the combinations of inputs digestra-cli would refuse, each named once with its line and
    the first scenario that shows it. `refusals(list of inputs)`: digestra-cli's own verdict on
    each scenario, its message or None (see clicheck); what it says of a key named here already is
    left out."""
    seen, named, states = {}, [], collections.Counter()
    for number, inputs in enumerate(study.scenarios(), 1):
        states[inputs.get('final-state')] += 1
        found = list(scenario_problems(inputs))
        for key, reason in found:
            seen.setdefault((key, reason), number)
        named.append({part for key, _ in found for part in key.split(' + ')})
    if refusals:
        for number, (inputs, message) in enumerate(zip(study.scenarios(), refusals(list(study.scenarios()))), 1):
            constants = [name.removeprefix(f'{PARAMETERS}.') for name in inputs if name.startswith(f'{PARAMETERS}.')]
            for key, reason in cli_problems(message, constants):
                if not set(key.split(' + ')) & named[number - 1]:
                    seen.setdefault((key, reason), number)

    for state, runs in states.items():
        if state is not None and runs > 1:
            seen.setdefault(('final-state', shared_state(runs)), 1)

    def where(key):
        for part in key.split(' + '):
            for table in ('sweep', 'base'):
                if f'{table}.{part}' in study.lines:
                    return f'line {study.lines[f"{table}.{part}"]}, {key}'
        return key

    problems = study.problems + [f'{where(key)}: {reason} (scenario {number} of {study.count()})'
                                 for (key, reason), number in seen.items()]
    if problems:
        raise StudyError(problems)
