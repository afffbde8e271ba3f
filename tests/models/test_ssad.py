"""Single-stage model: the digester's right-hand side and the run that samples it."""
import math
import warnings

import numpy as np
import pytest

import harness
import reference_ssad
from harness import Cancel, Progress, run_ssad

FINAL_Q_IN = harness.DEFAULT_ARGS['final_Q_in']


@pytest.fixture
def ssad():
    return harness.load('module_ssad.py')


def prepare(ns, ph_mode=1, **changes):
    """Sets the run values as a run with the default inputs would."""
    a = dict(harness.DEFAULT_ARGS, **changes)
    ns['set_run_values'](a['final_Q_in'], a['X_c_in'], ph_mode, a['S_h_ion_manual'], a['f_pr_xc'],
                         a['f_li_xc'], a['f_ch_xc'], a['T_1'], a['P_atm1'], a['V_t1'])


def state(ns, **values):
    y = np.array(ns['INITIAL_STATE'])
    for name, value in values.items():
        y[ns['STATE_NAMES'].index(name)] = value
    return y


# ---- the optimised scripts against the plain transcription

@pytest.mark.parametrize('ph_mode, ph_solver', harness.PH_CASES)
def test_table_is_bit_identical_to_the_plain_transcription(ssad, ph_mode, ph_solver):
    solver = dict(ph_solver=ph_solver)
    table = run_ssad(ssad, 4.0, ph_mode=ph_mode, keywords=solver)
    reference = run_ssad(vars(reference_ssad), 4.0, ph_mode=ph_mode, keywords=solver)
    assert table.dtype == np.float64 and table.shape == reference.shape == (41, 50)
    assert np.array_equal(table, reference)
    assert ssad['rhs_evaluations'] == reference_ssad.rhs_evaluations > 0


def test_division_by_zero_gives_numpy_infinities_not_exceptions(ssad):
    # No inorganic nitrogen: the nitrogen limitation is 0 and every uptake stops.
    prepare(ssad)
    y = state(ssad, S_IN=0.0)
    with pytest.warns(RuntimeWarning):
        dy = ssad['tank'](1.5, y)
    X_su = y[ssad['STATE_NAMES'].index('X_su')]
    D = FINAL_Q_IN * (0.01875 * 1 + 0.25) / ssad['V']
    assert dy[16] == D * (0 - X_su) - 0.02 * X_su
    prepare(vars(reference_ssad))
    with pytest.warns(RuntimeWarning):
        assert np.array_equal(dy, reference_ssad.tank(1.5, y))
    # Venting against zero pressure: an infinite gas flow.
    prepare(ssad, P_atm1=0.0)
    with pytest.warns(RuntimeWarning):
        dy = ssad['tank'](1.5, state(ssad))
    assert ssad['gasflow'] == math.inf and np.isinf(dy[26:]).all()


def test_non_positive_hydrogen_ion_concentration_raises(ssad):
    prepare(ssad, ph_mode=0, S_h_ion_manual=-1e-7)
    with pytest.raises(ValueError):
        ssad['tank'](1.0, state(ssad))


def test_a_quantity_the_model_cannot_compute_on_the_way_stops_the_run_there(ssad):
    # From the 2000th evaluation on the model cannot compute its pH: the rows end at the last state
    # reached before, with the reason, and no final state.
    tank, calls = ssad['tank'], []

    def failing(t, y):
        calls.append(t)
        if len(calls) >= 2000:
            raise ValueError('the pH cannot be computed')
        return tank(t, y)
    ssad['tank'] = failing
    table = run_ssad(ssad, 5.0)
    computed = int(np.flatnonzero(table[1:, 0] == 0)[0]) + 1
    assert 1 < computed < 51 and not table[computed:].any()
    assert ssad['stop_reason'] == 'the pH cannot be computed' and ssad['final_state'] is None


# ---- right-hand side

def test_feed_flow_rises_in_daily_steps_for_forty_days(ssad):
    prepare(ssad)
    y = state(ssad)
    dilution = 0.035 - y[ssad['STATE_NAMES'].index('S_cat')]
    entry = {0.0: 0, 0.5: 0, 1.0: 0, 1.0001: 1, 39.5: 39, 40.0: 39, 40.2: 40, 400.0: 40}
    for t, i in entry.items():
        Q_in = FINAL_Q_IN * (0.01875 * i + 0.25)
        assert ssad['tank'](t, y)[24] == Q_in / ssad['V'] * dilution, t
    assert ssad['feed_rows'][39][0] == pytest.approx(0.98125 * FINAL_Q_IN)
    assert ssad['feed_rows'][40][0] == FINAL_Q_IN


