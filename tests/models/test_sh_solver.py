"""pH solver: manual and free pH, the exact solver's root, the damped Newton's fixed pass limit, purity
under memoisation."""
import math
import random

import pytest
from scipy.optimize import brentq

import harness
import reference_ssad
import runs_pomp
import runs_tsad_tpad

# Constants of a 308.15 K liquid
KA_IN, KA_CO2, K_W = 1.1221e-9, 4.9447e-7, 2.1025e-14
# S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an of the standard initial state
STANDARD = (0.0117245, 0.0148542, 0.0179604, 0.0492285, 0.0750682, 0.0324451, 0.04, 0.0035714)
# Much more acid than the initial guess suggests
FAR_ROOT = (0.5, 0.5, 0.5, 5.0, 0.05, 0.03, 0.04, 0.0035714)


@pytest.fixture(scope='module')
def solve_ph():
    """The damped solver of earlier versions."""
    namespace = harness.load()
    namespace['start_ph_solver']('damped')
    return namespace['solve_ph']


@pytest.fixture
def exact():
    namespace = harness.load()
    namespace['start_ph_solver']('exact')
    return namespace


def free(liquid):
    return liquid + (KA_IN, KA_CO2, K_W, 1, 1e-7)


def manual(liquid, S_h_ion_manual, ph_mode=0):
    return liquid + (KA_IN, KA_CO2, K_W, ph_mode, S_h_ion_manual)


def charge_balance_root_ph(liquid):
    S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an = liquid

    def residual(ph):
        h = 10 ** -ph
        ka = (10 ** -4.76, 10 ** -4.82, 10 ** -4.86, 10 ** -4.88)
        return (h + S_cat - S_an + h * S_IN / (KA_IN + h) - KA_CO2 * S_IC / (KA_CO2 + h)
                - ka[0] * S_ac / (ka[0] + h) / 64 - ka[1] * S_bu / (ka[1] + h) / 160
                - ka[2] * S_va / (ka[2] + h) / 208 - ka[3] * S_pro / (ka[3] + h) / 112 - K_W / h)
    return brentq(residual, 2.0, 12.0, xtol=1e-12)


def ions_at(liquid, S_H):
    S_va, S_bu, S_pro, S_ac, S_IC, S_IN, S_cat, S_an = liquid
    hco3 = KA_CO2 * S_IC / (KA_CO2 + S_H)
    return (S_H * S_IN / (KA_IN + S_H), hco3,
            10 ** -4.76 * S_ac / (10 ** -4.76 + S_H), 10 ** -4.82 * S_bu / (10 ** -4.82 + S_H),
            10 ** -4.86 * S_va / (10 ** -4.86 + S_H), 10 ** -4.88 * S_pro / (10 ** -4.88 + S_H),
            K_W / S_H, S_IC - hco3, KA_IN * S_IN / (KA_IN + S_H))


def test_manual_mode_returns_the_imposed_concentration_for_every_mode_but_one(solve_ph):
    expected = (1e-7,) + ions_at(STANDARD, 1e-7)
    for ph_mode in (0, 2, -1, 7):
        assert solve_ph(*manual(STANDARD, 1e-7, ph_mode)) == expected
    assert solve_ph(*manual(STANDARD, 1e-7, 1)) != expected


def test_exact_free_mode_returns_the_root_from_any_start(exact):
    # Liquids from nearly nothing to far too much of every acid and base, solved in turn (each call
    # starts from the last one's root) and afresh: the root within 1e-10 pH, the ions at the root.
    rng = random.Random(3)
    liquids = [STANDARD, FAR_ROOT] + [tuple(v * 10 ** rng.uniform(-3, 2) for v in STANDARD) for _ in range(200)]
    for liquid in liquids:
        for fresh in (False, True):
            if fresh:
                exact['start_ph_solver']('exact')
            result = exact['solve_ph'](*free(liquid))
            root = charge_balance_root_ph(liquid) if 2 < -math.log10(result[0]) < 12 else None
            if root is not None:
                assert -math.log10(result[0]) == pytest.approx(root, abs=1e-10), liquid
            assert result[1:] == pytest.approx(ions_at(liquid, result[0]), rel=1e-12, abs=1e-300)
            # Called again with the same arguments, the solver returns the same values.
            assert exact['solve_ph'](*free(liquid)) == result


def test_exact_solver_is_the_default_and_a_run_forgets_the_last(exact):
    assert harness.load()['ph_solver'] == 'exact'
    exact['solve_ph'](*free(FAR_ROOT))
    exact['start_ph_solver']('exact')
    assert exact['_last_S_H'] is None
    with pytest.raises(ValueError):
        exact['start_ph_solver']('newton')


def test_free_mode_stops_after_101_damped_passes_short_of_the_root(solve_ph):
    # Standard state: the result is near the root but visibly not on it.
    x = solve_ph(*free(STANDARD))[0]
    assert round(-math.log10(x), 4) == 7.2367
    assert round(charge_balance_root_ph(STANDARD), 4) == 7.2363
    # Far root: the result stays much nearer the initial guess than the root.
    x = solve_ph(*free(FAR_ROOT))[0]
    assert -math.log10(x) == pytest.approx(6.71, abs=0.01)
    assert charge_balance_root_ph(FAR_ROOT) == pytest.approx(5.17, abs=0.01)


