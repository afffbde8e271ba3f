"""The runner core every kind of study uses: its exit statuses and size limits, the digestra-cli to
run, a Dask cluster (one named with --scheduler, or a local one on 127.0.0.1) with each worker's
batch processes, runs kept on disk by their inputs' id so that none is run twice, and the stop
signals. The output folder and its lock are `folder`, files written whole `files`, the progress
line `progress`."""
import itertools
import json
import logging
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import threading
import time
import warnings

from . import progress, readfile, scenarios, studyfile
from .files import FileError, write_file
from .folder import FolderRefused, StudyFolder

PROJECT = pathlib.Path(__file__).resolve().parents[2]
WITH_SUMMARY = ('done', 'stopped early', 'not numbers')   # outcomes that finish a scenario
EXIT_DONE, EXIT_NOT_ALL, EXIT_BAD_STUDY, EXIT_INTERRUPTED = 0, 1, 2, 130
TOO_MANY, MOST = studyfile.MAX_SCENARIOS, studyfile.MOST_SCENARIOS
STOP_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)
WORKER_WAIT = 60          # seconds a study waits for a worker when the cluster has none
IN_FLIGHT_PER_THREAD = 2  # jobs handed to the cluster ahead of its free threads...
MIN_IN_FLIGHT = 8         # ...and at least this many, so that new workers find work
LOOK = 1                  # seconds between looks at the cluster's workers


def size_problem(study, yes):
    """Why a study of a kind other than a sweep has too many runs (`study.runs()`, counted before
    any point is drawn), or None."""
    runs = study.runs()
    if runs is not None and runs > MOST:
        return f'{study.kind}: {runs} runs; a study runs at most {MOST}'
    if runs is not None and runs > TOO_MANY and not yes:
        return f'{study.kind}: {runs} runs; more than {TOO_MANY} need --yes'
    return None


def refused(study, problems):
    """Prints every problem of the study file `study`; the exit status of a refused study."""
    for problem in problems:
        print(f'{study}: {problem}', file=sys.stderr)
    return EXIT_BAD_STUDY


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


def cli_version(cli):
    """The version number `cli --version` gives and None, or None and why it did not answer."""
    try:
        answer = subprocess.run([cli, '--version'], capture_output=True, text=True, timeout=30, check=True)
        return answer.stdout.split()[-1], None
    except (OSError, subprocess.SubprocessError, IndexError) as e:
        return None, e


class NoCluster(Exception):
    """The scheduler named with --scheduler cannot be reached."""


def connect(address):
    """A Dask client of the scheduler at `address`, given Dask's connect timeout to answer."""
    from distributed import Client
    try:
        return Client(address)
    except OSError as e:
        raise NoCluster(str(e)) from None


def start_local(workers, dashboard):
    """A local cluster of single-threaded worker processes that listens on 127.0.0.1 only, with its
    dashboard when asked for, and its client."""
    import dask
    from distributed import Client, LocalCluster
    # A scenario whose worker dies twice is recorded as failed rather than tried again. Without
    # a dashboard the HTTP servers that Dask starts anyway serve nothing.
    config = {'distributed.scheduler.allowed-failures': 1}
    if not dashboard:
        config.update({'distributed.scheduler.http.routes': [], 'distributed.worker.http.routes': []})
    # A Ctrl-C at the terminal goes to the whole process group, a hangup too. The worker processes
    # inherit them ignored and keep working until the runner, which does get them, stops them cleanly.
    previous = {signum: signal.signal(signum, signal.SIG_IGN) for signum in (signal.SIGINT, signal.SIGHUP)}
    try:
        with dask.config.set(config), warnings.catch_warnings():   # a taken dashboard port: another one is
            warnings.simplefilter('ignore')                        # used, and shown below
            cluster = LocalCluster(n_workers=workers or os.cpu_count() or 1, threads_per_worker=1, processes=True,
                                   host='127.0.0.1', scheduler_kwargs={'dashboard': dashboard},
                                   dashboard_address='127.0.0.1:8787' if dashboard else '127.0.0.1:0',
                                   worker_dashboard_address='127.0.0.1:0', silence_logs=logging.ERROR)
    finally:
        for signum, handler in previous.items():
            signal.signal(signum, handler)
    return cluster, Client(cluster)


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


