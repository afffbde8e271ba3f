"""Studies run through the stand-in digestra-cli: refused and crashing scenarios, stop signals and
--resume, a folder that belongs to one study, a file that cannot be written."""
import os
import resource
import signal
import subprocess

import openpyxl
import pytest

from conftest import DEADLINE, finished_ids, read_rows, run_study, stop_group, study_command, wait_for, write_study


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
        assert sorted(p.name for p in folder.iterdir()) == ['gas-flow.csv', 'results.xlsx', 'summary.json']
    assert sorted(p.name for p in (out / 'plots').iterdir()) == ['gas-flow.png', 'x-c-in.png']
    assert 'x-c-in = 666' in (out / 'study.toml').read_text()
    assert leftovers(out) == []


@pytest.mark.parametrize('signum', [signal.SIGINT, signal.SIGTERM, signal.SIGHUP])
def test_a_stop_signal_keeps_finished_scenarios_and_resume_runs_only_the_rest(tmp_path, signum):
    study = write_study(tmp_path, '[base]\nt-end = 100\n[sweep]\nv1 = [10, 20, 30, 40, 50, 60]\n')
    log = tmp_path / 'ran.log'
    out = tmp_path / 'study'
    runner = subprocess.Popen(study_command(study, '--workers', '2'), env={**os.environ, 'FAKE_LOG': str(log)},
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        wait_for(lambda: len(finished_ids(out)) >= 2, 'two finished scenarios')
        runner.send_signal(signum)
        assert runner.wait(timeout=DEADLINE) == 130
    finally:
        stop_group(runner)
    kept = finished_ids(out)
    assert 2 <= len(kept) < 6
    assert {row['scenario'] for row in read_rows(out / 'summary.csv')} == kept
    assert leftovers(out) == []
    if signum != signal.SIGINT:
        return   # what is kept is the same whichever signal stopped the study

    log.write_text('')
    resumed = run_study(study, '--workers', '2', '--resume', env={'FAKE_LOG': str(log)})
    assert resumed.returncode == 0, resumed.stderr
    assert f'{len(kept)} of 6 scenarios finished before' in resumed.stderr
    ran = set(log.read_text().split())
    assert len(ran) == 6 - len(kept) and not ran & kept
    assert [row['status'] for row in read_rows(out / 'summary.csv')] == ['done'] * 6


def test_a_study_folder_belongs_to_one_study(tmp_path):
    first = write_study(tmp_path, '[base]\nt-end = 200\n[sweep]\nv1 = [10, 20, 30]\n')
    other = tmp_path / 'other.toml'
    other.write_text('[base]\nt-end = 2\n[sweep]\nx-c-in = [10, 20]\n')
    out = tmp_path / 'study'
    runner = subprocess.Popen(study_command(first, '--workers', '1'), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        wait_for(lambda: finished_ids(out), 'a finished scenario')
        second = run_study(first, '--workers', '1', timeout=DEADLINE)
        assert second.returncode == 2 and 'another digestra-study is writing into this folder' in second.stderr
        assert runner.wait(timeout=DEADLINE) == 0
    finally:
        stop_group(runner)
    for refused in ([], ['--resume']):
        result = run_study(other, '--out', str(out), *refused, timeout=DEADLINE)
        assert result.returncode == 2 and 'holds the results of another study' in result.stderr
    assert len(read_rows(out / 'summary.csv')) == 3
    replaced = run_study(other, '--out', str(out), '--replace', timeout=DEADLINE)
    assert replaced.returncode == 0, replaced.stderr
    assert len(read_rows(out / 'summary.csv')) == len(finished_ids(out)) == 2
    assert sorted(p.name for p in (out / 'plots').iterdir()) == ['gas-flow.png', 'x-c-in.png']


def test_a_file_that_cannot_be_written_is_named_and_what_finished_is_kept(tmp_path):
    study = write_study(tmp_path, '[base]\nt-end = 100\n[sweep]\nv1 = [10, 20, 30, 40]\n')
    out = tmp_path / 'study'
    runner = subprocess.Popen(study_command(study, '--workers', '1'), stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True, start_new_session=True)
    try:
        wait_for(lambda: finished_ids(out), 'a finished scenario')
        # From now on the runner can write no file of more than 100 bytes, as on a full disk.
        resource.prlimit(runner.pid, resource.RLIMIT_FSIZE, (100, 100))
        _, stderr = runner.communicate(timeout=DEADLINE)
        assert runner.returncode == 1
    finally:
        stop_group(runner)
    assert f'cannot write {out / "scenarios"}' in stderr and 'File too large' in stderr
    assert f'cannot write {out / "summary.csv"}: File too large' in stderr and 'Traceback' not in stderr
    assert 1 <= len(finished_ids(out)) < 4 and leftovers(out) == []
