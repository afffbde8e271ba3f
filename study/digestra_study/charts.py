"""The plots of sensitivity, uncertainty and fit results, each returned as PNG bytes so that one
drawing serves both its file and the report page. `label(key, units)` gives an axis label with the
unit when one is known."""
import io
import math
import textwrap

import matplotlib
matplotlib.use('Agg')
import matplotlib.pyplot as plt  # noqa: E402  (the backend must be chosen first)
import numpy as np  # noqa: E402

from . import series  # noqa: E402

COLUMNS = 3
LABEL_WIDTH = 30   # characters of a line of a parameter's label beside its bars


def label(key, units, names=None):
    """An axis label: the quantity's name as a reader reads it (`names` {key: name}, else the series'
    title), with its unit when one is known."""
    unit = (units or {}).get(key)
    name = (names or {}).get(key) or series.title(key)
    return f'{name} [{unit}]' if unit and unit != '-' else name


def png(figure):
    data = io.BytesIO()
    figure.tight_layout()
    figure.savefig(data, format='png', dpi=100)
    plt.close(figure)
    return data.getvalue()


def _grid(count, width=4.2, height=3.4):
    rows = max(1, math.ceil(count / COLUMNS))
    columns = min(count, COLUMNS) or 1
    figure, axes = plt.subplots(rows, columns, figsize=(width * columns, height * rows), squeeze=False)
    for ax in list(axes.flat)[count:]:
        ax.set_visible(False)
    return figure, list(axes.flat)[:count]


def _ranked_bars(ax, labels, order, bars):
    """Horizontal bars of each parameter, the first in `order` at the top: `bars` (values, errors or
    None, colour, legend entry) side by side. Labels are wrapped so that none is cut off."""
    y = np.arange(len(order))[::-1]
    height = 0.8 / len(bars)
    for n, (values, errors, colour, name) in enumerate(bars):
        ax.barh(y + 0.4 - height * (n + 0.5), np.asarray(values)[order], height, color=colour, label=name,
                xerr=None if errors is None else errors[:, order], capsize=3 if errors is not None else 0)
    ax.set_yticks(y, [textwrap.fill(labels[i], LABEL_WIDTH) for i in order], fontsize='small')
    ax.axvline(0, color='0.5', linewidth=0.8)
    ax.legend(fontsize='small', loc='lower right')
    ax.grid(True, axis='x', alpha=0.3)


def _bars_figure(count):
    """A figure for `count` parameters' bars: its height grows with them."""
    return plt.subplots(figsize=(8, 1.6 + 0.45 * count))


def morris(output, parameters, found, units, names=None):
    """mu* and sigma of one output per parameter (`parameters`: their labels), ranked by mu*."""
    order = np.argsort(-np.nan_to_num(found['mu_star'], nan=-np.inf), kind='stable')
    figure, ax = _bars_figure(len(parameters))
    _ranked_bars(ax, parameters, order, [(found['mu_star'], None, 'C0', 'μ* (mean absolute effect)'),
                                         (found['sigma'], None, 'C2', 'σ (interactions, non-linearity)')])
    ax.set_xlabel(textwrap.fill(f'effect on {label(output, units, names)} over a parameter\'s range', 2 * LABEL_WIDTH))
    ax.set_title(textwrap.fill(f'Morris: {label(output, units, names)}', 2 * LABEL_WIDTH))
    return png(figure)


def sobol(output, parameters, found, units=None, names=None):
    """S1 and ST of one output with their intervals per parameter (`parameters`: their labels),
    ranked by ST."""
    order = np.argsort(-np.nan_to_num(found['ST'], nan=-np.inf), kind='stable')
    figure, ax = _bars_figure(len(parameters))

    def errors(key):
        value = found[key]
        return np.abs(np.vstack([value - found[f'{key}_low'], found[f'{key}_high'] - value]))
    _ranked_bars(ax, parameters, order, [(found['S1'], errors('S1'), 'C0', 'first order (S1)'),
                                         (found['ST'], errors('ST'), 'C1', 'total (ST)')])
    ax.set_xlabel('Sobol index (95 % interval)')
    ax.set_title(textwrap.fill(f'Sobol: {label(output, units, names)} '
                               f'(sum of S1 = {found["S1_sum"]:.3f})', 2 * LABEL_WIDTH))
    return png(figure)