def interrupt(signum, frame):
    raise KeyboardInterrupt


def stop_on_signals():
    """SIGTERM and SIGHUP each as Ctrl-C: the study stops and keeps what finished."""
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, interrupt)


def ignore_stop_signals():
    for signum in STOP_SIGNALS:
        signal.signal(signum, signal.SIG_IGN)


def failed(error):
    """The outcome of a job whose task failed twice (a worker lost twice, a broken program)."""
    return {'status': 'failed', 'message': f'{type(error).__name__}: {error}', 'summary': None}


def run_jobs(client, jobs, submit, keep, note, worker_wait):
    """The job loop of every study: hands the cluster the `jobs` a few more than it has threads at a
    time (`submit(job)` gives its future) and calls `keep(job, outcome)` as each finishes (a task
    that failed: the outcome `failed` gives). Returns None when all ran, else why the study stopped
    early: the cluster has had no worker for `worker_wait` seconds (`note` says it waits), the
    scheduler was lost, or `keep` could not write a file. KeyboardInterrupt (also SIGTERM and
    SIGHUP) passes through; the jobs still under way are cancelled whatever ends the loop."""
    from distributed import wait
    from distributed.client import FIRST_COMPLETED, CancelledError
    queue, running = iter(jobs), {}
    alone_since = last_look = None   # when the cluster was first seen without a worker; last looked at
    threads = 0
    try:
        while True:
            now = time.monotonic()
            if last_look is None or now - last_look >= LOOK:
                last_look = now
                workers = client.scheduler_info()['workers'] if client.status == 'running' else {}
                threads = sum(w['nthreads'] for w in workers.values())
                if workers:
                    alone_since = None
                elif alone_since is None:
                    alone_since = now
                    note(f'digestra-study: the cluster has no worker; waiting up to {worker_wait:g} s for one')
                elif now - alone_since > worker_wait:
                    return f'the cluster has had no worker for {worker_wait:g} s'
            room = max(MIN_IN_FLIGHT, IN_FLIGHT_PER_THREAD * threads) - len(running)
            for job in itertools.islice(queue, max(room, 0)):
                running[submit(job)] = job
            if not running:
                return None
            try:
                done = wait(list(running), timeout=LOOK, return_when=FIRST_COMPLETED).done
            except TimeoutError:
                continue
            except CancelledError:   # the client gave up on a scheduler that went away
                return 'the scheduler was lost'
            for future in done:
                job = running.pop(future)
                try:
                    outcome = future.result()
                except CancelledError:
                    return 'the scheduler was lost'
                except Exception as e:
                    outcome = failed(e)
                try:
                    keep(job, outcome)
                except FileError as e:
                    return str(e)
    finally:
        if running:
            try:
                client.cancel(list(running))
            except Exception:   # a cluster gone: its jobs are gone with it
                pass


class Stopped(Exception):
    """The study stopped early, not asked to: the message says why (see run_jobs)."""


