"""Reading a study file that holds a `[fit]`, `[sensitivity]` or `[uncertainty]` table instead of a
`[sweep]`: its base case (the study's `[base]`, which may name model constants in
`[base.parameters]`), the parameters to vary or estimate, and their settings. Every problem is
collected with its key and line before anything runs.

A parameter is a run input (a numeric `digestra-cli` option without its dashes, e.g. `q-in`) or a
model constant by name (e.g. `km_ac`); a scenario carries constants under its `parameters` key.
Constants are checked against `digestra-cli --list-parameters --json`: unknown ones and
those the configuration run replaces (`fixed_in`) are refused before any run.
"""
import dataclasses
import json
import math
import pathlib
import re
import subprocess

from . import distributions, measurements, readfile, studyfile, substratevalues
from .outputs import summary_key_problem
from .series import series_unit
from .studyfile import INPUTS, is_number

METHODS = ('morris', 'sobol')
DEFAULTS = {'trajectories': 10, 'levels': 4, 'samples': 64}
MOST_LEVELS = 1000   # of a Morris grid; screening uses 4 to 10
# The keys each analysis table takes (the manual page documents every one; a test holds it to that).
KEYS = {'sensitivity': ('method', 'parameters', 'outputs', 'seed', 'trajectories', 'levels', 'samples'),
        'uncertainty': ('parameters', 'samples', 'seed', 'series', 'from_fit'),
        'fit': ('measurements', 'parameters', 'sigma', 'weights', 'holdout', 'starts', 'max_runs', 'seed', 'aggregate',
                'start'),
        'fit.parameters': ('min', 'max', 'start')}
BANDS = ('gasflow', 'normal_dry_gasflow', 'ch4_share', 'pH')   # the series an uncertainty study draws bands of


@dataclasses.dataclass
class Analysis:
    kind: str              # 'fit', 'sensitivity' or 'uncertainty'
    title: str
    base: dict             # run inputs of every scenario, as in a sweep study's [base]
    constants: dict        # [base.parameters]: constant name -> value
    names: list            # the parameters varied or estimated, in file order
    settings: dict         # the table's other settings, defaults filled in
    distributions: list = dataclasses.field(default_factory=list)   # sensitivity, uncertainty
    bounds: dict = dataclasses.field(default_factory=dict)          # fit: name -> {min, max, start?}
    measurements: dict = dataclasses.field(default_factory=dict)    # fit: series -> (days, values)
    joint: tuple = ()      # uncertainty: the constants drawn together from a fit (from_fit)
    lines: dict = dataclasses.field(default_factory=dict)
    problems: list = dataclasses.field(default_factory=list)        # of the file on its own, with lines

    @property
    def config(self):
        return self.base.get('config', 'ssad')

    def runs(self):
        """The number of runs the study asks for (a fit: at most), or None when a setting it
        depends on was refused."""
        k, s = len(self.names), self.settings
        if self.kind == 'sensitivity':
            count, per_sample = (s.get('trajectories'), k + 1) if s['method'] == 'morris' else (s.get('samples'), k + 2)
        elif self.kind == 'uncertainty':
            count, per_sample = s['samples'], 1
        else:
            count, per_sample = s.get('max_runs') or s['starts'], 1 if s.get('max_runs') else k + 1
        return None if count is None else count * per_sample

    def key(self, name):
        """The study file's key of a parameter varied or estimated."""
        return f'{self.kind}.from_fit.{name}' if name in self.joint else f'{self.kind}.parameters.{name}'

    def inputs(self, point):
        """A scenario's inputs for a point {parameter: value}: the base with the run inputs among the
        point replaced, and the constants under `parameters`."""
        inputs = dict(self.base)
        constants, lab = dict(self.constants), {}
        for name, value in point.items():
            if name in INPUTS:
                inputs[name] = studyfile.canonical(float(value))
            elif substratevalues.is_value(name):
                lab[name[len(substratevalues.PREFIX):]] = float(value)
            else:
                constants[name] = float(value)
        ordered = {name: inputs[name] for name in INPUTS if name in inputs}
        if constants:
            ordered['parameters'] = dict(sorted(constants.items()))
        if lab:
            ordered[substratevalues.SCENARIO_KEY] = dict(sorted(lab.items()))
        return ordered


