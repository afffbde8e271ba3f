"""Fit, sensitivity and uncertainty studies: their file checks, and tiny studies through the runner
with the stand-in digestra-cli (whose constants km_ac and kdis move its outputs) on a local cluster,
the fit on a scheduler with two workers."""
import hashlib
import json
import os
import signal
import subprocess
import tomllib

import pytest

from conftest import DEADLINE, FAKE_CLI, read_rows, run_study, stop_group, study_command, wait_for, write_study
from digestra_study import analyses, analysis_runner
from digestra_study.studyfile import StudyError

PLANT = 'day,gasflow [m3/d],pH\n0,0,7\n0.5,9.82,\n1,19.64,7.25\n1.5,29.46,7.36\n2,39.29,7.5\n'
SOBOL = ('[base]\nt-end = 1\n[sensitivity]\nmethod = "sobol"\nsamples = 8\nseed = 3\n'
         'outputs = ["r1_final_gas_flow"]\n[sensitivity.parameters]\n'
         'km_ac = { dist = "uniform", min = 4, max = 12 }\nkdis = { dist = "uniform", min = 0.1, max = 1 }\n')
MORRIS = ('[base]\nt-end = 1\n[sensitivity]\nmethod = "morris"\ntrajectories = 4\n[sensitivity.parameters]\n'
          'km_ac = { dist = "uniform", min = 4, max = 12 }\nkdis = { dist = "normal", mean = 0.5, sd = 0.1, min = 0.1 }\n')
FIT = ('[base]\nt-end = 2\n[fit]\nmeasurements = "plant.csv"\nholdout = { from = 1.5 }\n'
       '[fit.parameters]\nkm_ac = { min = 1, max = 30 }\n')


