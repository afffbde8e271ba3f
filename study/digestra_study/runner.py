"""digestra-study: runs every scenario of a study file on a Dask cluster (a local one by default),
each through a worker's `digestra-cli --batch` process, and collects the summary table and plots."""
import argparse
import json
import os
import pathlib
import shutil
import signal
import sys
import tempfile
import time
import zipfile

from . import progress, scenarios, studyfile
from .files import write_file

PROJECT = pathlib.Path(__file__).resolve().parents[2]
PACKAGE = pathlib.Path(__file__).resolve().parent
MAX_OVERLAID = 20   # gas flow curves drawn in one plot; their CSV is kept per scenario up to this many
WITH_SUMMARY = ('done', 'stopped early', 'not numbers')   # outcomes that finish a scenario
EXIT_DONE, EXIT_NOT_ALL, EXIT_BAD_STUDY, EXIT_INTERRUPTED = 0, 1, 2, 130
TOO_MANY = studyfile.MAX_SCENARIOS


def arguments(argv):
    parser = argparse.ArgumentParser(
        prog='digestra-study',
        description='Runs every scenario of a study file in parallel through digestra-cli and writes a summary '
                    'table (CSV and xlsx) and comparison plots. Exit status: 0 all scenarios done, 1 some failed, '
                    'were refused, stopped early or gave values that are not numbers, or the scheduler could not '
                    'be reached, 2 the study file was '
                    'refused (nothing run), 130 stopped with Ctrl-C (finished scenarios kept).')
    parser.add_argument('study', type=pathlib.Path, help='the study file (TOML)')
    parser.add_argument('--out', type=pathlib.Path, help='output folder (default: the study file\'s name beside it)')
    parser.add_argument('--workers', type=int, help='worker processes of the local cluster (default: one per core; '
                                                     'not with --scheduler)')
    parser.add_argument('--scheduler', help='address of a running Dask scheduler, e.g. tcp://HOST:8786')
    parser.add_argument('--cli', help='the digestra-cli to run (default: digestra-cli on PATH, else '
                                      'build/cli/digestra-cli of this project; on a cluster: on the workers\' PATH)')
    parser.add_argument('--resume', action='store_true', help='skip the scenarios already finished in the output folder')
    parser.add_argument('--dry-run', action='store_true', help='list the scenarios and stop')
    parser.add_argument('--yes', action='store_true', help=f'run studies of more than {TOO_MANY} scenarios')
    args = parser.parse_args(argv)
    if args.workers is not None and args.workers < 1:
        parser.error('--workers must be at least 1')
    if args.workers is not None and args.scheduler:
        parser.error('--workers sets the size of a local cluster; a cluster named with --scheduler has its own workers')
    return args


def find_cli(given, local):
    """The digestra-cli to use and where it was found, or None with the reason. The workers of a
    cluster look it up themselves: their PATH, or the path given, is theirs."""
    if given and not local:
        return given, 'given with --cli'
    if given:
        found = shutil.which(given)
        if found is None:
            return None, f'--cli: no program at {given}'
        return os.path.abspath(found), 'given with --cli'
    if not local:
        return 'digestra-cli', "on each worker's PATH"
    on_path = shutil.which('digestra-cli')
    if on_path:
        return on_path, 'found on PATH'
    built = PROJECT / 'build' / 'cli' / 'digestra-cli'
    if built.is_file():
        return str(built), 'from the build tree'
    return None, 'digestra-cli is neither on PATH nor built in build/cli/; name it with --cli'


def load_study(path, yes):
    """The study and its scenarios; raises StudyError."""
    try:
        text = path.read_text(encoding='utf-8')
    except (OSError, UnicodeDecodeError) as e:
        raise studyfile.StudyError([f'cannot read the study file: {e}']) from None
    study = studyfile.parse(text)
    if study.count() > TOO_MANY and not yes:
        raise studyfile.StudyError([f'sweep: {study.count()} scenarios; more than {TOO_MANY} need --yes'])
    studyfile.check_scenarios(study)
    return study, scenarios.scenarios_of(study)


