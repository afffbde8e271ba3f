"""Your own plant through digestra-cli: feed schedules in their three forms, model constants as
parameters, the checks that refuse bad ones, and what the workbook records of them."""
import csv
import json
import os
import pathlib
import subprocess

import tomllib

import openpyxl
import pytest

CLI = os.environ['DIGESTRA_CLI']   # set by conftest


RAMP = [5.31 * (0.01875 * i + 0.25) for i in range(41)]  # the built-in ramp of the default 5.31 m3/d


def run(folder, *arguments):
    return subprocess.run([CLI, '--quiet', *arguments], cwd=folder, capture_output=True, text=True, timeout=300)


def table(folder, name, *arguments):
    """The run's result table as CSV text rows (numbers written to round trip)."""
    done = run(folder, '--out', name + '.xlsx', '--csv', name + '-results.csv', *arguments)
    assert done.returncode == 0, done.stderr
    with open(folder / (name + '-results.csv'), newline='') as f:
        return list(csv.reader(f))


def write(folder, name, header, rows):
    (folder / name).write_text(header + '\n' + ''.join(','.join(repr(v) for v in row) + '\n' for row in rows))
    return name


def column(rows, name):
    """A column's numbers, below the rows of names and units."""
    i = rows[0].index(name)
    return [float(r[i]) for r in rows[2:]]


@pytest.mark.parametrize('config', ['ssad', 'tsad', 'tpad', 'pomp'])
def test_the_built_in_feed_as_a_schedule_gives_the_same_table_bit_for_bit(tmp_path, config):
    # The pump-mixed run has no ramp: its built-in feed is the final flow from day 0 on.
    rows = [(0, 5.31, 10.0)] if config == 'pomp' else [(i, q, 10.0) for i, q in enumerate(RAMP)]
    feed = write(tmp_path, 'ramp.csv', '# the built-in feed\nday [d],Q_in [m3/d],X_c_in [kgCOD/m3]', rows)
    common = ('--config', config, '--t-end', '3', '--ph', 'free')
    assert table(tmp_path, 'schedule', *common, '--feed', feed) == table(tmp_path, 'built_in', *common)


@pytest.mark.parametrize('form', ['components', 'substrate'])
def test_components_equal_to_the_built_in_feed_give_its_table(tmp_path, form):
    if form == 'components':
        feed = write(tmp_path, 'components.csv', 'day,Q_in,X_c,S_cat', [(i, q, 10.0, 0.035) for i, q in enumerate(RAMP)])
    else:
        # A substrate flowing alone is its own composition, to the last digit.
        (tmp_path / 'substrates.toml').write_text('[built_in]\nX_c = 10.0\nS_cat = 0.035\n')
        feed = write(tmp_path, 'substrate.csv', 'day,built_in', list(enumerate(RAMP)))
    # Flowing 5.31 * 0.34375 m3/d from day 5, q * 10 / q was 9.999999999999998.
    more = ('--substrates', 'substrates.toml', '--t-end', '6') if form == 'substrate' else ('--t-end', '2')
    assert table(tmp_path, form, '--feed', feed, *more) == table(tmp_path, 'built_in', *more[-2:])


def test_a_substrate_mix_equals_its_component_schedule(tmp_path):
    (tmp_path / 'substrates.toml').write_text('[a]\nX_c = 12.0\nS_IN = 0.01\n[b]\nX_pr = 3.0\nS_ac = 0.5\nS_cat = 0.04\n')
    mix = write(tmp_path, 'mix.csv', 'day,a,b', [(0, 1.0, 3.0), (1, 2.0, 2.0)])
    # The flow-weighted mix in the program's order: each substrate's share of the flow times its composition.
    rows = [(d, qa + qb, qa / (qa + qb) * 12.0, qa / (qa + qb) * 0.01, qb / (qa + qb) * 3.0,
             qb / (qa + qb) * 0.5, qb / (qa + qb) * 0.04) for d, qa, qb in [(0, 1.0, 3.0), (1, 2.0, 2.0)]]
    components = write(tmp_path, 'components.csv', 'day,Q_in,X_c,S_IN,X_pr,S_ac,S_cat', rows)
    assert (table(tmp_path, 'mix', '--t-end', '2', '--feed', mix, '--substrates', 'substrates.toml')
            == table(tmp_path, 'components', '--t-end', '2', '--feed', components))