def bands(name, found, units, time_unit='d'):
    """The median and the 25-75 % and 5-95 % bands of one series over time, titled by its name, unit
    and meaning."""
    figure, ax = plt.subplots(figsize=(7, 4.5))
    ax.fill_between(found['t'], found['p5'], found['p95'], color='C0', alpha=0.2, label='5-95 %')
    ax.fill_between(found['t'], found['p25'], found['p75'], color='C0', alpha=0.4, label='25-75 %')
    ax.plot(found['t'], found['p50'], color='C0', label='median')
    ax.set_xlabel(f'Time [{time_unit}]')
    ax.set_ylabel(label(name, units))
    meaning = series.meaning(name)
    ax.set_title(label(name, units) + (f'\n{textwrap.fill(meaning, 2 * LABEL_WIDTH)}' if meaning else ''),
                 fontsize='medium')
    ax.legend(fontsize='small')
    ax.grid(True, alpha=0.3)
    return png(figure)


def histograms(values, units, names=None):
    """One histogram per summary value over the runs."""
    keys = [key for key, v in values.items() if np.isfinite(np.asarray(v, dtype=float)).any()]
    figure, axes = _grid(len(keys))
    for ax, key in zip(axes, keys):
        v = np.asarray(values[key], dtype=float)
        ax.hist(v[np.isfinite(v)], bins='auto', color='C0')
        ax.set_xlabel(textwrap.fill(label(key, units, names), LABEL_WIDTH))
        ax.set_ylabel('runs')
    return png(figure)


def measured_and_fitted(found, units):
    """Each measured series against the fitted model (see _fitted_panel), the held-out part shaded."""
    return _per_series(found, 3.6, lambda ax, name, s: _fitted_panel(ax, found, name, s, units), legend=True)


def _fitted_panel(ax, found, name, s, units):
    """One measured series against the fitted model with its 95 % band and the curve at the start
    values; the y axis spans the measurements and the fitted curve over the measured days, so a
    start-up spike before them does not flatten the rest."""
    shown = [np.asarray(s['measured'], dtype=float)]
    days = np.asarray(s['days'], dtype=float)
    within = (lambda t: (t >= np.nanmin(days)) & (t <= np.nanmax(days))) if len(days) else None
    band = (found.get('bands') or {}).get(name)
    if band is not None:
        t, low, high = (np.asarray(a, dtype=float) for a in band)
        ax.fill_between(t, low, high, color='C1', alpha=0.25, linewidth=0, label='95 % band')
        shown += [low[within(t)], high[within(t)]] if within else []
    start = (found.get('start_curves') or {}).get(name)
    if start is not None:
        ax.plot(*start, color='0.45', linestyle='--', linewidth=1, label='at the start values')
    curve = (found['curves'] or {}).get(name)
    if curve is not None:
        t, y = (np.asarray(a, dtype=float) for a in curve)
        ax.plot(t, y, color='C1', label='fitted')
        shown += [y[within(t)]] if within else []
    ax.plot(days, s['measured'], 'o', markersize=3, color='C0', label='measured')
    values = np.concatenate(shown)
    values = values[np.isfinite(values)]
    if len(values):
        low, high = values.min(), values.max()
        pad = 0.08 * (high - low) or 0.05 * abs(high) or 1
        ax.set_ylim(low - pad, high + pad)
    ax.set_ylabel(label(name, units))
    ax.set_title(series.title(name))


def gas_over_feed(found, units, feed, time_unit='d'):
    """The fitted gas (the first measured gas flow, else the first series) with the base run's feed
    in a panel below on the same time axis: its flow and, on a second axis, the COD it carries."""
    names = list(found['series'])
    name = next((n for n in names if 'gasflow' in n), names[0])
    figure, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(8, 6.4), height_ratios=(2, 1))
    _fitted_panel(top, found, name, found['series'][name], units)
    top.legend(fontsize='small')
    bottom.step(feed['t'], feed['flow'], where='post', color='C2')
    bottom.set_ylabel('Feed flow [m3/d]', color='C2')
    bottom.set_ylim(0, 1.15 * max(feed['flow']) or 1)   # room above the highest step
    right = bottom.twinx()
    right.step(feed['t'], feed['cod'], where='post', color='C4', linestyle='--')
    right.set_ylabel('COD load [kgCOD/d]', color='C4')
    right.set_ylim(0, 1.15 * max(feed['cod']) or 1)
    for ax in (top, bottom):
        ax.grid(True, alpha=0.3)
        if found['holdout'] is not None:
            ax.axvline(found['holdout'], color='0.5', linewidth=0.8, linestyle=':')
    bottom.set_xlabel(f'Time [{time_unit}]')
    bottom.set_title('Feed of the base run', fontsize='medium')
    return png(figure)