@pytest.mark.parametrize('text, plant, problems', [
    ('[sweep]\nv1 = [1, 2]\n[uncertainty]\nsamples = 4\n[uncertainty.parameters]\nkm_ac = { dist = "uniform", min = 1, max = 2 }\n',
     None, ['line 1, sweep: a study has one of']),
    ('[base]\nv9 = 1\n[sensitivity]\nmethod = "fast"\nsamples = 1\n[sensitivity.parameters]\n'
     'km_ac = { dist = "beta", min = 1 }\nq-in = { dist = "uniform", min = 2, max = 1 }\n',
     None, ['line 2, base.v9: unknown key', 'line 4, sensitivity.method: must be "morris" or "sobol"',
            'line 7, sensitivity.parameters.km_ac.dist: must be one of', 'line 8, sensitivity.parameters.q-in.max']),
    ('[base]\nconfig = "ssad"\n[sensitivity]\nmethod = "morris"\nlevels = 3\nsamples = 5\n[sensitivity.parameters]\n'
     't2 = { dist = "uniform", min = 300, max = 310 }\nnothing = { dist = "uniform", min = 1, max = 2 }\n',
     None, ['line 5, sensitivity.levels: must be even', 'line 6, sensitivity.samples: is not a setting of method "morris"',
            'line 8, sensitivity.parameters.t2: cannot matter: it does not apply to config ssad']),
    ('[base]\nconfig = "ssad"\n[uncertainty]\n[uncertainty.parameters]\n'
     'nothing = { dist = "uniform", min = 1, max = 2 }\n',
     None, ['line 5, uncertainty.parameters.nothing: is neither a run input nor a model constant']),
    ('[base]\nconfig = "pomp"\nmix-i = 5\n[base.parameters]\nk_fixed = 2\n[uncertainty]\nseeds = 1\n[uncertainty.parameters]\n'
     'q-in = { dist = "uniform", min = -1, max = 2 }\nkmac = { dist = "uniform", min = 1, max = 2 }\n'
     'kdis = { dist = "uniform", min = -1e308, max = 1e308 }\nkm_ac = { dist = "lognormal", median = 1, gsd = 1e300 }\n',
     None, ['line 7, uncertainty.seeds: unknown key', 'line 5, base.parameters.k_fixed: cannot matter: config pomp replaces k_fixed',
            'line 10, uncertainty.parameters.kmac: is neither a run input nor a model constant of digestra-cli; did you mean km_ac?',
            'line 11, uncertainty.parameters.kdis: draws values that are not finite numbers (from nan to inf)',
            'line 12, uncertainty.parameters.km_ac: draws values that are not finite numbers (from 0 to inf)',
            'line 9, uncertainty.parameters.q-in: must not be negative']),
    ('[sensitivity]\nmethod = "sobol"\nsamples = 1048576\noutputs = ["methane_share", "r2_final_ph"]\n[sensitivity.parameters]\n'
     'km_ac = { dist = "uniform", min = 4, max = 12 }\n', None,
     ['sensitivity: 3145728 runs; a study runs at most 100000',
      'line 4, sensitivity.outputs: "methane_share" is not a summary value of config ssad; did you mean methane_energy?',
      'line 4, sensitivity.outputs: "r2_final_ph" is not a summary value of config ssad; did you mean r1_final_ph?']),
    ('[sensitivity]\nmethod = "morris"\nlevels = 1000000000\ntrajectories = 100000000\n[sensitivity.parameters]\n'
     'km_ac = { dist = "uniform", min = 4, max = 12 }\n', None,
     ['line 3, sensitivity.levels: must be even and at most 1000', 'sensitivity: 200000000 runs; a study runs at most']),
    ('[base.parameters]\nkm_ac = -1\n[uncertainty]\n[uncertainty.parameters]\nkdis = { dist = "uniform", min = 1, max = 2 }\n',
     None, ['line 2, base.parameters.km_ac: model parameter km_ac = -1 must be positive']),
    ('[uncertainty]\nsamples = 100000000\n[uncertainty.parameters]\nkm_ac = { dist = "uniform", min = 4, max = 12 }\n',
     None, ['uncertainty: 100000000 runs; a study runs at most 100000']),
    ('[fit]\nmeasurements = "plant.csv"\nstarts = 0\nsigma = { vfa = 1 }\n[fit.parameters]\n'
     'km_ac = { min = 5, max = 1 }\nq-in = { max = 3 }\n',
     'day,gasflow [Nm3/d],pH,foo\n1,2,3\n1,2,3,4\n0,x,,1\n',
     ['line 2, fit.measurements: plant.csv: column 2: gasflow is in m3/d, not Nm3/d',
      'column 4: "foo" is not a series', 'line 2: 3 cells for 4 columns', 'line 4, gasflow: not a number',
      'days must increase', 'line 3, fit.starts: must be a whole number', 'line 7, fit.parameters.q-in.min: missing']),
    ('[base]\nconfig = "tsad"\nfinal-state = "end.json"\n[output]\nworkbooks = true\n[fit]\nmeasurements = "plant.csv"\n'
     '[fit.parameters]\nkm_ac = { min = 1, max = 9 }\n',
     PLANT, ['line 5, output.workbooks: a fit study keeps no workbooks', 'line 3, base.final-state: all the runs would',
             'series "gasflow": config tsad has two reactors; name it R1.gasflow or R2.gasflow']),
    ('[fit]\nmeasurements = "plant.csv"\nsigma = { vfa = 1 }\nholdout = { from = 0 }\n[fit.parameters]\n'
     'km_ac = { min = 5, max = 1 }\nq-in = { min = 1, max = 3 }\n', PLANT,
     ['line 7, fit.parameters.q-in: needs a start', 'line 6, fit.parameters.km_ac.max: must be greater than min',
      'line 3, fit.sigma.vfa: is not a measured series', 'line 4, fit.holdout: 2 measured values to fit']),
    # Fits that could fit nothing, or only penalties: each refused before any run.
    ('[base]\nt-end = 1.5\n' + FIT.split('\n', 2)[2], PLANT + '2.5,,\n',
     ['plant.csv: line 6: day 2 is after t-end = 1.5, where the runs end']),
    (FIT, 'day,gasflow,S_bogus,pH\n-1,1,2,7.2\n1,2,,7.2\n2,3,,7.2\n',
     ['plant.csv: column 3: "S_bogus" is not a series of a run', 'plant.csv: line 2: day -1 is before the runs start on day 0']),
    (FIT.replace('[fit]\n', '[fit]\nweights = { gasflow = 0, pH = 0 }\nsigma = { gasflow = 1e-300, pH = 1e300 }\n'), PLANT,
     ['line 5, fit.sigma.gasflow: 1e-300 is below what the values resolve', 'line 5, fit.sigma.pH: 1e+300 would leave',
      'fit.holdout: 0 measured values to fit']),
    (FIT, 'day,gasflow,pH\n0,1,7.2\n1,2,7.2\n2,3,7.2\n', ['fit.sigma.pH: needed: the 2 fitted values of pH do not spread']),
    (FIT, 'day,gasflow\n1,2\n2,"' + 'x' * 131073 + '"\n', ['plant.csv: line 3: field larger than field limit']),
    (FIT.replace('[fit]\n', '[fit]\nstart = 2026-03-01\n'), 'day,gasflow,pH,Ch4 %,R1.S_IN\n1,1e160,7,50,0.1\n1.5,-2,15,101,\n2,2,nan,3,1e308\n',
     ['line 2, gasflow: 1e160 cannot be a measurement of it (from 0 to 1e+100 m3/d)',
      'line 3, gasflow: -2 cannot', 'line 3, pH: 15 cannot be a measurement of it (from 0 to 14 -)',
      'line 3, Ch4 %: 101 cannot', 'line 4, pH: not a number: "nan"', 'line 4, R1.S_IN: 1e308 cannot',
      'a day column counts from the runs\' start already']),
    # How the values were recorded, and dates.
    (FIT.replace('[fit]\n', '[fit]\naggregate = { gasflow = "daily_total", pH = "daily_total", vfa = "spot" }\n'),
     'day,gasflow,pH\n1,2,7\n2,3,7.1\n',
     ['line 4, fit.aggregate.pH: pH is in -, a value, not a rate', 'line 4, fit.aggregate.vfa: is not a measured series']),
    (FIT.replace('[fit]\n', '[fit]\naggregate = { gasflow = "daily_mean", pH = "hourly" }\n'),
     'day,gasflow [m3],pH\n0.5,1,7\n1,2,7.1\n2,3,\n',
     ['plant.csv: column 2: gasflow (daily_mean) is in m3/d, not m3',
      'plant.csv: line 2: gasflow: a daily mean on day 0.5 covers time before the runs start (the first is on day 1)\n',
      'line 4, fit.aggregate.pH: must be \'spot\', \'daily_mean\', \'daily_total\', not \'hourly\'']),
    (FIT.replace('[fit]\n', '[fit]\nstart = "March"\n'), 'date,gasflow\n2026-03-01,1\n',
     ['line 4, fit.start: must be an ISO 8601 date', 'plant.csv: a date column needs the day the runs start']),
    (FIT.replace('[fit]\n', '[fit]\nstart = 2026-03-01\n'),
     'date,gasflow\n2026-02-28,1\n2026-03-02T12:00,2\n2026-03-03T06:00,2\n2026-03-04,3\nsoon,3\n',
     ['line 2: 2026-02-28 is before start (2026-03-01)', 'line 6: not a date: "soon"',
      'line 4: day 2.25 is after t-end = 2, where the runs end (and 1 more lines)']),
], ids=lambda value: value[:60] if isinstance(value, str) else None)   # short ids: a test's id goes into its environment
def test_analysis_files_are_checked_whole_with_key_and_line(tmp_path, text, plant, problems):
    if plant:
        (tmp_path / 'plant.csv').write_text(plant)
    assert_refused(text, tmp_path, problems)


