"""Two-stage model: two digesters in series, reactor 2 fed with reactor 1's liquid."""
import warnings

import numpy as np
import pytest

import harness
import reference_tsad_tpad
from harness import Cancel, Progress
from runs_tsad_tpad import DEFAULT_ARGS, load, perturbed_two_reactor_state, run_tpad, run_tsad

LIQUID = 24


@pytest.fixture
def tsad():
    return load('module_tsad.py')


@pytest.fixture
def ssad():
    return harness.load('module_ssad.py')


# ---- the optimised script against the plain transcription

@pytest.mark.parametrize('ph_mode, ph_solver', harness.PH_CASES)
def test_table_is_bit_identical_to_the_plain_transcription(tsad, ph_mode, ph_solver):
    changes = dict(P_atm1=1.2, V_t2=20.0, final_Q_in=8.0)
    solver = dict(ph_solver=ph_solver)
    table = run_tsad(tsad['MyFunc'], 3.0, ph_mode=ph_mode, keywords=solver, **changes)
    reference = run_tsad(reference_tsad_tpad.run_tsad, 3.0, ph_mode=ph_mode, keywords=solver, **changes)
    assert table.dtype == np.float64 and table.shape == reference.shape == (31, 100)
    assert np.array_equal(table, reference)
    assert tsad['rhs_evaluations'] == reference_tsad_tpad.rhs_evaluations > 0


# ---- right-hand side

def test_reactor_1_is_the_single_stage_digester(tsad, ssad):
    # Same feed, volume, vent pressure and temperature: reactor 1's derivatives and published values are
    # the single-stage digester's, bit for bit, whatever reactor 2 holds, on every day of the feed ramp
    # and after it (the day boundaries included).
    run_tsad(tsad['MyFunc'], 0.0, ph_mode=1, V_t2=50.0, P_atm2=1.5)
    harness.run_ssad(ssad, 0.0, ph_mode=1, V_t1=DEFAULT_ARGS['V_t1'])
    y = perturbed_two_reactor_state(tsad)
    for t in (0.0, 1.0, 1.0001, 12.3, 40.0, 40.2):
        # The free pH starts from the last root: both from the same start.
        tsad['start_ph_solver']('exact')
        ssad['start_ph_solver']('exact')
        dy = tsad['tank'](t, y)
        assert np.array_equal(dy[:29], ssad['tank'](t, y[:29])), t
        assert dy[29] == 0
        for name in ('gasflow', 'P_headspace', 'p_ch4', 'p_co2', 'p_h2', 'p_h2o', 'pH', 'S_co2', 'S_nh3',
                     'S_ac_ion', 'S_bu_ion', 'S_hco3_ion', 'S_nh4_ion', 'S_oh_ion', 'S_pro_ion', 'S_va_ion'):
            assert tsad[name + '_temp'] == ssad[name], name
        assert tsad['S_h_ion'] == ssad['S_h_ion']


def test_reactor_2_takes_reactor_1s_liquid_and_vents_on_its_own(tsad, ssad):
    # The single-stage digester with reactor 2's volume and vent pressure has reactor 2's kinetics but
    # receives the feed instead of reactor 1's liquid.
    run_tsad(tsad['MyFunc'], 0.0, ph_mode=1, V_t2=50.0, P_atm2=1.02)
    harness.run_ssad(ssad, 0.0, ph_mode=1, V_t1=50.0, P_atm1=1.02)
    y = perturbed_two_reactor_state(tsad)
    y1, y2 = y[:29], y[30:]
    dy2 = tsad['tank'](12.3, y)[30:]
    ssad['_last_S_H'] = tsad['S_h_ion']  # reactor 2's free pH starts from reactor 1's root
    single = ssad['tank'](12.3, y2)
    names = tsad['STATE_NAMES']
    D2 = harness.DEFAULT_ARGS['final_Q_in'] * (0.01875 * 12 + 0.25) / (28 / 33 * 50.0)
    inflow = dict(zip(names[:LIQUID], y1[:LIQUID]))
    inflow['X_c'] -= harness.DEFAULT_ARGS['X_c_in']
    # Cations follow reactor 1's inorganic carbon (not the feed's 0.035 alone), anions its nitrogen.
    inflow.update(S_cat=y1[names.index('S_IC')], S_an=y1[names.index('S_IN')], S_h2_g=0, S_ch4_g=0,
                  S_co2_g=0)
    expected = single + D2 * np.array([inflow[name] for name in names])
    assert dy2 == pytest.approx(expected, rel=1e-9, abs=1e-15)
    for name in ('gasflow', 'P_headspace', 'p_ch4', 'p_co2', 'p_h2', 'pH', 'S_co2', 'S_nh3', 'S_hco3_ion'):
        assert tsad[name] == ssad[name], name
    assert tsad['S_h_ion_2'] == ssad['S_h_ion']


# ---- the run

