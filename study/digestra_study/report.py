"""The files of a sensitivity, uncertainty, fit or optimisation study, in its output folder. Each writer puts its
tables as CSV, every number as JSON, its plots under plots/ and one report.html that holds the
tables and the plots (embedded) and reads on its own. Numbers are written as Python writes floats
(shortest round trip, a point for decimals) whatever the locale; a value that is not a number is an
empty CSV cell and null in JSON.

    write_sensitivity(folder, title, 'sobol' or 'morris', names, outputs, found, units, about)
        indices.csv     Sobol: output,parameter,S1,S1_low,S1_high,ST,ST_low,ST_high (ranked by ST)
                        Morris: output,parameter,mu_star,mu,sigma (ranked by mu_star)
        indices.json    the same, with the sum of S1, the samples or effects used, and `about`
    write_uncertainty(folder, title, bands, values, units, about)
        percentiles.csv output,runs,not_numbers,mean,sd,p5,p25,p50,p75,p95 (one row per summary value)
        bands.csv       series,t,runs,p5,p25,p50,p75,p95 (runs: the runs that reach time t)
        uncertainty.json
    write_fit(folder, title, found, units, about)
        fit.csv         parameter,estimate,std_error,ci_low,ci_high,start,min,max
        fit.json        everything `fitting.fit` found but the fitted curves
    write_optimum(folder, problem, found, point, about)
        optimum.csv     variable,value,unit
        optimum.json    the objective, the limits and whether the point is feasible, with `about`
        evaluations.csv run,generation, the variables, the objective (profit beside it when priced), each
                        limited output, feasible,status: every run in the order it finished
        pareto.csv      (with limits) the tightest limit's value, the best objective within it, its run

Each takes `setup`, what was run (`what_was_run`), shown first on the page and kept in the JSON.

`names` are the parameters in the design's order, `outputs` the output keys in the order of the
result's columns, `units` maps parameter, output and series keys to units (optional), `about`
holds what the runner wants recorded beside the numbers (samples, seed, runs, wall time...).
"""
import base64
import datetime
import html
import json
import math
import re

import numpy as np

from . import charts, files, fitting, readfile, studyfile, tables, uncertainty

SOBOL_COLUMNS = ('S1', 'S1_low', 'S1_high', 'ST', 'ST_low', 'ST_high')
MORRIS_COLUMNS = ('mu_star', 'mu', 'sigma')
FIT_COLUMNS = ('parameter', 'estimate', 'std_error', 'ci_low', 'ci_high', 'start', 'min', 'max')


def plain(value):
    """`value` with numpy arrays and numbers as lists and floats, and None for what is not a number."""
    if isinstance(value, dict):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple, np.ndarray)):
        return [plain(v) for v in value]
    if isinstance(value, (bool, np.bool_)):
        return bool(value)
    if isinstance(value, (int, np.integer)):
        return int(value)
    if isinstance(value, (float, np.floating)):
        return float(value) if math.isfinite(value) else None
    return value


def write_csv(path, header, rows):
    tables.write_csv(path, header, plain(rows))


def write_json(path, data):
    files.write_file(path, json.dumps(plain(data), indent=1, allow_nan=False) + '\n')


def file_name(key):
    return re.sub(r'[^A-Za-z0-9._-]+', '_', key)


