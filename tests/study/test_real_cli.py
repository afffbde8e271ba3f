"""Studies through the built digestra-cli, on a local cluster and on a real scheduler with two
workers: each scenario's row is the summary of a single run of the same inputs."""
import csv
import json
import os
import pathlib
import subprocess
import tomllib

import numpy as np
import pytest

from conftest import RUNNER, read_rows, run_study, write_study
from digestra_study import series, studyfile

CLI = os.environ['DIGESTRA_CLI']   # set by conftest


STUDY = '[base]\nt-end = 2\nph = "free"\n[sweep]\nconfig = ["ssad", "tsad"]\nv1 = [20, 40]\n'


def test_the_runners_declaration_is_digestra_clis():
    """The study runner checks study files against exported copies of `digestra-cli --describe` and
    `--list-parameters --json`."""
    described = subprocess.run([CLI, '--describe'], capture_output=True, text=True, timeout=60)
    assert described.returncode == 0, described.stderr
    assert json.loads(described.stdout) == studyfile.DECLARATION, \
        'run: build/cli/digestra-cli --describe > study/digestra_study/inputs.json'
    listed = subprocess.run([CLI, '--list-parameters', '--json'], capture_output=True, text=True, timeout=60)
    assert json.loads(listed.stdout) == studyfile.CONSTANTS, \
        'run: build/cli/digestra-cli --list-parameters --json > study/digestra_study/parameters.json'
    listed = subprocess.run([CLI, '--list-outputs', '--json'], capture_output=True, text=True, timeout=60)
    outputs = json.loads((pathlib.Path(studyfile.__file__).with_name('outputs.json')).read_text(encoding='utf-8'))
    assert json.loads(listed.stdout) == outputs, \
        'run: build/cli/digestra-cli --list-outputs --json > study/digestra_study/outputs.json'


@pytest.fixture(scope='module')
def single_runs(tmp_path_factory):
    """The summary of a single digestra-cli run of some inputs, each run once."""
    folder, known = tmp_path_factory.mktemp('single'), {}

    def summary(inputs):
        key = json.dumps(inputs, sort_keys=True)
        if key not in known:
            # A study runs the compiled engine unless it names another.
            options = [part for name, value in {'engine': 'compiled', **inputs}.items()
                       for part in (f'--{name}', str(value))]
            single = subprocess.run([CLI, *options, '--quiet', '--out', 'w.xlsx', '--summary', 's.json'],
                                    cwd=folder, capture_output=True, text=True, timeout=300)
            assert single.returncode == 0, single.stderr
            known[key] = json.loads((folder / 's.json').read_text())
        return known[key]
    return summary


@pytest.mark.parametrize('cluster', ['local', 'scheduler'])
def test_study_summaries_equal_single_runs(tmp_path, request, single_runs, cluster):
    where = ['--workers', '2'] if cluster == 'local' else ['--scheduler', request.getfixturevalue('scheduler')]
    result = run_study(write_study(tmp_path, STUDY), *where, cli=CLI, timeout=300)
    assert result.returncode == 0, result.stderr
    out = tmp_path / 'study'
    rows = {row['scenario']: row for row in read_rows(out / 'summary.csv')}
    assert sorted((r['config'], r['v1 [m3]'], r['status']) for r in rows.values()) == [
        ('ssad', '20', 'done'), ('ssad', '40', 'done'), ('tsad', '20', 'done'), ('tsad', '40', 'done')]
    for folder in (out / 'scenarios').iterdir():
        record = json.loads((folder / 'summary.json').read_text())
        expected = single_runs(record['inputs'])
        assert record['summary'] == expected
        row = rows[folder.name]
        for value in expected['values']:  # a value that does not apply (a 2-day yield) is empty
            cell = row[f'{value["key"]} [{value["unit"]}]']
            assert (float(cell) if cell else None) == value['value']
    # Reactor 2's columns come between reactor 1's and the whole-run values, whichever scenario
    # finished first.
    header = list(next(iter(rows.values())))
    assert header.index('r1_normal_methane [Nm3]') < header.index('r2_final_gas_flow [m3/d]') \
        < header.index('r2_normal_methane [Nm3]') < header.index('organic_loading_rate [kgCOD/(m3·d)]')


