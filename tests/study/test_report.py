"""A fit's report.html as a reader gets it: rendered by a real browser (Debian's headless chromium),
to the DOM and to an A4 PDF, with what was run (files with their checksums) and every section."""
import hashlib
import os
import pathlib
import shutil
import subprocess

import numpy as np
import pytest

from test_analyses import FIT, PLANT
from digestra_study import analyses, feed, fitting, report

SECTIONS = ('What was run', 'Estimates', 'Fit quality', 'Gas and feed')
CLI = os.environ['DIGESTRA_CLI']   # set by conftest


def chromium(*arguments):
    return subprocess.run([shutil.which('chromium'), '--headless', '--no-sandbox', '--disable-gpu', *arguments],
                          capture_output=True, text=True, timeout=120)


def test_a_fit_report_renders_in_a_browser_with_every_section(tmp_path):
    (tmp_path / 'plant.csv').write_text(PLANT)
    analysis = analyses.read(FIT, tmp_path)

    def evaluate(points):
        t = np.linspace(0, 2, 21)
        return [{'gasflow': (t, p['km_ac'] * t), 'pH': (t, 7 + 0.01 * p['km_ac'] * t)} for p in points]

    found = fitting.fit(evaluate, [fitting.Parameter('km_ac', 1, 30, 8)], analysis.measurements,
                        holdout=analysis.settings['holdout'])
    report.write_fit(tmp_path / 'out', 'Plant', found, {'gasflow': 'm3/d'}, {'runs': found['runs']},
                     report.what_was_run(analysis, '1.2'), feed.base_feed(analysis.inputs({}), CLI or 'digestra-cli'))
    page = tmp_path / 'out' / 'report.html'
    dom = chromium('--dump-dom', page.as_uri())
    assert dom.returncode == 0, dom.stderr
    for text in (*SECTIONS, 'digestra-cli 1.2', hashlib.sha256(PLANT.encode()).hexdigest(), 'km_ac', '1/d'):
        assert text in dom.stdout, text
    assert dom.stdout.count('<img') >= 3
    pdf = tmp_path / 'report.pdf'
    printed = chromium(f'--print-to-pdf={pdf}', '--no-pdf-header-footer', page.as_uri())
    assert printed.returncode == 0 and pdf.read_bytes().startswith(b'%PDF'), printed.stderr


RAMP = [4 * (0.25 + 0.01875 * day) for day in range(41)]   # a quarter of q-in on day 0, rising daily to all of it


@pytest.mark.parametrize('base, schedule, expected', [
    ({'t-end': 42, 'q-in': 4, 'x-c-in': 10}, None, ([*range(41), 42], RAMP + [4], [10 * q for q in RAMP] + [40])),
    ({'t-end': 5, 'config': 'pomp', 'q-in': 4}, None, ([0, 5], [4, 4], [40, 40])),
    ({'t-end': 50}, 'day = [0, 20, 60]\nQ_in = [5, 10, 1]\nX_c_in = [10, 20, 30]\n', ([0, 20, 50], [5, 10, 10], [50, 200, 200])),
    ({'t-end': 9}, 'day,Q_in [m3/d],S_ac [kgCOD/m3],S_IN [kmol/m3],X_pr\n0,2,1,5,3\n', ([0, 9], [2, 2], [8, 8])),
    ({'t-end': 9}, 'date,Q_in,X_c_in\n2026-01-01,2,3\n2026-01-03,4,3\n', ([0, 2, 9], [2, 4, 4], [6, 12, 12])),
    ({'t-end': 9}, 'day,Q_in\n0,-2\n', 'feed.csv'),
], ids=['ramp', 'pomp', 'composites', 'components', 'dates', 'refused'])
def test_the_feed_under_a_fits_gas_is_the_base_runs_as_steps(tmp_path, base, schedule, expected):
    if schedule:
        base['feed'] = str(tmp_path / ('feed.toml' if schedule.startswith('day =') else 'feed.csv'))
        pathlib.Path(base['feed']).write_text(schedule)
    found = feed.base_feed(base, CLI)
    if isinstance(expected, str):
        assert expected in found
    else:
        assert (found['t'], found['flow'], found['cod']) == tuple(pytest.approx(e) for e in expected)