def read(text, folder, data=None):
    """The analysis in `text` (a study file in `folder`; `data` its TOML document when read already)
    with every problem of the file on its own in `problems`, each at its line; raises StudyError
    when the text is not TOML."""
    data = studyfile.toml_of(text) if data is None else data
    lines = studyfile.key_lines(text)
    problems = studyfile.Problems(lines)
    kind = studyfile.kind_of(data, problems)
    base = dict(data.get('base', {})) if isinstance(data.get('base'), dict) else data.get('base')
    constants = base.pop('parameters', {}) if isinstance(base, dict) else {}
    if not isinstance(constants, dict):
        problems.add('base.parameters', 'must be a table of model constants, e.g. { km_ac = 8 }')
        constants = {}
    for name, value in constants.items():
        if name in INPUTS:
            problems.add(f'base.parameters.{name}', 'is a run input: give it in [base]')
        elif not is_number(value) or not math.isfinite(value):
            problems.add(f'base.parameters.{name}', f'must be a number, not {value!r}')
    rest = {k: v for k, v in data.items() if k not in studyfile.KINDS and k != 'base'}
    if base is not None:
        rest['base'] = base
    study = studyfile.resolve_files(studyfile.parse(text, rest), folder)
    problems.found += study.problems
    table = data[kind] if isinstance(data[kind], dict) else {}
    if not isinstance(data[kind], dict):
        problems.add(kind, 'must be a table')
    analysis = Analysis(kind, study.title, study.base,
                        {k: float(v) for k, v in constants.items() if is_number(v)}, [], {}, lines=lines)
    {'fit': _read_fit, 'sensitivity': _read_sensitivity, 'uncertainty': _read_uncertainty}[kind](
        analysis, table, problems, pathlib.Path(folder))
    if study.workbooks:
        problems.add('output.workbooks', f'a {kind} study keeps no workbooks; leave it out or set it to false')
    if 'final-state' in study.base:
        problems.add('base.final-state', studyfile.shared_state('all the'))
    two = analysis.config in ('tsad', 'tpad')
    for name in analysis.measurements:
        if two != bool(re.match(r'R[12]\.', name)):
            problems.add('fit.measurements', f'series "{name}": ' + (
                f'config {analysis.config} has two reactors; name it R1.{name} or R2.{name}' if two
                else f'config {analysis.config} has one reactor; leave out the {name[:3]} prefix'))
    for name in analysis.names:
        if name in INPUTS and INPUTS[name].kind not in ('number', 'temperature'):
            problems.add(f'{kind}.parameters.{name}', 'only numeric inputs vary')
        elif name in INPUTS and analysis.config not in INPUTS[name].configs:
            problems.add(f'{kind}.parameters.{name}', f'cannot matter: it does not apply to config {analysis.config}')
    analysis.problems = problems.found
    return analysis


def _parameters_table(table, kind, problems):
    parameters = table.get('parameters')
    if not isinstance(parameters, dict) or not parameters:
        problems.add(f'{kind}.parameters', 'must be a table naming at least one parameter')
        return {}
    return substratevalues.flatten(parameters)


def _read_sensitivity(analysis, table, problems, folder):
    problems.known('sensitivity', table, KEYS['sensitivity'])
    method = table.get('method')
    if method not in METHODS:
        problems.add('sensitivity.method', f'must be "morris" or "sobol", not {method!r}')
    for key in ('trajectories', 'levels') if method == 'sobol' else ('samples',) if method == 'morris' else ():
        if key in table:
            problems.add(f'sensitivity.{key}', f'is not a setting of method "{method}"')
    settings = {'method': method if method in METHODS else None, 'seed': problems.whole('sensitivity.seed', table.get('seed', 0), 0)}
    if method == 'morris':
        settings['trajectories'] = problems.whole('sensitivity.trajectories', table.get('trajectories', DEFAULTS['trajectories']), 2)
        levels = problems.whole('sensitivity.levels', table.get('levels', DEFAULTS['levels']), 2)
        if levels is not None and (levels % 2 or levels > MOST_LEVELS):
            problems.add('sensitivity.levels', f'must be even and at most {MOST_LEVELS}, not {levels}')
            levels = None
        settings['levels'] = levels
    elif method == 'sobol':
        settings['samples'] = problems.whole('sensitivity.samples', table.get('samples', DEFAULTS['samples']), 2)
    outputs = table.get('outputs')
    if outputs is not None and (not isinstance(outputs, list) or not outputs or not all(isinstance(o, str) for o in outputs)):
        problems.add('sensitivity.outputs', 'must be a list of summary keys, e.g. ["r1_normal_methane"]')
        outputs = None
    for name in outputs or []:
        reason = summary_key_problem(name, analysis.config)
        if reason:
            problems.add('sensitivity.outputs', reason)
    settings['outputs'] = outputs
    analysis.settings = settings
    _read_distributions(analysis, table, 'sensitivity', problems)