def residuals(found, units):
    """Predicted minus measured over time, per series."""
    def draw(ax, name, s):
        ax.plot(s['days'], np.asarray(s['predicted']) - np.asarray(s['measured']), 'o', markersize=3)
        ax.axhline(0, color='0.5', linewidth=0.8)
        ax.set_ylabel(f'residual of {label(name, units)}')
    return _per_series(found, 3.2, draw, legend=False)


def _per_series(found, height, draw, legend, time_unit='d'):
    """One panel per measured series over time, drawn by `draw(ax, name, series)`."""
    names = list(found['series'])
    figure, axes = _grid(len(names), 5, height)
    for ax, name in zip(axes, names):
        s = found['series'][name]
        draw(ax, name, s)
        if found['holdout'] is not None and len(s['days']) and np.max(s['days']) > found['holdout']:
            ax.axvspan(found['holdout'], np.max(s['days']), color='0.85', alpha=0.5, zorder=0, label='held out')
        ax.set_xlabel(f'Time [{time_unit}]')
        ax.grid(True, alpha=0.3)
        if legend:
            ax.legend(fontsize='small')
    return png(figure)


def correlation(found):
    """The estimates' correlation matrix, each cell written in."""
    names = [row['parameter'] for row in found['parameters']]
    matrix = np.asarray(found['correlation'], dtype=float)
    size = max(3.5, 0.8 * len(names) + 2)
    figure, ax = plt.subplots(figsize=(size + 1, size))
    image = ax.imshow(matrix, vmin=-1, vmax=1, cmap='RdBu_r')
    for i in range(len(names)):
        for j in range(len(names)):
            ax.text(j, i, f'{matrix[i, j]:.2f}', ha='center', va='center', fontsize='small',
                    color='white' if abs(matrix[i, j]) > 0.6 else 'black')   # readable on dark cells and in grey print
    ax.set_xticks(range(len(names)), names, rotation=30, ha='right')
    ax.set_yticks(range(len(names)), names)
    figure.colorbar(image, ax=ax, label='correlation')
    ax.set_title('Correlation of the estimates')
    return png(figure)


def convergence(best, objective, units):
    """The best feasible objective after each run of an optimisation."""
    figure, ax = plt.subplots(figsize=(6, 4))
    ax.plot(range(1, len(best) + 1), [np.nan if b is None else b for b in best], drawstyle='steps-post')
    ax.set_xlabel('runs')
    ax.set_ylabel(f'best feasible {label(objective, units)}')
    ax.grid(True, alpha=0.3)
    return png(figure)


def against_variables(evaluations, variables, objective, units, optimum):
    """The objective of every run against each variable, feasible runs apart, the optimum marked."""
    figure, axes = _grid(len(variables))
    for ax, (name, unit) in zip(axes, variables):
        for feasible, style in ((True, dict(color='C0', label='feasible')),
                                (False, dict(color='C3', marker='x', label='infeasible'))):
            chosen = [e for e in evaluations if e['feasible'] == feasible and e['objective'] is not None]
            ax.scatter([e['point'][name] for e in chosen], [e['objective'] for e in chosen], s=12, **style)
        ax.axvline(optimum[name], color='k', linewidth=0.8, label='optimum')
        ax.set_xlabel(label(name, {name: unit}))
        ax.set_ylabel(label(objective, units))
        ax.grid(True, alpha=0.3)
    axes[0].legend(fontsize='small')
    return png(figure)


def pareto(rows, limit, objective, units):
    """The best objective reachable against the limit value of the tightest constraint."""
    figure, ax = plt.subplots(figsize=(6, 4))
    ax.plot([r[0] for r in rows], [r[1] for r in rows], marker='o', drawstyle='steps-post')
    ax.set_xlabel(f'limit of {label(limit, units)}')
    ax.set_ylabel(f'best {label(objective, units)}')
    ax.grid(True, alpha=0.3)
    return png(figure)