def test_a_step_shows_in_the_gas_flow_after_its_day_and_not_before(tmp_path):
    # Acetate flowing in turns into methane at once.
    steady = write(tmp_path, 'steady.csv', 'day,Q_in,X_c_in', [(0, 5.31, 10.0)])
    (tmp_path / 'step.toml').write_text('[[feed]]\nday = 0\nQ_in = 5.31\nS_ac = 0.0\nX_c = 10.0\nS_cat = 0.035\n'
                                        '[[feed]]\nday = 2\nQ_in = 5.31\nS_ac = 20.0\nX_c = 10.0\nS_cat = 0.035\n')
    without, step = (table(tmp_path, name, '--t-end', '4', '--feed', feed)
                     for name, feed in [('steady', steady), ('step', 'step.toml')])
    for t, flow, stepped in zip(column(without, 't'), column(without, 'gasflow'), column(step, 'gasflow')):
        if t < 1.9:
            assert stepped == pytest.approx(flow, rel=1e-4), t
        elif t > 2.5:
            assert stepped > 1.05 * flow, t


def test_a_lower_acetate_uptake_rate_leaves_more_acetate(tmp_path):
    default = column(table(tmp_path, 'default', '--t-end', '3'), 'S_ac')
    slower = column(table(tmp_path, 'slower', '--t-end', '3', '--param', 'km_ac=4'), 'S_ac')
    assert slower[-1] > 1.1 * default[-1]


REFUSALS = [
    # (file name, text, more arguments, what the message says)
    ('days.csv', 'day,Q_in,X_c_in\n0,1,10\n2,1,10\n2,1,10\n', (), 'days.csv:4:1: day 2 does not come after day 2'),
    ('start.csv', 'day,Q_in,X_c_in\n1,1,10\n', (), 'start.csv:2:1: the first day must be 0'),
    ('flow.csv', 'day,Q_in,X_c_in\n0,-1,10\n', (), 'flow.csv:2:3: Q_in must not be negative'),
    ('conc.toml', 'day = [0]\nQ_in = [1]\nS_ac = [-0.5]\n', (), 'conc.toml:3:9: S_ac must not be negative'),
    ('text.csv', 'day,Q_in,X_c_in\n0, 1,ten\n', (), "text.csv:2:6: 'ten' is not a number"),
    ('column.csv', 'day,Q_in,X_cin\n0,1,10\n', (), "column.csv:1:10: unknown column 'X_cin'"),
    ('substrate.csv', 'day,maize\n0,1\n', ('--substrates', 'substrates.toml'), "substrate.csv:1:5: unknown column 'maize'"),
    ('unit.csv', 'day,Q_in [m3/h],X_c_in\n0,1,10\n', (), 'unit.csv:1:5: Q_in is in m3/d, not m3/h'),
    ('forms.csv', 'day,Q_in,X_c_in,S_ac\n0,1,10,1\n', (), 'one form per file'),
    ('empty.csv', '# nothing yet\nday,Q_in,X_c_in\n', (), 'the schedule has no rows'),
    ('long.csv', 'day,Q_in,X_c_in\n' + ''.join(f'{d},1,10\n' for d in range(100001)), (), 'more than 100000 rows'),
    ('dry.csv', 'day,Q_in,X_c_in\n0,1,10\n5,0,10\n', ('--config', 'tpad'), 'Q_in is 0 on day 5'),
    (None, None, ('--param', 'km_acc=4'), "unknown model parameter 'km_acc' (did you mean km_ac?)"),
    (None, None, ('--param', 'Y_su=1.5'), 'Y_su = 1.5 must be from 0 to 1'),
    (None, None, ('--param', 'km_h2=-1'), 'km_h2 = -1 must be positive and finite'),
    (None, None, ('--param', 'headspace_share=1'), 'headspace_share = 1 must be greater than 0 and less than 1'),
    (None, None, ('--param', 'headspace_share=0.9999999999999999'), 'headspace_share = 0.9999999999999999 must be from 0.01 to 0.9'),
    (None, None, ('--param', 'deltaH0_Ka_co2=1e308'), 'deltaH0_Ka_co2 = 1e+308 must be from -200000 to 200000'),
    (None, None, ('--param', 'p_h2o_slope=1e300'), 'p_h2o_slope = 1e+300 must be at most 20000'),
    (None, None, ('--config', 'tpad', '--param', 'km_ac=4'), 'km_ac cannot matter: config tpad replaces it'),
    (None, None, ('--param', 'f_ac_su=0.5'), 'f_ac_su + f_bu_su + f_pro_su + f_h2_su add up to 1.09'),
    (None, None, ('--param', 'I_ph_ac_ll=7.5'), 'I_ph_ac_ll = 7.5 must be below I_ph_ac_ul = 7'),
    (None, None, ('--param', 'km_ac'), "--param needs NAME=VALUE with a number, not 'km_ac'"),
]