class Page:
    """report.html: a title, then sections of text, tables and plots. Writes each plot to its file
    as it embeds it."""

    def __init__(self, folder, title):
        self.folder, self.parts = folder, [f'<h1>{html.escape(title)}</h1>']
        self.title = title

    def heading(self, text):
        self.parts.append(f'<h2>{html.escape(text)}</h2>')

    def text(self, text):
        self.parts.append(f'<p>{html.escape(text)}</p>')

    def warning(self, text):
        self.parts.append(f'<p class="warning"><strong>Warning:</strong> {html.escape(text)}</p>')

    def table(self, header, rows):
        head = ''.join(f'<th>{html.escape(str(h))}</th>' for h in header)
        body = ''.join('<tr>' + ''.join(f'<td>{html.escape(cell_text(c))}</td>' for c in row) + '</tr>' for row in rows)
        self.parts.append(f'<table><tr>{head}</tr>{body}</table>')

    def plot(self, name, data):
        files.write_file(self.folder / 'plots' / name, data)
        encoded = base64.b64encode(data).decode('ascii')
        self.parts.append(f'<p><img alt="{html.escape(name)}" src="data:image/png;base64,{encoded}"></p>')

    def setup(self, setup):
        """The "What was run" section: a table per part of `setup` (what_was_run's)."""
        if not setup:
            return
        self.heading('What was run')
        self.parts.append(f'<p>{html.escape(setup["program"])}, {html.escape(setup["date"])}</p>')
        for part, header in (('inputs', ('input', 'value')), ('files', ('file', 'path', 'SHA-256')),
                             ('parameters', ('parameter', 'unit', 'default', 'varied as')), ('settings', ('setting', 'value'))):
            if setup[part]:
                self.table(header, setup[part])

    def write(self):
        # A4 in print: figures scale to the page and keep whole, each section starts its own block.
        style = ('body{font-family:sans-serif;margin:2em;max-width:80em}table{border-collapse:collapse;margin:1em 0}'
                 'td,th{border:1px solid #bbb;padding:0.2em 0.6em;text-align:right}th{background:#eee}'
                 'td:first-child,td:nth-child(2){text-align:left;overflow-wrap:anywhere}img{max-width:100%}'
                 '.warning{border-left:4px solid #c60;padding-left:0.6em}'
                 '@page{size:A4;margin:15mm}@media print{body{margin:0;max-width:none}'
                 'img{max-height:240mm;page-break-inside:avoid;break-inside:avoid}table{font-size:9pt}'
                 'h2{break-after:avoid}th{background:#eee;-webkit-print-color-adjust:exact;print-color-adjust:exact}}')
        files.write_file(self.folder / 'report.html',
                         f'<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8"><title>{html.escape(self.title)}'
                         f'</title><style>{style}</style></head><body>\n' + '\n'.join(self.parts) + '\n</body></html>\n')


def cell_text(value):
    """A table cell: numbers to 4 significant digits, a blank dash for what is not a number."""
    value = plain(value)
    if value is None:
        return '–'
    if isinstance(value, float):
        return f'{value:.4g}'
    if isinstance(value, list):
        return '; '.join(cell_text(v) for v in value)
    return str(value)


def _about(page, about):
    if about:
        page.table(['setting', 'value'], list(about.items()))


def _varied(analysis, name):
    for d in analysis.distributions:
        if name in getattr(d, 'names', ()):   # drawn jointly from a fit
            j = d.names.index(name)
            return (f'normal, jointly with {", ".join(n for n in d.names if n != name) or "no other"} from the fit: '
                    f'mean {cell_text(d.mean[j])}, sd {cell_text(math.sqrt(d.covariance[j, j]))}')
    if name in analysis.bounds:
        return ', '.join(f'{k} {cell_text(v)}' for k, v in analysis.bounds[name].items())
    for d in analysis.distributions:
        if d.name == name:
            return f'{d.kind}: ' + ', '.join(f'{k} {cell_text(v)}' for k, v in d.settings.items())
    return ''


def _declared(name, config):
    """The unit and default of a run input or a model constant (`parameters.NAME` or NAME)."""
    constant = next((c for c in studyfile.CONSTANTS if c['name'] == name.removeprefix('parameters.')), None)
    if constant is not None:
        return constant['unit'], constant['default']
    declared = studyfile.DECLARED.get(name)
    return (declared['unit'], declared['default'].get(config)) if declared else (None, None)


def parameter_label(name):
    """A parameter as a reader reads it: its name with its declared unit."""
    unit = _declared(name, studyfile.DEFAULT_CONFIG)[0]
    return f'{name} [{unit}]' if unit and unit != '-' else name


def _setup(kind, config, base, version, files, parameters, settings):
    """What a report states was run (see what_was_run): the program and the date, the base inputs,
    the files read with their SHA-256, the parameters (name, unit, default, how varied), settings."""
    inputs = [(k, v) for k, v in base.items() if k not in ('config', 'engine', 'feed', 'substrates')]
    files = [(k, base[k]) for k in ('feed', 'substrates') if base.get(k)] + list(files)
    return {'program': f'digestra-cli {version or "(version unknown)"}',
            'date': datetime.datetime.now().astimezone().isoformat(timespec='seconds'),
            'inputs': [('kind', kind), ('config', config), ('engine', base.get('engine', studyfile.ENGINES[0])),   # batch lines' default
                       *inputs],
            'files': [(k, str(p), readfile.sha256(p)) for k, p in files],
            'parameters': parameters,
            'settings': [(k, json.dumps(plain(v)) if isinstance(v, dict) else v) for k, v in settings.items()
                         if v not in (None, {}, [])]}


