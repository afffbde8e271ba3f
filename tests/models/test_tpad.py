"""Temperature-phased model: two digesters in series at their own temperatures, with solids retention."""
import numpy as np
import pytest

import harness
import reference_tsad_tpad
from runs_tsad_tpad import load, perturbed_two_reactor_state, run_tpad

R = 0.083145
# Retention in both reactors from the start: a short hydraulic retention time even on day 1.
SHORT_HRT = dict(final_Q_in=40.0, V_t2=50.0, t_sr=5.0)


@pytest.fixture
def tpad():
    return load('module_tpad.py')


def prepare(ns, ph_mode=1, **changes):
    """Sets the run values as a run with the given inputs does (a run of row 0 only)."""
    run_tpad(ns['MyFunc'], 0.0, ph_mode=ph_mode, **changes)


# ---- the optimised script against the plain transcription

@pytest.mark.parametrize('ph_mode, ph_solver', harness.PH_CASES)
def test_table_is_bit_identical_to_the_plain_transcription(tpad, ph_mode, ph_solver):
    changes = dict(SHORT_HRT, T_1=328.15, T_2=303.15, P_atm2=1.1)
    solver = dict(ph_solver=ph_solver)
    table = run_tpad(tpad['MyFunc'], 2.0, ph_mode=ph_mode, keywords=solver, **changes)
    reference = run_tpad(reference_tsad_tpad.run_tpad, 2.0, ph_mode=ph_mode, keywords=solver, **changes)
    assert table.shape == reference.shape == (21, 100)
    assert np.array_equal(table, reference)
    assert tpad['rhs_evaluations'] == reference_tsad_tpad.rhs_evaluations > 0


@pytest.mark.parametrize('changes', [dict(SHORT_HRT, t_sr=0.0), dict(V_t1=3400.0, V_t2=3400.0, t_sr=5.0)],
                         ids=['t_sr 0', 'long HRT'])
def test_equal_temperatures_without_retention_keep_the_plain_gas_side_and_inflow(tpad, changes):
    # Reactor 2's own temperature on its gas side and the retained solids kept from reactor 2 only
    # matter with different temperatures or with retention.
    def plain(*args):
        return reference_tsad_tpad.run_tpad(*args, consistent=False)

    for T_2, same in ((308.15, True), (318.15, False)):
        table = run_tpad(tpad['MyFunc'], 1.0, ph_mode=1, T_2=T_2, **changes)
        assert np.array_equal(table, run_tpad(plain, 1.0, ph_mode=1, T_2=T_2, **changes)) == same


# ---- temperature dependence

def test_rate_constants_follow_each_reactors_temperature(tpad):
    rate_constants = tpad['rate_constants']
    assert rate_constants(308.15) == (1.105258236, 14.26734216, 7.191570676)
    assert rate_constants(328.15) == pytest.approx((0.27921, 15.560, 12.133), rel=1e-4)
    assert rate_constants(298.15) == pytest.approx((2.1990, 13.662, 5.5368), rel=1e-4)
    prepare(tpad, T_1=328.15, T_2=298.15)
    assert (tpad['kdis'], tpad['km_ac'], tpad['km_pro']) == rate_constants(328.15)
    assert (tpad['kdis_2'], tpad['km_ac_2'], tpad['km_pro_2']) == rate_constants(298.15)
    names = ('Ka_co2', 'Ka_IN', 'K_w', 'KH_h2', 'KH_ch4', 'KH_co2', 'p_h2o')
    at_328 = [tpad[name] for name in names]
    reactor_2 = [tpad[name + '_2'] for name in names]
    prepare(tpad, T_1=298.15, T_2=328.15)
    assert [tpad[name] for name in names] == reactor_2
    assert [tpad[name + '_2'] for name in names] == at_328
    assert tpad['Ka_co2'] < tpad['Ka_co2_2'] and tpad['p_h2o'] < tpad['p_h2o_2']


