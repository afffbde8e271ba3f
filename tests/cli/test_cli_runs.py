"""digestra-cli run as a user runs it: refusals write nothing, short runs of every configuration
write a workbook, a CSV and plot images that agree, signals cancel cleanly, and files are written
whole or not at all (parallel runs, pipes at a target, a full disk)."""
import csv
import json
import os
import pathlib
import pty
import re
import resource
import select
import signal
import stat
import struct
import subprocess
import time
import zipfile

import openpyxl
import pytest

CLI = os.environ['DIGESTRA_CLI']   # set by conftest


# Where each of the 50 columns of a reactor lands in the workbook: (sheet, first table column,
# number of columns, first sheet column of reactor 1, of reactor 2).
SHEETS = (('Basic', 0, 11, 1, 13), ('Gas and Soluble', 11, 19, 1, 21),
          ('Insoluble', 30, 12, 1, 14), ('Ions', 42, 8, 1, 10))
TWO_REACTORS = {'tsad', 'tpad'}


def run(folder, *arguments, timeout=300):
    return subprocess.run([CLI, *arguments], cwd=folder, capture_output=True, text=True, timeout=timeout)


def files_in(folder):
    return sorted(p.relative_to(folder).as_posix() for p in pathlib.Path(folder).rglob('*'))


def png_size(path):
    data = path.read_bytes()
    assert data[:8] == b'\x89PNG\r\n\x1a\n'
    return struct.unpack('>II', data[16:24])


@pytest.mark.parametrize('arguments, named', [
    (['--q-in', 'abc'], '--q-in'),
    (['--t-end', '0.05'], '--t-end'),
    (['--f-pr', '0.5'], '--f-pr'),
    (['--config', 'tsad', '--v2', '0'], '--v2'),
    (['--config', 'tsad', '--p2', '0'], '--p2'),
    (['--config', 'tpad', '--unit', 'C', '--t2', '-300'], '--t2'),
    (['--config', 'pomp', '--q-in', '0'], '--q-in'),
    (['--v1', '0'], '--v1'),
    (['--mix-i', '5'], '--mix-i'),
    (['--out', 'missing/w.xlsx'], '--out'),
    (['--t-end', '104857.1'], '--t-end must be from 0.1 to 104857 d (got 104857.1 d)'),
    (['--ph', '7.123'], '--ph must be "free" or a pH from 1 to 12.99 with at most 2 decimals'),
    (['--t1', '273.14'], '--t1'),
    (['--unit', 'C', '--t1', '100.01'], '--t1'),
])
def test_refusals_write_nothing(tmp_path, arguments, named):
    result = run(tmp_path, *arguments, '--csv', 'r.csv', '--plots', 'plots')
    assert result.returncode == 2, result.stderr
    assert named in result.stderr
    assert result.stdout == ''
    assert files_in(tmp_path) == []


def read_csv(path):
    with open(path, newline='') as f:
        rows = list(csv.reader(f))
    return rows[0], rows[1], [[float(v) for v in row] for row in rows[2:]]


def reactor_block(book, reactor):
    """One reactor's values as the workbook holds them: {table row: {table column: value}}, with
    only the columns of the sheets that show that row."""
    blocks = {}
    for sheet, first, width, left1, left2 in SHEETS:
        left = left1 if reactor == 1 else left2
        rows = list(book[sheet].iter_rows(min_row=5, min_col=left, max_col=left + width - 1, values_only=True))
        # Only reactor 1 on "Basic" starts at the start row; every other block starts a row later.
        offset = 0 if (sheet == 'Basic' and reactor == 1) else 1
        for i, values in enumerate(rows):
            if values[0] is None:
                continue
            blocks.setdefault(i + offset, {}).update({first + k: v for k, v in enumerate(values)})
    return blocks


