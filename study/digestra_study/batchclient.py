"""The worker side of a study: each Dask worker keeps one `digestra-cli --batch` process per
task thread and hands it one scenario at a time. A process that dies is started again and the
scenario tried once more. The files a scenario writes go to a temporary folder on the worker and
travel back with the answer, so the workers need no file system in common with the runner."""
import csv
import io
import json
import pathlib
import subprocess
import tempfile
import threading
import uuid

from distributed import get_worker

from . import series
from distributed.diagnostics.plugin import WorkerPlugin

STDERR_TAIL = 400   # characters of a dead process's standard error quoted in the failure
FLOW_COLUMNS = ('t', 'gasflow')   # a two-reactor run's are headed "R1 t", "R2 t", ...


class BatchProcess:
    """One `digestra-cli --batch`: JSON lines in, one JSON answer line out per scenario."""

    def __init__(self, cli):
        self._stderr = tempfile.TemporaryFile()
        # Its own session: a Ctrl-C typed at the runner's terminal reaches the runner, which
        # then stops these processes itself.
        self._process = subprocess.Popen([cli, '--batch'], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=self._stderr, text=True, start_new_session=True)

    def run(self, line):
        """The answer to `line`, or None when the process ended without one."""
        self._stderr.seek(0)
        self._stderr.truncate()
        try:
            self._process.stdin.write(json.dumps(line) + '\n')
            self._process.stdin.flush()
            # One line is sent at a time, so the next answer is its answer (even one refusing the
            # line without echoing its id). Anything else on standard output (a library's
            # diagnostics) is not an answer.
            for text in self._process.stdout:
                try:
                    answer = json.loads(text)
                except ValueError:
                    continue
                if isinstance(answer, dict) and 'status' in answer:
                    return answer
        except (BrokenPipeError, ValueError):   # ValueError: the pipe was closed by close()
            pass
        return None

    def death(self):
        """Why the process ended: its exit status and the end of its standard error."""
        try:
            status = self._process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            status = 'none, still running'
        self._stderr.seek(0)
        tail = self._stderr.read().decode(errors='replace').strip()[-STDERR_TAIL:]
        return f'digestra-cli ended without answering (exit status {status})' + (f': {tail}' if tail else '')

    def close(self):
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        for stream in (self._process.stdin, self._process.stdout, self._stderr):
            try:
                stream.close()
            except OSError:
                pass


class BatchPlugin(WorkerPlugin):
    """Registered on every worker for one study; holds the worker's batch processes. Its name is
    the study's own, so studies sharing a cluster do not stop each other's processes."""

    def __init__(self, cli):
        self.cli = cli
        self.name = f'digestra-batch-{uuid.uuid4().hex[:12]}'

    def setup(self, worker):
        self._lock = threading.Lock()
        self._processes = {}    # thread id -> BatchProcess
        self._closed = False

    def teardown(self, worker):
        """Also called when the study stops: running scenarios end without an answer."""
        with self._lock:
            self._closed = True
            processes, self._processes = list(self._processes.values()), {}
        for process in processes:
            process.close()

    def run(self, line):
        thread = threading.get_ident()
        for _ in range(2):
            with self._lock:
                if self._closed:
                    return {'status': 'cancelled', 'message': 'the study was stopped', 'summary': None}
                process = self._processes.get(thread) or self._processes.setdefault(thread, BatchProcess(self.cli))
            answer = process.run(line)
            if answer is not None:
                return answer
            message = process.death()
            with self._lock:
                self._processes.pop(thread, None)
            process.close()
        return {'status': 'failed', 'message': f'{message} (twice)', 'summary': None}


def gas_flows(path):
    """The time and gas flow columns of a run's CSV, headers and units lines included: all that the
    overlaid gas flow plot draws, a twenty-fifth of the table."""
    with open(path, newline='', encoding='utf-8') as f:
        rows = [row for row in csv.reader(f) if row]
    kept = [i for i, name in enumerate(rows[0]) if name.removeprefix('R1 ').removeprefix('R2 ') in FLOW_COLUMNS]
    text = io.StringIO()
    csv.writer(text, lineterminator='\n').writerows([row[i] for i in kept] for row in rows)
    return text.getvalue()


def run_scenario(plugin_name, scenario_id, inputs, want_workbook, want_flows):
    """The task of one scenario: its answer, with the files asked for (the workbook's bytes, the
    gas flow columns of the results as CSV text)."""
    plugin = get_worker().plugins[plugin_name]
    with tempfile.TemporaryDirectory(prefix='digestra-scenario-') as folder:
        workbook, table = pathlib.Path(folder, 'results.xlsx'), pathlib.Path(folder, 'results.csv')
        wanted = {}
        if want_workbook:
            wanted['out'] = str(workbook)
        if want_flows:
            wanted['csv'] = str(table)
        answer = plugin.run({'id': scenario_id, **inputs, **wanted})
        files = {}
        if workbook.is_file():
            files[workbook.name] = workbook.read_bytes()
        if table.is_file():
            files['gas-flow.csv'] = gas_flows(table)
    return {'status': answer.get('status', 'failed'), 'message': answer.get('message', ''),
            'summary': answer.get('summary'), 'files': files}


def run_series(plugin_name, scenario_id, inputs, names):
    """The task of one run of a fit or uncertainty study: its answer and the series `names` of its
    results (see `series`), rather than files."""
    plugin = get_worker().plugins[plugin_name]
    with tempfile.TemporaryDirectory(prefix='digestra-run-') as folder:
        table = pathlib.Path(folder, 'results.csv')
        answer = plugin.run({'id': scenario_id, **inputs, **({'csv': str(table)} if names else {})})
        found = series.series_of(table, names) if table.is_file() else {}
    return {'status': answer.get('status', 'failed'), 'message': answer.get('message', ''),
            'summary': answer.get('summary'), 'series': found}