def test_bad_schedules_and_parameters_are_refused_before_the_run_with_their_place(tmp_path):
    (tmp_path / 'substrates.toml').write_text('[grass]\nX_c = 5.0\n')
    for name, text, arguments, message in REFUSALS:
        feed = ()
        if name:
            (tmp_path / name).write_text(text)
            feed = ('--feed', name)
        done = run(tmp_path, '--t-end', '1', '--out', 'w.xlsx', *feed, *arguments)
        assert done.returncode == 2 and message in done.stderr, (name, arguments, done.stderr)
        assert not (tmp_path / 'w.xlsx').exists()


def test_a_file_name_is_taken_byte_for_byte_from_the_command_line(tmp_path):
    # Not UTF-8, and a leading space: the file named is the file read.
    for name in (b'caf\xe9.csv', b' lead.csv'):
        (tmp_path / os.fsdecode(name)).write_text('day,Q_in,X_c_in\n0,5.31,10\n')
        done = subprocess.run([CLI, '--quiet', '--t-end', '0.2', '--out', 'w.xlsx', '--feed', name], cwd=tmp_path,
                              capture_output=True, timeout=300)
        assert done.returncode == 0, done.stderr


def test_the_workbook_records_the_parameters_and_the_schedule(tmp_path):
    (tmp_path / 'feed.toml').write_text('[[feed]]\nday = 0\nQ_in = 4.0\nX_c_in = 10.0\n'
                                        '[[feed]]\nday = 1\nQ_in = 6.0\nX_c_in = 20.0\n')
    done = run(tmp_path, '--t-end', '2', '--feed', 'feed.toml', '--param', 'km_ac=4', '--out', 'w.xlsx',
               '--summary', 's.json')
    assert done.returncode == 0, done.stderr
    book = openpyxl.load_workbook(tmp_path / 'w.xlsx', read_only=True)
    assert book.sheetnames[-4:] == ['SUMMARY', 'PARAMETERS', 'FEED', 'OPERATION']
    parameters = list(book['PARAMETERS'].values)
    listed = json.loads(subprocess.run([CLI, '--list-parameters', '--json'], capture_output=True, text=True).stdout)
    assert parameters[0] == ('Name', 'Value', 'Default', 'Unit')
    assert [p[0] for p in parameters[1:-2]] == [p['name'] for p in listed]
    assert parameters[-2:] == [('engine', 'native', None, None), ('ph-solver', 'exact', None, None)]
    assert ('km_ac', 4, 8, '1/d') in parameters and ('kdis', 0.5, 0.5, '1/d') in parameters
    assert list(book['FEED'].values) == [('day [d]', 'Q_in [m3/d]', 'X_c_in [kgCOD/m3]'), (0, 4, 10), (1, 6, 20)]
    grid = book['CONFIGURATION']
    assert [grid[c].value for c in ('C3', 'D3', 'C4', 'D4', 'C5')] == ['schedule', 'feed.toml', 'schedule', 'sheet FEED', 2]
    # The loading per m3 of liquid (28 of the 33 m3): of the feed in force at the end, 6 m3/d of
    # 20 kgCOD/m3, and over the two days, 4 × 10 and 6 × 20 kgCOD.
    summary = json.loads((tmp_path / 's.json').read_text())
    assert summary['engine'] == 'native'
    values = {v['key']: v['value'] for v in summary['values']}
    assert values['organic_loading_rate'] == pytest.approx(6 * 20 / 28)
    assert values['mean_organic_loading_rate'] == pytest.approx((4 * 10 + 6 * 20) / 2 / 28)


