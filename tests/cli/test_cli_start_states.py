"""Start states through digestra-cli: a run continued from the final state it wrote, a run started at
its steady state, and state files that do not fit the run."""
import json

import pytest

from test_cli_plant import column, run, table, write



def constant_feed(folder):
    return write(folder, 'feed.csv', 'day,Q_in,X_c_in', [(0, 2.0, 10.0)])


def late_change(folder):
    """A schedule whose flow steps up on day 30 and again after day 60."""
    return write(folder, 'late.csv', 'day,Q_in,X_c_in', [(0, 2.0, 10.0), (30, 3.0, 10.0), (64.5, 4.5, 12.0)])


@pytest.mark.parametrize('engine', ['scripts', 'native', 'compiled'])
@pytest.mark.parametrize('feed', ['built-in ramp', 'schedule'])
def test_a_run_continued_from_its_final_state_equals_one_longer_run(tmp_path, feed, engine):
    # 60 days saved, then on to day 70: the continued run's rows and feed carry days 60 to 70.
    common = ('--config', 'tsad', '--engine', engine, *(('--feed', late_change(tmp_path)) if feed == 'schedule' else ()))
    whole = table(tmp_path, 'whole', *common, '--t-end', '70')
    first = table(tmp_path, 'first', *common, '--t-end', '60', '--final-state', 'state.json')
    state = json.loads((tmp_path / 'state.json').read_text())
    assert state['configuration'] == 'tsad' and state['day'] == 60 and state['program'].startswith('digestra ')
    # Written so that they read back exactly: the state file holds the last row's numbers.
    for reactor, values in enumerate(state['reactors'], 1):
        assert [values[name] for name in ('S_ac', 'X_ac', 'S_ch4_g')] == \
            [column(first, f'R{reactor} {name}')[-1] for name in ('S_ac', 'X_ac', 'S_ch4_g')]
    continued = table(tmp_path, 'continued', *common, '--t-end', '70', '--initial-state', 'state.json')
    assert column(continued, 'R1 t') == column(whole, 'R1 t')[600:]
    for name in whole[0]:
        assert column(continued, name) == pytest.approx(column(whole, name)[600:], rel=1e-4, abs=1e-10), name


def test_a_steady_start_stands_still(tmp_path):
    rows = table(tmp_path, 'steady', '--ph', 'free', '--t-end', '10', '--feed', constant_feed(tmp_path),
                 '--initial-state', 'steady')
    gasflow = column(rows, 'gasflow')
    assert gasflow[1] > 0 and gasflow[100] == pytest.approx(gasflow[1], rel=1e-4)


def test_a_state_file_that_does_not_fit_the_run_is_refused(tmp_path):
    done = run(tmp_path, '--t-end', '0.1', '--out', 'a.xlsx', '--final-state', 'single.json')
    assert done.returncode == 0, done.stderr
    state = json.loads((tmp_path / 'single.json').read_text())
    state['reactors'] *= 2
    (tmp_path / 'double.json').write_text(json.dumps(state))
    for arguments, reason in ((('--config', 'tsad', '--initial-state', 'single.json'),
                               'a state of configuration ssad, not of tsad'),
                              (('--initial-state', 'double.json'), 'holds 2 reactor states, a run of ssad has 1'),
                              (('--initial-state', 'missing.json'), '--initial-state'),
                              # A run from a state goes on from its day (0.1) to day t-end.
                              (('--initial-state', 'single.json'), 't-end must be at least 0.1 d after day 0.1')):
        done = run(tmp_path, '--t-end', '0.1', '--out', 'b.xlsx', *arguments)
        assert done.returncode == 2 and reason in done.stderr, done.stderr
    assert not (tmp_path / 'b.xlsx').exists()


def test_a_run_that_stops_early_says_why_and_writes_no_final_state(tmp_path):
    # A feed far beyond what a 10-litre digester can take: the integrator gives up in the first day.
    done = run(tmp_path, '--q-in', '1000', '--v1', '0.01', '--t-end', '1', '--out', 'w.xlsx', '--final-state', 's.json')
    assert done.returncode == 3, done.stderr
    assert 'no final state is written to s.json: the run stopped early' in done.stderr
    assert 'stopped at day 0.01' in done.stderr and '(the integrator could not go on' in done.stderr
    assert not (tmp_path / 's.json').exists()
