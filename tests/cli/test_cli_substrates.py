"""Substrates given by their lab values: the balances the conversion keeps, the values it refuses
with their place, the shipped library, a run's values set over the file's, flows in t/d, and the feed a
run gets as --list-feed lists it."""
import json
import os
import pathlib
import subprocess

import pytest
import tomllib

CLI = os.environ['DIGESTRA_CLI']   # set by conftest

LIBRARY = pathlib.Path(__file__).parents[2] / 'studies' / 'feeds' / 'substrates.toml'
COD_OF = {'X_ch': 1.185, 'X_pr': 1.415, 'X_li': 2.891}  # g COD per g of carbohydrate, protein, lipid


def listing(folder, text, *arguments):
    (folder / 's.toml').write_text(text)
    return subprocess.run([CLI, '--substrates', 's.toml', '--list-substrates', '--json', *arguments], cwd=folder,
                          capture_output=True, text=True, timeout=60)


def lab(**values):
    return '[a]\n' + ''.join(f'{k} = {v}\n' for k, v in values.items())


BALANCED = [
    lab(TS=10, VS=80, TKN=4, NH4_N=2, XL=4, XF=22, BMP=0.21, alkalinity=200),
    lab(TS=33, VS=95, XP=8, XL=3, XF=20, NH4_N=0.3, degradable_share=0.75, density=1050),
    lab(TS=35, VS=90, XP=15, XL=3.5, XF=25, ADL=4.5, COD=440, NH4_N=0.6),
    lab(TS=6, VS=80, XP=10, XL=60, XF=5, BMP=0.6),  # an inert share beyond the carbohydrates
]


@pytest.mark.parametrize('text', BALANCED)
def test_lab_values_keep_their_balances(tmp_path, text):
    done = listing(tmp_path, text)
    assert done.returncode == 0 and not done.stderr, done.stderr
    given = dict(line.split(' = ') for line in text.splitlines()[1:])
    given = {k: float(v) for k, v in given.items()}
    c = json.loads(done.stdout)['a']
    per_kg = given.get('density', 1000) / 1000  # kg of fresh mass per m3, over 1000
    assert c['S_IN'] * 14 >= given.get('NH4_N', 0) * per_kg * (1 - 1e-12)
    assert c['volatile_solids'] == pytest.approx(given['TS'] * given['VS'] / 1e4 * 1000 * per_kg)
    degradable = sum(c[k] for k in COD_OF)
    if 'BMP' in given:
        # A net yield: the model's biomass keeps a few per cent of the degradable COD.
        assert c['methane_potential'] == pytest.approx(given['BMP'] * c['volatile_solids'])
        assert 1.01 < degradable * 0.35022 / c['methane_potential'] < 1.08
    if 'degradable_share' in given:
        mass = sum(c[k] / f for k, f in COD_OF.items())
        assert mass == pytest.approx(given['degradable_share'] * c['volatile_solids'])
    if 'TKN' in given:
        assert c['nitrogen'] == pytest.approx(given['TKN'] * per_kg)
    if 'COD' in given:
        assert c['COD'] == pytest.approx(given['COD'] * per_kg)
    if 'alkalinity' in given:
        assert c['S_IC'] == pytest.approx(c['S_IN'] + c['S_cat'] - c.get('S_an', 0))
    assert min(c.values()) >= 0 and 'X_c' not in c


REFUSED = [
    (lab(TS=120, VS=80, XP=8, XL=3, XF=20, BMP=0.3), 's.toml:2:6: a: TS must be from 0 to 100 % of fresh mass (got 120)'),
    (lab(TS=30, VS=80, XP=8, XL=3, XF=20, degradable_share=1.2), 's.toml:7:20: a: degradable_share must be from 0 to 1'),
    (lab(TS=30, VS=30, XP=10, XL=10, XF=20, BMP=0.3), 's.toml:4:6: a: XP + XL + XF (40 % of TS) is above VS (30 % of TS)'),
    (lab(TS=30, VS=90, XP=8, XL=3, XF=20, BMP=0.6), 's.toml:7:7: a: BMP 0.6 Nm3/kg VS is above the 0.428 Nm3/kg VS'),
    (lab(TS=30, VS=90, XP=8, XL=3, XF=20, BMP=0.3, degradable_share=0.7),
     's.toml:7:7: a: give degradable_share or BMP, not both'),
    (lab(TS=30, VS=90, XP=8, XL=3, XF=20), 's.toml:1:1: a: lab values need degradable_share, BMP or ADL'),
    (lab(TS=30, VS=90, XP=8, XL=3, X_ch=20), 's.toml:1:1: a: gives components and lab values: one or the other'),
]


