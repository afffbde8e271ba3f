"""A study through the built digestra-cli gives, scenario by scenario, the summary of a single run
of the same inputs. Skipped while the program does not answer --batch."""
import json
import os
import pathlib
import subprocess

import pytest

from conftest import read_rows, run_study, write_study

CLI = os.environ.get('DIGESTRA_CLI', '')


def answers_batch():
    if not pathlib.Path(CLI).is_file():
        return False
    return '--batch' in subprocess.run([CLI, '--help'], capture_output=True, text=True, timeout=60).stdout


pytestmark = pytest.mark.skipif(not answers_batch(), reason='DIGESTRA_CLI names no digestra-cli with --batch')


def test_study_summaries_equal_single_runs(tmp_path):
    study = write_study(tmp_path, '[base]\nt-end = 2\nph = "free"\n'
                                  '[sweep]\nconfig = ["ssad", "tsad"]\nv1 = [20, 40]\n')
    result = run_study(study, '--workers', '2', cli=CLI, timeout=300)
    assert result.returncode == 0, result.stderr
    rows = {row['scenario']: row for row in read_rows(tmp_path / 'study' / 'summary.csv')}
    assert len(rows) == 4
    for folder in (tmp_path / 'study' / 'scenarios').iterdir():
        record = json.loads((folder / 'summary.json').read_text())
        options = [part for name, value in record['inputs'].items() for part in (f'--{name}', str(value))]
        single = subprocess.run([CLI, *options, '--quiet', '--out', 'w.xlsx', '--summary', 'single.json'],
                                cwd=tmp_path, capture_output=True, text=True, timeout=300)
        assert single.returncode == 0, single.stderr
        expected = json.loads((tmp_path / 'single.json').read_text())
        assert record['summary'] == expected
        row = rows[folder.name]
        for value in expected['values']:
            assert float(row[f'{value["key"]} [{value["unit"]}]']) == value['value']