def what_was_run(analysis, version):
    """What the report of a fit, sensitivity or uncertainty study states was run: the program and
    the date, the base inputs, the files read with their SHA-256 (feed, substrates, a fit's
    measurements), each parameter with unit, default and its box or distribution, the settings."""
    base = {**analysis.base, **{f'parameters.{k}': v for k, v in analysis.constants.items()}}
    parameters = []
    for name in analysis.names:
        unit, default = _declared(name, analysis.config)
        parameters.append((name, unit, analysis.base.get(name, analysis.constants.get(name, default)),
                           _varied(analysis, name)))
    read = ('measurements', 'from_fit')   # files, with their checksums
    settings = {k: v for k, v in analysis.settings.items() if k not in read}
    if analysis.joint:
        settings['sampling'] = f'{", ".join(analysis.joint)} jointly from the fit in from_fit (its estimates and covariance)'
    files = [(k, analysis.settings[k]) for k in read if analysis.settings.get(k)]
    return _setup(analysis.kind, analysis.config, base, version, files, parameters, settings)


def optimum_setup(problem, version):
    """What the report of an optimisation states was run (see what_was_run)."""
    parameters = [(v.name, v.unit, problem.base.get(v.name, _declared(v.name, problem.config)[1]),
                   f'min {cell_text(v.low)}, max {cell_text(v.high)}') for v in problem.variables]
    settings = {problem.sense: problem.objective, 'constraints': problem.constraints, 'prices': problem.prices,
                'max_runs': problem.max_runs, 'seed': problem.seed}
    return _setup('optimize', problem.config, problem.base, version, (), parameters, settings)


WIDEST_INTERVAL = 0.1   # a Sobol index's 95 % interval wider than this: more samples needed
S1_SUM_SLACK = 0.1      # a sum of S1 above 1 by more than this is sampling error (it cannot exceed 1)


def sample_warnings(result):
    """Why a Sobol result's sample looks too small for the intervals it gives."""
    found = []
    widths = [result[f'{k}_high'] - result[f'{k}_low'] for k in ('S1', 'ST')]
    widest = float(np.nanmax(widths)) if np.isfinite(widths).any() else math.nan
    if widest > WIDEST_INTERVAL:
        found.append(f'a 95 % interval is {widest:.2f} wide (more than {WIDEST_INTERVAL}): '
                     'increase samples until the indices that matter are narrower.')
    if result['S1_sum'] > 1 + S1_SUM_SLACK:
        found.append(f'the sum of S1 is {result["S1_sum"]:.2f}, above 1, which no model gives: the sample is too small.')
    return found


def write_sensitivity(folder, title, method, names, outputs, found, units=None, about=None, setup=None, labels=None):
    """indices.csv, indices.json, plots and report.html of Sobol or Morris indices (`found`: one
    result of sensitivity.sobol_indices or morris_indices per output; `labels`: the outputs' names
    as the runs' summaries give them)."""
    sobol = method == 'sobol'
    columns, rank = (SOBOL_COLUMNS, 'ST') if sobol else (MORRIS_COLUMNS, 'mu_star')
    page = Page(folder, title or f'{"Sobol" if sobol else "Morris"} sensitivity')
    page.setup(setup)
    _about(page, about)
    shown = [parameter_label(name) for name in names]
    rows, record = [], {'method': method, 'parameters': list(names), 'about': about or {}, 'setup': setup, 'outputs': {}}
    for output, result in zip(outputs, found):
        order = sorted(range(len(names)), key=lambda i: -np.nan_to_num(result[rank][i], nan=-np.inf))
        ranked = [[output, names[i], *(result[c][i] for c in columns)] for i in order]
        rows += ranked
        record['outputs'][output] = {'unit': (units or {}).get(output),
                                     **{key: dict(zip(names, v)) if isinstance(v, np.ndarray) else v
                                        for key, v in result.items()}}
        page.heading(charts.label(output, units, labels))
        if not np.isfinite(result[rank]).any():
            page.text('No indices: the output does not vary, or no run gave it as a number.')
        elif sobol:
            page.text(f'Sum of S1: {cell_text(result["S1_sum"])} (1 without interactions); '
                      f'{result["samples_used"]} base samples used.')
            for warning in sample_warnings(result):
                page.warning(warning)
            page.plot(f'sobol-{file_name(output)}.png', charts.sobol(output, shown, result, units, labels))
        else:
            page.plot(f'morris-{file_name(output)}.png', charts.morris(output, shown, result, units, labels))
        page.table(['parameter', *columns], [[shown[i], *row[2:]] for i, row in zip(order, ranked)])
    write_csv(folder / 'indices.csv', ['output', 'parameter', *columns], rows)
    write_json(folder / 'indices.json', record)
    page.write()


