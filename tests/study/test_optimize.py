"""Optimisation studies: their file checks, infeasible problems and failed runs through the stand-in
digestra-cli, and the best flow under a VFA limit through the built digestra-cli, against a sweep."""
import json
import os
import signal
import subprocess

import pytest

from conftest import DEADLINE, FAKE_CLI, read_rows, run_study, stop_group, study_command, wait_for, write_study
from digestra_study import feed, optimize
from digestra_study.studyfile import StudyError

CLI = os.environ['DIGESTRA_CLI']   # set by conftest
SCHEDULE = 'day [d], farm_feed [m3/d], sludge [m3/d]\n0, 2, 0\n14, 5, 0.5\n'
LAB = '[farm_feed]\nX_c = 10.0\nS_cat = 0.035\n[sludge]\nX_c = 20.0\n'
BEST_FLOW = ('[base]\nt-end = 10\n[optimize]\nmaximize = "r1_normal_methane"\nmax_runs = 90\nseed = 1\n'
             '[optimize.variables]\nq-in = { min = 2, max = 12 }\n[optimize.constraints]\nr1_final_vfa = { max = 0.15 }\n')


@pytest.mark.parametrize('text, problems', [
    ('[sweep]\nv1 = [1]\n[optimize]\nmaximise = "r1_final_ph"\nmax_runs = 0\n[optimize.variables]\n',
     ['line 1, sweep: a study has one of', 'line 4, optimize.maximise: unknown key',
      'optimize: needs one of maximize', 'line 5, optimize.max_runs: must be a whole number of at least 1',
      'line 6, optimize.variables: must name at least one variable']),
    ('[base]\nfeed = "mix.csv"\nsubstrates = "lab.toml"\n[optimize]\nminimize = "r1_final_vfa"\nmax_runs = 20\n[optimize.variables]\n'
     '"substrates.farm_fed" = { min = 0, max = 9 }\n"substrates.sludge" = { min = 2, max = 1, periods = [0, 60] }\n'
     '"parameters.km_acc" = { min = 1, max = 2 }\nt2 = { min = 300, max = 310 }\nconfig = { min = 1, max = 2 }\n'
     '[optimize.constraints]\nr1_final_fox_tac = { max = 0.3 }\nr1_final_ph = {}\n[optimize.prices]\n"substrates.sludge" = 4\n',
     ['line 8, optimize.variables.substrates.farm_fed: "farm_fed" is not a column of the feed schedule; did you mean farm_feed?',
      'line 9, optimize.variables.substrates.sludge.max: must not be below min',
      'line 10, optimize.variables.parameters.km_acc: is neither a numeric run input, a model constant (parameters.NAME) '
      'nor a substrate flow (substrates.NAME); did you mean parameters.km_ac?',
      'line 11, optimize.variables.t2: cannot matter: it does not apply to config ssad',
      'line 12, optimize.variables.config: only numeric inputs vary',
      'line 14, optimize.constraints.r1_final_fox_tac: "r1_final_fox_tac" is not a summary value of config ssad',
      'line 15, optimize.constraints.r1_final_ph: needs a min, a max or both']),
    ('[base]\nt-end = 20\n[optimize]\nmaximize = "profit"\nmax_runs = 10\n[optimize.variables]\n'
     '"substrates.sludge" = { min = 0, max = 1, periods = [0, 30] }\n"parameters.km_ac" = { min = -1, max = 2 }\n',
     ['line 4, optimize.maximize: "profit" needs its prices',
      'line 7, optimize.variables.substrates.sludge: needs a feed schedule of substrates in [base]',
      'line 7, optimize.variables.substrates.sludge.periods: a period from day 30 starts after the run ends',
      'line 5, optimize.max_runs: must be at least one generation of 15 runs']),
    ('[base]\nt-end = 20\n[optimize]\nmaximize = "r1_normal_methane"\nmax_runs = 15\n[optimize.variables]\n'
     '"parameters.km_ac" = { min = -1, max = 2 }\n',
     ['line 7, optimize.variables.parameters.km_ac: model parameter km_ac = -1 must be positive and finite (at min)']),
    ('[base]\nfeed = "mix.csv"\nsubstrates = "lab.toml"\n[optimize]\nmaximize = "r1_normal_methane"\nmax_runs = 15\n'
     'seed = 9223372036854775807\n[optimize.variables]\n"substrates.sludge" = { min = 0, max = 1, periods = [0, nan] }\n',
     ['line 7, optimize.seed: must be a whole number from 0 to 4294967295, not 9223372036854775807',
      'line 9, optimize.variables.substrates.sludge.periods: must list the days each period starts']),
])
def test_optimize_files_are_checked_whole_with_key_and_line(tmp_path, text, problems):
    (tmp_path / 'mix.csv').write_text(SCHEDULE)
    (tmp_path / 'lab.toml').write_text(LAB)
    with pytest.raises(StudyError) as refused:
        optimize.prepare(optimize.read(text, tmp_path), CLI)
    found = '\n'.join(refused.value.problems)
    for problem in problems:
        assert problem in found, found


