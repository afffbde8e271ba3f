"""Runs a fit, sensitivity or uncertainty study: checks it whole, then sends its runs to the study's
cluster (the same workers and `digestra-cli --batch` processes as a sweep) and writes the results
with `report`. Each run is a scenario whose id is the hash of its inputs; its summary and the time
series the study needs are kept in `runs/<id>.json`, so `--resume` reuses every finished run and a
point is never run twice."""
import json
import signal
import sys
import threading
import time

import numpy as np

from . import analyses, batchclient, distributions, fitting, progress, report, runner, scenarios, sensitivity, series, uncertainty
from .files import FileError, write_file
from .folder import FolderRefused, StudyFolder
from . import studyfile, substratevalues
from .studyfile import StudyError


class Runs:
    """Scenarios run on the cluster, each once, from any thread; their records kept on disk."""

    def __init__(self, args, cli, out, series, resume):
        self.args, self.cli, self.folder, self.series = args, cli, out / 'runs', list(series)
        self.records, self.lock = {}, threading.Lock()
        self.client = self.cluster = self.plugin = None
        self.resumed = 0
        if resume and self.folder.is_dir():
            for path in self.folder.glob('*.json'):
                try:
                    record = json.loads(path.read_text(encoding='utf-8'))
                except (OSError, ValueError):
                    continue
                if record.get('status') in runner.WITH_SUMMARY and path.stem == record.get('id'):
                    self.records[record['id']] = record
            self.resumed = len(self.records)

    def __enter__(self):
        if self.args.scheduler:
            self.client = runner.connect(self.args.scheduler)
        else:
            self.cluster, self.client = runner.start_local(self.args.workers, self.args.dashboard)
        # The plugin and the tasks travel by value, as a sweep's do, with the series they read.
        import cloudpickle
        cloudpickle.register_pickle_by_value(batchclient)
        cloudpickle.register_pickle_by_value(series)
        self.plugin = batchclient.BatchPlugin(self.cli)
        self.client.register_worker_plugin(self.plugin, name=self.plugin.name)
        return self

    def __exit__(self, *exc):
        runner.ignore_stop_signals()   # the clean stop is short; let it finish
        if self.client is not None:
            try:   # ends the batch processes, and with them the runs still going
                self.client.unregister_worker_plugin(self.plugin.name)
            except Exception:   # a worker gone: the study ends anyway
                pass
            self.client.close()
        if self.cluster is not None:
            self.cluster.close()

    def scenario(self, inputs):
        return scenarios.Scenario(scenarios.scenario_id(inputs, []), inputs)

    def run(self, inputs_list, done=None):
        """The record of each inputs, running those without one; `done(scenario, record)` after each
        run that finishes here."""
        from distributed import as_completed
        wanted = [self.scenario(inputs) for inputs in inputs_list]
        with self.lock:
            pending = list({s.id: s for s in wanted if s.id not in self.records}.values())
        futures = {self.client.submit(batchclient.run_series, self.plugin.name, s.id, s.inputs, self.series,
                                      retries=1, pure=False): s for s in pending}
        try:
            for future in as_completed(futures):
                scenario = futures[future]
                try:
                    outcome = future.result()
                except Exception as e:   # the task failed twice (a worker lost twice)
                    outcome = {'status': 'failed', 'message': f'{type(e).__name__}: {e}', 'summary': None, 'series': {}}
                record = {'id': scenario.id, 'inputs': scenario.inputs, **outcome}
                if record['status'] in runner.WITH_SUMMARY:
                    write_file(self.folder / f'{scenario.id}.json', json.dumps(record) + '\n')
                with self.lock:
                    self.records[scenario.id] = record
                if done:
                    done(scenario, record)
        except KeyboardInterrupt:
            runner.ignore_stop_signals()   # the clean stop is short; let it finish
            self.client.cancel(list(futures))
            raise
        with self.lock:
            return [self.records[s.id] for s in wanted]


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


def prepare(analysis, cli):
    """Checks what needs digestra-cli and the design, raising StudyError with every problem; the
    design's points in the unit cube and as parameter values (a fit: None)."""
    problems = []
    if analysis.constants or any(n not in analyses.INPUTS for n in analysis.names):
        problems += analyses.check_constants(analysis, analyses.list_constants(cli))
    prepared = None
    if analysis.kind == 'fit':
        s = analysis.settings
        for key, reason in fitting.check(fit_parameters(analysis), analysis.measurements, s['sigma'], s['weights'],
                                         s['holdout'], s['max_runs']):
            key = f'fit.parameters.{key}' if key.split('.')[0] in analysis.bounds else f'fit.{key}'
            problems.append(f'{studyfile.where(key, analysis.lines)}: {reason}')
    else:
        unit = design(analysis)
        points = [dict(zip(analysis.names, row)) for row in distributions.values(analysis.distributions, unit)]
        problems += analyses.check_points(analysis, points)
        prepared = unit, points
    problems += check_substrate_values(analysis, cli, prepared)
    if problems:
        raise StudyError(problems)
    return prepared