def test_reactor_2_gas_side_uses_its_own_temperature(tpad):
    prepare(tpad, T_1=328.15, T_2=308.15, P_atm2=1.02)
    y = perturbed_two_reactor_state(tpad)
    tpad['tank'](12.3, y)
    assert tpad['p_ch4_temp'] == y[27] * R * 328.15 / 64
    assert tpad['p_h2'] == y[56] * R * 308.15 / 16
    assert tpad['p_ch4'] == y[57] * R * 308.15 / 64
    assert tpad['p_co2'] == y[58] * R * 308.15
    assert tpad['P_headspace'] == tpad['p_co2'] + tpad['p_h2'] + tpad['p_ch4'] + tpad['p_h2o_2']
    # In the table too: the normal gas flow and the water vapour share of each reactor.
    table = run_tpad(tpad['MyFunc'], 0.15, ph_mode=1, T_1=328.15, T_2=308.15, P_atm2=1.02)
    r1, r2 = table[1, :50], table[1, 50:]
    assert r1[2] == 1.013 * r1[1] * 273.15 / (328.15 * 1.01325)
    assert r2[2] == 1.02 * r2[1] * 273.15 / (308.15 * 1.01325)
    assert r1[6] == tpad['p_h2o'] / tpad['P_headspace_temp'] * 100
    assert r2[6] == tpad['p_h2o_2'] / tpad['P_headspace'] * 100
    assert r2[3:7].sum() == pytest.approx(100.0)


# ---- solids retention

def test_retained_flow(tpad):
    prepare(tpad, t_sr=5.0)
    retained_flow = tpad['retained_flow']
    V_r = 28 / 33 * 30
    assert retained_flow(10.0, V_r) == pytest.approx(4.0315, abs=5e-5)
    assert 1 - retained_flow(10.0, V_r) / 10.0 == pytest.approx(0.59685, abs=5e-6)
    # Less retention as the flow falls during the start-up ramp, none from a retention time of 6.5 d on.
    assert 0 < retained_flow(5.0, V_r) < retained_flow(10.0, V_r)
    assert retained_flow(10.0, 65.0) == retained_flow(10.0, 100.0) == 0
    prepare(tpad, t_sr=0.0)
    assert retained_flow(10.0, V_r) == pytest.approx(0.0, abs=1e-12)


def test_retained_solids_stay_in_their_reactor(tpad):
    # The same state with and without retention: only the particulates' outflows change. Reactor 1 keeps
    # kRet_1 * X per day, which then no longer reaches reactor 2, so that particulate matter is
    # conserved between the reactors.
    y = perturbed_two_reactor_state(tpad)
    t = 30.5
    prepare(tpad, **dict(SHORT_HRT, t_sr=0.0))
    plain = tpad['tank'](t, y)
    prepare(tpad, **SHORT_HRT)
    held = tpad['tank'](t, y)
    Q_in = SHORT_HRT['final_Q_in'] * (0.01875 * 30 + 0.25)
    V, V_2 = tpad['V'], tpad['V_2']
    kRet_1, kRet_2 = tpad['retained_flow'](Q_in, V), tpad['retained_flow'](Q_in, V_2)
    assert kRet_1 > 0 and kRet_2 > 0
    for block in (range(0, 12), range(24, 29), range(30, 42), range(54, 59)):
        assert np.array_equal(held[block], plain[block])
    X_1, X_2 = y[12:24], y[42:54]
    retained_1 = V * (held[12:24] - plain[12:24])
    retained_2 = V_2 * (held[42:54] - plain[42:54])
    assert retained_1 == pytest.approx(kRet_1 * X_1, rel=1e-9)
    assert retained_2 == pytest.approx(kRet_2 * X_2 - kRet_1 * X_1, rel=1e-9, abs=1e-12)


def test_zero_feed_flow_raises_at_the_first_evaluation(tpad):
    with pytest.raises(ArithmeticError):
        run_tpad(tpad['MyFunc'], 0.2, final_Q_in=0.0)
    assert tpad['rhs_evaluations'] == 1
