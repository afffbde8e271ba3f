"""Runs a model script the way the program does: the model script, two newlines and the solver
script, executed as one program text in a fresh namespace."""
import pathlib
import tomllib

MODELS = pathlib.Path(__file__).resolve().parents[2] / 'models'
PARAMETER_FILE = MODELS.parent / 'inputs' / 'modelparameters.toml'

# The model constants by name with their defaults, which the program sets in the namespace before a run.
with PARAMETER_FILE.open('rb') as declaration:
    DEFAULT_PARAMETERS = {p['name']: p['default'] for p in tomllib.load(declaration)['parameter']}

# Inputs of the single-stage tests: the input page's feed (5.31 m3/d at 10 kg COD/m3, fractions 0.3
# each, manual pH 7) in a large 3400 m3 digester at 308.15 K and 1.013 bar, which keeps the runs
# gentle; tests that need the geometry page's 33 m3 pass it explicitly.
DEFAULT_ARGS = dict(final_Q_in=5.31, X_c_in=10.0, f_pr_xc=0.3, f_li_xc=0.3, f_ch_xc=0.3,
                    S_h_ion_manual=10 ** -7.0, T_1=308.15, P_atm1=1.013, V_t1=3400.0)


# The pH modes and free-pH solvers every table is compared under: free pH by either solver, manual pH.
PH_CASES = [(1, 'exact'), (1, 'damped'), (0, 'exact')]


def balance_misses(rows, within=1e-8):
    """(row, pH, root) of each row whose pH is not the root of the charge balance of its own state
    within `within`. rows: mappings by result column name (RESULT_COLUMNS) of free-pH rows after the
    start. The equilibrium constants at the row's temperature come from its own ions (Ka = S_H times
    base over acid, K_w = S_H times S_OH), the acids' from the declaration."""
    from scipy.optimize import brentq
    acids = [(DEFAULT_PARAMETERS[k], d, s) for k, d, s in
             (('Ka_ac', 64, 'S_ac'), ('Ka_bu', 160, 'S_bu'), ('Ka_va', 208, 'S_va'), ('Ka_pro', 112, 'S_pro'))]
    missed = []
    for n, r in enumerate(rows):
        S_H = r['S_h_ion']
        Ka_IN, Ka_co2, K_w = S_H * r['S_nh3'] / r['S_nh4_ion'], S_H * r['S_hco3_ion'] / r['S_co2'], S_H * r['S_oh_ion']

        def balance(ph):
            h = 10 ** -ph
            return (h + r['S_cat'] - r['S_an'] + h * r['S_IN'] / (Ka_IN + h) - Ka_co2 * r['S_IC'] / (Ka_co2 + h)
                    - sum(ka * r[s] / (ka + h) / d for ka, d, s in acids) - K_w / h)
        root = brentq(balance, 0.0, 14.0, xtol=1e-14, rtol=1e-15)
        if not abs(r['pH'] - root) <= within:
            missed.append((n, r['pH'], root))
    return missed


def program_text(script_name):
    model = (MODELS / script_name).read_text()
    solver = (MODELS / 'sh_solver.py').read_text()
    return model + '\n\n' + solver


def load(script_name='module_ssad.py', **parameters):
    """A fresh namespace holding the model constants (the defaults, changed as given) in which the
    composed program text has run."""
    namespace = dict(DEFAULT_PARAMETERS, **parameters)
    exec(compile(program_text(script_name), '<' + script_name + '>', 'exec'), namespace, namespace)
    return namespace


class Progress:
    """Records every progress call."""

    def __init__(self):
        self.calls = []

    def __call__(self, t, t_final):
        self.calls.append((t, t_final))


class Cancel:
    """Answers the cancel query: 1 from the given query on (counting from 1), 0 before it."""

    def __init__(self, at_query=None):
        self.at_query = at_query
        self.queries = 0

    def __call__(self):
        self.queries += 1
        return 1 if self.at_query is not None and self.queries >= self.at_query else 0


def run_ssad(namespace, t_end, ph_mode=0, progress=None, cancel=None, keywords=None, **changes):
    """Calls the single-stage MyFunc with the default inputs, changed as given, and its keyword
    arguments (feed, initial_state)."""
    a = dict(DEFAULT_ARGS, **changes)
    return namespace['MyFunc'](a['final_Q_in'], t_end, a['X_c_in'], ph_mode, a['S_h_ion_manual'],
                               a['f_pr_xc'], a['f_li_xc'], a['f_ch_xc'], a['T_1'], a['P_atm1'],
                               a['V_t1'], progress or Progress(), cancel or Cancel(), **(keywords or {}))
