"""Shared by the study tests: where the runner and the stand-in digestra-cli are, a way to run a
study as a user would, and a real Dask scheduler with its workers on 127.0.0.1."""
import csv
import os
import pathlib
import signal
import socket
import subprocess
import sys
import time

import pytest

HERE = pathlib.Path(__file__).resolve().parent
RUNNER = HERE.parents[1] / 'study' / 'digestra-study'
FAKE_CLI = HERE / 'fake-digestra-cli'
sys.path.insert(0, str(RUNNER.parent))
sys.path.insert(0, str(HERE.parent))
import builtprograms  # noqa: E402

builtprograms.require('DIGESTRA_CLI')
DEADLINE = 60


def write_study(folder, text):
    path = pathlib.Path(folder) / 'study.toml'
    path.write_text(text)
    return path


def study_command(study, *arguments, cli=FAKE_CLI):
    return ['/usr/bin/python3', str(RUNNER), str(study), '--cli', str(cli), *arguments]


def run_study(study, *arguments, cli=FAKE_CLI, env=None, timeout=120):
    return subprocess.run(study_command(study, *arguments, cli=cli), capture_output=True, text=True,
                          timeout=timeout, env={**os.environ, **(env or {})})


def read_rows(path):
    with open(path, newline='') as f:
        return list(csv.DictReader(f))


def finished_ids(out):
    """The scenarios of an output folder that finished: those with a summary."""
    return {p.parent.name for p in (out / 'scenarios').glob('*/summary.json')}


def stop_group(process, timeout=20):
    """Ends a process started with start_new_session=True, and whatever it started in its group."""
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            pass
    try:
        os.killpg(process.pid, signal.SIGKILL)   # children still left in the group
    except ProcessLookupError:
        pass
    process.wait()


def wait_for(condition, what, timeout=DEADLINE):
    end = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > end:
            raise AssertionError(f'timed out waiting for {what}')
        time.sleep(0.1)


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


@pytest.fixture
def dask_cluster(tmp_path):
    """Starts a `dask scheduler` and `dask worker` processes (each a nanny and its worker) on
    127.0.0.1, all stopped whatever happens: returns the scheduler's address and the processes
    (the scheduler, then the workers). The
    workers start in a folder of their own, so they lack the runner's code."""
    from distributed import Client
    processes = []
    quiet = {'stdout': subprocess.DEVNULL, 'stderr': subprocess.DEVNULL, 'cwd': tmp_path, 'start_new_session': True}

    def start(workers):
        port = str(free_port())
        address = f'tcp://127.0.0.1:{port}'
        processes.append(subprocess.Popen(['/usr/bin/dask', 'scheduler', '--host', '127.0.0.1', '--port', port,
                                           '--no-dashboard'], **quiet))
        for _ in range(workers):
            processes.append(subprocess.Popen(['/usr/bin/dask', 'worker', address, '--nthreads', '1',
                                               '--no-dashboard', '--host', '127.0.0.1',
                                               '--local-directory', str(tmp_path)], **quiet))
        with Client(address, timeout=DEADLINE) as client:
            client.wait_for_workers(workers, timeout=DEADLINE)
        return address, processes
    try:
        yield start
    finally:
        for process in reversed(processes):   # the workers, then the scheduler
            stop_group(process)


@pytest.fixture
def scheduler(dask_cluster):
    """The address of a scheduler with two workers."""
    return dask_cluster(2)[0]