def test_row_zero_shows_equal_blocks_and_the_reactors_differ_afterwards(tsad):
    # Equal geometry and vent pressures: reactor 2 still differs, as it is fed reactor 1's effluent.
    table = run_tsad(tsad['MyFunc'], 0.2, ph_mode=1, S_h_ion_manual=10 ** -6.5)
    assert table.shape == (3, 100)
    assert np.array_equal(table[0, :50], table[0, 50:])
    row = dict(zip(tsad['RESULT_COLUMNS'], table[0, :50]))
    assert row['pH'] == 6.5 and row['S_h_ion'] == 10 ** -6.5 and row['t'] == 0
    initial = dict(zip(tsad['STATE_NAMES'], tsad['INITIAL_STATE']))
    assert all(row[name] == value for name, value in initial.items())
    assert row['gasflow'] == row['COD_Tot'] == row['S_co2'] == row['S_nh4_ion'] == 0
    for later in table[1:]:
        assert later[0] == later[50] > 0
        assert (later[11:42] != later[61:92]).sum() > 25


def test_rows_report_each_reactors_latest_evaluation(tsad):
    table = run_tsad(tsad['MyFunc'], 0.15, ph_mode=1, P_atm1=1.05, P_atm2=1.02)
    columns = tsad['RESULT_COLUMNS']
    r1 = dict(zip(columns, table[1, :50]))
    r2 = dict(zip(columns, table[1, 50:]))
    for name in ('gasflow', 'pH', 'S_co2', 'S_nh3', 'S_ac_ion', 'S_bu_ion', 'S_hco3_ion', 'S_nh4_ion',
                 'S_oh_ion', 'S_pro_ion', 'S_va_ion'):
        assert r1[name] == tsad[name + '_temp'] and r2[name] == tsad[name], name
    assert r1['S_h_ion'] == tsad['S_h_ion'] and r2['S_h_ion'] == tsad['S_h_ion_2']
    T = tsad['T']
    assert r1['gasflow_N'] == 1.05 * r1['gasflow'] * 273.15 / (T * 1.01325)
    assert r2['gasflow_N'] == 1.02 * r2['gasflow'] * 273.15 / (T * 1.01325)
    assert r1['p_ch4_adjust'] == tsad['p_ch4_temp'] / tsad['P_headspace_temp'] * 100
    assert r2['p_h2o_adjust'] == tsad['p_h2o'] / tsad['P_headspace'] * 100
    for r in (r1, r2):
        assert r['p_ch4_adjust'] + r['p_co2_adjust'] + r['p_h2_adjust'] + r['p_h2o_adjust'] == \
            pytest.approx(100.0)
        assert r['COD_Tot'] == r['COD_S'] + r['COD_X']
    cod_x = ('X_aa', 'X_ac', 'X_c', 'X_c4', 'X_ch', 'X_fa', 'X_h2', 'X_I', 'X_li', 'X_pr', 'X_pro', 'X_su')
    assert r2['COD_X'] == pytest.approx(sum(r2[name] for name in cod_x), rel=1e-15)


def test_reactor_2_below_its_vent_pressure_gives_no_flow(tsad):
    table = run_tsad(tsad['MyFunc'], 0.15, ph_mode=0, P_atm2=5.0)
    assert table[1, 51] == table[1, 52] == 0
    assert table[1, 1] > 0 and table[1, 2] > 0
    assert table[1, 53:57].sum() == pytest.approx(100.0)


def test_cancellation_and_failed_integration(tsad):
    progress = Progress()
    assert run_tsad(tsad['MyFunc'], 1.0, progress=progress, cancel=Cancel(at_query=1)) is None
    assert progress.calls == []
    progress = Progress()
    assert run_tsad(tsad['MyFunc'], 1.0, progress=progress, cancel=Cancel(at_query=3)) is None
    assert len(progress.calls) == 2
    # Reactor 2 venting against zero pressure: the integration fails and both blocks of the later rows
    # stay at zero.
    with warnings.catch_warnings():
        warnings.simplefilter('ignore')
        table = run_tsad(tsad['MyFunc'], 1.0, P_atm2=0.0)
    assert table.shape == (11, 100)
    assert not table[-1].any()
    assert table[0, 7] == table[0, 57] == 7.0


@pytest.mark.parametrize('script, run', [('module_tsad.py', run_tsad), ('module_tpad.py', run_tpad)])
def test_script_ends_without_a_line_break_and_runs_again_in_one_namespace(script, run):
    text = (harness.MODELS / script).read_text()
    assert not text.endswith('\n') and text.rstrip().endswith('return results')
    ns = load(script)
    first = run(ns['MyFunc'], 0.25, ph_mode=1)
    run(ns['MyFunc'], 0.25, ph_mode=0, T_1=328.15, V_t2=10.0)
    assert np.array_equal(run(ns['MyFunc'], 0.25, ph_mode=1), first)


def test_division_by_zero_gives_numpy_infinities_not_exceptions(tsad):
    # No inorganic nitrogen in reactor 2: its uptakes stop, and reactor 1 is unaffected.
    run_tsad(tsad['MyFunc'], 0.0, ph_mode=1)
    run_tsad(reference_tsad_tpad.run_tsad, 0.0, ph_mode=1)
    y = perturbed_two_reactor_state(tsad)
    y[40] = 0.0
    with pytest.warns(RuntimeWarning):
        dy = tsad['tank'](12.3, y)
    with pytest.warns(RuntimeWarning):
        assert np.array_equal(dy, reference_tsad_tpad.last_run.tank(12.3, y))
    assert np.isfinite(dy).all()