def test_free_mode_ions_are_one_update_behind_but_free_ammonia_is_not(solve_ph):
    result = solve_ph(*free(STANDARD))
    x = result[0]
    assert result[9] == KA_IN * STANDARD[5] / (KA_IN + x)
    assert result[8] == STANDARD[4] - result[2]
    # The ions were evaluated at the S_H before the last update, a little more alkaline.
    assert result[2] != ions_at(STANDARD, x)[1]
    assert result[1:9] == pytest.approx(ions_at(STANDARD, x)[:8], rel=1e-4)


def test_one_pass_when_the_initial_guess_already_balances(solve_ph):
    S_H = 5.79e-8
    # Cations chosen so that the residual at the initial guess is within the tolerance.
    liquid = list(STANDARD)
    nh4, hco3, ac, bu, va, pro, oh = ions_at(STANDARD, S_H)[:7]
    liquid[6] = -(S_H - liquid[7] + nh4 - hco3 - ac / 64 - bu / 160 - va / 208 - pro / 112 - oh)
    result = solve_ph(*free(tuple(liquid)))
    assert result[1:8] == ions_at(tuple(liquid), S_H)[:7]
    assert abs(result[0] - S_H) < 1e-20


def start_both(namespace, ph_solver):
    """The script's solver and the plain transcription's, both started afresh."""
    namespace['start_ph_solver'](ph_solver)
    reference_ssad.ph_solver, reference_ssad.last_S_H = ph_solver, None
    return namespace['solve_ph']


@pytest.mark.parametrize('ph_solver', ['exact', 'damped'])
def test_inorganic_nitrogen_zero_takes_its_normal_course(ph_solver):
    solve_ph = start_both(harness.load(), ph_solver)
    liquid = STANDARD[:5] + (0.0,) + STANDARD[6:]
    result = solve_ph(*free(liquid))
    assert result[1] == 0 and result[9] == 0
    assert result == reference_ssad.solve_ph(*free(liquid))


@pytest.mark.parametrize('ph_solver', ['exact', 'damped'])
def test_results_match_the_plain_transcription_whatever_the_call_order(ph_solver):
    # Three liquids called in turn, one of them perturbed as a finite-difference Jacobian does, and
    # more distinct argument sets than the damped solver remembers: no call may see another's result,
    # and each exact call starts where the last ended.
    solve_ph = start_both(harness.load(), ph_solver)
    rng = random.Random(7)
    liquids = [tuple(v * rng.uniform(0.5, 2.0) for v in STANDARD) for _ in range(3)]
    calls = []
    for k in range(12):
        for n, liquid in enumerate(liquids):
            if n == k % 3:
                liquid = liquid[:k % 8] + (liquid[k % 8] * (1 + 1e-8),) + liquid[k % 8 + 1:]
            calls.append(free(liquid))
    calls += calls[:5] + [manual(liquids[0], 1e-7), free(liquids[0])]
    for args in calls:
        assert solve_ph(*args) == reference_ssad.solve_ph(*args)


def test_repeated_free_mode_arguments_are_solved_once():
    namespace = harness.load()
    namespace['start_ph_solver']('damped')
    solved = []
    charge_balance = namespace['_charge_balance']
    namespace['_charge_balance'] = lambda *args: solved.append(args) or charge_balance(*args)
    first, second, third = free(STANDARD), free(FAR_ROOT), free(STANDARD[:4] + (0.08,) + STANDARD[5:])
    for args in (first, second, third, first, second, third, second):
        namespace['solve_ph'](*args)
    assert len(solved) == 3


@pytest.mark.parametrize('script', ['module_ssad.py', 'module_tsad.py', 'module_tpad.py', 'module_pomp.py'])
def test_published_rows_satisfy_their_own_charge_balance(script):
    # Every row of a free-pH run (both reactors) at the root of its state's balance; the pump-mixed
    # rows show section means beside section 3's chemistry, so its last row is held to section 3's
    # final state.
    ns = runs_tsad_tpad.load(script)
    run = {'module_ssad.py': harness.run_ssad, 'module_pomp.py': runs_pomp.run_pomp,
           'module_tsad.py': lambda ns, *a, **k: runs_tsad_tpad.run_tsad(ns['MyFunc'], *a, **k),
           'module_tpad.py': lambda ns, *a, **k: runs_tsad_tpad.run_tpad(ns['MyFunc'], *a, **k)}[script]
    table = run(ns, 3.0, ph_mode=1)
    names = ns['RESULT_COLUMNS']
    blocks = [dict(zip(names, row[o:o + len(names)])) for row in table[1:] for o in range(0, table.shape[1], len(names))]
    if script == 'module_pomp.py':
        blocks = [dict(blocks[-1], **ns['final_state'][2])]
    assert not harness.balance_misses(blocks)
    # The damped solver of earlier versions ends short of the root.
    assert harness.balance_misses([dict(zip(names, run(ns, 3.0, ph_mode=1, keywords={'ph_solver': 'damped'})[-1]))],
                                  within=1e-4)
