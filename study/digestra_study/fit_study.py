"""A fit study: the parameters estimated from the measurements by `fitting`, each point's runs sent to
the cluster as the optimiser asks for them, then the estimates written by `report` and as an inputs
file."""
import sys
import time

from . import core, feed, fitting, progress, report, series
from .files import write_file


def fit_parameters(analysis):
    return [fitting.Parameter(n, b['min'], b['max'], b.get('start', b['min'])) for n, b in analysis.bounds.items()]


def fit_requests(analysis):
    """{measured series: the key of the run's series it is compared with, as it was recorded}."""
    return {name: series.request(name, how) for name, how in analysis.settings['aggregate'].items()}


def run(analysis, prepared, runs, out, began):
    """Fits the parameters to the measurements and writes the estimates and `fitted.toml`; the exit
    status."""
    parameters = fit_parameters(analysis)
    s = analysis.settings
    requests = fit_requests(analysis)

    def evaluate(points):
        records = runs.run([analysis.inputs(p) for p in points])
        return [{name: tuple(r['series'][key]) for name, key in requests.items() if key in r['series']}
                if r['status'] == 'done' else None for r in records]

    bar = progress.BestSoFar(sys.stderr)
    try:
        found = fitting.fit(evaluate, parameters, analysis.measurements, sigma=s['sigma'], weights=s['weights'],
                            holdout=s['holdout'], starts=s['starts'], max_runs=s['max_runs'], seed=s['seed'],
                            progress=bar)
    except RuntimeError as e:   # stopped before the first point and its Jacobian were run
        print(f'digestra-study: {e}; nothing written', file=sys.stderr)
        return core.EXIT_INTERRUPTED
    finally:
        bar.finish()
    units = {name: series.series_unit(name, how) for name, how in s['aggregate'].items()}
    about = {'runs': found['runs'], 'reused from before': runs.resumed, 'wall time [s]': round(time.monotonic() - began, 1),
             'series measured': len(analysis.measurements),
             'recorded as': ', '.join(f'{name} {how}' for name, how in s['aggregate'].items())}
    report.write_fit(out, analysis.title, found, units, about, report.what_was_run(analysis, core.cli_version(runs.cli)[0]),
                     feed.base_feed(analysis.inputs({}), runs.cli))
    write_file(out / 'fitted.toml', fitted_toml(analysis, found))
    if found['stopped'] == 'max_runs':
        print(f'digestra-study: fit stopped at max_runs = {s["max_runs"]}; the estimates are the best point so far',
              file=sys.stderr)
    if found['stopped'] == 'interrupted':
        print('Stopped: the best point so far is written; --resume continues.', file=sys.stderr)
        return core.EXIT_INTERRUPTED
    failed = [r for r in runs.records.values() if r['status'] != 'done']
    if failed:   # their points counted as misses: the estimates may be wrong
        print(f'digestra-study: {len(failed)} of {len(runs.records)} runs not done ({failed[0]["message"]})',
              file=sys.stderr)
    reason = fitting.failure(found)
    if reason:
        print(f'digestra-study: the fit failed: {reason}', file=sys.stderr)
    if failed or reason:
        return core.EXIT_NOT_ALL
    return core.EXIT_DONE


def fitted_toml(analysis, found):
    """The base inputs with the estimates filled in, as an inputs file."""
    import tomli_w
    estimates = {row['parameter']: row['estimate'] for row in found['parameters']}
    inputs = analysis.inputs(estimates)
    return tomli_w.dumps(inputs)
