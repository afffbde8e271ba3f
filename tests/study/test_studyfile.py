"""Study files: expansion into scenarios, and every kind of refusal named by its key."""
import json
import os
import re
import tomllib

import pytest

from conftest import HERE, run_study, write_study
from digestra_study import analyses, optimize, scenarios, studyfile
from digestra_study.folder import StudyFolder


def expanded(text):
    study = studyfile.parse(text)
    studyfile.check_scenarios(study)
    return study, list(study.scenarios())


def test_grid_crosses_every_list_and_ranges_include_both_ends():
    study, inputs = expanded('''
        [base]
        config = "SSAD"
        t-end = 50.0
        [sweep]
        v1 = [20, 30]
        t1 = { from = 303, to = 318, steps = 4 }
        ph = ["free", 7]
    ''')
    assert study.sweep['t1'] == [303, 308, 313, 318]
    assert len(inputs) == study.count() == 16
    assert inputs[0] == {'config': 'ssad', 't-end': 50, 'ph': 'free', 't1': 303, 'v1': 20}
    assert {(i['v1'], i['t1'], i['ph']) for i in inputs} == {
        (v, t, p) for v in (20, 30) for t in (303, 308, 313, 318) for p in ('free', 7)}


def test_zip_pairs_lists_and_a_sweep_overrides_the_base():
    _, inputs = expanded('''
        [base]
        config = "ssad"
        [sweep]
        mode = "zip"
        config = ["tsad", "tpad"]
        v2 = [10, 12.5]
    ''')
    assert inputs == [{'config': 'tsad', 'v2': 10}, {'config': 'tpad', 'v2': 12.5}]


def test_constants_and_feeds_sweep_as_inputs_with_feeds_beside_the_study(tmp_path):
    study = studyfile.resolve_files(studyfile.parse(
        '[base]\nfeed = "a.csv"\n[base.parameters]\nkdis = 0.4\n[sweep]\nparameters.km_ac = { from = 4, to = 8, steps = 2 }\n'),
        tmp_path)
    assert list(study.scenarios()) == [{'feed': str(tmp_path / 'a.csv'), 'parameters.kdis': 0.4, 'parameters.km_ac': k}
                                       for k in (4, 8)]


def test_ids_depend_on_the_inputs_and_the_files_they_read_and_equal_inputs_run_once(tmp_path):
    study = studyfile.parse('[sweep]\nv1 = [20, 20.0, 30]\n')
    first, other = scenarios.scenarios_of(study)
    assert first.id == scenarios.scenario_id({'v1': 20}, ['v1']) != other.id
    assert first.id.startswith('v1-20_')
    state = tmp_path / 'day60.json'
    ids = []
    for text in ('{"S_su": 0.01}', '{"S_su": 0.02}'):
        state.write_text(text)
        ids.append(scenarios.scenario_id({'v1': 20, 'initial-state': str(state)}, ['v1']))
    assert ids[0] != ids[1] and first.id not in ids


