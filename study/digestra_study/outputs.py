"""What a run gives by key, in one place: the values of its summary, each reactor's with "r1_" or
"r2_" in front, and the plant's, as digestra-cli's output declaration names them. Study files are checked against these keys
before anything runs (the time series fit and uncertainty studies read are named in `series`)."""
import json
import pathlib

from .studyfile import nearest

# The output declaration digestra-cli exports (`digestra-cli --list-outputs --json`).
DECLARED = json.loads(pathlib.Path(__file__).with_name('outputs.json').read_text(encoding='utf-8'))['outputs']
REACTOR_SUMMARY = tuple(key for o in DECLARED if o['scope'] == 'reactor' for key in o['summary'])
PLANT_SUMMARY = tuple(key for o in DECLARED if o['scope'] != 'reactor' for key in o['summary'])
TWO_REACTORS = ('tsad', 'tpad')


def summary_keys(config):
    """The keys of the summary of a run in configuration `config`."""
    reactors = (1, 2) if config in TWO_REACTORS else (1,)
    return [f'r{r}_{key}' for r in reactors for key in REACTOR_SUMMARY] + list(PLANT_SUMMARY)


def summary_key_problem(name, config):
    """Why `name` is not a summary value of a run in `config`, or None."""
    keys = summary_keys(config)
    if name in keys:
        return None
    return f'"{name}" is not a summary value of config {config}{nearest(name, keys)}'