class Runs:
    """Scenarios run on the cluster, each once, from any thread; their records kept on disk."""

    def __init__(self, args, cli, out, series, resume, client=None):
        """`client`: of the scheduler named with --scheduler (see connect); without one, a local
        cluster is started on entering."""
        self.args, self.cli, self.folder, self.series = args, cli, out / 'runs', list(series)
        self.records, self.lock = {}, threading.Lock()
        self.client, self.cluster, self.plugin = client, None, None
        self.resumed = 0
        if resume and self.folder.is_dir():
            for path in self.folder.glob('[!.]*.json'):   # not the hidden files a run is written through
                try:
                    record = json.loads(readfile.read_bytes(path, readfile.RECORD_CAP))
                except (readfile.ReadError, ValueError):
                    continue
                if record.get('status') in WITH_SUMMARY and path.stem == record.get('id'):
                    self.records[record['id']] = record
            self.resumed = len(self.records)

    def __enter__(self):
        if self.client is None:
            self.cluster, self.client = start_local(self.args.workers, self.args.dashboard)
        # The plugin and the tasks travel by value, as a sweep's do, with the series they read.
        import cloudpickle
        from . import batchclient, series
        cloudpickle.register_pickle_by_value(batchclient)
        cloudpickle.register_pickle_by_value(series)
        self.plugin = batchclient.BatchPlugin(self.cli)
        self.client.register_worker_plugin(self.plugin, name=self.plugin.name)
        return self

    def __exit__(self, *exc):
        ignore_stop_signals()   # the clean stop is short; let it finish
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

    def run(self, inputs_list, done=None, note=None):
        """The record of each inputs, running those without one through the job loop;
        `done(scenario, record)` after each run that finishes here, `note(text)` for the loop's
        messages. Raises Stopped when the loop stops early."""
        from . import batchclient
        wanted = [self.scenario(inputs) for inputs in inputs_list]
        with self.lock:
            pending = list({s.id: s for s in wanted if s.id not in self.records}.values())

        def submit(scenario):
            return self.client.submit(batchclient.run_series, self.plugin.name, scenario.id, scenario.inputs,
                                      self.series, retries=1, pure=False)

        def keep(scenario, outcome):
            record = {'id': scenario.id, 'inputs': scenario.inputs, 'series': {}, **outcome}
            if record['status'] in WITH_SUMMARY:
                write_file(self.folder / f'{scenario.id}.json', json.dumps(record) + '\n')
            with self.lock:
                self.records[scenario.id] = record
            if done:
                done(scenario, record)

        try:
            stop = run_jobs(self.client, pending, submit, keep, note or _note, self.args.worker_wait)
        except KeyboardInterrupt:
            ignore_stop_signals()   # the clean stop is short; let it finish
            raise
        if stop:
            raise Stopped(stop)
        with self.lock:
            return [self.records[s.id] for s in wanted]


def _note(text):
    print(text, file=sys.stderr)


def summary_values(record):
    return {v['key']: v['value'] for v in ((record.get('summary') or {}).get('values') or [])}


def summary_units(records):
    return {v['key']: v['unit'] for r in records for v in ((r.get('summary') or {}).get('values') or [])}


def summary_labels(records):
    """{summary key: its name as digestra-cli's summary gives it ("Reactor 1 final gas flow")}."""
    return {v['key']: v['label'] for r in records for v in ((r.get('summary') or {}).get('values') or [])
            if v.get('label')}


def about(runs, began, records, settings):
    """The figures of a study's runs for its report, and how many were not done."""
    not_done = sum(r['status'] != 'done' for r in records)
    return {'runs': len(records), 'runs not done': not_done, 'reused from before': runs.resumed,
            'wall time [s]': round(time.monotonic() - began, 1),
            **{k: v for k, v in settings.items() if v is not None and k not in ('outputs', 'series', 'from_fit')}}, not_done


def run_all(runs, inputs):
    """The records of the runs of `inputs`, those not run before run with a progress line."""
    todo = len({runs.scenario(i).id for i in inputs} - set(runs.records))
    bar = progress.Progress(todo, sys.stderr)
    try:
        return runs.run(inputs, bar.update, bar.note)
    except KeyboardInterrupt:
        bar.stopped()
        raise
    finally:
        bar.finish()


def open_study(args, cli, text, out, series):
    """The output folder claimed for the study file `text` and the study's `Runs`, the scheduler
    named with --scheduler reached first (one that cannot be reached leaves nothing behind); or
    None and the exit status, the reason printed."""
    stop_on_signals()
    folder = StudyFolder(out)
    try:
        client = connect(args.scheduler) if args.scheduler else None
        folder.claim(text, args.replace)
    except NoCluster as e:
        print(f'digestra-study: {e}; nothing run', file=sys.stderr)
        return None, EXIT_NOT_ALL
    except (FolderRefused, FileError) as e:
        print(f'digestra-study: {e}', file=sys.stderr)
        return None, EXIT_BAD_STUDY
    runs = Runs(args, cli, out, series, args.resume, client)
    if args.resume:
        print(f'digestra-study: {runs.resumed} runs finished before', file=sys.stderr)
    return folder, runs
