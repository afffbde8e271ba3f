"""Calls of the pump-mixed script, and of its plain transcription, with default inputs changed as given."""
import pathlib

import harness
from harness import Cancel, Progress

# The input pages' defaults for this configuration: a 33 m3 digester mixed every 10 minutes.
POMP_ARGS = dict(harness.DEFAULT_ARGS, V_t1=33.0, mix_i=10.0)


def reference():
    """The plain transcription's namespace, composed with the solver script like the model script is."""
    text = (pathlib.Path(__file__).with_name('reference_pomp.py').read_text() + '\n\n'
            + (harness.MODELS / 'sh_solver.py').read_text())
    namespace = dict(harness.DEFAULT_PARAMETERS)
    exec(compile(text, '<reference_pomp.py>', 'exec'), namespace, namespace)
    return namespace


def run_pomp(ns, t_end, ph_mode=0, progress=None, cancel=None, keywords=None, **changes):
    """Calls the pump-mixed MyFunc with the default inputs, changed as given, and its keyword arguments."""
    a = dict(POMP_ARGS, **changes)
    return ns['MyFunc'](a['final_Q_in'], t_end, a['X_c_in'], ph_mode, a['S_h_ion_manual'], a['f_pr_xc'],
                        a['f_li_xc'], a['f_ch_xc'], a['T_1'], a['P_atm1'], a['V_t1'], a['mix_i'],
                        progress or Progress(), cancel or Cancel(), **(keywords or {}))
