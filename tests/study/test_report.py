"""A fit's report.html as a reader gets it: rendered by a real browser (Debian's headless chromium),
to the DOM and to an A4 PDF, with what was run (files with their checksums) and every section."""
import hashlib
import shutil
import subprocess

import numpy as np

from test_analyses import FIT, PLANT
from digestra_study import analyses, fitting, report

SECTIONS = ('What was run', 'Estimates', 'Fit quality')


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
                     report.what_was_run(analysis, '1.2'))
    page = tmp_path / 'out' / 'report.html'
    dom = chromium('--dump-dom', page.as_uri())
    assert dom.returncode == 0, dom.stderr
    for text in (*SECTIONS, 'digestra-cli 1.2', hashlib.sha256(PLANT.encode()).hexdigest(), 'km_ac', '1/d'):
        assert text in dom.stdout, text
    assert dom.stdout.count('<img') >= 2
    pdf = tmp_path / 'report.pdf'
    printed = chromium(f'--print-to-pdf={pdf}', '--no-pdf-header-footer', page.as_uri())
    assert printed.returncode == 0 and pdf.read_bytes().startswith(b'%PDF'), printed.stderr