def uptake(ns, S_h_ion, biomass, decay):
    """The uptake term of a biomass growth equation at an imposed hydrogen-ion concentration."""
    prepare(ns, ph_mode=0, S_h_ion_manual=S_h_ion)
    y = state(ns)
    D = FINAL_Q_IN * (0.01875 * 2 + 0.25) / ns['V']
    b = ns['STATE_NAMES'].index(biomass)
    return ns['tank'](2.5, y)[b] - (D * (0 - y[b]) - decay * y[b])


def test_ph_inhibition_is_one_from_the_upper_limit_and_exp_minus_3_at_the_lower(ssad):
    # Sugar degraders (acidogens: 4.0 to 5.5) and hydrogen degraders (5.0 to 6.0).
    for biomass, lower, upper in (('X_su', 1e-4, 10 ** -5.5), ('X_h2', 1e-5, 1e-6)):
        full = uptake(ssad, upper, biomass, 0.02)
        assert uptake(ssad, upper / 10, biomass, 0.02) == pytest.approx(full, rel=1e-12)
        assert uptake(ssad, upper * 1.1, biomass, 0.02) < full * 0.999
        assert uptake(ssad, lower, biomass, 0.02) == pytest.approx(full * math.exp(-3), rel=1e-9)


def test_no_gas_flow_at_or_below_the_vent_pressure(ssad):
    prepare(ssad)
    y = state(ssad)
    ssad['tank'](3.0, y)
    P_headspace = ssad['P_headspace']
    assert P_headspace == ssad['p_co2'] + ssad['p_h2'] + ssad['p_ch4'] + ssad['p_h2o']
    for P_atm1 in (P_headspace, P_headspace * 1.5):
        prepare(ssad, P_atm1=P_atm1)
        dy = ssad['tank'](3.0, y)
        assert ssad['gasflow'] == 0
        lgt8 = 200.0 * (y[7] - 16 * ssad['KH_h2'] * ssad['p_h2'])
        assert dy[26] == lgt8 * ssad['V'] / ssad['V_g']
    prepare(ssad, P_atm1=P_headspace * 0.5)
    ssad['tank'](3.0, y)
    assert ssad['gasflow'] > 0


def perturbed_state(ns):
    rng = np.random.default_rng(3)
    return state(ns) * rng.uniform(0.5, 1.5, 29)


def test_derivatives_conserve_cod_and_nitrogen(ssad):
    prepare(ssad)
    names = ssad['STATE_NAMES']
    y = perturbed_state(ssad)
    t = 12.3
    dy = ssad['tank'](t, y)
    V, V_g, gasflow = ssad['V'], ssad['V_g'], ssad['gasflow']
    Q_in = FINAL_Q_IN * (0.01875 * 12 + 0.25)
    X_c_in = harness.DEFAULT_ARGS['X_c_in']
    v = dict(zip(names, y))
    d = dict(zip(names, dy))

    cod = [n for n in names[:24] if n not in ('S_IC', 'S_IN')]
    cod_in_liquid = sum(v[n] for n in cod)
    accumulating = V * sum(d[n] for n in cod) + V_g * (d['S_h2_g'] + d['S_ch4_g'])
    flowing = Q_in * (X_c_in - cod_in_liquid) - gasflow * (v['S_h2_g'] + v['S_ch4_g'])
    assert accumulating == pytest.approx(flowing, rel=1e-10)

    N_aa, N_biom, N_SI, N_Xc, N_XI = 0.007, 0.00571, 0.00429, 0.00269, 0.00429
    biomass = ('X_su', 'X_aa', 'X_fa', 'X_c4', 'X_pro', 'X_ac', 'X_h2')
    content = dict(S_IN=1.0, S_aa=N_aa, X_pr=N_aa, S_I=N_SI, X_c=N_Xc, X_I=N_XI,
                   **dict.fromkeys(biomass, N_biom))
    nitrogen = sum(c * v[n] for n, c in content.items())
    assert V * sum(c * d[n] for n, c in content.items()) == pytest.approx(
        Q_in * (N_Xc * X_c_in - nitrogen), rel=1e-8, abs=1e-12)