def _read_uncertainty(analysis, table, problems, folder):
    problems.known('uncertainty', table, KEYS['uncertainty'])
    analysis.settings = {'samples': problems.whole('uncertainty.samples', table.get('samples', DEFAULTS['samples']), 2),
                         'seed': problems.whole('uncertainty.seed', table.get('seed', 0), 0),
                         'series': _band_series(analysis.config, table.get('series', []), problems), 'from_fit': None}
    joint = _read_from_fit(table.get('from_fit'), folder, problems)
    if joint is None or 'parameters' in table:
        _read_distributions(analysis, table, 'uncertainty', problems)
    if joint is not None:
        analysis.settings['from_fit'] = str(folder / table['from_fit'])
        for name in joint.names:
            if name in analysis.names:
                problems.add(f'uncertainty.parameters.{name}', f'is also drawn from the fit ({table["from_fit"]}): '
                                                               'give it one way')
            elif name in INPUTS or substratevalues.is_value(name):
                problems.add('uncertainty.from_fit', f'{table["from_fit"]}: {name} is not a model constant; '
                                                     'only constants are drawn from a fit')
        analysis.names += list(joint.names)
        analysis.distributions.append(joint)
        analysis.joint = joint.names


def _read_from_fit(path, folder, problems):
    """The constants of `from_fit`, the fit.json of a fit, as a JointNormal; None when not given or refused."""
    if path is None:
        return None
    if not isinstance(path, str):
        problems.add('uncertainty.from_fit', 'must name the fit.json of a fit, e.g. "fit/fit.json"')
        return None
    try:
        return distributions.joint_from_fit(json.loads(readfile.read_text(folder / path, readfile.RECORD_CAP)))
    except readfile.ReadError as e:
        problems.add('uncertainty.from_fit', str(e))
    except ValueError as e:   # JSON's too
        problems.add('uncertainty.from_fit', f'{path}: {e}')
    return None


def _band_series(config, named, problems):
    """The series an uncertainty study draws bands of: BANDS, then those its `series` names, each
    reactor's in a two-reactor run unless the name says which."""
    if not isinstance(named, list) or not all(isinstance(n, str) for n in named):
        problems.add('uncertainty.series', 'must be a list of series names, e.g. ["vfa_hac", "tac"]')
        named = []
    two = config in ('tsad', 'tpad')
    bare, prefixed = [], []
    for name in (*BANDS, *named):
        if series_unit(name) is None:
            problems.add('uncertainty.series', f'"{name}" is not a series of a run (a declared output key such as '
                                               'normal_dry_gasflow or vfa_hac, or a column of its CSV)')
        elif re.match(r'R[12]\.', name) and not two:
            problems.add('uncertainty.series', f'"{name}": config {config} has one reactor; leave out the {name[:3]} prefix')
        else:
            (prefixed if re.match(r'R[12]\.', name) else bare).append(name)
    reactors = ('R1.', 'R2.') if two else ('',)
    return list(dict.fromkeys([f'{r}{name}' for r in reactors for name in bare] + prefixed))


def _read_distributions(analysis, table, kind, problems):
    found, wrong = distributions.read(_parameters_table(table, kind, problems), f'{kind}.parameters')
    for key, reason in wrong:
        problems.add(key, reason)
    analysis.names = list(found)
    analysis.distributions = list(found.values())


def _read_fit(analysis, table, problems, folder):
    problems.known('fit', table, KEYS['fit'])
    settings = {'starts': problems.whole('fit.starts', table.get('starts', 1)),
                'max_runs': problems.whole('fit.max_runs', table.get('max_runs')),
                'seed': problems.whole('fit.seed', table.get('seed', 0), 0), 'holdout': None, 'aggregate': {}}
    holdout = table.get('holdout')
    if holdout is not None:
        if not isinstance(holdout, dict) or set(holdout) != {'from'} or not is_number(holdout['from']):
            problems.add('fit.holdout', 'must be { from = DAY }: the days after DAY are scored, not fitted')
        else:
            settings['holdout'] = float(holdout['from'])
    for key in ('sigma', 'weights'):
        given = table.get(key, {})
        if not isinstance(given, dict):
            problems.add(f'fit.{key}', 'must be a table of series names and numbers')
            given = {}
        settings[key] = given
    analysis.settings = settings
    for name, entry in _parameters_table(table, 'fit', problems).items():
        key = f'fit.parameters.{name}'
        if not isinstance(entry, dict):
            problems.add(key, 'must be a table { min = ..., max = ... } with an optional start')
            continue
        problems.known(key, entry, KEYS['fit.parameters'])
        for k in ('min', 'max'):
            if k not in entry:
                problems.add(f'{key}.{k}', 'missing')
        bad = [k for k in ('min', 'max', 'start') if k in entry and not (is_number(entry[k]) and math.isfinite(entry[k]))]
        for k in bad:
            problems.add(f'{key}.{k}', f'must be a number, not {entry[k]!r}')
        if not bad and {'min', 'max'} <= set(entry):
            analysis.bounds[name] = {k: float(v) for k, v in entry.items() if k in ('min', 'max', 'start')}
        analysis.names.append(name)
    start = table.get('start')
    if start is not None:
        start = measurements.start_of(start)
        if isinstance(start, str):
            problems.add('fit.start', start)
            start = None
    aggregate = table.get('aggregate', {})
    path = table.get('measurements')
    if not isinstance(path, str):
        problems.add('fit.measurements', 'must name a CSV file of measurements, e.g. "plant.csv"')
        return
    settings['measurements'] = str(folder / path)
    try:
        analysis.measurements = measurements.read(folder / path, _last_day(analysis), start, aggregate)
    except measurements.MeasurementsError as e:
        for reason in e.reasons:
            problems.add('fit.measurements', f'{path}: {reason}')
    for key, reason in measurements.aggregate_problems(aggregate, analysis.measurements or None):
        problems.add(f'fit.{key}', reason)
    settings['aggregate'] = {name: measurements.aggregate_of(aggregate, name) for name in analysis.measurements}


