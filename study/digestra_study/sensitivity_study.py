"""A sensitivity study: the runs of a Morris or Sobol design (see `sensitivity`), then the indices of
each summary value asked for, written by `report`."""
import sys

import numpy as np

from . import core, report, sensitivity


def run(analysis, prepared, runs, out, began):
    """Runs the design's points and writes the indices of each output; the exit status."""
    unit, points = prepared
    records = core.run_all(runs, [analysis.inputs(p) for p in points])
    units = core.summary_units(records)
    outputs = analysis.settings['outputs'] or list(units)
    missing = [o for o in outputs if o not in units and any(r['summary'] for r in records)]
    for name in missing:
        print(f'digestra-study: sensitivity.outputs: no run gives "{name}"', file=sys.stderr)
    y = np.array([[core.summary_values(r).get(o, np.nan) if r['status'] == 'done' else np.nan for o in outputs]
                  for r in records], dtype=float)
    k = len(analysis.names)
    if analysis.settings['method'] == 'sobol':
        found = sensitivity.sobol_indices(y, k, seed=analysis.settings['seed'])
    else:
        found = sensitivity.morris_indices(unit, y, k)
    about, not_done = core.about(runs, began, records, analysis.settings)
    report.write_sensitivity(out, analysis.title, analysis.settings['method'], analysis.names, outputs, found,
                             units, about, report.what_was_run(analysis, core.cli_version(runs.cli)[0]),
                             core.summary_labels(records))
    return core.EXIT_DONE if not not_done and not missing else core.EXIT_NOT_ALL