@pytest.mark.parametrize('config', ['ssad', 'tsad', 'tpad', 'pomp'])
def test_short_run_writes_agreeing_files(tmp_path, config):
    result = run(tmp_path, '--config', config, '--t-end', '1', '--out', 'w.xlsx', '--csv', 'r.csv',
                 '--plots', 'plots')
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() and all(pathlib.Path(tmp_path, p).exists() for p in result.stdout.split())

    headers, units, table = read_csv(tmp_path / 'r.csv')
    reactors = 2 if config in TWO_REACTORS else 1
    # The model's 50 columns per reactor, then the declared derived ones: each reactor's, the plant's.
    declared = json.loads((pathlib.Path(__file__).parents[2] / 'study/digestra_study/outputs.json').read_text())
    derived = [o for o in declared['outputs'][50:] if o['column']]
    width = 50 * reactors + sum(reactors if o['scope'] == 'reactor' else 1 for o in derived)
    assert len(headers) == len(units) == width
    assert len(table) == 11 and all(len(row) == width for row in table)
    assert [row[0] for row in table] == pytest.approx([i / 10 for i in range(11)])

    book = openpyxl.load_workbook(tmp_path / 'w.xlsx', read_only=True)
    for reactor in range(1, reactors + 1):
        base = 50 * (reactor - 1)
        block = reactor_block(book, reactor)
        for i, row in enumerate(table):
            for column, value in block.get(i, {}).items():
                # The workbook keeps 16 significant digits, the CSV every bit.
                assert value == pytest.approx(row[base + column], rel=1e-15, abs=1e-300), (reactor, i, column)
        # Every table row but the start row reaches every data sheet.
        assert all(len(block[i]) == 50 for i in range(1, 11))
        # The workbook's headers are the CSV's.
        basic = book['Basic']
        left = 1 if reactor == 1 else 13
        sheet_headers = [c.value for c in next(basic.iter_rows(min_row=3, max_row=3, min_col=left, max_col=left + 10))]
        assert [h.removeprefix(f'R{reactor} ') for h in headers[base:base + 11]] == sheet_headers

    # The inputs are the pages' defaults.
    grid = book['CONFIGURATION']
    assert grid['C3'].value == 5.31 and grid['C4'].value == 10 and grid['C5'].value == 1
    assert (grid['C7'].value, grid['C8'].value, grid['C9'].value) == (0.3, 0.3, 0.3)
    assert grid['B11'].value == 'Manual' and grid['C11'].value == 7
    assert grid['B12'].value == config.upper()
    assert grid['G3'].value == 308 and grid['G7'].value == 33
    assert grid['G5'].value == (2.026 if config == 'tsad' else 1.013)
    if config in TWO_REACTORS:
        assert grid['G6'].value == 1.013 and grid['G8'].value == 33
    if config == 'tpad':
        assert grid['G4'].value == 308 and grid['C13'].value == 0
    if config == 'pomp':
        assert grid['C14'].value == 10

    # Plots as on the results pages: a flow and a composition plot per reactor, 350 x 320.
    images = sorted((tmp_path / 'plots').iterdir())
    expected = (['R1_biogas_composition.png', 'R1_biogas_flow.png', 'R2_biogas_composition.png', 'R2_biogas_flow.png']
                if config in TWO_REACTORS else ['biogas_composition.png', 'biogas_flow.png'])
    assert [p.name for p in images] == expected
    for image in images:
        assert png_size(image) == (350, 320)
        assert image.stat().st_size > 2000  # axes, title and curves, not a blank picture


def test_inputs_file_under_the_options_and_pdf_plots(tmp_path):
    (tmp_path / 'in.toml').write_text('config = "tsad"\nt-end = 50\nt1 = 36\nunit = "C"\nph = "free"\n')
    result = run(tmp_path, '--inputs', 'in.toml', '--t-end', '1', '--out', 'w.xlsx', '--csv', 'r.csv',
                 '--plots', 'plots', '--plot-format', 'pdf', '--plot-scale', '2')
    assert result.returncode == 0, result.stderr
    _, _, table = read_csv(tmp_path / 'r.csv')
    assert table[-1][0] == pytest.approx(1)   # the command line's timespan
    images = sorted(p.name for p in (tmp_path / 'plots').iterdir())
    assert images == ['R1_biogas_composition.pdf', 'R1_biogas_flow.pdf', 'R2_biogas_composition.pdf',
                      'R2_biogas_flow.pdf']    # the file's two-stage configuration
    for name in images:
        data = (tmp_path / 'plots' / name).read_bytes()
        assert data.startswith(b'%PDF')
        assert re.search(rb'/MediaBox \[0 0 700(\.0+)? 640(\.0+)?\]', data)

    (tmp_path / 'bad.toml').write_text('t-end = 5\nt-end2 = 6\n')
    result = run(tmp_path, '--inputs', 'bad.toml', '--out', 'x.xlsx')
    assert result.returncode == 2
    assert 'line 2, t-end2' in result.stderr