class ScenarioFiles:
    """Where a scenario's files live in the output folder, and whether it finished earlier."""

    def __init__(self, out, study, total):
        self.folder = out / 'scenarios'
        self.workbooks = study.workbooks
        self.flows = total <= MAX_OVERLAID

    def summary(self, scenario):
        return self.folder / scenario.id / 'summary.json'

    def flows_path(self, scenario):
        return self.folder / scenario.id / 'gas-flow.csv'

    def required(self, scenario):
        wanted = [self.summary(scenario)]
        if self.workbooks:
            wanted.append(self.folder / scenario.id / 'results.xlsx')
        if self.flows:
            wanted.append(self.flows_path(scenario))
        return wanted

    def finished(self, scenario):
        """The recorded outcome of a scenario finished before, or None."""
        if not all(path.is_file() for path in self.required(scenario)):
            return None
        try:
            record = json.loads(self.summary(scenario).read_text(encoding='utf-8'))
        except (OSError, ValueError):
            return None
        if record.get('inputs') != scenario.inputs or record.get('status') not in WITH_SUMMARY:
            return None
        return record

    def keep(self, scenario, outcome):
        """Writes a finished scenario's files, the summary last: it marks the scenario complete."""
        for name, data in outcome.pop('files').items():
            write_file(self.folder / scenario.id / name, data)
        if outcome['status'] in WITH_SUMMARY:
            record = {'id': scenario.id, 'inputs': scenario.inputs, **outcome}
            write_file(self.summary(scenario), json.dumps(record, indent=1) + '\n')


def package_zip(folder):
    """This package as a zip for the workers of a cluster, which may not have it installed."""
    path = pathlib.Path(folder) / 'digestra_study.zip'
    with zipfile.ZipFile(path, 'w') as archive:
        for source in PACKAGE.glob('*.py'):
            archive.write(source, f'digestra_study/{source.name}')
    return str(path)


class NoCluster(Exception):
    """The scheduler named with --scheduler cannot be reached."""


def start_client(args):
    """A Dask client, and the local cluster it started, if any."""
    import dask
    from distributed import Client, LocalCluster
    if args.scheduler:
        try:
            client, cluster = Client(args.scheduler, timeout='20s'), None
        except OSError as e:
            raise NoCluster(str(e)) from None
        with tempfile.TemporaryDirectory() as folder:
            client.upload_file(package_zip(folder))
    else:
        # A Ctrl-C at the terminal goes to the whole process group. The worker processes inherit
        # an ignored one and keep working until the runner, which does get it, stops them cleanly.
        previous = signal.signal(signal.SIGINT, signal.SIG_IGN)
        try:
            # A scenario whose worker dies twice is recorded as failed rather than tried again.
            dask.config.set({'distributed.scheduler.allowed-failures': 1})
            cluster = LocalCluster(n_workers=args.workers or os.cpu_count() or 1, threads_per_worker=1,
                                   processes=True, dashboard_address=None, host='127.0.0.1')
        finally:
            signal.signal(signal.SIGINT, previous)
        client = Client(cluster)
    return client, cluster


class Laps:
    """The seconds each phase of a study took, for its closing line: the fixed costs (cluster,
    tables and plots) apart from the scenarios."""

    def __init__(self):
        self.seconds = {}
        self._last = time.monotonic()

    def lap(self, phase):
        now = time.monotonic()
        self.seconds[phase] = now - self._last
        self._last = now

    def __str__(self):
        parts = ', '.join(f'{phase} {seconds:.1f} s' for phase, seconds in self.seconds.items())
        return f'{sum(self.seconds.values()):.1f} s ({parts})'