def test_the_study_runner_has_the_programs_version():
    expected = subprocess.run([CLI, '--version'], capture_output=True, text=True, timeout=60).stdout.split()[-1]
    answer = subprocess.run(['/usr/bin/python3', str(RUNNER), '--version', '--cli', CLI], capture_output=True,
                            text=True, timeout=60)
    assert answer.returncode == 0 and answer.stdout == f'digestra-study {expected}\n'


def test_a_fit_recovers_a_constant_from_digestra_clis_own_series_and_writes_inputs_it_opens(tmp_path):
    """Synthetic recovery in small: km_ac fitted from 50 % off to 10 days of gas flow and acetate
    that digestra-cli computed with km_ac = 3, sampled daily with 2 % noise (fixed seed), lands within
    5 % of 3 with 3 inside its 95 % interval. The run's CSV columns and units are what the fit reads,
    and fitted.toml runs again with --inputs; the report draws the base run's feed."""
    made = subprocess.run([CLI, '--t-end', '10', '--engine', 'native', '--param', 'km_ac=3', '--quiet', '--out', 'w.xlsx',
                           '--csv', 'run.csv'], cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert made.returncode == 0, made.stderr
    rows = list(csv.reader((tmp_path / 'run.csv').open()))
    columns = [rows[0].index(name) for name in ('gasflow', 'S_ac')]
    run = np.array(rows[2:], dtype=float)
    days = np.arange(1, 11)
    noise = np.random.default_rng(1)
    measured = [np.interp(days, run[:, 0], run[:, c]) * (1 + 0.02 * noise.standard_normal(len(days))) for c in columns]
    (tmp_path / 'plant.csv').write_text(f'day,gasflow {rows[1][columns[0]]},S_ac {rows[1][columns[1]]}\n' +
                                        ''.join(f'{d},{f!r},{a!r}\n' for d, f, a in zip(days, *measured)))
    study = write_study(tmp_path, '[base]\nt-end = 10\nengine = "native"\n[fit]\nmeasurements = "plant.csv"\n'
                                  'max_runs = 40\n[fit.parameters]\nkm_ac = { min = 1, max = 20, start = 4.5 }\n')
    result = run_study(study, '--workers', '2', cli=CLI, timeout=300)
    assert result.returncode == 0, result.stderr
    [fitted] = read_rows(tmp_path / 'study' / 'fit.csv')
    assert abs(float(fitted['estimate']) / 3 - 1) < 0.05 and float(fitted['ci_low']) <= 3 <= float(fitted['ci_high']), fitted
    assert (tmp_path / 'study' / 'plots' / 'gas-and-feed.png').is_file()   # the feed as digestra-cli lists it
    again = subprocess.run([CLI, '--inputs', str(tmp_path / 'study' / 'fitted.toml'), '--quiet', '--out', 'again.xlsx'],
                           cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert again.returncode == 0, again.stderr


def test_a_fit_to_daily_means_by_date_recovers_two_constants(tmp_path):
    """km_ac and kdis fitted from their defaults to the daily means of gas flow and CH4 share that
    digestra-cli computed with km_ac = 5 and kdis = 0.3 over 20 days (trapezoid rule over its rows,
    no noise), dated from 2026-03-01 with gaps and the last on day 20 = t-end, land within 2 %. The
    series the fit knows are the columns of digestra-cli's CSV."""
    made = subprocess.run([CLI, '--t-end', '20', '--engine', 'native', '--param', 'km_ac=5', '--param', 'kdis=0.3',
                           '--quiet', '--out', 'w.xlsx', '--csv', 'run.csv'], cwd=tmp_path, capture_output=True, text=True,
                          timeout=300)
    assert made.returncode == 0, made.stderr
    rows = list(csv.reader((tmp_path / 'run.csv').open()))
    assert rows[0] == ['t', *series.COLUMNS]
    run = np.array(rows[2:], dtype=float)
    lines = []
    for day in [1, 2, 3, 5, 6, 9, 10, 11, 14, 15, 17, 18, 19, 20]:
        span = (run[:, 0] > day - 1.01) & (run[:, 0] < day + 0.01)
        means = [np.trapz(run[span, rows[0].index(column)], run[span, 0]) for column in ('gasflow', 'Ch4 %')]
        lines.append(f'2026-03-{1 + day:02d},{means[0]!r},{means[1]!r}\n')
    (tmp_path / 'plant.csv').write_text('date,gasflow [m3/d],ch4_share [%]\n' + ''.join(lines))
    study = write_study(tmp_path, '[base]\nt-end = 20\nengine = "native"\n[fit]\nmeasurements = "plant.csv"\n'
                                  'start = 2026-03-01\naggregate = { gasflow = "daily_mean", ch4_share = "daily_mean" }\n'
                                  'max_runs = 90\n[fit.parameters]\nkm_ac = { min = 1, max = 20 }\n'
                                  'kdis = { min = 0.05, max = 2 }\n')
    result = run_study(study, '--workers', '2', cli=CLI, timeout=300)
    assert result.returncode == 0, result.stderr
    found = {row['parameter']: float(row['estimate']) for row in read_rows(tmp_path / 'study' / 'fit.csv')}
    assert found == {'km_ac': pytest.approx(5, rel=0.02), 'kdis': pytest.approx(0.3, rel=0.02)}, found


def test_a_sobol_study_gives_a_negligible_range_no_index_and_the_same_numbers_on_one_worker_and_two(tmp_path):
    """khyd_li varied over a millionth of its value moves the outputs only by the solver's noise:
    its ST is that noise over the output's variance, (noise / sd)^2, about 1e-5 for the final gas
    flow of a 1-day run (1e-11 for VFA), against about 1 for km_ac (above 0.5 with 16 samples). 1e-3
    leaves a fiftyfold margin. (Methane summed over one day is left out: there the solver's noise is
    as large as km_ac's effect.)"""
    study = write_study(tmp_path, '[base]\nt-end = 1\nengine = "native"\n[sensitivity]\nmethod = "sobol"\nsamples = 16\n'
                                  'seed = 5\noutputs = ["r1_final_vfa", "r1_final_gas_flow"]\n[sensitivity.parameters]\n'
                                  'km_ac = { dist = "uniform", min = 4, max = 12 }\n'
                                  'khyd_li = { dist = "uniform", min = 10, max = 10.00001 }\n')
    found = {}
    for workers in (1, 2):
        result = run_study(study, '--workers', str(workers), '--out', str(tmp_path / f'w{workers}'), cli=CLI, timeout=300)
        assert result.returncode == 0, result.stderr
        out = tmp_path / f'w{workers}'
        indices = json.loads((out / 'indices.json').read_text())
        assert indices.pop('about')['runs'] == 64
        assert indices.pop('setup')['program'].startswith('digestra-cli ')   # and the date, which differs
        found[workers] = (out / 'indices.csv').read_bytes(), indices
    assert found[1] == found[2]
    rows = read_rows(tmp_path / 'w1' / 'indices.csv')
    assert [(r['output'], r['parameter']) for r in rows] == [
        (output, name) for output in ('r1_final_vfa', 'r1_final_gas_flow') for name in ('km_ac', 'khyd_li')]
    for matters, negligible in zip(rows[::2], rows[1::2]):
        assert float(matters['ST']) > 0.5 and 0 <= float(negligible['ST']) < 1e-3, (matters, negligible)


def test_a_fit_estimates_a_substrate_s_degradable_share_checked_against_its_file_first(tmp_path):
    """Maize silage's degradable share fitted from 0.55 to 15 days of gas flow that digestra-cli
    computed with 0.7 lands within 2 % of it, and fitted.toml records it; a substrate given by
    components cannot vary a lab value, refused with its line before any run."""
    library = pathlib.Path(__file__).parents[2] / 'studies' / 'feeds' / 'substrates.toml'
    (tmp_path / 'mix.csv').write_text('day,maize_silage [t/d],cattle_manure [t/d]\n0,0.15,0.4\n')
    feed = ['--feed', 'mix.csv', '--substrates', str(library)]
    made = subprocess.run([CLI, '--t-end', '15', *feed, '--substrate-value', 'maize_silage.degradable_share=0.7',
                           '--quiet', '--out', 'w.xlsx', '--csv', 'run.csv'], cwd=tmp_path, capture_output=True, text=True,
                          timeout=300)
    assert made.returncode == 0, made.stderr
    rows = list(csv.reader((tmp_path / 'run.csv').open()))
    run = np.array(rows[2:], dtype=float)
    days = np.arange(1, 16)
    flow = np.interp(days, run[:, 0], run[:, rows[0].index('gasflow')])
    (tmp_path / 'plant.csv').write_text(f'day,gasflow {rows[1][1]}\n' + ''.join(f'{d},{f!r}\n' for d, f in zip(days, flow)))
    base = f'[base]\nt-end = 15\nfeed = "mix.csv"\nsubstrates = "{library}"\n'
    bad = write_study(tmp_path, base + '[fit]\nmeasurements = "plant.csv"\n[fit.parameters]\n'
                                       'substrates.bsm2_sludge.BMP = { min = 0.2, max = 0.3 }\n')
    refused = run_study(bad, cli=CLI, timeout=120)
    assert refused.returncode != 0 and 'line 8, fit.parameters.substrates.bsm2_sludge.BMP: ' in refused.stderr and 'not lab values' in refused.stderr, refused.stderr
    study = write_study(tmp_path, base + '[fit]\nmeasurements = "plant.csv"\nmax_runs = 30\n[fit.parameters]\n'
                                         'substrates.maize_silage.degradable_share = { min = 0.5, max = 0.9, start = 0.55 }\n')
    result = run_study(study, '--workers', '2', cli=CLI, timeout=300)
    assert result.returncode == 0, result.stderr
    [fitted] = read_rows(tmp_path / 'study' / 'fit.csv')
    assert abs(float(fitted['estimate']) / 0.7 - 1) < 0.02, fitted
    recorded = tomllib.loads((tmp_path / 'study' / 'fitted.toml').read_text())
    assert recorded['substrate-values'] == {'maize_silage.degradable_share': pytest.approx(0.7, rel=0.02)}, recorded
    again = subprocess.run([CLI, '--inputs', str(tmp_path / 'study' / 'fitted.toml'), '--quiet', '--out', 'again.xlsx',
                            '--csv', 'again.csv'], cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert again.returncode == 0, again.stderr


@pytest.mark.parametrize('base, problem', [
    ('feed = "feed.csv"\nq-in = 5', 'line 3, q-in: does not apply with feed'),
    ('substrates = "feed.csv"', 'line 2, substrates: goes with feed'),
    ('feed = "missing.csv"', 'line 2, feed: missing.csv: '),
    ('config = "tpad"\nq-in = 0', 'line 3, q-in: must be greater than 0 for config tpad'),
    ('[base.parameters]\nY_ac = 2', 'line 3, parameters.Y_ac: model parameter Y_ac = 2 must be from 0 to 1'),
])
def test_digestra_cli_checks_every_scenario_before_any_run(tmp_path, base, problem):
    (tmp_path / 'feed.csv').write_text('day,Q_in,X_c_in\n0,5,10\n')
    result = run_study(write_study(tmp_path, f'[base]\n{base}\n[sweep]\nparameters.km_su = [-1, 4]\n'), '--dry-run',
                       cli=CLI, timeout=60)
    assert result.returncode == 2 and not result.stdout, result.stderr
    assert problem in result.stderr and 'parameters.km_su: model parameter km_su = -1' in result.stderr, result.stderr