def test_inputs_file_nested_too_deep_is_refused_before_parsing(tmp_path):
    # The TOML library parses a dotted key part by part recursively: 50 000 parts overflowed its stack.
    (tmp_path / 'deep.toml').write_text('t-end = 1\na' + '.a' * 50000 + ' = 1\n')
    result = run(tmp_path, '--inputs', 'deep.toml')
    assert result.returncode == 2, result.stderr
    assert 'line 2: keys, tables and lists nested more than 32 deep' in result.stderr
    # Dots and brackets in comments and strings are no nesting.
    (tmp_path / 'fine.toml').write_text('# ' + '.[{' * 50 + '\nph = "free" # ' + '.' * 50 + '\nt-end = 0.5\n')
    assert run(tmp_path, '--inputs', 'fine.toml', '--quiet').returncode == 0


def test_usual_workbook_name_quiet_and_stats(tmp_path):
    result = run(tmp_path, '--t-end', '0.5', '--ph', 'free', '--quiet', '--stats', '--engine', 'scripts')
    assert result.returncode == 0, result.stderr
    workbooks = files_in(tmp_path)
    assert len(workbooks) == 1 and workbooks[0].startswith('results_') and workbooks[0].endswith('.xlsx')
    stats = dict(line.split(': ') for line in result.stdout.splitlines())
    assert float(stats['model_seconds']) > 0 and int(stats['rhs_evaluations']) > 0
    assert stats['engine'] == 'scripts'
    book = openpyxl.load_workbook(tmp_path / workbooks[0], read_only=True)
    assert book['CONFIGURATION']['B11'].value == 'Free'
    assert [row[:2] for row in list(book['PARAMETERS'].values)[-2:]] == [('engine', 'scripts'), ('ph-solver', 'exact')]


def read_terminal(controller, until, timeout):
    """What the program wrote to its terminal, up to a predicate on it or the program's end."""
    seen = b''
    deadline = time.monotonic() + timeout
    while not until(seen) and time.monotonic() < deadline:
        if select.select([controller], [], [], 0.5)[0]:
            try:
                chunk = os.read(controller, 4096)
            except OSError:  # the program closed its end
                break
            if not chunk:
                break
            seen += chunk
    return seen


# From 1 % on.
WHILE_INTEGRATING = rb'\r +[1-9][0-9]? %  day [0-9]+ of 2000'
# 30 001 rows of two reactors take seconds to write after 100 %.
WHILE_WRITING = rb'\r100 %  day 3000 of 3000'


def earlier_files(folder):
    (folder / 'w.xlsx').write_bytes(b'earlier workbook')
    (folder / 'r.csv').write_bytes(b'earlier table')


def assert_earlier_files_alone(folder):
    assert files_in(folder) == ['r.csv', 'w.xlsx']  # hidden temporary files would show here too
    assert (folder / 'w.xlsx').read_bytes() == b'earlier workbook'
    assert (folder / 'r.csv').read_bytes() == b'earlier table'


