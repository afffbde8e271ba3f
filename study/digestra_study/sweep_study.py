"""A sweep study: every scenario of a study file's [sweep] run on the cluster, each scenario's files
kept in the output folder, then the summary table and the comparison plots."""
import functools
import importlib.util
import json
import sys

from . import clicheck, core, progress, readfile, scenarios, studyfile
from .core import EXIT_BAD_STUDY, EXIT_DONE, EXIT_INTERRUPTED, EXIT_NOT_ALL, MOST, TOO_MANY, WITH_SUMMARY
from .files import FileError, write_file
from .folder import FolderRefused, StudyFolder

MAX_OVERLAID = 20   # gas flow curves drawn in one plot; their CSV is kept per scenario up to this many


def load_study(text, data, folder, yes, cli=None):
    """The study of the file `text` (its TOML document `data`) in `folder`, counted before any
    scenario is expanded, then checked whole (with `cli`: digestra-cli's own checks too, nothing
    run); raises StudyError."""
    study = studyfile.resolve_files(studyfile.parse(text, data), folder)
    count = study.count()
    if count > MOST:
        raise studyfile.StudyError(study.problems + [f'sweep: {count} scenarios; a study runs at most {MOST}'])
    if count > TOO_MANY and not yes:
        raise studyfile.StudyError(study.problems + [f'sweep: {count} scenarios; more than {TOO_MANY} need --yes'])
    if cli and count > TOO_MANY:
        print(f'digestra-study: digestra-cli checks the {count} scenarios', file=sys.stderr)
    try:
        studyfile.check_scenarios(study, cli and functools.partial(clicheck.refusals, cli))
    except clicheck.CheckError as e:
        raise studyfile.StudyError([str(e)]) from None
    return study


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
            record = json.loads(readfile.read_bytes(self.summary(scenario), readfile.RECORD_CAP))
        except (readfile.ReadError, ValueError):
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



def write_results(out, study, all_scenarios, outcomes, files):
    """The summary table and plots of the finished scenarios; returns the problems of the files
    that could not be written, each naming its file."""
    from . import plots, tables
    header, rows = tables.table(all_scenarios, outcomes)
    flows_paths = {s.id: files.flows_path(s) for s in all_scenarios
                   if s.id in outcomes and files.flows_path(s).is_file()}
    problems = []
    for write in (lambda: tables.write_csv(out / 'summary.csv', header, rows),
                  lambda: tables.write_xlsx(out / 'summary.xlsx', header, rows),
                  lambda: plots.write_plots(out / 'plots', study.title, study.sweep, all_scenarios, outcomes,
                                            flows_paths)):
        try:
            write()
        except FileError as e:
            problems.append(str(e))
    return problems


