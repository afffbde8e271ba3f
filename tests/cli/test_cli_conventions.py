"""digestra-cli as scripts and other programs meet it: the same files under any locale, each
batch scenario's files its own, tables and summaries on standard output, no Qt noise."""
import csv
import io
import json
import os
import subprocess

import openpyxl
import pytest

from test_cli_runs import CLI, files_in

COMMA = 'de_DE.UTF-8'


def run_in(folder, *arguments, locale='C.UTF-8', stdin=None):
    # No XDG_RUNTIME_DIR, as under ssh, cron or in a container: Qt must not complain about it.
    env = {k: v for k, v in os.environ.items() if k != 'XDG_RUNTIME_DIR'}
    env['LC_ALL'] = locale
    result = subprocess.run([CLI, *arguments], cwd=folder, env=env, input=stdin, capture_output=True, text=True,
                            timeout=300)
    assert 'XDG_RUNTIME_DIR' not in result.stderr and 'QStandardPaths' not in result.stderr, result.stderr
    return result


def make_comma_locale():
    """The decimal-comma locale, made when the machine lacks it (as root); skips when it cannot be."""
    def present():
        names = subprocess.run(['locale', '-a'], capture_output=True, text=True).stdout.lower().split()
        return 'de_de.utf8' in names
    if not present():
        subprocess.run(['localedef', '-i', 'de_DE', '-f', 'UTF-8', COMMA], capture_output=True)
    if not present():
        pytest.skip(f'no {COMMA} locale, and it cannot be made here')


def cells(path):
    book = openpyxl.load_workbook(path)
    return {ws.title: [[c.value for c in row] for row in ws.iter_rows()] for ws in book.worksheets}


def test_files_are_the_same_under_a_decimal_comma_locale(tmp_path):
    make_comma_locale()
    written = {}
    for locale in ('C.UTF-8', COMMA):
        folder = tmp_path / locale
        folder.mkdir()
        result = run_in(folder, '--config', 'tsad', '--t-end', '1', '--out', 'w.xlsx', '--csv', 'r.csv',
                        '--summary', 's.json', '--plots', 'plots', locale=locale)
        assert result.returncode == 0, result.stderr
        answer = run_in(folder, '--batch', stdin='{"id": 1, "t-end": 0.5}\n', locale=locale).stdout
        written[locale] = folder, answer
    (c, c_answer), (comma, comma_answer) = written['C.UTF-8'], written[COMMA]
    # openpyxl refuses a cell of "0,1"; the input grid's texts must not follow the locale either.
    assert cells(comma / 'w.xlsx') == cells(c / 'w.xlsx')
    assert cells(c / 'w.xlsx')['CONFIGURATION'][2][2] == 5.31
    others = [name for name in files_in(c) if name != 'w.xlsx' and (c / name).is_file()]
    assert len(others) == 6  # CSV, summary and four plots, whose axes carry numbers too
    for name in others:
        assert (comma / name).read_bytes() == (c / name).read_bytes(), name
    assert comma_answer == c_answer


def test_each_batch_scenario_plots_its_own_run_only(tmp_path):
    # The second scenario's plots are those of the same scenario run alone, not both runs' curves.
    scenarios = [{'id': 1, 't-end': 2, 'plots': 'first'}, {'id': 2, 't-end': 1, 'ph': 'free', 'plots': 'second'}]
    batch = run_in(tmp_path, '--batch', stdin=''.join(json.dumps(s) + '\n' for s in scenarios))
    assert [json.loads(line)['exit'] for line in batch.stdout.splitlines()] == [0, 0], batch.stdout
    alone = run_in(tmp_path, '--t-end', '1', '--ph', 'free', '--engine', 'compiled', '--plots', 'alone', '--out', 'alone.xlsx')
    assert alone.returncode == 0, alone.stderr
    for name in ('biogas_flow.png', 'biogas_composition.png'):
        assert (tmp_path / 'second' / name).read_bytes() == (tmp_path / 'alone' / name).read_bytes(), name


@pytest.mark.parametrize('option', ['--csv', '--summary'])
def test_table_or_summary_on_standard_output(tmp_path, option):
    result = run_in(tmp_path, '--t-end', '0.5', '--out', 'w.xlsx', option, '-', '--stats')
    assert result.returncode == 0, result.stderr
    if option == '--csv':
        rows = list(csv.reader(io.StringIO(result.stdout)))
        assert rows[0][0] == 't' and len(rows) == 2 + 6 and float(rows[-1][0]) == 0.5
    else:
        assert json.loads(result.stdout)['values']
    # The list of files and the figures go to standard error then.
    assert str(tmp_path / 'w.xlsx') in result.stderr and 'model_seconds' in result.stderr
    assert files_in(tmp_path) == ['w.xlsx']
