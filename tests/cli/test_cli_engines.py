"""The compiled engine (the whole run in C++) against the scripts' own integration, through batch
lines of digestra-cli: every configuration in both pH modes, a daily and an hourly feed schedule; and
against the models' plain transcriptions (tests/models) in every configuration and pH mode."""
import csv
import json
import math
import os
import pathlib
import subprocess
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / 'models'))
import harness  # noqa: E402
import reference_ssad  # noqa: E402
import reference_tsad_tpad  # noqa: E402
import runs_pomp  # noqa: E402
import runs_tsad_tpad  # noqa: E402

CLI = os.environ['DIGESTRA_CLI']   # set by conftest


STATES = ('S_su S_aa S_fa S_va S_bu S_pro S_ac S_h2 S_ch4 S_IC S_IN S_I X_c X_ch X_pr X_li X_su X_aa X_fa X_c4 '
          'X_pro X_ac X_h2 X_I S_cat S_an S_h2_g S_ch4_g S_co2_g').split()
PUBLISHED = ('gasflow', 'Ch4 %', 'pH')


def schedule(folder, per_day, days):
    """A feed that changes per_day times a day, its flow and composites swinging around the defaults."""
    rows = [(i / per_day, 5.31 * (1 + 0.3 * math.sin(2 * math.pi * i / per_day / 1.7)),
             10 + 2 * math.cos(2 * math.pi * i / per_day / 2.3)) for i in range(per_day * days)]
    (folder / 'feed.csv').write_text('day,Q_in,X_c_in\n' + ''.join(f'{d!r},{q!r},{x!r}\n' for d, q, x in rows))
    return {'feed': 'feed.csv'}


CASES = [(config, ph, 2, None) for config in ('ssad', 'tsad', 'tpad', 'pomp') for ph in ('free', 7.2)] + [
    ('ssad', 'free', 5, 1), ('ssad', 'free', 2, 24)]


def columns(path):
    with open(path, newline='') as f:
        rows = list(csv.reader(f))
    return {name: [float(v) for v in values] for name, *values in zip(rows[0], *rows[2:])}


def quantity(name):
    """A column's quantity without the reactor ("R2 pH" is pH)."""
    return name[3:] if name[:3] in ('R1 ', 'R2 ') else name


def misses(found, expected):
    """(column, row, relative deviation) of each value of `found` beyond the tolerance about `expected`'s:
    times within 1e-12, states within 1e-4 relative or 1e-10 absolute, gas flow, CH4 share and pH
    within 1e-4 relative (the gas flow 2e-4: two-stage, free pH, day 1.8, both reactors 1.7e-4 and 1.3e-4
    from the scripts under the exact pH solver), but the gas flow in a reactor's first row with gas
    within 1e-3. That row lies
    in the headspace's start-up transient, where the scripts' integration (and the transcriptions')
    misses a run at relative tolerance 1e-10 by up to 5e-4 and the compiled engine by 7e-4 at most
    (measured: two-stage free pH, reactor 1 on day 1, scripts 3.3e-4, compiled 6.6e-4; single-stage
    at pH 7.2 and 308.15 K on day 0.1, scripts 2.4e-4, compiled 2.5e-7; pump-mixed free pH on day 0.1,
    scripts 2.8e-4, compiled 2e-7)."""
    missed = []
    for name, values in expected.items():
        q = quantity(name)
        if q not in ('t', *STATES, *PUBLISHED):
            continue
        relative = 1e-12 if q == 't' else 2e-4 if q == 'gasflow' else 1e-4
        absolute = 1e-10 if q in STATES else 0.0
        first_gas = next((row for row, y in enumerate(values) if y > 0), None) if q == 'gasflow' else None
        missed += [(name, row, abs(x - y) / abs(y) if y else math.inf)
                   for row, (x, y) in enumerate(zip(found[name], values))
                   if abs(x - y) > max((1e-3 if row == first_gas else relative) * abs(y), absolute)]
    return missed


def worst(missed):
    name, row, deviation = max(missed, key=lambda m: m[2])
    return f'{len(missed)} values beyond the tolerance, the worst {name} in row {row}: {deviation:.2g} relative'


def batch(folder, lines):
    """The answers of digestra-cli --batch to `lines`, each of which must be done."""
    result = subprocess.run([CLI, '--batch'], input=''.join(json.dumps(s) + '\n' for s in lines), cwd=folder,
                            capture_output=True, text=True, timeout=600)
    answers = [json.loads(answer) for answer in result.stdout.splitlines()]
    assert [a['status'] for a in answers] == ['done'] * len(lines), result.stderr
    return answers


@pytest.mark.parametrize('config, ph, days, per_day', CASES)
def test_the_compiled_engine_agrees_with_the_scripts(tmp_path, config, ph, days, per_day):
    line = {'config': config, 'ph': ph, 't-end': days, **(schedule(tmp_path, per_day, days) if per_day else {})}
    answers = batch(tmp_path, [{**line, 'engine': e, 'csv': e + '.csv'} for e in ('scripts', 'compiled')])
    assert [a['summary']['engine'] for a in answers] == ['scripts', 'compiled']
    scripts, compiled = columns(tmp_path / 'scripts.csv'), columns(tmp_path / 'compiled.csv')
    assert compiled.keys() == scripts.keys()
    missed = misses(compiled, scripts)
    assert not missed, worst(missed)


# The transcriptions' inputs by digestra-cli's names: the input pages' defaults in 33 m3 reactors at
# 35 degrees C and 1.013 bar, and each configuration's own.
INPUTS = {'q-in': 'final_Q_in', 'x-c-in': 'X_c_in', 'f-pr': 'f_pr_xc', 'f-li': 'f_li_xc', 'f-ch': 'f_ch_xc',
          't1': 'T_1', 'p1': 'P_atm1', 'v1': 'V_t1'}