@pytest.mark.parametrize('text,message', REFUSED)
def test_bad_lab_values_are_refused_with_their_place(tmp_path, text, message):
    done = listing(tmp_path, text)
    assert done.returncode == 2 and message in done.stderr, done.stderr


def test_a_lab_cod_far_from_the_fractions_is_named_beside_them_when_listed_and_run(tmp_path):
    done = listing(tmp_path, lab(TS=10, VS=80, XP=20, XL=4, XF=22, BMP=0.21, COD=150))
    (tmp_path / 'a.csv').write_text('day,a\n0,1\n')
    run = subprocess.run([CLI, '--t-end', '1', '--feed', 'a.csv', '--substrates', 's.toml', '--quiet', '--out', 'w.xlsx'],
                         cwd=tmp_path, capture_output=True, text=True, timeout=120)
    for answer in (done, run):
        assert answer.returncode == 0
        assert 's.toml:8:7: a: COD 150 g/kg from the lab and 106.2 g/kg from the fractions differ by more than 10 %' in answer.stderr


def test_the_library_s_nitrogen_adds_up(tmp_path):
    # Per lab substrate of the library: the Kjeldahl nitrogen (TKN, or XP / 6.25), all of which the
    # model can release as ammonium (S_IN + N_aa X_pr), and the nitrogen its inerts carry (N_XI X_I).
    given = tomllib.loads(LIBRARY.read_text())
    library = json.loads(subprocess.run([CLI, '--substrates', LIBRARY, '--list-substrates', '--json'],
                                        capture_output=True, text=True, timeout=60, check=True).stdout)
    lab_substrates = {name: v for name, v in given.items() if 'TS' in v}
    assert sorted(lab_substrates) == ['cattle_manure', 'food_waste', 'grass_silage', 'maize_silage', 'pig_slurry']
    for name, v in lab_substrates.items():
        c = library[name]
        kjeldahl = v['TKN'] if 'TKN' in v else v['XP'] / 100 * v['TS'] * 10 / 6.25   # kg N/m3 at 1000 kg/m3
        assert c['nitrogen'] == pytest.approx(kjeldahl), name
        assert (c['S_IN'] + 0.007 * c['X_pr']) * 14 == pytest.approx(kjeldahl, rel=0.01), name
        assert c['released_nitrogen'] == pytest.approx(kjeldahl, rel=0.01), name
        assert c['inert_nitrogen'] == pytest.approx(0.00429 * c['X_I'] * 14), name
        # Crude protein counts the ammonium once (the inerts come from the carbohydrates here).
        crude = v['XP'] / 100 * v['TS'] * 10 if 'XP' in v else 6.25 * v['TKN']
        assert c['X_pr'] == pytest.approx(1.415 * (crude - 6.25 * v['NH4_N'])), name