@pytest.mark.parametrize('name, text, unit', [
    ('mix.csv', 'date,farm_feed [m3/d],sludge [m3/d]\n2026-03-01,2,0\n2026-03-15,5,0.5\n', 'm3/d'),
    ('mix.toml', 'day = [0, 14]\n"farm_feed [t/d]" = [2, 5]\nsludge = [0, 0.5]\n', 't/d'),
])
def test_a_varied_schedule_is_the_one_digestra_cli_reads(tmp_path, name, text, unit):
    (tmp_path / name).write_text(text)
    (tmp_path / 'lab.toml').write_text(LAB)
    problem = optimize.read(f'[base]\nfeed = "{name}"\nsubstrates = "lab.toml"\nt-end = 20\n[optimize]\n'
                            'maximize = "r1_normal_methane"\nmax_runs = 30\n[optimize.variables]\n'
                            '"substrates.farm_feed" = { min = 1, max = 9, periods = [0, 10] }\n', tmp_path)
    optimize.prepare(problem, CLI)
    assert [(v.name, v.unit) for v in problem.variables] == [('substrates.farm_feed@0', unit), ('substrates.farm_feed@10', unit)]
    varied = tmp_path / 'varied.csv'
    varied.write_text(problem.schedule_of({'substrates.farm_feed@0': 3, 'substrates.farm_feed@10': 7}).csv())
    steps = feed.listed(CLI, {'feed': str(varied), 'substrates': str(tmp_path / 'lab.toml'), 't-end': 20})['schedule']
    assert steps == {'titles': ['day [d]', f'farm_feed [{unit}]', 'sludge [m3/d]'],
                     'rows': [[0, 3, 0], [10, 7, 0], [14, 7, 0.5]]}


def test_an_output_no_run_gives_is_refused_before_any_run(tmp_path):
    text = ('[base]\nt-end = 5\n[optimize]\nmaximize = "specific_methane_yield_vs"\nmax_runs = 15\n'
            '[optimize.variables]\nq-in = { min = 2, max = 12 }\n')
    with pytest.raises(StudyError) as refused:
        optimize.prepare(optimize.read(text, tmp_path), CLI)
    assert refused.value.problems == ['line 4, optimize.maximize: specific_methane_yield_vs is not applicable '
                                      '(no substrates with lab values)']


def test_an_infeasible_problem_says_which_limit_and_failed_runs_count_as_infeasible(tmp_path):
    study = write_study(tmp_path, '[base]\nt-end = 1\n[optimize]\nmaximize = "r1_final_gas_flow"\nmax_runs = 30\n'
                                  '[optimize.variables]\nx-c-in = { min = 300, max = 500 }\n'
                                  '[optimize.constraints]\nr1_final_vfa = { max = -1 }\n')
    assert 'at most 30 runs (2 generations of 15)' in run_study(study, '--dry-run').stdout
    result = run_study(study, '--workers', '2')
    assert result.returncode == 1 and 'no feasible point' in result.stderr, result.stderr
    assert 'the limits of r1_final_vfa could not be met' in result.stderr
    rows = read_rows(tmp_path / 'study' / 'evaluations.csv')
    assert {r['status'] for r in rows} == {'done', 'refused'} and all(r['feasible'] == 'False' for r in rows)
    assert json.loads((tmp_path / 'study' / 'optimum.json').read_text())['feasible'] is False
    log = tmp_path / 'ran.log'   # the runs that finished are kept; only the refused ones run again
    assert run_study(study, '--resume', env={'FAKE_LOG': str(log)}).returncode == 1
    ran = set(log.read_text().split()) - {'trial'}   # the checks' day of the base run, told apart
    assert ran == {r['run'] for r in rows if r['status'] == 'refused'}


def test_ctrl_c_writes_the_best_feasible_point_so_far(tmp_path):
    study = write_study(tmp_path, '[base]\nt-end = 60\n[optimize]\nminimize = "r1_final_gas_flow"\nmax_runs = 60\n'
                                  '[optimize.variables]\nx-c-in = { min = 1, max = 100 }\n')
    out = tmp_path / 'study'
    runner = subprocess.Popen(study_command(study, '--workers', '2'), stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True, start_new_session=True)
    try:
        wait_for(lambda: len(list((out / 'runs').glob('[!.]*.json'))) >= 3, 'three finished runs')
        runner.send_signal(signal.SIGINT)
        assert runner.wait(timeout=DEADLINE) == 130
        assert 'best feasible point so far is written' in runner.stderr.read()
    finally:
        stop_group(runner)
    rows = read_rows(out / 'evaluations.csv')
    best = min(rows, key=lambda r: float(r['r1_final_gas_flow']))
    assert 3 <= len(rows) < 60 and read_rows(out / 'optimum.csv')[0]['value'] == best['x-c-in']


def test_the_best_flow_under_a_vfa_limit_matches_a_sweep_and_the_workers_do_not_change_it(tmp_path):
    study = write_study(tmp_path, BEST_FLOW)
    result = run_study(study, '--workers', '2', cli=CLI)
    assert result.returncode == 0, result.stderr
    [flow] = read_rows(tmp_path / 'study' / 'optimum.csv')
    lines = ''.join(json.dumps({'id': i, 't-end': 10, 'q-in': round(2 + 0.05 * i, 2)}) + '\n' for i in range(201))
    swept = [json.loads(line) for line in subprocess.run([CLI, '--batch'], input=lines, capture_output=True, text=True,
                                                         timeout=300, check=True).stdout.splitlines()]
    values = [(2 + 0.05 * a['id'], {v['key']: v['value'] for v in a['summary']['values']}) for a in swept]
    _, best = max((v['r1_normal_methane'], q) for q, v in values if v['r1_final_vfa'] <= 0.15)
    assert abs(float(flow['value']) / best - 1) < 0.005, (flow, best)
    assert json.loads((tmp_path / 'study' / 'optimum.json').read_text())['feasible'] is True
    assert subprocess.run([CLI, '--inputs', str(tmp_path / 'study' / 'optimum.toml'), '--csv', str(tmp_path / 'o.csv')],
                          capture_output=True, timeout=120, cwd=tmp_path).returncode == 0
    assert run_study(study, '--workers', '1', '--out', str(tmp_path / 'one'), cli=CLI).returncode == 0
    assert read_rows(tmp_path / 'one' / 'optimum.csv') == [flow]