OWN_INPUTS = {'ssad': {}, 'tsad': {'p2': 'P_atm2', 'v2': 'V_t2'},
              'tpad': {'t2': 'T_2', 'p2': 'P_atm2', 'v2': 'V_t2', 't-sr': 't_sr'}, 'pomp': {'mix-i': 'mix_i'}}
ARGS = dict(runs_tsad_tpad.DEFAULT_ARGS, **runs_pomp.POMP_ARGS)
runs_tsad_tpad.load('module_tsad.py')   # the two-reactor transcription takes the scripts' pH solver
TRANSCRIPTIONS = {
    'ssad': lambda days, **a: harness.run_ssad(vars(reference_ssad), days, **a),
    'tsad': lambda days, **a: runs_tsad_tpad.run_tsad(reference_tsad_tpad.run_tsad, days, **a),
    'tpad': lambda days, **a: runs_tsad_tpad.run_tpad(reference_tsad_tpad.run_tpad, days, **a),
    'pomp': lambda days, **a: runs_pomp.run_pomp(runs_pomp.reference(), days, **a),
}
TRANSCRIBED_DAYS = 5
@pytest.mark.parametrize('config, ph', [(config, ph) for config in TRANSCRIPTIONS for ph in ('free', 7.2)])
def test_the_compiled_engine_agrees_with_the_transcriptions(tmp_path, config, ph):
    names = {**INPUTS, **OWN_INPUTS[config]}
    batch(tmp_path, [{'config': config, 'ph': ph, 't-end': TRANSCRIBED_DAYS, 'engine': 'compiled', 'csv': 'c.csv',
                      **{key: ARGS[name] for key, name in names.items()}}])
    compiled = columns(tmp_path / 'c.csv')
    table = TRANSCRIPTIONS[config](TRANSCRIBED_DAYS, ph_mode=1 if ph == 'free' else 0,
                                   S_h_ion_manual=10 ** -(7 if ph == 'free' else ph),
                                   **{name: ARGS[name] for name in names.values()})
    transcribed = dict(zip(compiled, table.T))   # the table's columns are the CSV's first
    missed = misses(compiled, transcribed)
    assert not missed, worst(missed)


# Inputs that end a run each way, some on which the engines used to end apart: the compiled engine
# stopped a run of 0.3 d a row short, and failed where the others stopped early (a quantity the model
# cannot compute at a state its integrator tries). Every engine ends each the same way.
ENDINGS = [
    ({'t-end': 0.3}, 'done'),
    ({'q-in': 500, 'ph': 'free', 'ph-solver': 'damped', 't-end': 2}, 'stopped early'),
    ({'config': 'pomp', 'q-in': 1e-100, 't-end': 2}, 'not numbers'),
    ({'config': 'pomp', 'mix-i': 1e308, 't-end': 1}, 'failed'),
]


@pytest.mark.parametrize('engine', ['scripts', 'native', 'compiled'])
def test_every_engine_ends_the_same_inputs_the_same_way(tmp_path, engine):
    lines = ''.join(json.dumps({**line, 'engine': engine}) + '\n' for line, _ in ENDINGS)
    result = subprocess.run([CLI, '--batch'], input=lines, cwd=tmp_path, capture_output=True, text=True, timeout=600)
    answers = [json.loads(answer) for answer in result.stdout.splitlines()]
    assert [a['status'] for a in answers] == [status for _, status in ENDINGS], answers


# Where the integrators themselves part: LSODA gives up at a first step where CVODE steps on into
# negative states (k_p: its CH4 share 100.01 % on day 0.2), so the compiled engine ends "not numbers"
# where the others stop early.
@pytest.mark.parametrize('parameters', [{'k_p': 1e12}, {'km_c4': 1e300}])
@pytest.mark.parametrize('engine', ['scripts', 'native', pytest.param('compiled', marks=pytest.mark.xfail(
    strict=True, reason='CVODE steps into negative states where LSODA stops'))])
def test_a_stiff_extreme_stops_early_on_every_engine(tmp_path, engine, parameters):
    line = {'parameters': parameters, 'ph': 'free', 't-end': 2, 'engine': engine}
    result = subprocess.run([CLI, '--batch'], input=json.dumps(line) + '\n', cwd=tmp_path, capture_output=True,
                            text=True, timeout=600)
    assert json.loads(result.stdout)['status'] == 'stopped early'


@pytest.mark.parametrize('config', ['ssad', 'tsad', 'tpad'])
def test_every_engine_publishes_rows_at_their_charge_balance(tmp_path, config):
    # Each row's pH is the root of the charge balance of the row's own state within 1e-8, on every
    # engine; the damped solver of earlier versions ends short of it.
    names = harness.load()['RESULT_COLUMNS']
    lines = [{'config': config, 'ph': 'free', 't-end': 3, 'engine': e, 'csv': e + '.csv'}
             for e in ('scripts', 'native', 'compiled')]
    batch(tmp_path, lines + [{**lines[0], 'ph-solver': 'damped', 'csv': 'damped.csv'}])
    for name in ('scripts', 'native', 'compiled', 'damped'):
        table = list(columns(tmp_path / (name + '.csv')).values())   # the result columns first, per reactor
        rows = [dict(zip(names, [c[i] for c in table[o:o + len(names)]]))
                for i in range(1, len(table[0])) for o in range(0, len(names) * (1 if config == 'ssad' else 2), len(names))]
        missed = harness.balance_misses(rows)
        assert bool(missed) == (name == 'damped'), (name, missed[:3])