def check_substrate_values(analysis, cli, prepared):
    """The problems of the substrate lab values varied, tried at their extremes (a fit: its box and
    start; else the design's smallest and largest value)."""
    names = [n for n in analysis.names if substratevalues.is_value(n)]
    if not names:
        return []
    if prepared is None:
        tried = {n: [analysis.bounds[n][k] for k in ('min', 'max', 'start') if k in analysis.bounds.get(n, {})]
                 for n in names}
    else:
        tried = {n: sorted({min(p[n] for p in prepared[1]), max(p[n] for p in prepared[1])}) for n in names}
    refused = substratevalues.check(cli, analysis.base.get('substrates'), tried)
    return [f'{studyfile.where(f"{analysis.kind}.parameters.{n}", analysis.lines)}: {reason}' for n, reason in refused.items()]


def fit_parameters(analysis):
    return [fitting.Parameter(n, b['min'], b['max'], b.get('start', b['min'])) for n, b in analysis.bounds.items()]


def main(args):
    """digestra-study for a study file with [fit], [sensitivity] or [uncertainty]; the exit status."""
    def refused(problems):
        for problem in problems:
            print(f'{args.study}: {problem}', file=sys.stderr)
        return runner.EXIT_BAD_STUDY

    try:
        analysis = analyses.read(args.study.read_text(encoding='utf-8'), args.study.parent)
    except (OSError, UnicodeDecodeError) as e:
        return refused([f'cannot read the study file: {e}'])
    except StudyError as e:
        return refused(e.problems)
    if analysis.runs() > runner.TOO_MANY and not args.yes:
        return refused([f'{analysis.kind}: {analysis.runs()} runs; more than {runner.TOO_MANY} need --yes'])
    cli, where = runner.find_cli(args.cli, local=not args.scheduler)
    if cli is None:
        print(f'digestra-study: {where}', file=sys.stderr)
        return runner.EXIT_BAD_STUDY
    try:
        prepared = prepare(analysis, cli)
    except analyses.NoListing as e:
        print(f'digestra-study: {e}', file=sys.stderr)
        return runner.EXIT_BAD_STUDY
    except StudyError as e:
        return refused(e.problems)
    if args.dry_run:
        limit = ' at most' if analysis.kind == 'fit' else ''
        print(f'{analysis.kind}: {len(analysis.names)} parameters ({", ".join(analysis.names)}),{limit} '
              f'{analysis.runs()} runs' + (' (set max_runs to bound it)' if analysis.kind == 'fit' and not analysis.settings['max_runs'] else ''))
        return runner.EXIT_DONE
    print(f'digestra-study: using {cli} ({where})', file=sys.stderr)
    out = args.out or args.study.with_suffix('')
    series = list(analysis.measurements) if analysis.kind == 'fit' else \
        band_series(analysis.config) if analysis.kind == 'uncertainty' else []
    for signum in (signal.SIGTERM, signal.SIGHUP):   # each as Ctrl-C: stop, keep what finished
        signal.signal(signum, runner.interrupt)
    folder = StudyFolder(out)
    try:
        folder.claim(args.study.read_text(encoding='utf-8'), args.replace)
    except (FolderRefused, FileError, OSError) as e:
        print(f'digestra-study: {e}', file=sys.stderr)
        return runner.EXIT_BAD_STUDY
    runs = Runs(args, cli, out, series, args.resume)
    if args.resume:
        print(f'digestra-study: {runs.resumed} runs finished before', file=sys.stderr)
    flow = {'fit': run_fit, 'sensitivity': run_sensitivity, 'uncertainty': run_uncertainty}[analysis.kind]
    began = time.monotonic()
    try:
        with runs:
            status = flow(analysis, prepared, runs, out, began)
    except runner.NoCluster as e:
        print(f'digestra-study: {e}; nothing run', file=sys.stderr)
        return runner.EXIT_NOT_ALL
    except KeyboardInterrupt:
        print('Stopped: finished runs are kept; --resume continues.', file=sys.stderr)
        return runner.EXIT_INTERRUPTED
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
    return runner.EXIT_DONE if not not_done and not missing else runner.EXIT_NOT_ALL


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
    return runner.EXIT_DONE if not not_done else runner.EXIT_NOT_ALL


class FitProgress:
    """Runs done and the best cost so far: redrawn in place on a terminal, else a line per change."""

    def __init__(self, stream):
        self.stream, self.terminal, self.last = stream, stream.isatty(), None

    def __call__(self, runs, cost):
        if (runs, cost) == self.last:
            return
        self.last = (runs, cost)
        line = f'fit: {runs} runs, best cost {cost:.6g}'
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
        return runner.EXIT_INTERRUPTED
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
        return runner.EXIT_INTERRUPTED
    failed = [r for r in runs.records.values() if r['status'] != 'done']
    if failed:   # their points counted as misses: the estimates may be wrong
        print(f'digestra-study: {len(failed)} of {len(runs.records)} runs not done ({failed[0]["message"]})',
              file=sys.stderr)
        return runner.EXIT_NOT_ALL
    return runner.EXIT_DONE


def fitted_toml(analysis, found):
    """The base inputs with the estimates filled in, as an inputs file."""
    import tomli_w
    estimates = {row['parameter']: row['estimate'] for row in found['parameters']}
    inputs = analysis.inputs(estimates)
    return tomli_w.dumps(inputs)
