"""Calls of the two-reactor scripts, and of their plain transcription, with default inputs changed as
given."""
import numpy as np

import harness
import reference_tsad_tpad
from harness import Cancel, Progress

# The geometry pages' defaults: 33 m3 reactors venting at 1.013 bar, both at 35 °C, no additional solids
# retention.
DEFAULT_ARGS = dict(harness.DEFAULT_ARGS, V_t1=33.0, P_atm2=1.013, V_t2=33.0, T_2=308.15, t_sr=0.0)


def load(script_name):
    """The script's namespace; the plain transcription shares its solver."""
    namespace = harness.load(script_name)
    reference_tsad_tpad.solve_ph = namespace['solve_ph']
    reference_tsad_tpad.start_ph_solver = namespace['start_ph_solver']
    return namespace


def run_tsad(my_func, t_end, ph_mode=0, progress=None, cancel=None, keywords=None, **changes):
    a = dict(DEFAULT_ARGS, **changes)
    return my_func(a['final_Q_in'], t_end, a['X_c_in'], ph_mode, a['S_h_ion_manual'], a['f_pr_xc'],
                   a['f_li_xc'], a['f_ch_xc'], a['T_1'], a['P_atm1'], a['P_atm2'], a['V_t1'], a['V_t2'],
                   progress or Progress(), cancel or Cancel(), **(keywords or {}))


def run_tpad(my_func, t_end, ph_mode=0, progress=None, cancel=None, keywords=None, **changes):
    a = dict(DEFAULT_ARGS, **changes)
    return my_func(a['final_Q_in'], t_end, a['X_c_in'], ph_mode, a['S_h_ion_manual'], a['f_pr_xc'],
                   a['f_li_xc'], a['f_ch_xc'], a['T_1'], a['P_atm1'], a['V_t1'], progress or Progress(),
                   cancel or Cancel(), (a['T_2'], a['P_atm2'], a['V_t2'], a['t_sr']), **(keywords or {}))


def two_reactor_state(ns, reactor_1=None, reactor_2=None):
    """The 59-entry state: the initial state in both blocks, with the given entries scaled per reactor
    (name -> factor)."""
    names = ns['STATE_NAMES']
    y = np.array(ns['INITIAL_STATE'] + (0.0,) + ns['INITIAL_STATE'])
    for offset, factors in ((0, reactor_1 or {}), (30, reactor_2 or {})):
        for name, factor in factors.items():
            y[offset + names.index(name)] *= factor
    return y


def perturbed_two_reactor_state(ns, seed=5):
    rng = np.random.default_rng(seed)
    y = two_reactor_state(ns) * rng.uniform(0.5, 1.5, 59)
    y[29] = 0.0
    return y
