"""One run of a configuration's model script under this Python, without the program around it:
the program text composed as digestra-cli composes it (model script, two newlines, solver
script), executed in a fresh namespace, MyFunc called with digestra-cli's default inputs and
callbacks that do nothing. Prints the call's wall time and right-hand-side evaluations."""
import argparse
import json
import pathlib
import time
import tomllib

MODELS = pathlib.Path(__file__).resolve().parents[1] / 'models'
PARAMETERS = MODELS.parent / 'inputs' / 'modelparameters.toml'
SCRIPTS = {'ssad': 'module_ssad.py', 'tsad': 'module_tsad.py', 'tpad': 'module_tpad.py', 'pomp': 'module_pomp.py'}


def program_text(config):
    return (MODELS / SCRIPTS[config]).read_text() + '\n\n' + (MODELS / 'sh_solver.py').read_text()


def progress(t, t_final):
    pass


def cancel():
    return 0


def arguments(config, ph_mode, t_end):
    """MyFunc's arguments for the input pages' defaults, in each configuration's order."""
    first = [5.31, t_end, 10.0, ph_mode, 10 ** -7.0, 0.3, 0.3, 0.3, 308.0]
    return first + {
        'ssad': [1.013, 33.0, progress, cancel],
        'tsad': [2.026, 1.013, 33.0, 33.0, progress, cancel],
        'tpad': [1.013, 33.0, progress, cancel, (308.0, 1.013, 33.0, 0.0)],
        'pomp': [1.013, 33.0, 10.0, progress, cancel],
    }[config]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('config', choices=sorted(SCRIPTS))
    parser.add_argument('--ph', choices=['free', 'manual'], default='manual')
    parser.add_argument('--t-end', type=float, default=50.0)
    options = parser.parse_args()

    # The model constants at their defaults, as the program sets them before a run.
    with PARAMETERS.open('rb') as declaration:
        namespace = {p['name']: p['default'] for p in tomllib.load(declaration)['parameter']}
    namespace['__name__'] = '__main__'
    exec(compile(program_text(options.config), '<' + options.config + '>', 'exec'), namespace, namespace)
    start = time.perf_counter()
    table = namespace['MyFunc'](*arguments(options.config, 1 if options.ph == 'free' else 0, options.t_end))
    seconds = time.perf_counter() - start
    print(json.dumps({'model_seconds': seconds, 'rhs_evaluations': namespace['rhs_evaluations'],
                      'rows': len(table)}))


if __name__ == '__main__':
    main()
