"""Runs a fit, sensitivity or uncertainty study: checks it whole, then sends its runs to the study's
cluster through the runner core's `Runs` (the same workers and `digestra-cli --batch` processes as a
sweep; each run kept in `runs/<id>.json`, so `--resume` reuses every finished run and a point is
never run twice) and writes the results with `report`."""
import sys
import time

import numpy as np

from . import analyses, clicheck, core, distributions, fitting, progress, report, sensitivity, series, uncertainty
from .files import write_file
from . import studyfile
from .studyfile import StudyError


def summary_values(record):
    return {v['key']: v['value'] for v in ((record.get('summary') or {}).get('values') or [])}


def summary_units(records):
    return {v['key']: v['unit'] for r in records for v in ((r.get('summary') or {}).get('values') or [])}


def design(analysis):
    """The study's points in the unit cube."""
    k, s = len(analysis.names), analysis.settings
    if analysis.kind == 'uncertainty':
        return uncertainty.design(k, s['samples'], s['seed'])
    if s['method'] == 'sobol':
        return sensitivity.sobol_design(k, s['samples'], s['seed'])
    return sensitivity.morris_design(k, s['trajectories'], s['levels'], s['seed'])


def band_series(config):
    reactors = ('R1.', 'R2.') if config in ('tsad', 'tpad') else ('',)
    return [f'{r}{name}' for r in reactors for name in analyses.BANDS]


def size_problem(analysis, yes):
    """Why the study has too many runs, counted before any point is drawn, or None."""
    runs = analysis.runs()
    if runs is not None and runs > core.MOST:
        return f'{analysis.kind}: {runs} runs; a study runs at most {core.MOST}'
    if runs is not None and runs > core.TOO_MANY and not yes:
        return f'{analysis.kind}: {runs} runs; more than {core.TOO_MANY} need --yes'
    return None


def prepare(analysis, cli, yes=False):
    """Checks the study whole, with what needs digestra-cli and the design, raising StudyError with
    every problem; the design's points in the unit cube and as parameter values (a fit: None)."""
    problems = list(analysis.problems)
    too_many = size_problem(analysis, yes)
    problems += [too_many] if too_many else []
    if analysis.constants or any(n not in analyses.INPUTS for n in analysis.names):
        problems += analyses.check_constants(analysis, analyses.list_constants(cli))
    prepared = None
    if analysis.kind == 'fit':   # its start point as digestra-cli checks it
        problems += analyses.check_points(analysis, [{n: b['start'] for n, b in analysis.bounds.items() if 'start' in b}],
                                          lambda inputs: clicheck.refusals(cli, inputs))
    if analysis.kind == 'fit' and analysis.measurements:   # else the file's problems say why
        s = analysis.settings
        for key, reason in fitting.check(fit_parameters(analysis), analysis.measurements, s['sigma'], s['weights'],
                                         s['holdout'], s['max_runs']):
            key = f'fit.parameters.{key}' if key.split('.')[0] in analysis.bounds else f'fit.{key}'
            problems.append(f'{studyfile.where(key, analysis.lines)}: {reason}')
    elif analysis.kind != 'fit' and not too_many and all(v is not None for k, v in analysis.settings.items() if k != 'outputs'):
        unit = design(analysis)
        points = [dict(zip(analysis.names, row)) for row in distributions.values(analysis.distributions, unit)]
        problems += analyses.check_points(analysis, points, lambda inputs: clicheck.refusals(cli, inputs))
        prepared = unit, points
    if problems:
        raise StudyError(problems)
    return prepared


def fit_parameters(analysis):
    return [fitting.Parameter(n, b['min'], b['max'], b.get('start', b['min'])) for n, b in analysis.bounds.items()]


def main(args):
    """digestra-study for a study file with [fit], [sensitivity] or [uncertainty]; the exit status."""
    try:
        text = studyfile.read_study(args.study)
        analysis = analyses.read(text, args.study.parent)
    except StudyError as e:
        return core.refused(args.study, e.problems)
    cli, where = core.find_cli(args.cli, local=not args.scheduler)
    if cli is None:
        print(f'digestra-study: {where}', file=sys.stderr)
        return core.EXIT_BAD_STUDY
    try:
        prepared = prepare(analysis, cli, args.yes)
    except (analyses.NoListing, clicheck.CheckError) as e:
        print(f'digestra-study: {e}', file=sys.stderr)
        return core.EXIT_BAD_STUDY
    except StudyError as e:
        return core.refused(args.study, e.problems)
    if args.dry_run:
        limit = ' at most' if analysis.kind == 'fit' else ''
        print(f'{analysis.kind}: {len(analysis.names)} parameters ({", ".join(analysis.names)}),{limit} '
              f'{analysis.runs()} runs' + (' (set max_runs to bound it)' if analysis.kind == 'fit' and not analysis.settings['max_runs'] else ''))
        return core.EXIT_DONE
    print(f'digestra-study: using {cli} ({where})', file=sys.stderr)
    out = args.out or args.study.with_suffix('')
    series = list(analysis.measurements) if analysis.kind == 'fit' else \
        band_series(analysis.config) if analysis.kind == 'uncertainty' else []
    folder, runs = core.open_study(args, cli, text, out, series)
    if folder is None:   # refused: `runs` is the exit status
        return runs
    flow = {'fit': run_fit, 'sensitivity': run_sensitivity, 'uncertainty': run_uncertainty}[analysis.kind]
    began = time.monotonic()
    try:
        with runs:
            status = flow(analysis, prepared, runs, out, began)
    except KeyboardInterrupt:
        print('Stopped: finished runs are kept; --resume continues.', file=sys.stderr)
        return core.EXIT_INTERRUPTED
    finally:
        folder.release()
    print(f'digestra-study: results in {out}', file=sys.stderr)
    return status


