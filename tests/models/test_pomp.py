"""Pump-mixed model: three liquid sections under one headspace, and the run that samples them."""
import math

import numpy as np
import pytest

import harness
import runs_pomp
from harness import Cancel, Progress
from runs_pomp import POMP_ARGS, run_pomp

SECTION_2, SECTION_3 = 30, 60
NOT_IN_MODEL = [29, 56, 57, 58, 59, 86, 87, 88]


@pytest.fixture
def pomp():
    return harness.load('module_pomp.py')


@pytest.fixture
def reference():
    return runs_pomp.reference()


def prepare(ns, ph_mode=1, **changes):
    """Sets the run values as a run with the default inputs would."""
    a = dict(POMP_ARGS, **changes)
    ns['set_run_values'](a['final_Q_in'], a['X_c_in'], ph_mode, a['S_h_ion_manual'], a['f_pr_xc'],
                         a['f_li_xc'], a['f_ch_xc'], a['T_1'], a['P_atm1'], a['V_t1'], a['mix_i'])


def sections(ns, seed=None):
    """The initial state, or with a seed each section's liquid scaled at random (sections unequal)."""
    y = np.array(ns['INITIAL_SECTIONS'])
    if seed is not None:
        rng = np.random.default_rng(seed)
        for offset in (0, SECTION_2, SECTION_3):
            y[offset:offset + 29] *= rng.uniform(0.5, 1.5, 29)
    return y


def liquid(y, offset):
    return y[offset:offset + 24]


def mixing(ns, row=0):
    """The mixing regressions' values under a feed row's flow."""
    return ns['mixing_rows'][row]


# ---- the optimised script against the plain transcription

@pytest.mark.parametrize('ph_mode, ph_solver, changes', [case + ({},) for case in harness.PH_CASES] + [
    # Another mixing interval and retention time, a warmer and more acid digester.
    (1, 'exact', dict(mix_i=25.0, final_Q_in=2.0, V_t1=20.0, T_1=318.0, X_c_in=40.0)),
    (1, 'damped', dict(mix_i=25.0, final_Q_in=2.0, V_t1=20.0, T_1=318.0, X_c_in=40.0)),
])
def test_table_is_bit_identical_to_the_plain_transcription(pomp, reference, ph_mode, ph_solver, changes):
    solver = dict(ph_solver=ph_solver)
    table = run_pomp(pomp, 3.0, ph_mode=ph_mode, keywords=solver, **changes)
    expected = run_pomp(reference, 3.0, ph_mode=ph_mode, keywords=solver, **changes)
    assert table.dtype == np.float64 and table.shape == expected.shape == (31, 50)
    assert np.array_equal(table, expected)
    assert pomp['rhs_evaluations'] == reference['rhs_evaluations'] > 0


def test_division_by_zero_gives_numpy_infinities_not_exceptions(pomp, reference):
    # No inorganic nitrogen in section 2: its nitrogen limitation is 0 and its uptake stops.
    y = sections(pomp, seed=1)
    y[SECTION_2 + 10] = 0.0
    prepare(pomp)
    run_pomp(reference, 0.0, ph_mode=1)          # sets the run values, no step
    with pytest.warns(RuntimeWarning):
        dy = pomp['tank'](1.0, y)
    with pytest.warns(RuntimeWarning):
        assert np.array_equal(dy, reference['tank'](1.0, y))
    assert np.isfinite(dy).all()


def test_non_positive_hydrogen_ion_concentration_raises(pomp):
    prepare(pomp, ph_mode=0, S_h_ion_manual=-1e-7)
    with pytest.raises(ValueError):
        pomp['tank'](1.0, sections(pomp))


# ---- mixing regressions

def test_regressions_at_a_known_input(pomp):
    # 56 m3 hold 30 m3 of liquid: 20 days at 1.5 m3/d, mixed every 10 minutes.
    prepare(pomp, V_t1=56.0, final_Q_in=1.5, mix_i=10.0)
    expected = dict(kLl_12_s=0.152603, kLl_23_s=0.83757, kLl_31_s=1.70124, x_delay=15.26828,
                    k_pomp=2.485352, kdis=0.965162, S_IN_in=0.468586, S_IC_in=0.249717)
    for name, value in expected.items():
        assert mixing(pomp)[name] == pytest.approx(value, rel=1e-6), name


def test_regressions_are_used_unclamped(pomp):
    # Every 5 minutes and 10 days of retention: the feed's inorganic carbon comes out negative.
    prepare(pomp, V_t1=28.0, final_Q_in=1.5, mix_i=5.0)
    assert mixing(pomp)['S_IC_in'] == pytest.approx(-0.04216325, rel=1e-6)
    y = sections(pomp)
    Ds = 1.5 / (pomp['V'] / 3)
    dy = pomp['tank'](1.0, y)
    for offset in (0, SECTION_2, SECTION_3):
        assert dy[offset + 24] == Ds * ((mixing(pomp)['S_IC_in'] + 0.035) - y[offset + 24])