def assert_refused(text, folder, problems):
    """The study `text` in `folder` is refused before any run, with each of `problems`."""
    with pytest.raises(StudyError) as refused:
        analysis_runner.prepare(analyses.read(text, folder), str(FAKE_CLI))
    found = '\n'.join(refused.value.problems)
    for problem in problems:
        assert problem in found, found


def fit_record(names=('km_ac', 'kdis'), errors=(0.5, 0.05), correlation=((1, 0.5), (0.5, 1))):
    return json.dumps({'parameters': [{'parameter': n, 'estimate': 8 if n == 'km_ac' else 0.5, 'std_error': e}
                                      for n, e in zip(names, errors)], 'correlation': correlation})


JOINT = '[uncertainty]\nsamples = 16\nfrom_fit = "fit.json"\n'


@pytest.mark.parametrize('text, record, problems', [
    (JOINT.replace('fit.json', 'gone.json'), None, ['line 3, uncertainty.from_fit: cannot read']),
    (JOINT, '{"parameters": [', ['line 3, uncertainty.from_fit: fit.json: Expecting value']),
    (JOINT, '{"parameters": []}', ['fit.json: holds no list of "parameters" with estimates']),
    (JOINT, fit_record(correlation=((1, None), (None, 1))), ['fit.json: holds no finite standard errors']),
    (JOINT, fit_record(correlation=((1, 0.5), (0.2, 1))), ['fit.json: the covariance of its estimates is not symmetric']),
    (JOINT, fit_record(correlation=((1, 2), (2, 1))), ['fit.json: the covariance of its estimates is not positive semi-definite']),
    (JOINT, fit_record(names=('kmac', 'q-in')), [
        'line 3, uncertainty.from_fit.kmac: is neither a run input nor a model constant of digestra-cli; did you mean km_ac?',
        'line 3, uncertainty.from_fit: fit.json: q-in is not a model constant']),
    (JOINT + 'series = ["bogus", "R2.pH"]\n[uncertainty.parameters]\nkdis = { dist = "uniform", min = 0.1, max = 1 }\n',
     fit_record(), ['line 6, uncertainty.parameters.kdis: is also drawn from the fit (fit.json): give it one way',
                    'line 4, uncertainty.series: "bogus" is not a series of a run',
                    'line 4, uncertainty.series: "R2.pH": config ssad has one reactor']),
    (JOINT, fit_record(errors=(10, 0.05)), ['line 3, uncertainty.from_fit.km_ac: model parameter km_ac = -',
                                           "must be positive (a draw of the fit's estimate and covariance"]),
], ids=lambda value: value[:40] if isinstance(value, str) else None)
def test_constants_drawn_from_a_fit_are_refused_before_any_run_unless_the_fit_is_sound(tmp_path, text, record, problems):
    if record is not None:
        (tmp_path / 'fit.json').write_text(record)
    assert_refused(text, tmp_path, problems)


