"""Substrate lab values a fit, sensitivity or uncertainty study varies as it varies model constants:
under the study's parameters, `substrates.maize_silage.degradable_share = { min = 0.6, max = 0.9 }`
(a fit) or `{ dist = "uniform", min = 0.6, max = 0.9 }`, for any lab value of a substrate given by
lab values in the study's substrates file (degradable_share, BMP, XP, XL, XF, TS ...). A scenario
carries them under `substrate-values` ({"maize_silage.degradable_share": 0.8}), which digestra-cli
sets over the file's values; each is checked through `digestra-cli --list-substrates` at its
extremes before any run."""
import subprocess

PREFIX = 'substrates.'          # a varied name: "substrates.SUBSTRATE.KEY"
SCENARIO_KEY = 'substrate-values'


def is_value(name):
    return name.startswith(PREFIX)


def flatten(parameters):
    """The parameters table with its nested `substrates` table ({substrate: {key: entry}}, as TOML
    reads `substrates.maize_silage.BMP = ...`) as "substrates.SUBSTRATE.KEY" names."""
    flat = {}
    for name, entry in parameters.items():
        if name == PREFIX[:-1] and isinstance(entry, dict):
            for substrate, keys in entry.items():
                for key, value in (keys.items() if isinstance(keys, dict) else [('', keys)]):
                    flat[f'{PREFIX}{substrate}.{key}'.rstrip('.')] = value
        else:
            flat[name] = entry
    return flat


def check(cli, substrates, values):
    """{name: reason} for the varied names (values: name -> the values to try) that digestra-cli
    refuses with the substrates file, at the first value refused."""
    refused = {}
    for name, tried in values.items():
        if substrates is None:
            refused[name] = 'needs the substrates file in [base] (substrates = "substrates.toml")'
            continue
        for value in tried:
            done = subprocess.run([cli, '--substrates', substrates, '--list-substrates', '--json', '--substrate-value',
                                   f'{name[len(PREFIX):]}={value!r}'], capture_output=True, text=True, timeout=60)
            if done.returncode != 0:
                reason = done.stderr.strip().splitlines()[0] if done.stderr.strip() else f'exit status {done.returncode}'
                refused[name] = reason.removeprefix('digestra-cli: ').removesuffix(' (see --help)')
                break
    return refused
