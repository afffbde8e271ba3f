"""An uncertainty study: the runs of a Latin hypercube sample (see `uncertainty`), then percentiles of
each summary value and bands of the series its settings name (see `analyses`), written by `report`."""
from . import core, report, series, uncertainty


def run(analysis, prepared, runs, out, began):
    """Runs the sample and writes the percentiles of each summary value and the bands of the series; the
    exit status."""
    _, points = prepared
    records = core.run_all(runs, [analysis.inputs(p) for p in points])
    done = [r for r in records if r['status'] == 'done']
    units = core.summary_units(records)
    values = {key: [core.summary_values(r).get(key) if r['status'] == 'done' else None for r in records] for key in units}
    bands = {name: uncertainty.bands([r['series'][name] for r in done if name in r['series']])
             for name in runs.series}
    units.update({name: series.series_unit(name) for name in runs.series})
    about, not_done = core.about(runs, began, records, analysis.settings)
    drawn = {name: [p[name] for p in points] for name in analysis.names}
    report.write_uncertainty(out, analysis.title, bands, values, units, about,
                             report.what_was_run(analysis, core.cli_version(runs.cli)[0]), drawn,
                             core.summary_labels(records))
    return core.EXIT_DONE if not not_done else core.EXIT_NOT_ALL