@pytest.mark.parametrize('t_end, moment, number', [
    ('2000', WHILE_INTEGRATING, signal.SIGINT),
    ('3000', WHILE_WRITING, signal.SIGTERM),
])
def test_a_signal_cancels_and_leaves_the_files_as_they_were(tmp_path, t_end, moment, number):
    earlier_files(tmp_path)
    # Standard error on a terminal, so the progress line shows what the program is doing.
    controller, terminal = pty.openpty()
    process = subprocess.Popen([CLI, '--config', 'tsad', '--t-end', t_end, '--out', 'w.xlsx', '--csv', 'r.csv',
                                '--plots', 'plots'], cwd=tmp_path, stdout=subprocess.PIPE, stderr=terminal)
    os.close(terminal)
    reached = re.compile(moment)  # the line is rewritten in place
    try:
        seen = read_terminal(controller, reached.search, 120)
        assert reached.search(seen), seen
        process.send_signal(number)
        seen += read_terminal(controller, lambda text: process.poll() is not None, 120)
        process.wait(timeout=10)
    finally:
        if process.poll() is None:
            process.kill()
        process.wait()
        os.close(controller)
    assert process.returncode == 130, seen
    assert b'cancelled' in seen
    assert_earlier_files_alone(tmp_path)


def size_of(path):
    try:
        return path.stat().st_size
    except FileNotFoundError:  # gone since the folder was listed
        return 0


