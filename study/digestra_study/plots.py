"""Comparison plots of a study: the main summary values against each swept numeric input, and the
gas flow curves of all scenarios overlaid when there are few."""
import csv
import math
import textwrap

import matplotlib
matplotlib.use('Agg')
import matplotlib.pyplot as plt  # noqa: E402  (the backend must be chosen first)

from . import files  # noqa: E402
from .tables import input_header, input_unit  # noqa: E402

MAIN_VALUES = ('r1_normal_methane', 'specific_methane_yield', 'r1_final_ch4', 'r1_final_ph', 'r1_final_vfa',
               'r2_normal_methane', 'r2_final_ch4', 'r2_final_ph', 'r2_final_vfa')
MAX_LINES_NAMED = 6        # an input with more values does not get a line per value
MAX_LINES_LABELLED = 10    # up to this many lines each get a colour and a legend entry of their own
COLUMNS = 3
LABEL_WIDTH = 32           # characters of an axis label's line


def is_numeric(values):
    return all(isinstance(v, (int, float)) and not isinstance(v, bool) for v in values)


def value_labels(outcomes):
    """key -> axis label with unit, of the main values the outcomes hold."""
    labels = {}
    for outcome in outcomes:
        for value in (outcome['summary'] or {}).get('values', []):
            labels.setdefault(value['key'], f'{value["label"]} [{value["unit"]}]')
    return {key: labels[key] for key in MAIN_VALUES if key in labels}


def line_input(sweep, x_name):
    """The other swept input whose values name the lines: the one with fewest values, if at most 6."""
    others = [name for name in sweep if name != x_name and len(sweep[name]) <= MAX_LINES_NAMED]
    return min(others, key=lambda name: len(sweep[name]), default=None)


def input_text(name, value, scenarios):
    """'t1 = 303 K': an input's value with its unit, for legends."""
    unit = input_unit(name, scenarios)
    return f'{name} = {value}' + (f' {unit}' if unit and unit != '-' else '')


def line_styles(lines, sweep, x_name, scenarios):
    """(colour, legend entry or None) of each line. Few lines each get their own colour and the
    values of the other swept inputs as their name; many share the colour of one input's value."""
    if len(lines) <= MAX_LINES_LABELLED:
        return {rest: (f'C{i}', ', '.join(input_text(name, value, scenarios) for name, value in rest) or None)
                for i, rest in enumerate(lines)}
    by_line = line_input(sweep, x_name)
    colours = {value: f'C{i % 10}' for i, value in enumerate(sweep.get(by_line, [None]))}
    styles, named = {}, set()
    for rest in lines:
        value = dict(rest).get(by_line)
        named_here = by_line and value not in named
        styles[rest] = (colours[value], input_text(by_line, value, scenarios) if named_here else None)
        named.add(value)
    return styles


def plot_against(path, title, x_name, sweep, scenarios, outcomes):
    labels = value_labels(outcomes.values())
    finished = [s for s in scenarios if s.id in outcomes]
    if not labels or not finished:
        return
    # One line through each set of scenarios that differ in x alone.
    lines = {}
    for s in finished:
        rest = tuple((name, s.inputs.get(name)) for name in sweep if name != x_name)
        lines.setdefault(rest, []).append(s)
    for members in lines.values():
        members.sort(key=lambda s: s.inputs[x_name])
    styles = line_styles(lines, sweep, x_name, finished)
    rows = math.ceil(len(labels) / COLUMNS)
    figure, axes = plt.subplots(rows, COLUMNS, figsize=(4.2 * COLUMNS, 3.2 * rows + 0.6), squeeze=False)
    for ax, (key, label) in zip(axes.flat, labels.items()):
        for rest, members in lines.items():
            ys = [_value(outcomes[s.id], key) for s in members]
            if all(math.isnan(y) for y in ys):   # e.g. reactor 2 of a single-stage run
                continue
            colour, legend = styles[rest]
            ax.plot([s.inputs[x_name] for s in members], ys, marker='o', color=colour, label=legend)
        ax.set_xlabel(input_header(x_name, finished))
        ax.set_ylabel(textwrap.fill(label, LABEL_WIDTH))
        ax.grid(True, alpha=0.3)
    for ax in list(axes.flat)[len(labels):]:
        ax.set_visible(False)
    figure.suptitle(f'{title}: summary values against {x_name}' if title else f'Summary values against {x_name}')
    _legend(figure, axes)
    _save(figure, path)