def test_derivatives_conserve_carbon(ssad):
    prepare(ssad)
    names = ssad['STATE_NAMES']
    y = perturbed_state(ssad)
    dy = ssad['tank'](12.3, y)
    V, V_g, gasflow = ssad['V'], ssad['V_g'], ssad['gasflow']
    Q_in = FINAL_Q_IN * (0.01875 * 12 + 0.25)
    content = dict(S_IC=1.0, S_su=0.03125, S_aa=0.03, S_fa=0.0217, S_va=0.0240384615384615,
                   S_bu=0.025, S_pro=0.0267857142857143, S_ac=0.03125, S_ch4=0.015625, S_I=0.03,
                   X_c=0.0279, X_ch=0.0313, X_pr=0.03, X_li=0.022, X_I=0.03,
                   **dict.fromkeys(('X_su', 'X_aa', 'X_fa', 'X_c4', 'X_pro', 'X_ac', 'X_h2'), 0.03125))
    v = dict(zip(names, y))
    d = dict(zip(names, dy))
    carbon = sum(c * v[n] for n, c in content.items())
    accumulating = (V * sum(c * d[n] for n, c in content.items())
                    + V_g * (d['S_co2_g'] + 0.015625 * d['S_ch4_g']))
    flowing = (Q_in * (0.0279 * harness.DEFAULT_ARGS['X_c_in'] - carbon)
               - gasflow * (v['S_co2_g'] + 0.015625 * v['S_ch4_g']))
    assert accumulating == pytest.approx(flowing, rel=1e-8, abs=1e-12)


# ---- run values

def test_run_values_use_true_quotients(ssad):
    prepare(ssad, f_pr_xc=0.2, f_li_xc=0.3, f_ch_xc=0.2, V_t1=3300.0)
    assert ssad['f_XI_xc'] == pytest.approx(0.2) and ssad['f_SI_xc'] == pytest.approx(0.1)
    assert ssad['V'] == pytest.approx(2800.0) and ssad['V_g'] == pytest.approx(500.0)
    assert ssad['Ka_co2'] == pytest.approx(4.9447e-7, rel=1e-4)
    assert ssad['Ka_IN'] == pytest.approx(1.1221e-9, rel=1e-4)
    assert ssad['K_w'] == pytest.approx(2.1025e-14, rel=1e-4)
    prepare(ssad, f_pr_xc=0.3, f_li_xc=0.3, f_ch_xc=0.4)
    assert ssad['f_XI_xc'] == 0 and ssad['f_SI_xc'] == 0


# ---- the run

@pytest.mark.parametrize('t_end, rows, last_t', [(0.3, 4, 0.3), (10.05, 101, 10.0),
                                                 (0.05, 1, 0.0), (0.0, 1, 0.0)])
def test_one_row_per_started_tenth_of_a_day(ssad, t_end, rows, last_t):
    progress, cancel = Progress(), Cancel()
    table = run_ssad(ssad, t_end, ph_mode=0, progress=progress, cancel=cancel)
    assert table.shape == (rows, 50)
    assert table[-1, 0] == last_t
    assert len(progress.calls) == cancel.queries == rows - 1


def test_fifty_days_give_501_rows_at_exact_tenths(ssad):
    progress = Progress()
    table = run_ssad(ssad, 50.0, ph_mode=0, progress=progress)
    assert table.shape == (501, 50)
    assert table[:, 0].tolist() == [k / 10 for k in range(501)]
    assert progress.calls[-1] == (table[-1, 0], 50.0) and len(progress.calls) == 500
    assert (np.diff(table[:, 0]) > 0.0999).all()
    assert (table[1:, 1] > 0).all() and (table[1:, 7] == 7.0).all()


def test_rows_hold_the_values_of_their_own_time(ssad):
    # A feed step after day 2 changes no row up to day 2; over a steady feed, no row repeats the gas
    # flow or pH of the row before it while the state moves.
    def run(flows):
        feed = {'day': [0.0, 2.0][:len(flows)], 'Q_in': flows, 'X_c_in': [10.0] * len(flows)}
        return run_ssad(ssad, 3.0, ph_mode=1, V_t1=33.0, keywords={'feed': feed})

    steady, step = run([0.5]), run([0.5, 1.0])
    assert np.array_equal(steady[:21], step[:21]) and (steady[21:, 1] != step[21:, 1]).all()
    assert (np.diff(steady[1:, [1, 7]], axis=0) != 0).all()


