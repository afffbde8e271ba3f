"""What a run gives by key, in one place: the values of its summary, each reactor's with "r1_" or
"r2_" in front, then the plant's, in digestra-cli's order. Study files are checked against these keys
before anything runs (the time series fit and uncertainty studies read are named in `series`)."""
from .studyfile import nearest

REACTOR_SUMMARY = ('final_gas_flow', 'final_normal_gas_flow', 'peak_gas_flow', 'final_ch4', 'final_co2', 'final_h2',
                   'final_ph', 'final_vfa', 'final_free_ammonia', 'normal_biogas', 'normal_methane')
PLANT_SUMMARY = ('organic_loading_rate', 'specific_methane_yield')
TWO_REACTORS = ('tsad', 'tpad')


def summary_keys(config):
    """The keys of the summary of a run in configuration `config`, in its order."""
    reactors = (1, 2) if config in TWO_REACTORS else (1,)
    return [f'r{r}_{key}' for r in reactors for key in REACTOR_SUMMARY] + list(PLANT_SUMMARY)


def summary_key_problem(name, config):
    """Why `name` is not a summary value of a run in `config`, or None."""
    keys = summary_keys(config)
    if name in keys:
        return None
    return f'"{name}" is not a summary value of config {config}{nearest(name, keys)}'
