"""The run summary of digestra-cli, recomputed here from the run's own CSV and compared with
the --summary JSON and the workbook's "SUMMARY" sheet, both read back independently."""
import csv
import json
import math
import re

import openpyxl
import pytest

from test_cli_runs import batch_answers, run


def columns(path, prefix):
    with open(path, newline='') as f:
        rows = list(csv.reader(f))
    headers, table = rows[0], [[float(v) for v in r] for r in rows[2:]]
    return {h[len(prefix):]: [r[i] for r in table] for i, h in enumerate(headers) if h.startswith(prefix)}


def trapezoid(t, y):
    return sum((t[i] - t[i - 1]) * (y[i] + y[i - 1]) / 2 for i in range(1, len(t)))


def expected(c):
    """The summary's reactor values from one reactor's columns of the CSV."""
    methane_flow = [q * s / 100 for q, s in zip(c['gasflow_N'], c['Ch4 %'])]
    return {'final_gas_flow': c['gasflow'][-1], 'final_normal_gas_flow': c['gasflow_N'][-1],
            'peak_gas_flow': max(c['gasflow']), 'final_ch4': c['Ch4 %'][-1], 'final_co2': c['CO2 %'][-1],
            'final_h2': c['H2 %'][-1], 'final_ph': c['pH'][-1],
            'final_vfa': sum(c[k][-1] for k in ('S_va', 'S_bu', 'S_pro', 'S_ac')),
            'final_free_ammonia': c['S_nh3'][-1], 'normal_biogas': trapezoid(c['t'], c['gasflow_N']),
            'normal_methane': trapezoid(c['t'], methane_flow)}


@pytest.mark.parametrize('config, volume', [('ssad', 33), ('tsad', 66)])
def test_summary_agrees_with_the_table_in_json_and_workbook(tmp_path, config, volume):
    result = run(tmp_path, '--config', config, '--t-end', '10', '--q-in', '4', '--x-c-in', '12',
                 '--csv', 'r.csv', '--summary', 's.json', '--out', 'w.xlsx')
    assert result.returncode == 0, result.stderr
    assert 'Summary of the' in result.stderr and 's.json' in result.stdout

    summary = json.loads((tmp_path / 's.json').read_text())
    assert summary['configuration'] == config and summary['not_numbers'] == [] and not summary['stopped_early']
    values = {v['key']: v for v in summary['values']}
    reactors = [('r1_', 'R1 ' if config == 'tsad' else ''), ('r2_', 'R2 ')][:2 if config == 'tsad' else 1]
    want = {}
    for key_prefix, csv_prefix in reactors:
        want.update({key_prefix + k: v for k, v in expected(columns(tmp_path / 'r.csv', csv_prefix)).items()})
    # The built-in ramp's rows of days 0 to 9, a day each, into the liquid (28 of every 33 m3).
    days = 10
    ramp = [4 * (0.01875 * d + 0.25) * 12 for d in range(days)]
    fed = sum(ramp)
    liquid = volume * 28 / 33
    want['organic_loading_rate'] = ramp[-1] / liquid
    want['mean_organic_loading_rate'] = fed / days / liquid
    want['specific_methane_yield'] = sum(want[p + 'normal_methane'] for p, _ in reactors) / fed
    # The operator's values follow; the dry gas is the wet gas without its water vapour.
    assert list(values)[:len(want)] == list(want)
    fed_by_substrates = ['fresh_mass_fed', 'total_solids_fed', 'volatile_solids_fed', 'volatile_solids_loading_rate',
                         'specific_methane_yield_vs']  # none without a schedule of substrates
    assert list(values)[len(want):len(want) + len(fed_by_substrates)] == fed_by_substrates
    assert all(values[key]['value'] is None for key in fed_by_substrates)
    for key_prefix, csv_prefix in reactors:
        c = columns(tmp_path / 'r.csv', csv_prefix)
        dry = [100 - w for w in c['H2O %']]
        assert c['Ch4 dry %'] == pytest.approx([v * 100 / d for v, d in zip(c['Ch4 %'], dry)], rel=1e-12)
        assert all(math.isclose(sum(v), 100, rel_tol=1e-9) for v in zip(c['Ch4 dry %'], c['CO2 dry %'], c['H2 dry %'])
                   if sum(v) > 0)
        want[key_prefix + 'final_ch4_dry'] = c['Ch4 dry %'][-1]
        want[key_prefix + 'final_normal_dry_gas_flow'] = c['gasflow_N'][-1] * dry[-1] / 100
    for key, value in want.items():
        assert math.isclose(values[key]['value'], value, rel_tol=1e-9), key

    sheet = openpyxl.load_workbook(tmp_path / 'w.xlsx', read_only=True)['SUMMARY']
    cells = [v for row in sheet.iter_rows(values_only=True) for v in row if isinstance(v, (int, float))]
    assert all(any(math.isclose(c, v['value'], rel_tol=1e-12) for c in cells) for v in summary['values'] if v['value'] is not None)


def test_not_numbers_have_a_status_of_their_own_and_are_named(tmp_path):
    result = run(tmp_path, '--config', 'pomp', '--t-end', '2', '--q-in', '1e-100', '--out', 'w.xlsx',
                 '--summary', 's.json')
    assert result.returncode == 4, result.stderr
    assert 'not numbers, first at day' in result.stderr
    assert json.loads((tmp_path / 's.json').read_text())['not_numbers']
    notes = next(openpyxl.load_workbook(tmp_path / 'w.xlsx', read_only=True)['SUMMARY'].iter_rows(values_only=True))
    assert 'not numbers' in notes[0]


def test_impossible_results_are_not_a_success_and_a_run_without_feed_is_one(tmp_path):
    batch, answers = batch_answers(tmp_path, [
        # A feed far beyond what the digester takes drives the CO2 share below 0 while no gas flows.
        {'id': 1, 'q-in': 1000, 't-end': 3, 'ph': 7, 'out': 'w.xlsx'},
        {'id': 2, 'q-in': 0, 't-end': 1}, {'id': 3, 'x-c-in': 0, 't-end': 1}])
    assert (answers[0]['status'], answers[0]['exit']) == ('not numbers', 4), batch.stderr
    assert re.fullmatch(r'the results hold physically impossible values, first at day [0-9.]+ in "CO2 %" of reactor 1 '
                        r'\(-[0-9.e-]+\); the files are written and marked', answers[0]['message']), answers[0]['message']
    notes = next(openpyxl.load_workbook(tmp_path / 'w.xlsx', read_only=True)['SUMMARY'].iter_rows(values_only=True))
    assert notes[0].startswith('Physically impossible values, first at day'), notes
    for answer in answers[1:]:
        assert (answer['status'], answer['message'], answer['summary']['not_numbers']) == ('done', '', [])
        assert {v['key']: v for v in answer['summary']['values']}['specific_methane_yield'] == {
            'key': 'specific_methane_yield', 'label': 'Specific methane yield',
                                                   'value': None, 'unit': 'Nm3/kgCOD', 'note': 'not applicable (no feed)'}