def write_uncertainty(folder, title, bands, values, units=None, about=None, setup=None, drawn=None, labels=None):
    """percentiles.csv, bands.csv, uncertainty.json, plots and report.html of a Monte Carlo study:
    `bands` {series: uncertainty.bands(...)}, `values` {summary key: [value of each run]}, `drawn`
    {parameter: [its value in each run]} (the sample's histograms), `labels` the summary values'
    names as the runs' summaries give them."""
    table = uncertainty.percentiles(values)
    at = [f'p{p}' for p in uncertainty.PERCENTILES]
    header = ['output', 'runs', 'not_numbers', 'mean', 'sd', *at]
    rows = [[key, *(row[c] for c in header[1:])] for key, row in table.items()]
    write_csv(folder / 'percentiles.csv', header, rows)
    band_rows = [[series, *point] for series, found in bands.items()
                 for point in zip(found['t'], found['runs'], *(found[p] for p in at))]
    write_csv(folder / 'bands.csv', ['series', 't', 'runs', *at], band_rows)
    write_json(folder / 'uncertainty.json', {'about': about or {}, 'setup': setup, 'percentiles': table, 'bands': bands,
                                            'units': units or {}})
    page = Page(folder, title or 'Uncertainty')
    page.setup(setup)
    _about(page, about)
    if drawn:
        page.heading('Inputs drawn')
        page.plot('inputs-drawn.png', charts.histograms(drawn, {}, {n: parameter_label(n) for n in drawn}))
    page.heading('Bands over time')
    for series, found in bands.items():
        if len(found['t']):
            page.plot(f'bands-{file_name(series)}.png', charts.bands(series, found, units))
        else:
            page.text(f'{charts.label(series, units)}: no run gave this series.')
    page.heading('Summary values')
    page.table(header, [[charts.label(row[0], units, labels), *row[1:]] for row in rows])
    if values:
        page.plot('histograms.png', charts.histograms(values, units, labels))
    page.write()


def write_fit(folder, title, found, units=None, about=None, setup=None, feed=None):
    """fit.csv, fit.json, plots and report.html of `fitting.fit`'s result; `feed` the base run's
    (feed.base_feed's: steps, or why it cannot be drawn), drawn under the gas."""
    rows = [[row[c] for c in FIT_COLUMNS] for row in found['parameters']]
    write_csv(folder / 'fit.csv', FIT_COLUMNS, rows)
    write_json(folder / 'fit.json', {'about': about or {}, 'setup': setup, 'units': units or {},
                                     **{k: v for k, v in found.items() if k not in ('curves', 'start_curves', 'bands')}})
    page = Page(folder, title or 'Fit')
    page.setup(setup)
    _about(page, about)
    page.heading('Estimates')
    notes = [f'{fitting.NOT_IDENTIFIABLE}: {"; ".join(r["notes"])}' if r['notes'] else ''
             for r in found['parameters']]
    page.table([*FIT_COLUMNS, 'note'], [[*row, note] for row, note in zip(rows, notes)])
    ended = f', stopped: {found["stopped"]}' if found['stopped'] else ''
    page.text(f'{found["runs"]} runs in {found["seconds"]:.1f} s, {found["data_points"]} measured values fitted, '
              f'residual variance {cell_text(found["residual_variance"])}{ended}.')
    page.heading('Fit quality')
    page.table(['series', 'data', 'points', 'RMSE', 'PBIAS [%]', 'NSE', 'R²'],
               [[charts.label(name, units), part, *(s[part][k] for k in ('points', 'rmse', 'pbias', 'nse', 'r2'))]
                for name, s in found['series'].items() for part in ('fitted', 'held_out') if s[part]['points']])
    page.plot('measured-and-fitted.png', charts.measured_and_fitted(found, units))
    if feed is not None:
        page.heading('Gas and feed')
        if isinstance(feed, str):
            page.text(f'The feed is not drawn: {feed}')
        else:
            page.plot('gas-and-feed.png', charts.gas_over_feed(found, units, feed))
    page.plot('residuals.png', charts.residuals(found, units))
    if len(found['parameters']) > 1:
        page.plot('correlation.png', charts.correlation(found))
    page.write()