@pytest.mark.parametrize('text, columns, runs', [
    (SOBOL, ['S1', 'S1_low', 'S1_high', 'ST', 'ST_low', 'ST_high'], 8 * 4),
    (MORRIS, ['mu_star', 'mu', 'sigma'], 4 * 3),
])
def test_sensitivity_ranks_the_constant_that_moves_the_output(tmp_path, text, columns, runs):
    study = write_study(tmp_path, text)
    assert f'{runs} runs' in run_study(study, '--dry-run').stdout
    result = run_study(study, '--workers', '2')
    assert result.returncode == 0, result.stderr
    out = tmp_path / 'study'
    rows = [r for r in read_rows(out / 'indices.csv') if r['output'] == 'r1_final_gas_flow']
    assert list(rows[0]) == ['output', 'parameter', *columns]
    assert [r['parameter'] for r in rows] == ['km_ac', 'kdis']   # ranked: km_ac moves it 10 per unit
    assert len(list((out / 'runs').glob('[!.]*.json'))) <= runs and (out / 'report.html').is_file()


def test_uncertainty_gives_bands_per_reactor_and_percentiles_and_names_the_fit_it_drew_from(tmp_path):
    (tmp_path / 'fit.json').write_text(fit_record(names=('kdis',), errors=(0.05,), correlation=((1,),)))
    study = write_study(tmp_path, '[base]\nt-end = 1\nconfig = "tsad"\n[uncertainty]\nsamples = 6\nfrom_fit = "fit.json"\n'
                                  'series = ["R2.Ch4 %"]\n[uncertainty.parameters]\n'
                                  'km_ac = { dist = "triangular", min = 4, mode = 8, max = 12 }\n')
    result = run_study(study, '--workers', '2')
    assert result.returncode == 0, result.stderr
    out = tmp_path / 'study'
    assert {r['series'] for r in read_rows(out / 'bands.csv')} == {
        'R2.Ch4 %', *(f'{r}.{s}' for r in ('R1', 'R2') for s in ('gasflow', 'ch4_share', 'pH'))}   # the stand-in has no dry gas
    flow = {r['output']: r for r in read_rows(out / 'percentiles.csv')}['r1_final_gas_flow']
    assert flow['runs'] == '6' and float(flow['p5']) < float(flow['p50']) < float(flow['p95'])
    page = (out / 'report.html').read_text()
    for text in ('Bands over time', 'Dry normal gas flow, reactor 1 [Nm3/d]: no run gave this series',
                 hashlib.sha256((tmp_path / 'fit.json').read_bytes()).hexdigest(), 'kdis jointly from the fit'):
        assert text in page, text


