"""Start states: the steady state under the first feed row, a saved final state to continue from, and
a start state that does not fit the run."""
import numpy as np
import pytest

import harness
import runs_tsad_tpad
from harness import run_ssad
from test_pomp import run_pomp

CONSTANT_FEED = {'day': [0.0], 'Q_in': [2.0], 'X_c_in': [10.0]}
# A schedule that changes after the day a run is saved on (6), and the built-in feed (a ramp, but for
# the pump-mixed run).
FEEDS = {'schedule': {'day': [0.0, 2.0, 8.0], 'Q_in': [2.0, 1.5, 3.0], 'X_c_in': [10.0, 12.0, 8.0]},
         'built-in': None}

# Each configuration's script and a free-pH run of it over t_end days with MyFunc's keyword arguments.
RUNS = {
    'single-stage': ('module_ssad.py', lambda ns, t_end, **kw: run_ssad(ns, t_end, 1, V_t1=33.0, keywords=kw)),
    'two-stage': ('module_tsad.py', lambda ns, t_end, **kw: runs_tsad_tpad.run_tsad(ns['MyFunc'], t_end, 1,
                                                                                     keywords=kw)),
    'temperature-phased': ('module_tpad.py', lambda ns, t_end, **kw: runs_tsad_tpad.run_tpad(
        ns['MyFunc'], t_end, 1, T_2=328.15, keywords=kw)),
    'pump-mixed': ('module_pomp.py', lambda ns, t_end, **kw: run_pomp(ns, t_end, 1, keywords=kw)),
}


@pytest.mark.parametrize('configuration', RUNS)
def test_a_steady_start_stands_still(configuration):
    script, run = RUNS[configuration]
    table = run(harness.load(script), 10.0, feed=CONSTANT_FEED, initial_state='steady')
    gas_columns = [1, 51] if table.shape[1] == 100 else [1]
    assert (table[1, gas_columns] > 0).all()
    assert table[100, gas_columns] == pytest.approx(table[1, gas_columns], rel=1e-4)
    assert table[0, gas_columns] == pytest.approx(table[1, gas_columns], rel=1e-4)


@pytest.mark.parametrize('feed', FEEDS)
@pytest.mark.parametrize('configuration', ['single-stage', 'two-stage', 'pump-mixed'])
def test_a_run_continued_from_its_final_state_equals_one_longer_run(configuration, feed):
    # The continued run goes on from the saved day 6 to day 10: its rows and its feed carry those days.
    script, run = RUNS[configuration]
    ns = harness.load(script)
    whole = run(ns, 10.0, feed=FEEDS[feed])
    run(ns, 6.0, feed=FEEDS[feed])
    continued = run(ns, 10.0, feed=FEEDS[feed], initial_state=ns['final_state'], start_day=6.0)
    assert continued[:, 0].tolist() == [round(6 + k / 10, 10) for k in range(41)]
    # The integrator starts afresh on day 6: the gas flow, which follows the headspace's small excess
    # pressure, is up to 1.4e-4 apart in the next rows (two-stage, schedule); every state within 1e-4.
    assert continued == pytest.approx(whole[60:], rel=2e-4, abs=1e-10)


def test_a_start_state_of_another_layout_is_refused():
    two_stage = harness.load('module_tsad.py')
    RUNS['two-stage'][1](two_stage, 0.2)
    assert len(two_stage['final_state']) == 2
    single_stage = harness.load('module_ssad.py')
    with pytest.raises(ValueError, match='the start state holds 2 reactors, the run 1'):
        run_ssad(single_stage, 0.2, keywords={'initial_state': two_stage['final_state']})
    del two_stage['final_state'][0]['S_IC']
    with pytest.raises(ValueError, match='lacks S_IC'):
        runs_tsad_tpad.run_tsad(two_stage['MyFunc'], 0.2, keywords={'initial_state': two_stage['final_state']})