def pareto_front(problem, evaluations, limit):
    """(limit value, best objective, run) where the best objective reachable improves as the limit of
    constraint `limit` is relaxed, from runs that meet every other limit."""
    bound = problem.constraints[limit]
    others = [e for e in evaluations if e['done'] and all(s >= 0 for k, s in e['slack'].items() if k != limit)]
    others.sort(key=lambda e: e['limits'][limit], reverse='max' not in bound)
    sign = 1 if problem.sense == 'maximize' else -1
    rows, best = [], -math.inf
    for e in others:
        if sign * e['objective'] > best:
            best = sign * e['objective']
            rows.append([e['limits'][limit], e['objective'], e['run']])
    return rows


def write_optimum(folder, problem, found, point, about, setup=None):
    """optimum.csv, optimum.json, evaluations.csv, pareto.csv (with constraints), plots and report.html
    of an optimisation (`found`: optimize.Search, `point`: the evaluation of the optimum, or of the
    least violating point when none is feasible)."""
    units = {'profit': ''}
    for record in found.runs.records.values():
        units.update({v['key']: v['unit'] for v in ((record.get('summary') or {}).get('values') or [])})
    names = [v.name for v in problem.variables]
    optimum = [[v.name, point['point'][v.name], v.unit] for v in problem.variables]
    write_csv(folder / 'optimum.csv', ['variable', 'value', 'unit'], optimum)
    evaluations = list(found.evaluations.values())
    limits = list(problem.constraints)
    profit = ['profit'] if problem.prices and problem.objective != 'profit' else []   # beside another objective
    write_csv(folder / 'evaluations.csv', ['run', 'generation', *names, problem.objective, *profit, *limits, 'feasible',
                                           'status'],
              [[e['run'], e['generation'], *(e['point'][n] for n in names), e['objective'], *(e[p] for p in profit),
                *(e['limits'][k] for k in limits), e['feasible'], e['status']] for e in evaluations])
    tightest = min(limits, key=lambda k: point['slack'][k] if point['done'] else 0, default=None)
    front = pareto_front(problem, evaluations, tightest) if tightest else []
    if tightest:
        write_csv(folder / 'pareto.csv', [tightest, problem.objective, 'run'], front)
    write_json(folder / 'optimum.json', {'about': about, 'setup': setup, 'sense': problem.sense, 'objective': problem.objective,
                                         'value': point['objective'], 'feasible': point['feasible'],
                                         'variables': {n: point['point'][n] for n in names},
                                         'constraints': {k: {**problem.constraints[k], 'value': point['limits'][k]}
                                                         for k in limits}, 'units': units})
    page = Page(folder, problem.title or f'Optimisation of {problem.objective}')
    page.setup(setup)
    _about(page, about)
    page.heading('Optimum' if point['feasible'] else 'No feasible point: the least violating one')
    unmet = [k for k in limits if point['done'] and point['slack'][k] < 0]
    page.text(f'{problem.sense} {problem.objective}: {cell_text(point["objective"])} {units.get(problem.objective, "")}'
              + (f'; limits not met: {", ".join(unmet)}' if unmet else '')
              + ('' if point['done'] else f'; the run failed: {point["message"]}'))
    page.table(['variable', 'value', 'unit'], optimum)
    if limits:
        page.table(['constraint', 'value', 'min', 'max', 'unit'],
                   [[k, point['limits'][k], problem.constraints[k].get('min'), problem.constraints[k].get('max'),
                     units.get(k)] for k in limits])
    page.heading('Search')
    page.plot('convergence.png', charts.convergence(found.best, problem.objective, units))
    page.plot('objective-against-variables.png', charts.against_variables(
        evaluations, [(v.name, v.unit) for v in problem.variables], problem.objective, units, point['point']))
    if front:
        page.heading(f'{problem.objective} against the limit of {tightest}')
        page.plot('pareto.png', charts.pareto(front, tightest, problem.objective, units))
        page.table([tightest, problem.objective, 'run'], front)
    page.write()