def test_a_change_of_flow_alters_no_row_before_its_day(pomp):
    # The regressions follow the flow in force: a step on day 6 leaves the rows up to day 6 as they were.
    feed = {'day': [0.0, 3.0], 'Q_in': [1.5, 2.0], 'X_c_in': [10.0, 10.0]}
    stepped = {name: values + [values[-1] if name == 'X_c_in' else {'day': 6.0, 'Q_in': 4.0}[name]]
               for name, values in feed.items()}
    before, after = (run_pomp(pomp, 7.0, ph_mode=1, keywords={'feed': f}) for f in (feed, stepped))
    assert np.array_equal(before[:61], after[:61])
    assert not np.isclose(before[70, 1], after[70, 1], rtol=1e-3)


def test_zero_feed_flow_fails_before_the_integration(pomp):
    progress = Progress()
    with pytest.raises(ZeroDivisionError):
        run_pomp(pomp, 1.0, final_Q_in=0.0, progress=progress)
    assert progress.calls == []


# ---- right-hand side

def test_feed_flow_is_the_final_flow_from_day_zero(pomp):
    prepare(pomp)
    y = sections(pomp, seed=2)
    Ds = POMP_ARGS['final_Q_in'] / (pomp['V'] / 3)
    for t in (0.0, 0.5, 1.0, 20.0, 40.5, 400.0):
        dy = pomp['tank'](t, y)
        assert dy[24] == Ds * ((mixing(pomp)['S_IC_in'] + 0.035) - y[24]), t
        assert dy[SECTION_3 + 25] == Ds * (mixing(pomp)['S_IN_in'] - y[SECTION_3 + 25]), t


def test_equal_sections_differ_only_by_feed_outflow_and_gas_transfer(pomp):
    # At the start the sections are equal, so nothing is exchanged: section 2 changes by its
    # reactions alone, section 3 by the same reactions and its outflow, section 1 by the same
    # reactions, the feed and (hydrogen, methane, inorganic carbon) the transfer to the headspace.
    prepare(pomp)
    y = sections(pomp)
    dy = pomp['tank'](5.0, y)
    Ds = POMP_ARGS['final_Q_in'] / (pomp['V'] / 3)
    inflow = dict.fromkeys(range(24), 0.0)
    inflow.update({9: mixing(pomp)['S_IC_in'], 10: mixing(pomp)['S_IN_in'], 12: POMP_ARGS['X_c_in']})
    for i in range(24):
        assert dy[SECTION_3 + i] - dy[SECTION_2 + i] == pytest.approx(-Ds * y[i], rel=1e-9, abs=1e-15), i
        if i not in (7, 8, 9):
            assert dy[i] - dy[SECTION_2 + i] == pytest.approx(Ds * inflow[i], rel=1e-9, abs=1e-15), i


def exchange_terms(ns, y):
    """The part of the derivatives that the exchange between the sections makes."""
    with_exchange = ns['tank'](2.0, y)
    saved = {name: mixing(ns)[name] for name in ('kLl_12_s', 'kLl_23_s', 'kLl_31_s')}
    mixing(ns).update(dict.fromkeys(saved, 0.0))
    try:
        return with_exchange - ns['tank'](2.0, y)
    finally:
        mixing(ns).update(saved)


def test_exchange_conserves_matter_and_pumps_back_from_section_3(pomp):
    prepare(pomp)
    y = sections(pomp, seed=3)
    e = exchange_terms(pomp, y)
    c1, c2, c3 = liquid(y, 0), liquid(y, SECTION_2), liquid(y, SECTION_3)
    e1, e2, e3 = liquid(e, 0), liquid(e, SECTION_2), liquid(e, SECTION_3)
    # Equal section volumes: what one section loses the others gain.
    assert np.allclose(e1 + e2 + e3, 0.0, atol=1e-12 * np.abs(e).max())
    # Particulates move x_delay times as fast; the pump scales the return from section 3.
    m = mixing(pomp)
    k = np.array([1.0] * 12 + [m['x_delay']] * 12)
    assert np.allclose(e2, k * (m['kLl_12_s'] * (c1 - c2) - m['kLl_23_s'] * (c2 - c3)), rtol=1e-9)
    assert np.allclose(e1, k * (m['k_pomp'] * m['kLl_31_s'] * (c3 - c1) - m['kLl_12_s'] * (c1 - c2)), rtol=1e-9)
    # Cations, anions and the headspace are not exchanged.
    assert not e[[24, 25, 26, 27, 28, 54, 55, 84, 85]].any()