def test_the_program_reads_the_declared_defaults_bit_for_bit():
    # The model tests read the declaration with Python; the program must take the same numbers.
    declared = tomllib.loads((pathlib.Path(__file__).parents[2] / 'inputs' / 'modelparameters.toml').read_text())
    listed = json.loads(subprocess.run([CLI, '--list-parameters', '--json'], capture_output=True, text=True).stdout)
    assert [(p['name'], p['default']) for p in listed] == [(p['name'], p['default']) for p in declared['parameter']]


def test_a_rated_chp_a_gas_storage_and_the_plant_figures_as_a_run_reports_them(tmp_path):
    # 1.5 m3/d of slurry and 0.3 t/d of maize silage into 33 m3; a 5 kW CHP takes 12.5 kW of methane.
    library = pathlib.Path(__file__).parents[2] / 'studies' / 'feeds' / 'substrates.toml'
    feed = write(tmp_path, 'farm.csv', 'day [d],cattle_manure [m3/d],maize_silage [t/d]', [(0, 1.5, 0.3)])
    common = ('--config', 'ssad', '--t-end', '30', '--ph', 'free', '--feed', feed, '--substrates', str(library))
    done = run(tmp_path, *common, '--chp-power', '5', '--gas-storage', '20', '--csv', 'r.csv', '--summary', 's.json')
    assert done.returncode == 0, done.stderr
    with open(tmp_path / 'r.csv', newline='') as f:
        rows = list(csv.reader(f))
    assert rows[0][-2:] == ['P_flare', 'CH4_storage'] and rows[1][-2:] == ['[kW]', '[Nm3]']
    assert max(column(rows, 'P_el')) <= 5 and max(column(rows, 'P_flare')) > 0
    assert max(column(rows, 'CH4_storage')) == pytest.approx(20)
    values = {v['key']: v for v in json.loads((tmp_path / 's.json').read_text())['values']}
    flared, methane = values['flared_energy']['value'], values['methane_energy']['value']
    assert values['flared_share']['value'] == pytest.approx(flared / methane)
    assert values['chp_full_load_hours']['value'] == pytest.approx(values['electricity']['value'] / 5)
    assert 0 <= values['gas_storage_fill']['value'] <= 1
    # The liquid (33 m3 less the headspace) over the feed's volume; VS from the substrates' lab values.
    assert values['r1_min_hrt']['value'] == pytest.approx(values['r1_mean_hrt']['value'])
    assert 10 < values['r1_mean_hrt']['value'] < 33 / (1.5 + 0.3)
    assert values['r1_max_vs_loading']['value'] == pytest.approx(values['volatile_solids_loading_rate']['value'])
    # Without the plant's limits the same run keeps today's CHP: all the methane, no flare.
    assert run(tmp_path, *common, '--summary', 'u.json').returncode == 0
    unlimited = {v['key']: v for v in json.loads((tmp_path / 'u.json').read_text())['values']}
    assert unlimited['flared_energy']['value'] == 0 and unlimited['chp_full_load_hours']['note']
    assert unlimited['electricity']['value'] > values['electricity']['value']