@pytest.mark.parametrize('packed, signals', [
    # The workbook's hidden file fills while its sheets are packed, which takes seconds and is not
    # stopped by a first signal; the second ends the process at once.
    ('w.xlsx.', [signal.SIGINT, signal.SIGINT]),
    # The CSV is written after the workbook is complete.
    ('r.csv.', [signal.SIGTERM]),
])
def test_signals_while_files_fill_leave_the_files_as_they_were(tmp_path, packed, signals):
    earlier_files(tmp_path)
    process = subprocess.Popen([CLI, '--config', 'tsad', '--t-end', '3000', '--out', 'w.xlsx', '--csv', 'r.csv'],
                               cwd=tmp_path, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 120
        while not any(path.name.startswith('.') and packed in path.name and size_of(path) > 0
                      for path in tmp_path.iterdir()):
            assert process.poll() is None and time.monotonic() < deadline, f'{packed} never filled'
            time.sleep(0.01)
        for number in signals:
            process.send_signal(number)
            time.sleep(0.2)
        process.wait(timeout=10)
    finally:
        if process.poll() is None:
            process.kill()
        process.wait()
    assert process.returncode == 130
    assert_earlier_files_alone(tmp_path)


def test_no_progress_line_off_a_terminal(tmp_path):
    result = run(tmp_path, '--config', 'pomp', '--t-end', '0.5', '--out', 'w.xlsx')
    assert result.returncode == 0, result.stderr
    assert '%  day' not in result.stderr
    assert result.stdout.strip() == str(tmp_path / 'w.xlsx')


def test_failed_run_reports_the_python_error_and_writes_nothing(tmp_path):
    # A mixing interval this long overflows the pump-mixed model's exchange terms.
    result = run(tmp_path, '--config', 'pomp', '--mix-i', '1e308', '--t-end', '1', '--csv', 'r.csv', '--plots', 'plots')
    assert result.returncode == 1
    assert 'Traceback' not in result.stderr
    assert 'the model run failed: OverflowError' in result.stderr
    assert files_in(tmp_path) == []
    # The traceback on request.
    debug = subprocess.run([CLI, '--config', 'pomp', '--mix-i', '1e308', '--t-end', '1'], cwd=tmp_path,
                           capture_output=True, text=True, timeout=300, env=dict(os.environ, DIGESTRA_DEBUG='1'))
    assert debug.returncode == 1 and 'Traceback' in debug.stderr


def test_a_failed_model_call_back_is_told_in_one_line(tmp_path):
    # The damped pH solver fails inside the integrator's call-back (the exact one finds a root there):
    # the run stops early with the reason in one line, f2py's own lines only on request.
    arguments = ('--q-in', '500', '--ph', 'free', '--ph-solver', 'damped', '--t-end', '5', '--out', 'w.xlsx')
    result = run(tmp_path, *arguments)
    assert result.returncode == 3 and result.stderr.startswith(
        'digestra-cli: the integration stopped at day 0.6 of 5 (the pH cannot be computed: '), result.stderr
    assert 'Call-back' not in result.stderr and 'capi_return' not in result.stderr, result.stderr
    debug = subprocess.run([CLI, *arguments, '--out', 'd.xlsx'], cwd=tmp_path, capture_output=True, text=True,
                           timeout=300, env=dict(os.environ, DIGESTRA_DEBUG='1'))
    assert debug.returncode == 3 and 'Call-back' in debug.stderr, debug.stderr


def test_values_that_are_not_numbers_have_their_own_status_and_are_marked(tmp_path):
    # A vanishing feed leaves the pump-mixed model's results not numbers from the first day on.
    result = run(tmp_path, '--config', 'pomp', '--t-end', '5', '--q-in', '1e-100', '--out', 'w.xlsx')
    assert result.returncode == 4, result.stderr
    assert re.search(r'not numbers, first at day [0-9.e+-]+ in "[^"]+" of reactor 1', result.stderr), result.stderr
    summary = [value for row in openpyxl.load_workbook(tmp_path / 'w.xlsx', read_only=True)['SUMMARY'].values
               for value in row if isinstance(value, str)]
    assert any(value.startswith('Values that are not numbers:') for value in summary), summary


def test_integration_stopped_early_has_its_own_status(tmp_path):
    # A feed far beyond what a 10-litre digester can take: the integrator gives up in the first day.
    result = run(tmp_path, '--q-in', '1000', '--v1', '0.01', '--t-end', '1', '--out', 'w.xlsx', '--csv', 'r.csv')
    assert result.returncode == 3, result.stderr
    assert 'stopped at day' in result.stderr
    assert re.search(r'\nStopped early at day 0\.0[1-9][0-9]*\.\n', result.stderr), result.stderr  # not "day 0"
    _, _, table = read_csv(tmp_path / 'r.csv')
    assert 1 <= len(table) < 11
    assert openpyxl.load_workbook(tmp_path / 'w.xlsx', read_only=True)['Basic'].max_row == 4 + len(table)


def test_batch_answers_each_line_as_a_single_run_and_goes_on_past_bad_lines(tmp_path):
    scenarios = [
        {'id': 1, 't-end': 2, 'ph': 'free', 'summary': 'b1.json', 'engine': 'compiled'},
        {'id': 'two', 'config': 'tsad', 't-end': 2, 'v2': '20', 'engine': 'compiled'},
        # A pressure near 0 makes the solver print warnings on descriptor 1: they must not reach the answers.
        # Its gas holds more methane than the digester's COD can give: impossible.
        {'id': [3], 't-end': 0.1, 'p1': 1e-300, 'engine': 'native'},
    ]
    lines = [json.dumps(scenarios[0]), 'not json', json.dumps(scenarios[1]), '{"id": 4, "v2": 20}', '[5]',
             json.dumps(scenarios[2])]
    batch = subprocess.run([CLI, '--batch'], input='\n'.join(lines) + '\n', cwd=tmp_path, capture_output=True,
                           text=True, timeout=300)
    assert batch.returncode == 0, batch.stderr
    answers = [json.loads(line) for line in batch.stdout.splitlines()]
    assert [(a.get('id'), a['status'], a['exit']) for a in answers] == [
        (1, 'done', 0), (None, 'refused', 2), ('two', 'done', 0), (4, 'refused', 2), (None, 'refused', 2),
        ([3], 'not numbers', 4)]
    assert answers[1]['message'].startswith('not a JSON line')
    assert answers[3]['message'] == 'v2: does not apply to config ssad (only to tsad, tpad)'
    assert 'lsoda' in batch.stderr
    # No workbook unless "out" names one.
    assert answers[0]['files'] == [str(tmp_path / 'b1.json')] and files_in(tmp_path) == ['b1.json']
    assert json.loads((tmp_path / 'b1.json').read_text()) == answers[0]['summary']
    for scenario, answer in zip(scenarios, (answers[0], answers[2], answers[5])):
        options = [part for key, value in scenario.items() if key not in ('id', 'summary')
                   for part in (f'--{key}', str(value))]
        single = run(tmp_path, *options, '--quiet', '--out', 'w.xlsx', '--summary', 's.json')
        assert single.returncode == answer['exit'], single.stderr
        assert json.loads((tmp_path / 's.json').read_text()) == answer['summary']


def batch_answers(folder, scenarios, **options):
    batch = subprocess.run([CLI, '--batch'], input=''.join(json.dumps(s) + '\n' for s in scenarios), cwd=folder,
                           capture_output=True, text=True, timeout=300, **options)
    return batch, [json.loads(line) for line in batch.stdout.splitlines()]


def test_batch_checks_only_the_folders_it_writes(tmp_path):
    folder, out = tmp_path / 'read-only', tmp_path / 'out'
    folder.mkdir()
    out.mkdir()
    if os.geteuid() != 0:
        folder.chmod(0o555)
    elif subprocess.run(['mount', '-t', 'tmpfs', '-o', 'ro,size=64k', 'tmpfs', str(folder)],
                        capture_output=True).returncode != 0:
        pytest.skip('mounting a read-only tmpfs is not permitted here')
    try:
        batch, answers = batch_answers(folder, [{'id': 1, 't-end': 0.5, 'summary': str(out / 's.json')},
                                                {'id': 2, 't-end': 0.5, 'out': 'w.xlsx'}])
    finally:
        if os.geteuid() == 0:
            subprocess.run(['umount', str(folder)], check=True)
    assert [(a['status'], a['files']) for a in answers] == [('done', [str(out / 's.json')]), ('refused', [])], batch.stderr
    assert 'out: ' in answers[1]['message']


def test_a_failed_file_keeps_every_file_of_the_run_from_its_name(tmp_path):
    def files_of_at_most_16000_bytes():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (16000, 16000))
    (tmp_path / 'keep.csv').write_text('earlier\n')
    # A day's CSV (about 11 kB) and summary fit, its workbook (about 16.5 kB) does not; 3 days' CSV does not.
    batch, answers = batch_answers(tmp_path, [
        {'id': 1, 't-end': 1, 'out': 'w.xlsx', 'csv': 'keep.csv', 'summary': 's.json', 'plots': 'p'},
        {'id': 2, 't-end': 3, 'csv': 'big.csv'}], preexec_fn=files_of_at_most_16000_bytes)
    assert [(a['exit'], a['files']) for a in answers] == [(1, []), (1, [])], batch.stderr
    assert str(tmp_path / 'w.xlsx') in answers[0]['message'], answers[0]['message']
    assert answers[0]['message'].endswith("; none of the run's files is written")
    # The system's words for what failed (in the locale's language), not "Unknown error".
    why = answers[1]['message'].removeprefix(f'{tmp_path / "big.csv"}: ').split(';')[0]
    assert why in ('File too large', 'Die Datei ist zu groß'), answers[1]['message']
    assert files_in(tmp_path) == ['keep.csv', 'p'] and (tmp_path / 'keep.csv').read_text() == 'earlier\n'