def test_whole_digester_conserves_cod_and_nitrogen(pomp):
    # Feed into section 1, effluent from section 3, gas from section 1 into the one headspace.
    prepare(pomp)
    names = pomp['STATE_NAMES']
    y = sections(pomp, seed=4)
    dy = pomp['tank'](7.0, y)
    V_s, V_g, gasflow = pomp['V'] / 3, pomp['V_g'], pomp['gasflow']
    Q_in, X_c_in = POMP_ARGS['final_Q_in'], POMP_ARGS['X_c_in']
    per_section = [dict(zip(names, y[o:o + 26])) for o in (0, SECTION_2, SECTION_3)]
    rates = [dict(zip(names, dy[o:o + 26])) for o in (0, SECTION_2, SECTION_3)]
    v3 = per_section[2]
    S_h2_g, S_ch4_g = y[26], y[27]

    cod = [n for n in names[:24] if n not in ('S_IC', 'S_IN')]
    accumulating = V_s * sum(d[n] for d in rates for n in cod) + V_g * (dy[26] + dy[27])
    flowing = Q_in * (X_c_in - sum(v3[n] for n in cod)) - gasflow * (S_h2_g + S_ch4_g)
    assert accumulating == pytest.approx(flowing, rel=1e-9)

    N_aa, N_biom, N_SI, N_Xc, N_XI = 0.007, 0.00571, 0.00429, 0.00269, 0.00429
    biomass = ('X_su', 'X_aa', 'X_fa', 'X_c4', 'X_pro', 'X_ac', 'X_h2')
    content = dict(S_IN=1.0, S_aa=N_aa, X_pr=N_aa, S_I=N_SI, X_c=N_Xc, X_I=N_XI,
                   **dict.fromkeys(biomass, N_biom))
    accumulating = V_s * sum(c * d[n] for d in rates for n, c in content.items())
    flowing = Q_in * (N_Xc * X_c_in + mixing(pomp)['S_IN_in'] - sum(c * v3[n] for n, c in content.items()))
    assert accumulating == pytest.approx(flowing, rel=1e-8)


def test_entries_outside_the_model_never_change_and_act_on_nothing(pomp):
    prepare(pomp)
    for seed in (5, 6):
        y = sections(pomp, seed=seed)
        pomp['_last_S_H'] = None
        dy = pomp['tank'](3.0, y)
        assert not dy[NOT_IN_MODEL].any()
        published = pomp['gasflow'], pomp['pH'], pomp['S_nh3']
        y[NOT_IN_MODEL] = 123.0
        pomp['_last_S_H'] = None  # the free pH from the same start as before
        assert np.array_equal(pomp['tank'](3.0, y), dy)
        assert (pomp['gasflow'], pomp['pH'], pomp['S_nh3']) == published


# ---- result table

def test_row_shows_section_means_and_section_3_chemistry(pomp):
    prepare(pomp)
    y = sections(pomp, seed=7)
    y[NOT_IN_MODEL] = 123.0
    pomp['tank'](4.0, y)
    row = dict(zip(pomp['RESULT_COLUMNS'], pomp['report_row'](4.0, y)))

    def chemistry(offset):
        args = [y[offset + i] for i in (3, 4, 5, 6, 9, 10, 24, 25)]
        return pomp['solve_ph'](*args, pomp['Ka_IN'], pomp['Ka_co2'], pomp['K_w'], 1, 0.0)

    ions = chemistry(SECTION_3)
    assert row['pH'] == -math.log10(ions[0])
    for other in (0, SECTION_2):
        assert abs(row['pH'] + math.log10(chemistry(other)[0])) > 0.01
    ion_names = ('S_h_ion', 'S_nh4_ion', 'S_hco3_ion', 'S_ac_ion', 'S_bu_ion', 'S_va_ion', 'S_pro_ion',
                 'S_oh_ion', 'S_co2', 'S_nh3')
    assert [row[n] for n in ion_names] == list(ions)

    names = pomp['STATE_NAMES']
    for i, name in enumerate(names[:26]):
        if name in row:
            assert row[name] == pytest.approx((y[i] + y[SECTION_2 + i] + y[SECTION_3 + i]) / 3,
                                              rel=1e-15), name
    assert (row['S_h2_g'], row['S_ch4_g'], row['S_co2_g']) == tuple(y[26:29])
    assert 123.0 not in row.values()
    cod = sum(row[n] for n in names[:24] if n not in ('S_IC', 'S_IN'))
    assert row['COD_Tot'] == pytest.approx(cod, rel=1e-12)
    shares = row['p_ch4_adjust'] + row['p_co2_adjust'] + row['p_h2_adjust'] + row['p_h2o_adjust']
    assert shares == pytest.approx(100.0, rel=1e-12)


def test_run_starts_from_the_initial_state_and_honours_cancellation(pomp):
    progress = Progress()
    table = run_pomp(pomp, 0.2, ph_mode=1, progress=progress, S_h_ion_manual=10 ** -6.5)
    assert table.shape == (3, 50) and [t for t, _ in progress.calls] == list(table[1:, 0])
    row0 = dict(zip(pomp['RESULT_COLUMNS'], table[0]))
    state = dict(zip(pomp['STATE_NAMES'], pomp['INITIAL_STATE']))
    assert all(row0[n] == v for n, v in state.items() if n in row0)
    assert row0['pH'] == 6.5 and row0['S_h_ion'] == 10 ** -6.5 and row0['gasflow'] == 0.0
    assert table[2, 7] != 6.5

    progress = Progress()
    assert run_pomp(pomp, 5.0, progress=progress, cancel=Cancel(at_query=3)) is None
    assert len(progress.calls) == 2