def test_row_zero_shows_the_start_and_the_entered_ph(ssad):
    table = run_ssad(ssad, 0.25, ph_mode=1, S_h_ion_manual=10 ** -6.5)
    row = table[0]
    initial = dict(zip(ssad['STATE_NAMES'], ssad['INITIAL_STATE']))
    columns = ssad['RESULT_COLUMNS']
    state_columns = [c for c, n in enumerate(columns) if n in initial]
    assert [columns[c] for c in (11, 12, 13, 16, 24, 25, 32, 37)] == [
        'S_ch4_g', 'S_co2_g', 'S_h2_g', 'S_an', 'S_IC', 'S_IN', 'X_c', 'X_I']
    assert len(state_columns) == 29 and all(row[c] == initial[columns[c]] for c in state_columns)
    assert row[7] == 6.5 and row[45] == 10 ** -6.5
    others = set(range(50)) - set(state_columns) - {7, 45}
    assert all(row[c] == 0 for c in others)
    # From row 1 on the pH is the computed one.
    assert table[1, 7] != 6.5 and table[1, 45] != 10 ** -6.5


def test_rows_report_the_latest_evaluation_and_consistent_sums(ssad):
    table = run_ssad(ssad, 0.15, ph_mode=1)
    row = table[1]
    published = ('gasflow', 'pH', 'S_co2', 'S_nh3', 'S_ac_ion', 'S_bu_ion', 'S_hco3_ion', 'S_h_ion',
                 'S_nh4_ion', 'S_oh_ion', 'S_pro_ion', 'S_va_ion')
    columns = ssad['RESULT_COLUMNS']
    assert [row[columns.index(name)] for name in published] == [ssad[name] for name in published]
    assert row[3] + row[4] + row[5] + row[6] == pytest.approx(100.0)
    assert row[3] == ssad['p_ch4'] / ssad['P_headspace'] * 100
    assert row[2] == ssad['P_atm'] * row[1] * 273.15 / (ssad['T'] * 1.01325)
    assert row[8] == row[9] + row[10]
    cod_s = ('S_aa', 'S_ac', 'S_bu', 'S_ch4', 'S_fa', 'S_h2', 'S_I', 'S_pro', 'S_su', 'S_va')
    assert row[9] == pytest.approx(sum(row[columns.index(n)] for n in cod_s), rel=1e-15)


def test_below_the_vent_pressure_no_flow_but_shares_still_computed(ssad):
    table = run_ssad(ssad, 0.15, ph_mode=0, P_atm1=5.0)
    assert table[1, 1] == 0 and table[1, 2] == 0
    assert table[1, 3] + table[1, 4] + table[1, 5] + table[1, 6] == pytest.approx(100.0)


def test_cancellation_returns_nothing_at_the_next_query(ssad):
    progress = Progress()
    assert run_ssad(ssad, 1.0, ph_mode=0, progress=progress, cancel=Cancel(at_query=1)) is None
    assert progress.calls == []
    progress = Progress()
    assert run_ssad(ssad, 1.0, ph_mode=0, progress=progress, cancel=Cancel(at_query=4)) is None
    assert len(progress.calls) == 3


def test_failed_integration_leaves_later_rows_at_zero(ssad):
    with warnings.catch_warnings():
        warnings.simplefilter('ignore')
        table = run_ssad(ssad, 1.0, ph_mode=0, P_atm1=0.0)
    assert table.shape == (11, 50)
    assert not table[-1].any()
    assert table[0, 7] == 7.0


def test_script_ends_without_a_line_break_and_runs_again_in_one_namespace(ssad):
    text = (harness.MODELS / 'module_ssad.py').read_text()
    assert not text.endswith('\n') and text.rstrip().endswith('return results')
    first = run_ssad(ssad, 0.25, ph_mode=1)
    run_ssad(ssad, 0.25, ph_mode=0, T_1=328.15)
    assert ssad['rhs_evaluations'] > 0
    assert np.array_equal(run_ssad(ssad, 0.25, ph_mode=1), first)