def _about(analysis, runs, began, records):
    not_done = sum(r['status'] != 'done' for r in records)
    return {'runs': len(records), 'runs not done': not_done, 'reused from before': runs.resumed,
            'wall time [s]': round(time.monotonic() - began, 1),
            **{k: v for k, v in analysis.settings.items() if v is not None and k != 'outputs'}}, not_done


def _run_all(runs, analysis, points):
    inputs = [analysis.inputs(p) for p in points]
    todo = len({runs.scenario(i).id for i in inputs} - set(runs.records))
    bar = progress.Progress(todo, sys.stderr)
    try:
        return runs.run(inputs, bar.update)
    except KeyboardInterrupt:
        bar.stopped()
        raise
    finally:
        bar.finish()


def run_sensitivity(analysis, prepared, runs, out, began):
    unit, points = prepared
    records = _run_all(runs, analysis, points)
    units = summary_units(records)
    outputs = analysis.settings['outputs'] or list(units)
    missing = [o for o in outputs if o not in units and any(r['summary'] for r in records)]
    for name in missing:
        print(f'digestra-study: sensitivity.outputs: no run gives "{name}"', file=sys.stderr)
    y = np.array([[summary_values(r).get(o, np.nan) if r['status'] == 'done' else np.nan for o in outputs]
                  for r in records], dtype=float)
    k = len(analysis.names)
    if analysis.settings['method'] == 'sobol':
        found = sensitivity.sobol_indices(y, k, seed=analysis.settings['seed'])
    else:
        found = sensitivity.morris_indices(unit, y, k)
    about, not_done = _about(analysis, runs, began, records)
    report.write_sensitivity(out, analysis.title, analysis.settings['method'], analysis.names, outputs, found,
                             units, about)
    return core.EXIT_DONE if not not_done and not missing else core.EXIT_NOT_ALL


def run_uncertainty(analysis, prepared, runs, out, began):
    _, points = prepared
    records = _run_all(runs, analysis, points)
    done = [r for r in records if r['status'] == 'done']
    units = summary_units(records)
    values = {key: [summary_values(r).get(key) if r['status'] == 'done' else None for r in records] for key in units}
    bands = {name: uncertainty.bands([r['series'][name] for r in done if name in r['series']])
             for name in runs.series}
    units.update({name: series.series_unit(name) for name in runs.series})
    about, not_done = _about(analysis, runs, began, records)
    report.write_uncertainty(out, analysis.title, bands, values, units, about)
    return core.EXIT_DONE if not not_done else core.EXIT_NOT_ALL


class FitProgress:
    """Runs done and the best cost so far: redrawn in place on a terminal, else a line per change."""

    def __init__(self, stream, form='fit: {runs} runs, best cost {cost:.6g}'):
        self.stream, self.terminal, self.last, self.form = stream, stream.isatty(), None, form

    def __call__(self, runs, cost):
        if (runs, cost) == self.last:
            return
        self.last = (runs, cost)
        line = self.form.format(runs=runs, cost=cost)
        self.stream.write(f'\r{line}\x1b[K' if self.terminal else line + '\n')
        self.stream.flush()

    def finish(self):
        if self.terminal:
            self.stream.write('\n')


def run_fit(analysis, prepared, runs, out, began):
    parameters = fit_parameters(analysis)
    s = analysis.settings

    def evaluate(points):
        records = runs.run([analysis.inputs(p) for p in points])
        return [{name: tuple(ts) for name, ts in r['series'].items()} if r['status'] == 'done' else None
                for r in records]

    bar = FitProgress(sys.stderr)
    try:
        found = fitting.fit(evaluate, parameters, analysis.measurements, sigma=s['sigma'], weights=s['weights'],
                            holdout=s['holdout'], starts=s['starts'], max_runs=s['max_runs'], seed=s['seed'],
                            progress=bar)
    except RuntimeError as e:   # stopped before the first point and its Jacobian were run
        print(f'digestra-study: {e}; nothing written', file=sys.stderr)
        return core.EXIT_INTERRUPTED
    finally:
        bar.finish()
    units = {name: series.series_unit(name) for name in analysis.measurements}
    about = {'runs': found['runs'], 'reused from before': runs.resumed, 'wall time [s]': round(time.monotonic() - began, 1),
             'series measured': len(analysis.measurements)}
    report.write_fit(out, analysis.title, found, units, about)
    write_file(out / 'fitted.toml', fitted_toml(analysis, found))
    if found['stopped'] == 'max_runs':
        print(f'digestra-study: fit stopped at max_runs = {s["max_runs"]}; the estimates are the best point so far',
              file=sys.stderr)
    if found['stopped'] == 'interrupted':
        print('Stopped: the best point so far is written; --resume continues.', file=sys.stderr)
        return core.EXIT_INTERRUPTED
    failed = [r for r in runs.records.values() if r['status'] != 'done']
    if failed:   # their points counted as misses: the estimates may be wrong
        print(f'digestra-study: {len(failed)} of {len(runs.records)} runs not done ({failed[0]["message"]})',
              file=sys.stderr)
        return core.EXIT_NOT_ALL
    return core.EXIT_DONE


def fitted_toml(analysis, found):
    """The base inputs with the estimates filled in, as an inputs file."""
    import tomli_w
    estimates = {row['parameter']: row['estimate'] for row in found['parameters']}
    inputs = analysis.inputs(estimates)
    return tomli_w.dumps(inputs)
