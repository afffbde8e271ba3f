"""Runs a fit, sensitivity or uncertainty study: checks it whole, then hands it to its kind's module
(`fit_study`, `sensitivity_study`, `uncertainty_study`), which sends its runs to the study's cluster
through the runner core's `Runs` (the same workers and `digestra-cli --batch` processes as a sweep;
each run kept in `runs/<id>.json`, so `--resume` reuses every finished run and a point is never run
twice) and writes the results with `report`."""
import functools
import sys
import time

from . import (analyses, clicheck, core, distributions, fit_study, fitting, sensitivity, sensitivity_study, uncertainty,
               uncertainty_study)
from . import studyfile, substratevalues
from .studyfile import StudyError


def design(analysis):
    """The study's points in the unit cube."""
    k, s = len(analysis.names), analysis.settings
    if analysis.kind == 'uncertainty':
        return uncertainty.design(k, s['samples'], s['seed'])
    if s['method'] == 'sobol':
        return sensitivity.sobol_design(k, s['samples'], s['seed'])
    return sensitivity.morris_design(k, s['trajectories'], s['levels'], s['seed'])


def prepare(analysis, cli, yes=False):
    """Checks the study whole, with what needs digestra-cli and the design, raising StudyError with
    every problem; the design's points in the unit cube and as parameter values (a fit: None)."""
    problems = list(analysis.problems)
    too_many = core.size_problem(analysis, yes)
    problems += [too_many] if too_many else []
    if analysis.constants or any(n not in analyses.INPUTS for n in analysis.names):
        problems += analyses.check_constants(analysis, analyses.list_constants(cli))
    prepared = None
    verdict = functools.partial(clicheck.refusals, cli)   # digestra-cli's own checks, nothing run
    if analysis.kind == 'fit':
        start = {name: box['start'] for name, box in analysis.bounds.items() if 'start' in box}
        problems += analyses.check_points(analysis, [start], verdict)
        s = analysis.settings
        for key, reason in fitting.check(fit_study.fit_parameters(analysis), analysis.measurements, s['sigma'], s['weights'],
                                         s['holdout'], s['max_runs']) if analysis.measurements else ():
            key = f'fit.parameters.{key}' if key.split('.')[0] in analysis.bounds else f'fit.{key}'
            problems.append(f'{studyfile.where(key, analysis.lines)}: {reason}')
    elif not too_many and all(v is not None for k, v in analysis.settings.items() if k not in ('outputs', 'from_fit')):
        unit = design(analysis)   # only once every setting it needs was taken
        points = [dict(zip(analysis.names, row)) for row in distributions.values(analysis.distributions, unit)]
        problems += analyses.check_points(analysis, points, verdict)
        prepared = unit, points
    problems += check_substrate_values(analysis, cli, prepared)
    if problems:
        raise StudyError(problems)
    return prepared


def check_substrate_values(analysis, cli, prepared):
    """The problems of the substrate lab values varied, tried at their extremes (a fit: its box and
    start; else the design's smallest and largest value)."""
    names = [n for n in analysis.names if substratevalues.is_value(n)]
    if not names:
        return []
    if prepared is None:
        tried = {n: [analysis.bounds[n][k] for k in ('min', 'max', 'start') if k in analysis.bounds.get(n, {})]
                 for n in names}
    else:
        tried = {n: sorted({min(p[n] for p in prepared[1]), max(p[n] for p in prepared[1])}) for n in names}
    refused = substratevalues.check(cli, analysis.base.get('substrates'), tried)
    return [f'{studyfile.where(f"{analysis.kind}.parameters.{n}", analysis.lines)}: {reason}' for n, reason in refused.items()]


def main(args, text, data):
    """digestra-study for a study file with [fit], [sensitivity] or [uncertainty] (its text and TOML
    document); the exit status."""
    analysis = analyses.read(text, args.study.parent, data)
    cli, where = core.find_cli(args.cli, local=not args.scheduler)
    if cli is None:
        print(f'digestra-study: {where}', file=sys.stderr)
        return core.EXIT_BAD_STUDY
    try:
        prepared = prepare(analysis, cli, args.yes)
    except (analyses.NoListing, clicheck.CheckError) as e:
        print(f'digestra-study: {e}', file=sys.stderr)
        return core.EXIT_BAD_STUDY
    except StudyError as e:
        return core.refused(args.study, e.problems)
    if args.dry_run:
        limit = ' at most' if analysis.kind == 'fit' else ''
        print(f'{analysis.kind}: {len(analysis.names)} parameters ({", ".join(analysis.names)}),{limit} '
              f'{analysis.runs()} runs' + (' (set max_runs to bound it)' if analysis.kind == 'fit' and not analysis.settings['max_runs'] else ''))
        return core.EXIT_DONE
    print(f'digestra-study: using {cli} ({where})', file=sys.stderr)
    out = args.out or args.study.with_suffix('')
    series = list(fit_study.fit_requests(analysis).values()) if analysis.kind == 'fit' else \
        analysis.settings['series'] if analysis.kind == 'uncertainty' else []
    folder, runs = core.open_study(args, cli, text, out, series)
    if folder is None:   # refused: `runs` is the exit status
        return runs
    flow = {'fit': fit_study, 'sensitivity': sensitivity_study, 'uncertainty': uncertainty_study}[analysis.kind].run
    began = time.monotonic()
    try:
        with runs:
            status = flow(analysis, prepared, runs, out, began)
    except KeyboardInterrupt:
        print('Stopped: finished runs are kept; --resume continues.', file=sys.stderr)
        return core.EXIT_INTERRUPTED
    except core.Stopped as e:
        print(f'Stopped: {e}; finished runs are kept; --resume continues.', file=sys.stderr)
        return core.EXIT_NOT_ALL
    finally:
        folder.release()
    print(f'digestra-study: results in {out}', file=sys.stderr)
    return status
