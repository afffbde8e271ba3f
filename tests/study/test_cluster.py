"""The study's cluster: a worker killed mid-study comes back and works, a cluster that loses its
workers or its scheduler ends the study, the local cluster listens on loopback only, and an
unreachable scheduler leaves nothing behind."""
import asyncio
import io
import logging
import os
import signal
import socket
import subprocess

import psutil
import pytest

from digestra_study import progress

from conftest import DEADLINE, finished_ids, read_rows, run_study, stop_group, study_command, wait_for, write_study


def start_runner(study, *arguments, stderr):
    return subprocess.Popen(study_command(study, *arguments), stdout=subprocess.DEVNULL, stderr=stderr,
                            start_new_session=True)


def test_a_killed_worker_comes_back_and_a_cluster_without_workers_ends_the_study(tmp_path, dask_cluster):
    address, (_, nanny) = dask_cluster(1)
    study = write_study(tmp_path, '[base]\nt-end = 100\n[sweep]\nv1 = [10, 20, 30, 40, 50, 60, 70, 80, 90, 100]\n')
    out, log = tmp_path / 'study', tmp_path / 'runner.log'
    with open(log, 'w') as stderr:
        runner = start_runner(study, '--scheduler', address, '--worker-wait', '3', stderr=stderr)
    try:
        wait_for(lambda: len(finished_ids(out)) >= 2, 'two finished scenarios')
        worker, = [p for p in psutil.Process(nanny.pid).children() if 'spawn_main' in ' '.join(p.cmdline())]
        worker.kill()
        wait_for(lambda: len(finished_ids(out)) >= 4, 'two scenarios on the restarted worker')
        stop_group(nanny)
        assert runner.wait(timeout=DEADLINE) == 1
    finally:
        stop_group(runner)
    assert 'the cluster has had no worker for 3 s' in log.read_text()
    kept = finished_ids(out)
    assert 4 <= len(kept) < 10
    assert {row['scenario'] for row in read_rows(out / 'summary.csv')} == kept


def test_every_kind_of_study_ends_when_its_cluster_has_no_worker(tmp_path, dask_cluster):
    """Beside a sweep's: an uncertainty study's runs (the job loop of fits, sensitivity and
    optimisation too) stop within --worker-wait once the last worker is gone."""
    address, (_, nanny) = dask_cluster(1)
    study = write_study(tmp_path, '[base]\nt-end = 100\n[uncertainty]\nsamples = 40\n[uncertainty.parameters]\n'
                                  'km_ac = { dist = "uniform", min = 4, max = 12 }\n')
    runner = subprocess.Popen(study_command(study, '--scheduler', address, '--worker-wait', '3'),
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, start_new_session=True)
    try:
        wait_for(lambda: len(list((tmp_path / 'study' / 'runs').glob('[!.]*.json'))) >= 2, 'two finished runs')
        stop_group(nanny)
        _, stderr = runner.communicate(timeout=DEADLINE)
        assert runner.returncode == 1
    finally:
        stop_group(runner)
    assert 'Stopped: the cluster has had no worker for 3 s' in stderr and 'Traceback' not in stderr


def test_a_lost_scheduler_ends_the_study_with_what_finished(tmp_path, dask_cluster):
    address, (scheduler, _) = dask_cluster(1)
    study = write_study(tmp_path, '[base]\nt-end = 100\n[sweep]\nv1 = [10, 20, 30, 40, 50, 60]\n')
    out = tmp_path / 'study'
    runner = subprocess.Popen(study_command(study, '--scheduler', address), stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True, start_new_session=True,
                              env={**os.environ, 'DASK_DISTRIBUTED__COMM__TIMEOUTS__CONNECT': '2s'})
    try:
        wait_for(lambda: finished_ids(out), 'a finished scenario')
        os.killpg(scheduler.pid, signal.SIGKILL)
        _, stderr = runner.communicate(timeout=DEADLINE)
        assert runner.returncode == 1
    finally:
        stop_group(runner)
    assert 'Stopped: the scheduler was lost' in stderr and 'Traceback' not in stderr
    assert {row['scenario'] for row in read_rows(out / 'summary.csv')} == finished_ids(out)


def test_log_records_during_a_study_are_one_line_notes(monkeypatch):
    """The client's tasks cancelled as it closes after a lost scheduler are logged as errors, some
    by loggers without a handler of their own (asyncio's): no traceback reaches the terminal."""
    monkeypatch.setattr(logging.getLogger(), 'handlers', [])
    stream = io.StringIO()
    progress.log_through(progress.Progress(1, stream))
    for name, error in [('distributed.client', asyncio.CancelledError()), ('asyncio.events', ValueError('odd'))]:
        try:
            raise error
        except BaseException as e:
            logging.getLogger(name).exception(e)
    assert stream.getvalue() == 'asyncio.events: odd\n'


def listening(process):
    """The addresses the process and its children listen on; a child that ended since it was
    listed listens on nothing."""
    found = set()
    for p in [process, *process.children(recursive=True)]:
        try:
            found |= {(c.laddr.ip, c.laddr.port) for c in p.connections('inet') if c.status == psutil.CONN_LISTEN}
        except psutil.NoSuchProcess:
            pass
    return found


@pytest.mark.parametrize('dashboard', [[], ['--dashboard']])
def test_the_local_cluster_listens_on_loopback_only(tmp_path, dashboard):
    study = write_study(tmp_path, '[base]\nt-end = 100\n[sweep]\nv1 = [10, 20, 30, 40]\n')
    log = tmp_path / 'runner.log'
    with socket.socket() as taken, open(log, 'w') as stderr:
        taken.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:   # a dashboard port in use: no warning inside the progress
            taken.bind(('127.0.0.1', 8787))
            taken.listen()
        except OSError:   # in use already
            pass
        runner = start_runner(study, '--workers', '2', *dashboard, stderr=stderr)
        try:
            wait_for(lambda: finished_ids(tmp_path / 'study'), 'a finished scenario')
            addresses = listening(psutil.Process(runner.pid))
            assert runner.wait(timeout=DEADLINE) == 0
        finally:
            stop_group(runner)
    assert addresses and {ip for ip, _ in addresses} == {'127.0.0.1'}
    text = log.read_text()
    assert 'in use' not in text and 'Warning' not in text
    assert ('digestra-study: dashboard at http://127.0.0.1:' in text) == bool(dashboard)


@pytest.mark.parametrize('text', ['[sweep]\nv1 = [10, 20]\n', '[uncertainty]\nsamples = 2\n[uncertainty.parameters]\n'
                                  'km_ac = { dist = "uniform", min = 4, max = 12 }\n'])
def test_an_unreachable_scheduler_writes_nothing(tmp_path, text):
    study = write_study(tmp_path, text)
    result = run_study(study, '--scheduler', 'tcp://127.0.0.1:1',
                       env={'DASK_DISTRIBUTED__COMM__TIMEOUTS__CONNECT': '1s'}, timeout=DEADLINE)
    assert result.returncode == 1 and 'nothing run' in result.stderr
    assert [p.name for p in tmp_path.iterdir()] == ['study.toml']
