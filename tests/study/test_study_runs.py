"""Studies run through the stand-in digestra-cli: a local cluster, Ctrl-C and --resume, and a
real scheduler with two workers started here."""
import os
import signal
import socket
import subprocess
import time

import openpyxl
import pytest

from conftest import read_rows, run_study, stop_group, study_command, write_study

DEADLINE = 60


def wait_for(condition, what, timeout=DEADLINE):
    end = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > end:
            raise AssertionError(f'timed out waiting for {what}')
        time.sleep(0.1)


def finished_ids(out):
    return {p.parent.name for p in (out / 'scenarios').glob('*/summary.json')}


def leftovers(out):
    return [p for p in out.rglob('*') if '.part' in p.name]


def test_scenarios_go_on_past_a_refused_and_a_crashing_one(tmp_path):
    study = write_study(tmp_path, '[base]\nt-end = 2\n[output]\nworkbooks = true\n'
                                  '[sweep]\nx-c-in = [10, 20, 500, 666]\n')
    result = run_study(study, '--workers', '2')
    assert result.returncode == 1, result.stderr
    out = tmp_path / 'study'
    rows = {row['x-c-in [kgCOD/m3]']: row for row in read_rows(out / 'summary.csv')}
    assert {k: (r['status'], r['message']) for k, r in rows.items()} == {
        '10': ('done', ''), '20': ('done', ''),
        '500': ('refused', '--x-c-in is more than the fake takes'),
        '666': ('failed', 'digestra-cli ended without answering (exit status 9): fake crash (twice)')}
    assert rows['20']['r1_normal_methane [Nm3]'] == '978.0' and rows['500']['r1_normal_methane [Nm3]'] == ''
    book = openpyxl.load_workbook(out / 'summary.xlsx')['Summary']
    sheet = list(book.values)
    assert sheet[0][:3] == ('scenario', 'x-c-in [kgCOD/m3]', 't-end [d]') and len(sheet) == 5
    # Finished scenarios keep their summary, workbook and CSV; refused ones leave nothing.
    assert len(finished_ids(out)) == 2
    for folder in (out / 'scenarios').iterdir():
        assert sorted(p.name for p in folder.iterdir()) == ['results.csv', 'results.xlsx', 'summary.json']
    assert sorted(p.name for p in (out / 'plots').iterdir()) == ['gas-flow.png', 'x-c-in.png']
    assert 'x-c-in = 666' in (out / 'study.toml').read_text()
    assert leftovers(out) == []


def test_ctrl_c_keeps_finished_scenarios_and_resume_runs_only_the_rest(tmp_path):
    study = write_study(tmp_path, '[base]\nt-end = 100\n[sweep]\nv1 = [10, 20, 30, 40, 50, 60]\n')
    log = tmp_path / 'ran.log'
    out = tmp_path / 'study'
    runner = subprocess.Popen(study_command(study, '--workers', '2'), env={**os.environ, 'FAKE_LOG': str(log)},
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        wait_for(lambda: len(finished_ids(out)) >= 2, 'two finished scenarios')
        runner.send_signal(signal.SIGINT)
        assert runner.wait(timeout=DEADLINE) == 130
    finally:
        stop_group(runner)
    kept = finished_ids(out)
    assert 2 <= len(kept) < 6
    assert {row['scenario'] for row in read_rows(out / 'summary.csv')} == kept
    assert leftovers(out) == []

    log.write_text('')
    resumed = run_study(study, '--workers', '2', '--resume', env={'FAKE_LOG': str(log)})
    assert resumed.returncode == 0, resumed.stderr
    assert f'{len(kept)} of 6 scenarios finished before' in resumed.stderr
    ran = set(log.read_text().split())
    assert len(ran) == 6 - len(kept) and not ran & kept
    assert [row['status'] for row in read_rows(out / 'summary.csv')] == ['done'] * 6


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


@pytest.fixture
def scheduler(tmp_path):
    """A dask-scheduler and two dask-worker processes on 127.0.0.1, stopped whatever happens."""
    from distributed import Client
    address = f'tcp://127.0.0.1:{free_port()}'
    port = address.rsplit(':', 1)[1]
    quiet = {'stdout': subprocess.DEVNULL, 'stderr': subprocess.DEVNULL, 'cwd': tmp_path, 'start_new_session': True}
    processes = [subprocess.Popen(['/usr/bin/dask-scheduler', '--host', '127.0.0.1', '--port', port,
                                   '--no-dashboard'], **quiet)]
    try:
        for _ in range(2):
            processes.append(subprocess.Popen(['/usr/bin/dask-worker', address, '--nthreads', '1', '--no-dashboard',
                                               '--host', '127.0.0.1', '--local-directory', str(tmp_path)], **quiet))
        with Client(address, timeout=DEADLINE) as client:
            client.wait_for_workers(2, timeout=DEADLINE)
        yield address
    finally:
        for process in reversed(processes):   # the workers, then the scheduler
            stop_group(process)


def test_a_study_runs_on_a_cluster_whose_workers_lack_the_runner(tmp_path, scheduler):
    study = write_study(tmp_path, '[base]\nt-end = 2\n[sweep]\nconfig = ["ssad", "tsad"]\nv1 = [20, 30]\n')
    result = run_study(study, '--scheduler', scheduler, '--out', str(tmp_path / 'out'))
    assert result.returncode == 0, result.stderr
    rows = read_rows(tmp_path / 'out' / 'summary.csv')
    assert [(r['config'], r['v1 [m3]'], r['status']) for r in rows] == [
        ('ssad', '20', 'done'), ('ssad', '30', 'done'), ('tsad', '20', 'done'), ('tsad', '30', 'done')]
    assert rows[2]['r2_normal_methane [Nm3]'] == '1026.0'
    # Reactor 2's columns come between reactor 1's and the whole-run values, even when the first
    # scenario to finish had one reactor.
    header = list(rows[0])
    assert header.index('r1_normal_methane [Nm3]') < header.index('r2_final_gas_flow [m3/d]') \
        < header.index('r2_normal_methane [Nm3]') < header.index('organic_loading_rate [kgCOD/(m3·d)]')