def test_fit_on_a_scheduler_recovers_a_constant_and_writes_an_inputs_file(tmp_path, scheduler):
    (tmp_path / 'plant.csv').write_text(PLANT)   # the stand-in's gas flow with km_ac = 10
    study = write_study(tmp_path, FIT.replace('[fit]\n', 'q-in = 4\n[base.parameters]\nkdis = 0.5\n[fit]\n'))
    result = run_study(study, '--scheduler', scheduler)
    assert result.returncode == 0, result.stderr
    out = tmp_path / 'study'
    [row] = read_rows(out / 'fit.csv')
    assert row['start'] == '8.0'   # the constant's default, as digestra-cli lists it
    assert abs(float(row['estimate']) - 10) < 0.05 and float(row['ci_low']) < 10 < float(row['ci_high'])
    fitted = tomllib.loads((out / 'fitted.toml').read_text())
    assert fitted['q-in'] == 4 and fitted['parameters'] == {'kdis': 0.5, 'km_ac': pytest.approx(10, abs=0.05)}
    found = json.loads((out / 'fit.json').read_text())
    assert found['series']['gasflow']['held_out']['points'] == 1 and found['runs'] == len(list((out / 'runs').iterdir()))


@pytest.mark.parametrize('base, plant, reason', [
    ('x-c-in = 450\n', PLANT, 'runs not done'),
    ('', PLANT.replace('pH', 'normal_gasflow'), 'the fit failed: 3 of 7 fitted values were not predicted at the best '
                                                 'point (no run gave normal_gasflow)'),   # the stand-in has no gasflow_N
])
def test_a_fit_whose_runs_fail_or_miss_measurements_does_not_report_success(tmp_path, base, plant, reason):
    (tmp_path / 'plant.csv').write_text(plant)
    result = run_study(write_study(tmp_path, FIT.replace('[fit]\n', f'{base}[fit]\n')), '--workers', '1')
    assert result.returncode == 1 and reason in result.stderr, result.stderr


def test_ctrl_c_keeps_finished_runs_and_resume_runs_only_the_rest(tmp_path):
    study = write_study(tmp_path, SOBOL.replace('t-end = 1', 't-end = 60'))
    log, out = tmp_path / 'ran.log', tmp_path / 'study'
    runner = subprocess.Popen(study_command(study, '--workers', '2'), env={**os.environ, 'FAKE_LOG': str(log)},
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        wait_for(lambda: len(list((out / 'runs').glob('[!.]*.json'))) >= 2, 'two finished runs')
        runner.send_signal(signal.SIGINT)
        assert runner.wait(timeout=DEADLINE) == 130
    finally:
        stop_group(runner)
    kept = {p.stem for p in (out / 'runs').glob('[!.]*.json')}
    assert 2 <= len(kept) < 32 and not (out / 'indices.csv').exists()
    log.write_text('')
    resumed = run_study(study, '--workers', '2', '--resume', env={'FAKE_LOG': str(log)}, timeout=180)
    assert resumed.returncode == 0, resumed.stderr
    assert f'{len(kept)} runs finished before' in resumed.stderr
    ran = set(log.read_text().split())
    assert len(ran) == 32 - len(kept) and not ran & kept and (out / 'indices.csv').is_file()