class StudyRun:
    """One run of a study into its output folder: the cluster, the scenarios, then the tables."""

    def __init__(self, args, cli, study, all_scenarios, out):
        self.args, self.cli, self.study, self.all, self.out = args, cli, study, all_scenarios, out
        self.files = ScenarioFiles(out, study, len(all_scenarios))
        self.folder = StudyFolder(out)
        self.outcomes = {}
        self.laps = core.Laps()
        self.client = self.cluster = self.bar = None

    def run(self):
        """The study's exit status."""
        try:
            try:
                if self.args.scheduler:
                    self.client = core.connect(self.args.scheduler)
                self.folder.claim(scenarios.study_toml(self.study, self.all), self.args.replace)
            except KeyboardInterrupt:
                return EXIT_INTERRUPTED
            except core.NoCluster as e:
                print(f'digestra-study: {e}; nothing run', file=sys.stderr)
                return EXIT_NOT_ALL
            except (FolderRefused, FileError) as e:
                print(f'digestra-study: {e}', file=sys.stderr)
                return EXIT_BAD_STUDY
            stop = self.run_scenarios()
            core.ignore_stop_signals()   # what finished goes into the tables, whatever comes now
            self.close()
            problems = write_results(self.out, self.study, self.all, self.outcomes, self.files)
            self.laps.lap('tables and plots')
        finally:
            self.close()
            self.folder.release()
        not_done = sum(1 for o in self.outcomes.values() if o['status'] != 'done')
        try:   # the terminal may be gone (a hangup); the exit status still tells
            for problem in problems:
                print(f'digestra-study: {problem}', file=sys.stderr)
            print(f'digestra-study: {len(self.outcomes)} of {len(self.all)} scenarios finished, {not_done} not '
                  f'done, in {self.laps}; results in {self.out}', file=sys.stderr)
        except OSError:
            pass
        if stop is KeyboardInterrupt:
            return EXIT_INTERRUPTED
        return EXIT_DONE if not (stop or problems or not_done) else EXIT_NOT_ALL

    def run_scenarios(self):
        """Runs what is left to run; returns None when all ran, KeyboardInterrupt when stopped by
        a signal, else why the study stopped early."""
        bar = plugin = None
        try:
            pending = self.pending()
            if not pending:
                return None
            from . import batchclient
            if self.client is None:
                self.cluster, self.client = core.start_local(self.args.workers, self.args.dashboard)
            self.bar = bar = progress.Progress(len(pending), sys.stderr)
            progress.log_through(bar)   # Dask's messages on lines of their own, errors only
            if self.args.dashboard:
                bar.note(f'digestra-study: dashboard at {self.client.dashboard_link}' +
                         ('' if importlib.util.find_spec('bokeh') else ' (it needs bokeh, not installed here)'))
            # The plugin and the task travel by value: a worker that starts later (one restarted
            # after it died) needs no copy of this package.
            import cloudpickle
            cloudpickle.register_pickle_by_value(batchclient)
            plugin = batchclient.BatchPlugin(self.cli)
            self.client.register_worker_plugin(plugin, name=plugin.name)
            self.laps.lap('cluster start')
            stop = core.run_jobs(self.client, pending, functools.partial(self.submit, plugin), self.keep, bar.note,
                                 self.args.worker_wait)
        except KeyboardInterrupt:
            stop = KeyboardInterrupt
        core.ignore_stop_signals()   # the clean stop below is short; let it finish
        if bar is not None:
            if stop is not None:
                bar.stopped(None if stop is KeyboardInterrupt else stop)
            bar.finish()
            self.laps.lap('scenarios')
        if plugin is not None:
            try:   # ends the batch processes, and with them the scenarios still running
                self.client.unregister_worker_plugin(plugin.name)
            except Exception:   # a worker or the cluster gone, or the plugin never registered: the study ends anyway
                pass
        return stop

    def submit(self, plugin, scenario):
        from . import batchclient
        return self.client.submit(batchclient.run_scenario, plugin.name, scenario.id, scenario.inputs,
                                  self.files.workbooks, self.files.flows, retries=1, pure=False)

    def keep(self, scenario, outcome):
        outcome.setdefault('files', {})
        self.files.keep(scenario, outcome)   # takes the files out of the outcome
        self.outcomes[scenario.id] = outcome
        self.bar.update(scenario, outcome)

    def pending(self):
        """The scenarios to run: all, or with --resume those not finished before."""
        if self.args.resume:
            for scenario in self.all:
                record = self.files.finished(scenario)
                if record is not None:
                    self.outcomes[scenario.id] = record
            print(f'digestra-study: {len(self.outcomes)} of {len(self.all)} scenarios finished before',
                  file=sys.stderr)
        return [s for s in self.all if s.id not in self.outcomes]

    def close(self):
        if self.client is None:
            return
        self.client.close()
        if self.cluster is not None:
            self.cluster.close()
        self.client = self.cluster = None
        self.laps.lap('cluster stop')


def main(args, text, data):
    """digestra-study for a study file with [sweep] (its text and TOML document); the exit status."""
    cli, where = core.find_cli(args.cli, local=not args.scheduler)
    checker = core.find_cli(args.cli, local=True)[0] if args.scheduler else cli
    if cli is None:
        print(f'digestra-study: {where}', file=sys.stderr)
        return EXIT_BAD_STUDY
    if checker is None:
        print('digestra-study: no digestra-cli here to check the scenarios before they run; the workers\' '
              'check each as it runs', file=sys.stderr)
    try:
        study = load_study(text, data, args.study.parent, args.yes, checker)
    except studyfile.StudyError as e:
        for problem in e.problems:
            print(f'{args.study}: {problem}', file=sys.stderr)
        return EXIT_BAD_STUDY
    if args.dry_run:
        count = 0
        for count, scenario in enumerate(scenarios.scenarios_of(study), 1):
            print(scenarios.describe(scenario))
        print(f'{count} scenarios')
        return EXIT_DONE
    print(f'digestra-study: using {cli} ({where})', file=sys.stderr)
    core.stop_on_signals()
    all_scenarios = list(scenarios.scenarios_of(study))
    return StudyRun(args, cli, study, all_scenarios, args.out or args.study.with_suffix('')).run()