def test_the_library_and_a_run_s_values_over_it(tmp_path):
    library = json.loads(subprocess.run([CLI, '--substrates', LIBRARY, '--list-substrates', '--json'],
                                        capture_output=True, text=True, timeout=60, check=True).stdout)
    for name in ('cattle_manure', 'pig_slurry', 'maize_silage', 'grass_silage', 'food_waste', 'bsm2_sludge'):
        assert library[name]['COD'] > 0, name
    # A degradable share set over the file's BMP moves the inerts only.
    set_ = json.loads(subprocess.run([CLI, '--substrates', LIBRARY, '--list-substrates', '--json', '--substrate-value',
                                      'maize_silage.degradable_share=0.6'],
                                     capture_output=True, text=True, timeout=60, check=True).stdout)['maize_silage']
    assert set_['X_I'] > library['maize_silage']['X_I'] and set_['COD'] == pytest.approx(library['maize_silage']['COD'])
    done = subprocess.run([CLI, '--substrates', LIBRARY, '--list-substrates', '--substrate-value', 'bsm2_sludge.BMP=0.3'],
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 2 and 'the substrate is given by components, not lab values' in done.stderr


def test_flows_in_tonnes_are_fresh_mass_through_the_density(tmp_path):
    (tmp_path / 's.toml').write_text('[a]\nX_c = 10\ndensity = 800\n' + lab(TS=10, VS=80, XP=10, XL=4, XF=22, BMP=0.21)
                                     .replace('[a]', '[b]'))
    (tmp_path / 'mass.csv').write_text('day,a [t/d],b [t/d]\n0,4,5\n')
    (tmp_path / 'volume.csv').write_text('day,a,b\n0,5,5\n')
    tables = []
    for feed in ('mass.csv', 'volume.csv'):
        done = subprocess.run([CLI, '--quiet', '--t-end', '2', '--feed', feed, '--substrates', 's.toml', '--out', 'w.xlsx',
                               '--summary', feed + '.json', '--csv', feed + '.csv'],
                              cwd=tmp_path, capture_output=True, text=True, timeout=300)
        assert done.returncode == 0, done.stderr
        tables.append((tmp_path / (feed + '.csv')).read_text())
        values = {v['key']: v['value'] for v in json.loads((tmp_path / (feed + '.json')).read_text())['values']}
        assert values['fresh_mass_fed'] == pytest.approx(2 * 9)  # t: 4 + 5 t/d, or 5 m3/d of a at 0.8 t/m3 and 5 of b
        assert values['volatile_solids_fed'] is None  # a has no lab values
    assert tables[0] == tables[1]


RAMP = [4 * (0.25 + 0.01875 * day) for day in range(3)]   # a quarter of q-in on day 0, rising daily


@pytest.mark.parametrize('inputs, steps', [
    ({'q-in': 4, 'x-c-in': 10}, [(0, RAMP[0], 10), (1, RAMP[1], 10), (2, RAMP[2], 10)]),
    ({'config': 'pomp', 'q-in': 4, 'x-c-in': 10}, [(0, 4, 10)]),
    # a at 0.8 t/m3 and 10 kgCOD/m3, b at 1 t/m3 and 20; the row of day 5 comes after the run's end
    ({'feed': 'mass.csv', 'substrates': 's.toml'}, [(0, 4 / 0.8 + 5, 150 / 10), (2, 8 / 0.8, 10)]),
], ids=['ramp', 'pomp', 'tonnes'])
def test_the_feed_a_run_gets_is_listed_without_running_it(tmp_path, inputs, steps):
    (tmp_path / 's.toml').write_text('[a]\nX_c = 10\ndensity = 800\n[b]\nX_pr = 20\n')
    (tmp_path / 'mass.csv').write_text('day,a [t/d],b [t/d]\n0,4,5\n2,8,0\n5,1,1\n')
    inputs = {'t-end': 3, **inputs}
    options = [text for k, v in inputs.items() for text in (f'--{k}', str(v))]
    listed = subprocess.run([CLI, *options, '--list-feed', '--json'], cwd=tmp_path, capture_output=True, text=True,
                            timeout=60)
    assert listed.returncode == 0 and not listed.stderr, listed.stderr
    feed = json.loads(listed.stdout)
    assert feed['t_end'] == 3 and not list(tmp_path.glob('*.xlsx'))
    assert [(s['day'], s['flow'], s['cod'], s['cod_load']) for s in feed['steps']] == \
        [pytest.approx((day, flow, cod, flow * cod)) for day, flow, cod in steps]
    batch = subprocess.run([CLI, '--batch'], input=json.dumps({**inputs, 'list-feed': True}) + '\n', cwd=tmp_path,
                           capture_output=True, text=True, timeout=60)
    assert json.loads(batch.stdout)['feed'] == feed


@pytest.mark.parametrize('substrate', ['maize_silage', 'food_waste', 'cattle_manure'])
def test_a_substrate_alone_at_low_loading_gives_its_bmp(tmp_path, substrate):
    # At 0.5 kg VS/(m3 d) of the single-stage digester's liquid, at its steady state: the methane
    # per VS fed is the lab's BMP within 2 %, and the summary's bmp_share tells so.
    v = tomllib.loads(LIBRARY.read_text())[substrate]
    volatile_solids = v['TS'] * v['VS'] / 1e4 * 1000                     # kg VS/m3 of fresh matter
    liquid = 33 * (1 - 5 / 33)
    flow = 0.5 * liquid / volatile_solids
    (tmp_path / 'f.csv').write_text(f'day,{substrate}\n0,{flow!r}\n')
    line = {'config': 'ssad', 'ph': 'free', 't-end': 1, 'v1': 33, 'feed': 'f.csv', 'substrates': str(LIBRARY),
            'initial-state': 'steady', 'csv': 'r.csv'}
    done = subprocess.run([CLI, '--batch'], input=json.dumps(line) + '\n', cwd=tmp_path, capture_output=True,
                          text=True, timeout=300)
    answer = json.loads(done.stdout)
    assert answer['status'] == 'done', done.stderr
    values = {entry['key']: entry['value'] for entry in answer['summary']['values']}
    assert values['bmp_share'] == pytest.approx(1, rel=0.02)
    assert values['specific_methane_yield_vs'] == pytest.approx(v['BMP'], rel=0.02)