@pytest.mark.parametrize('output', ['closed', 'full', 'a pipe closed at the other end'])
def test_answers_that_cannot_be_delivered_are_a_failure(tmp_path, output):
    scenario = json.dumps({'id': 1, 't-end': 0.5, 'summary': 's.json'}) + '\n'
    if output == 'full':
        with open('/dev/full', 'w') as full:
            batch = subprocess.run([CLI, '--batch'], input=scenario, stdout=full, stderr=subprocess.PIPE, cwd=tmp_path,
                                   text=True, timeout=300)
    else:
        # Closed at the start: descriptor 1 would go to the first file the program opens.
        batch = subprocess.Popen([CLI, '--batch'], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 cwd=tmp_path, text=True, preexec_fn=(lambda: os.close(1)) if output == 'closed' else None)
        batch.stdout.close()
        batch.stderr = batch.communicate(scenario, timeout=300)[1]
    assert batch.returncode == 1, batch.stderr
    assert 'standard output' in batch.stderr
    if output == 'closed':
        assert files_in(tmp_path) == []


def test_parallel_runs_in_one_folder_leave_one_workbook_each(tmp_path):
    runs = 16
    for repeat in range(1, 3):
        processes = [subprocess.Popen([CLI, '--t-end', '0.5', '--q-in', str(5 + i)], cwd=tmp_path,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                     for i in range(runs)]
        paths = []
        for process in processes:
            out, err = process.communicate(timeout=300)
            assert process.returncode == 0, err
            paths += out.split()
        assert len(set(paths)) == len(paths) == runs
        workbooks = files_in(tmp_path)  # hidden temporary files would show here too
        assert len(workbooks) == runs * repeat and all(re.fullmatch(r'results_\d{8}_\d{6}(_\d+)?\.xlsx', name)
                                                       for name in workbooks), workbooks
        for name in workbooks:
            with zipfile.ZipFile(tmp_path / name) as book:
                assert book.testzip() is None


def test_pipes_at_file_targets_are_refused_and_left_alone(tmp_path):
    pipe = tmp_path / 'pipe'
    os.mkfifo(pipe)
    for option in ('--out', '--csv'):
        result = run(tmp_path, '--t-end', '0.5', option, 'pipe')
        assert result.returncode == 2, result.stderr
        assert option in result.stderr and 'FIFO' in result.stderr
        assert stat.S_ISFIFO(os.lstat(pipe).st_mode)
        assert files_in(tmp_path) == ['pipe']
    # An image's name too, before the run.
    (tmp_path / 'plots').mkdir()
    os.mkfifo(tmp_path / 'plots' / 'biogas_composition.png')
    result = run(tmp_path, '--t-end', '0.5', '--out', 'w.xlsx', '--plots', 'plots')
    assert result.returncode == 2 and '--plots' in result.stderr and 'FIFO' in result.stderr, result.stderr
    assert files_in(tmp_path) == ['pipe', 'plots', 'plots/biogas_composition.png']


def test_full_or_read_only_disk_leaves_the_earlier_files_and_no_partial_one(tmp_path):
    disk = tmp_path / 'disk'
    disk.mkdir()
    if subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=64k', 'tmpfs', str(disk)],
                      capture_output=True).returncode != 0:
        pytest.skip('mounting a small tmpfs is not permitted here')
    try:
        (disk / 'w.xlsx').write_bytes(b'earlier workbook')
        (disk / 'r.csv').write_bytes(b'earlier table')
        # All but one page taken: the folder still takes new files, but not their content.
        free = os.statvfs(disk).f_bavail * os.statvfs(disk).f_frsize
        (disk / 'filler').write_bytes(b'\0' * (free - 4096))
        result = run(tmp_path, '--t-end', '0.5', '--out', 'disk/w.xlsx', '--csv', 'disk/r.csv', '--plots', 'disk/p')
        assert result.returncode == 1, result.stderr
        assert all(name in result.stderr for name in ('w.xlsx', 'r.csv', 'biogas_flow.png')), result.stderr
        assert (disk / 'w.xlsx').read_bytes() == b'earlier workbook'
        assert (disk / 'r.csv').read_bytes() == b'earlier table'
        assert files_in(disk) == ['filler', 'p', 'r.csv', 'w.xlsx']

        # A folder that takes no files at all is found out before the run.
        subprocess.run(['mount', '-o', 'remount,ro', str(disk)], check=True)
        result = run(disk, '--t-end', '0.5')
        assert result.returncode == 2 and 'working directory' in result.stderr, result.stderr
    finally:
        subprocess.run(['umount', str(disk)], check=True)


def test_integrator_messages_stay_off_standard_output(tmp_path):
    # A mixing interval of 30 years: LSODA gives up at once and prints why from Fortran.
    result = run(tmp_path, '--config', 'pomp', '--mix-i', '1e9', '--t-end', '2', '--out', 'w.xlsx')
    assert result.returncode == 3, result.stderr
    assert result.stdout == str(tmp_path / 'w.xlsx') + '\n'
    assert 'integrator: lsoda--' in result.stderr and '\0' not in result.stderr