@pytest.mark.parametrize('text, problem', [
    ('title = "a"\nbse = 1', 'bse: unknown key'),
    ('[base]\nvolume = 3', 'base.volume: unknown key'),
    ('[output]\nworkbooks = "yes"', 'output.workbooks: must be true or false'),
    ('[base]\nv1 = "20"', "base.v1: must be a number, not '20'"),
    ('[base]\nx-c-in = -1', 'base.x-c-in: must not be negative (got -1 kgCOD/m3)'),
    ('[base]\nv1 = -1', 'base.v1: must be greater than 0 (got -1 m3)'),
    ('[base]\nv1 = 0', 'base.v1: must be greater than 0 (got 0 m3)'),
    ('[base]\nconfig = "ahpd"', 'base.config: must be one of ssad, tsad, tpad, pomp'),
    ('[base]\nph = 13', 'base.ph: must be "free" or a pH from 1 to 12.99 with at most 2 decimals'),
    ('[base]\nph = 7.123', 'base.ph: must be "free" or a pH from 1 to 12.99 with at most 2 decimals'),
    ('[base]\nf-pr = 1', 'base.f-pr: must be from 0 to below 1 (got 1)'),
    ('[base]\nunit = "F"', "base.unit: must be one of K, C, not 'F'"),
    ('[base]\nt-end = 0.05', 'base.t-end: must be from 0.1 to 104857 d (got 0.05 d)'),
    ('[base]\nt-end = 104857.5', 'base.t-end: must be from 0.1 to 104857 d'),
    ('[sweep]\nv1 = []', 'sweep.v1: must not be an empty list'),
    ('[sweep]\nv1 = [20, true]', 'sweep.v1[1]: must be a number, not True'),
    ('[sweep]\nv1 = 20', 'sweep.v1: must be a list of values or a range'),
    ('[sweep]\nt1 = { from = 300, to = 310, steps = 1 }', 'sweep.t1.steps: must be a whole number from 2 to 100000'),
    ('[sweep]\nt1 = { from = 300, to = 310 }', 'sweep.t1: a range needs from, to and steps (missing steps)'),
    ('[sweep]\nconfig = { from = 1, to = 2, steps = 2 }', 'sweep.config: only numeric inputs take a range'),
    ('[sweep]\nmode = "zip"\nv1 = [1, 2]\nv2 = [1]', 'sweep: mode = "zip" pairs lists of one length (v1 has 2, v2 has 1)'),
    ('[base]\nv2 = 20', 'v2: does not apply to config ssad (only to tsad, tpad) (scenario 1 of 1)'),
    ('[base]\nmix-i = 5\n[sweep]\nconfig = ["pomp", "tpad"]', 'mix-i: does not apply to config tpad (only to pomp)'),
    ('[base]\nt1 = 101\nunit = "C"', 't1: must be from 273.15 to 373.15 K (got 374.15 K)'),
    ('[base]\nt2 = 270\nconfig = "tpad"', 't2: must be from 273.15 to 373.15 K (got 270 K)'),
    ('[base]\nq-in = 0\nconfig = "pomp"', 'q-in: must be greater than 0 for config pomp'),
    ('[base]\nf-pr = 0.5', 'f-pr + f-li + f-ch: must not add up to more than 1 (got 1.1'),
    ('[base]\nv1 = = 3', 'not TOML: Invalid value (at line 2, column 6)'),
    ('[base.parameters]\nkmac = 1', 'base.parameters.kmac: is not a model constant (digestra-cli --list-parameters '
                                     'lists them); did you mean km_ac?'),
    ('[sweep]\nparameters.km_ac = [4, "x"]', "sweep.parameters.km_ac[1]: must be a number, not 'x'"),
    ('[base]\nparameters = 4', 'base.parameters: must be a table of model constants'),
    ('[sweep]\nfeed = ["a.csv", 3]', 'sweep.feed[1]: must be a file name, not 3'),
    ('[base]\nfinal-state = "end.json"\n[sweep]\nv1 = [20, 30]', 'line 2, final-state: 2 runs would each write their '
                                                                 'final state to this one file'),
    ('[base]\nconfig = "tpad"\n[sweep]\nparameters.km_ac = [4, 8]', 'line 4, parameters.km_ac: cannot matter: config tpad '
                                                                  'replaces km_ac by a law of its own'),
])
def test_refusals_name_the_key(text, problem):
    with pytest.raises(studyfile.StudyError) as refused:
        expanded(text)
    assert any(problem in p for p in refused.value.problems), refused.value.problems


def test_a_refused_study_reports_every_problem_at_once_with_its_line_and_runs_nothing(tmp_path):
    study = write_study(tmp_path, '[base]\nv1 = -1\np1 = "x"\nunit = "C"\nph = 7.123\n'
                                  '[sweep]\nv2 = []\nt1 = [35, 120]\n')
    result = run_study(study, timeout=30)
    assert result.returncode == 2
    assert [line.split(': ')[1] for line in result.stderr.splitlines()] == [
        'line 2, base.v1', 'line 3, base.p1', 'line 5, base.ph', 'line 7, sweep.v2', 'line 8, t1']
    assert sorted(p.name for p in tmp_path.iterdir()) == ['study.toml']


def test_digestra_clis_own_checks_refuse_scenarios_before_any_run(tmp_path):
    study = write_study(tmp_path, '[base]\nv1 = -1\n[sweep]\nparameters.km_ac = [4, -1, -2]\n')
    result = run_study(study, '--dry-run', timeout=30)
    assert result.returncode == 2 and not result.stdout
    assert [line.split(': ', 1)[1] for line in result.stderr.splitlines()] == [
        'line 2, base.v1: must be greater than 0 (got -1 m3)',
        'line 4, parameters.km_ac: model parameter km_ac = -1 must be positive (scenario 2 of 3)',
        'line 4, parameters.km_ac: model parameter km_ac = -2 must be positive (scenario 3 of 3)']


@pytest.mark.parametrize('name, make', [
    ('dev-zero.toml', lambda path: path.symlink_to('/dev/zero')),
    ('fifo.toml', os.mkfifo),
    ('large.toml', lambda path: path.write_text('# ' + 'x' * 4 * 1024 * 1024 + '\n')),
    ('plant.csv', lambda path: path.symlink_to('/dev/zero')),
    ('plant.csv', os.mkfifo),
])
def test_files_that_are_not_regular_or_too_large_are_refused_without_reading_them(tmp_path, name, make):
    make(tmp_path / name)
    study = tmp_path / name if name.endswith('.toml') else write_study(
        tmp_path, '[fit]\nmeasurements = "plant.csv"\n[fit.parameters]\nkm_ac = { min = 1, max = 9 }\n')
    result = run_study(study, '--dry-run', timeout=30)
    assert result.returncode == 2 and 'Traceback' not in result.stderr, result.stderr
    assert 'is not a regular file' in result.stderr or 'is larger than 4 MiB' in result.stderr, result.stderr


