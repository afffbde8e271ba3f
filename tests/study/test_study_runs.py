"""Studies run through the stand-in digestra-cli: refused and crashing scenarios, Ctrl-C and --resume."""
import os
import signal
import subprocess

import openpyxl

from conftest import DEADLINE, read_rows, run_study, stop_group, study_command, wait_for, write_study


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
        assert sorted(p.name for p in folder.iterdir()) == ['gas-flow.csv', 'results.xlsx', 'summary.json']
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