def _legend(figure, axes):
    """One legend for the whole figure, below the plots, of every named line."""
    entries = {}
    for ax in axes.flat:
        for handle, label in zip(*ax.get_legend_handles_labels()):
            entries.setdefault(label, handle)
    if entries:
        figure.legend(entries.values(), entries.keys(), loc='lower center', ncol=min(len(entries), 4),
                      fontsize='small', frameon=False)
        figure.tight_layout(rect=(0, 0.04 * math.ceil(len(entries) / 4), 1, 1))
    else:
        figure.tight_layout()


def _value(outcome, key):
    for value in (outcome['summary'] or {}).get('values', []):
        if value['key'] == key:
            return math.nan if value['value'] is None else value['value']
    return math.nan


def read_flow(path):
    """{reactor number: (t, gas flow)} and the units of both, from a run's CSV (whose units line
    reads "[d],[m3/d],...")."""
    with open(path, newline='', encoding='utf-8') as f:
        reader = csv.reader(f)
        header, units = next(reader), next(reader)
        rows = [row for row in reader if row]
    curves, axis_units = {}, {}
    for reactor, prefix in ((1, ''), (1, 'R1 '), (2, 'R2 ')):
        if prefix + 't' in header and prefix + 'gasflow' in header:
            t, q = header.index(prefix + 't'), header.index(prefix + 'gasflow')
            curves[reactor] = ([float(row[t]) for row in rows], [float(row[q]) for row in rows])
            axis_units = {'t': units[t].strip('[]'), 'gasflow': units[q].strip('[]')}
    return curves, axis_units


def plot_flows(path, title, scenarios, flows_paths, sweep):
    """Gas flow against time of every scenario with a CSV, one panel per reactor."""
    curves = [(s, *read_flow(flows_paths[s.id])) for s in scenarios if s.id in flows_paths]
    if not curves:
        return
    reactors = sorted({r for _, flows, _ in curves for r in flows})
    figure, axes = plt.subplots(1, len(reactors), figsize=(7 * len(reactors), 5.5), squeeze=False)
    for ax, reactor in zip(axes.flat, reactors):
        for number, (scenario, flows, units) in enumerate(curves):
            if reactor in flows:   # a scenario keeps its colour in both panels
                name = ', '.join(input_text(k, scenario.inputs.get(k), scenarios) for k in sweep) or scenario.id
                ax.plot(*flows[reactor], label=name, linewidth=1, color=plt.cm.tab20(number % 20))
                ax.set_xlabel(f'Time [{units["t"]}]')
                ax.set_ylabel(f'Gas flow [{units["gasflow"]}]')
        ax.set_title(f'Reactor {reactor}')
        ax.grid(True, alpha=0.3)
    figure.suptitle(f'{title}: gas flow of every scenario' if title else 'Gas flow of every scenario')
    _legend(figure, axes)
    _save(figure, path)


def _save(figure, path):
    with files.written_atomically(path) as temporary:
        figure.savefig(temporary, dpi=100)
    plt.close(figure)


def write_plots(folder, title, sweep, scenarios, outcomes, flows_paths):
    for name, values in sweep.items():
        if is_numeric(values) and len(values) > 1:
            plot_against(folder / f'{name}.png', title, name, sweep, scenarios, outcomes)
    if flows_paths:
        plot_flows(folder / 'gas-flow.png', title, scenarios, flows_paths, sweep)