def run_pending(args, cli, pending, files, outcomes, laps):
    """Runs the pending scenarios, keeping each as it finishes. Returns False after Ctrl-C."""
    from distributed import as_completed
    from . import batchclient
    client = cluster = None
    by_future = {}
    plugin = batchclient.BatchPlugin(cli)
    bar = progress.Progress(len(pending), sys.stderr)
    try:
        client, cluster = start_client(args)
        client.register_worker_plugin(plugin, name=plugin.name)
        laps.lap('cluster start')
        by_future = {client.submit(batchclient.run_scenario, plugin.name, s.id, s.inputs, files.workbooks, files.flows,
                                   retries=1, pure=False): s for s in pending}
        for future in as_completed(by_future):
            scenario = by_future[future]
            try:
                outcome = future.result()
            except Exception as e:   # the task failed twice (a worker lost twice, a broken program)
                outcome = {'status': 'failed', 'message': f'{type(e).__name__}: {e}', 'summary': None, 'files': {}}
            files.keep(scenario, outcome)
            outcomes[scenario.id] = outcome
            bar.update(scenario, outcome)
        laps.lap('scenarios')
        return True
    except KeyboardInterrupt:
        signal.signal(signal.SIGINT, signal.SIG_IGN)   # the clean stop below is short; let it finish
        bar.stopped()
        if client is not None:
            client.cancel(list(by_future))
        return False
    finally:
        bar.finish()
        if client is not None:
            try:   # ends the batch processes, and with them the scenarios still running
                client.unregister_worker_plugin(plugin.name)
            except Exception:   # a worker gone or the plugin never registered: the study ends anyway
                pass
            client.close()
        if cluster is not None:
            cluster.close()
        laps.lap('cluster stop')


def write_results(out, study, all_scenarios, outcomes, files):
    from . import plots, tables
    header, rows = tables.table(all_scenarios, outcomes)
    tables.write_csv(out / 'summary.csv', header, rows)
    tables.write_xlsx(out / 'summary.xlsx', header, rows)
    flows_paths = {s.id: files.flows_path(s) for s in all_scenarios
                   if s.id in outcomes and files.flows_path(s).is_file()}
    plots.write_plots(out / 'plots', study.title, study.sweep, all_scenarios, outcomes, flows_paths)


def main(argv=None):
    args = arguments(argv)
    from . import analyses
    if analyses.wanted(args.study):   # a [fit], [sensitivity] or [uncertainty] table instead of [sweep]
        from . import analysis_runner
        return analysis_runner.main(args)
    try:
        study, all_scenarios = load_study(args.study, args.yes)
    except studyfile.StudyError as e:
        for problem in e.problems:
            print(f'{args.study}: {problem}', file=sys.stderr)
        return EXIT_BAD_STUDY
    if args.dry_run:
        for scenario in all_scenarios:
            print(scenarios.describe(scenario))
        print(f'{len(all_scenarios)} scenarios')
        return EXIT_DONE

    cli, where = find_cli(args.cli, local=not args.scheduler)
    if cli is None:
        print(f'digestra-study: {where}', file=sys.stderr)
        return EXIT_BAD_STUDY
    print(f'digestra-study: using {cli} ({where})', file=sys.stderr)

    out = args.out or args.study.with_suffix('')
    files = ScenarioFiles(out, study, len(all_scenarios))
    try:
        write_file(out / 'study.toml', scenarios.study_toml(study, all_scenarios))
    except OSError as e:
        print(f'digestra-study: cannot write into {out}: {e}', file=sys.stderr)
        return EXIT_BAD_STUDY
    outcomes = {}
    if args.resume:
        for scenario in all_scenarios:
            record = files.finished(scenario)
            if record is not None:
                outcomes[scenario.id] = record
        print(f'digestra-study: {len(outcomes)} of {len(all_scenarios)} scenarios finished before', file=sys.stderr)
    pending = [s for s in all_scenarios if s.id not in outcomes]

    laps = Laps()
    try:
        completed = run_pending(args, cli, pending, files, outcomes, laps) if pending else True
    except NoCluster as e:
        print(f'digestra-study: {e}; nothing run', file=sys.stderr)
        return EXIT_NOT_ALL
    write_results(out, study, all_scenarios, outcomes, files)
    laps.lap('tables and plots')
    not_done = sum(1 for o in outcomes.values() if o['status'] != 'done')
    print(f'digestra-study: {len(outcomes)} of {len(all_scenarios)} scenarios finished, {not_done} not done, '
          f'in {laps}; results in {out}', file=sys.stderr)
    if not completed:
        return EXIT_INTERRUPTED
    return EXIT_DONE if not_done == 0 else EXIT_NOT_ALL