def _last_day(analysis):
    """The day every run of a fit reaches: its t-end (the least of its box when fitted)."""
    if 't-end' in analysis.bounds:
        return analysis.bounds['t-end']['min']
    return float(analysis.base.get('t-end', studyfile.DECLARED['t-end']['default'][analysis.config]))


class NoListing(Exception):
    """The model constants cannot be listed by digestra-cli."""


def list_constants(cli):
    """{name: entry} of `digestra-cli --list-parameters --json`: name, default, unit, meaning, min,
    max and, where a configuration replaces the constant, fixed_in (its configurations)."""
    try:
        done = subprocess.run([cli, '--list-parameters', '--json'], capture_output=True, text=True, timeout=60)
        listing = json.loads(done.stdout) if done.returncode == 0 else None
    except (OSError, subprocess.TimeoutExpired, ValueError) as e:
        raise NoListing(f'{cli} --list-parameters --json: {e}') from None
    if isinstance(listing, dict):
        listing = listing.get('parameters')
    if not isinstance(listing, list):
        raise NoListing(f'{cli} --list-parameters --json gave no list of model constants '
                        f'(exit status {done.returncode}); it needs a digestra-cli that takes model constants')
    return {entry['name']: entry for entry in listing if isinstance(entry, dict) and 'name' in entry}


def check_constants(analysis, listing):
    """The problems of constants unknown to digestra-cli or replaced in the configuration run;
    fills in a fit's missing start from the base case or the constant's default."""
    problems = studyfile.Problems(analysis.lines)
    named = [(f'base.parameters.{n}', n) for n in analysis.constants]
    named += [(analysis.key(n), n) for n in analysis.names
              if n not in INPUTS and not substratevalues.is_value(n)]
    for key, name in named:
        entry = listing.get(name)
        if entry is None:
            problems.add(key, 'is neither a run input nor a model constant of digestra-cli' + studyfile.nearest(
                name, [*listing, *(n for n, i in INPUTS.items() if i.kind in ('number', 'temperature'))]))
        elif analysis.config in entry.get('fixed_in', ()):
            problems.add(key, f'cannot matter: config {analysis.config} replaces {name} by a law of its own')
    for name, box in analysis.bounds.items():
        if 'start' not in box and substratevalues.is_value(name):
            box['start'] = (box['min'] + box['max']) / 2   # the file's value may lie outside the box
        elif 'start' not in box:
            start = analysis.base.get(name) if name in INPUTS else analysis.constants.get(name, listing.get(name, {}).get('default'))
            if not is_number(start):
                problems.add(f'fit.parameters.{name}', 'needs a start (or a value in [base])')
            else:
                box['start'] = float(start)
    return problems.found


def check_points(analysis, points, refusals=None):
    """The problems of run inputs digestra-cli would refuse at any point, each naming the parameter
    and the first value refused; with `refusals` (see clicheck) also those digestra-cli's own checks
    find, nothing run."""
    problems = studyfile.Problems(analysis.lines)
    seen = set()
    said = refusals([analysis.inputs(point) for point in points]) if refusals else [None] * len(points)
    for point, message in zip(points, said):
        inputs = analysis.inputs(point)
        reasons = [(n, studyfile.value_problem(n, inputs[n])) for n in point if n in INPUTS]
        reasons += list(studyfile.scenario_problems({k: v for k, v in inputs.items()
                                                       if k not in ('parameters', substratevalues.SCENARIO_KEY)}))
        reasons += [(key.removeprefix('parameters.'), reason)
                    for key, reason in studyfile.cli_problems(message, list(inputs.get('parameters', {})))]
        for name, reason in reasons:
            if reason and name not in seen:
                seen.add(name)
                if name in analysis.joint:
                    reason += ' (a draw of the fit\'s estimate and covariance: too uncertain for its range)'
                problems.add(analysis.key(name) if name in point else
                             f'base.{name}' if name in INPUTS else f'base.parameters.{name}', reason)
    return problems.found