def test_replacing_removes_what_any_kind_of_study_wrote(tmp_path):
    for name in ('study.toml', 'indices.csv', 'indices.json', 'fit.json', 'runs/a.json', 'scenarios/a/summary.json'):
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text('title = "earlier"\n[sensitivity]\n' if name == 'study.toml' else '{}')
    folder = StudyFolder(tmp_path)
    folder.claim('[fit]\n', replace=True)
    folder.release()
    assert sorted(p.name for p in tmp_path.iterdir()) == ['.digestra-study.lock', 'study.toml']


def test_the_study_runner_takes_every_declared_input():
    """Each input of digestra-cli's declaration is a key of [base], in a configuration that takes it."""
    for name, declared in studyfile.DECLARED.items():
        config = declared['configs'][0]
        value = declared['default'][config]
        given = {'config': config, name: value}
        _, inputs = expanded('[base]\n' + ''.join(f'{k} = {json.dumps(v)}\n' for k, v in given.items()))
        assert inputs[0][name] == value


def test_more_than_ten_thousand_scenarios_need_yes_and_dry_run_lists_them(tmp_path):
    study = write_study(tmp_path, '[sweep]\nv1 = { from = 1, to = 101, steps = 101 }\n'
                                  'x-c-in = { from = 1, to = 100, steps = 100 }\n')
    refused = run_study(study, '--dry-run', timeout=30)
    assert refused.returncode == 2 and 'more than 10000 need --yes' in refused.stderr
    listed = run_study(study, '--dry-run', '--yes', timeout=60)
    assert listed.returncode == 0
    lines = listed.stdout.splitlines()
    assert len(lines) == 10101 and lines[-1] == '10100 scenarios'
    assert lines[0].endswith('--x-c-in 1 --v1 1')


GRID_OF_A_MILLION = 'v1 = { from = 1, to = 1000, steps = 1000 }\nx-c-in = { from = 1, to = 1000, steps = 1000 }'


@pytest.mark.parametrize('sweep, arguments, problem', [
    ('t1 = { from = 300, to = 310, steps = 1000000000 }', ['--yes'], 'sweep.t1.steps: must be a whole number from 2'),
    (GRID_OF_A_MILLION, ['--yes'], 'sweep: 1000000 scenarios; a study runs at most 100000'),
    ('v1 = ' + '[' * 5000 + ']' * 5000, [], 'nested more than 32 deep'),
])
def test_oversized_studies_are_refused_before_expanding(tmp_path, sweep, arguments, problem):
    result = run_study(write_study(tmp_path, f'[sweep]\n{sweep}\n'), '--dry-run', *arguments, timeout=30)
    assert result.returncode == 2 and problem in result.stderr and 'Traceback' not in result.stderr


def test_the_study_record_reads_back():
    study = studyfile.parse('title = "Cow 🐄 \\"slurry\\" \\\\ test"\n[sweep]\nph = ["free", 7.5]\n')
    record = tomllib.loads(scenarios.study_toml(study, list(scenarios.scenarios_of(study))))
    assert record['title'] == 'Cow 🐄 "slurry" \\ test'
    assert [s['ph'] for s in record['scenario']] == ['free', 7.5]


def test_the_shipped_studies_are_valid():
    for path in (HERE.parents[1] / 'studies').glob('*.toml'):
        kind = studyfile.kind_of(studyfile.toml_of(path.read_text()))
        if kind == 'optimize':
            assert not optimize.read(path.read_text(), path.parent).problems
        elif kind != 'sweep':   # their constants are checked against the real digestra-cli only
            assert not analyses.read(path.read_text(), path.parent).problems
        else:
            studyfile.check_scenarios(studyfile.parse(path.read_text()))


def test_the_manual_page_documents_every_key_the_study_reader_takes():
    from digestra_study import distributions
    page = (HERE.parent.parent / 'cli' / 'digestra-study.1.in').read_text(encoding='utf-8').replace('\\-', '-').replace('\\(dq', '"')
    words = set(re.findall(r'[\w-]+', page))
    accepted = {*studyfile.KEYS, 'mode', 'workbooks', 'feed', 'substrates', 'engine', 'ph-solver', *studyfile.KINDS,
                *(k for keys in analyses.KEYS.values() for k in keys),
                *distributions.KEYS, *(k for required, optional in distributions.KEYS.values() for k in required + optional),
                'optimize', *optimize.KEYS, 'periods', optimize.PROFIT}
    assert sorted(accepted - words) == []
