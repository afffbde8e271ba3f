"""The user guide as built: every input, model constant and output the program declares is in it."""
import json
import os
import pathlib
import subprocess

CLI = os.environ['DIGESTRA_CLI']
GUIDE = pathlib.Path(os.environ['DIGESTRA_GUIDE'])


def answer(*arguments):
    done = subprocess.run([CLI, *arguments], capture_output=True, text=True, timeout=120)
    return json.loads(done.stdout) if done.returncode == 0 else None


def test_the_guide_holds_every_declared_key(tmp_path):
    page = GUIDE.read_text(encoding='utf-8')
    keys = {i['key'] for i in answer('--describe')['inputs']} | {c['name'] for c in answer('--list-parameters', '--json')}
    outputs = answer('--list-outputs', '--json')
    if outputs is not None:
        for o in (outputs.get('outputs', outputs) if isinstance(outputs, dict) else outputs):
            keys |= {o['key'], *o.get('summary', ())} | ({o['column']} if o.get('column') else set())
    else:
        subprocess.run([CLI, '--config', 'tsad', '--t-end', '1', '--quiet', '--out', str(tmp_path / 'r.xlsx'),
                        '--summary', str(tmp_path / 's.json'), '--csv', str(tmp_path / 'r.csv')], check=True, timeout=120)
        keys |= {v['key'] for v in json.loads((tmp_path / 's.json').read_text())['values']}
        keys |= {c.removeprefix('R1 ').removeprefix('R2 ') for c in (tmp_path / 'r.csv').read_text().splitlines()[0].split(',')}
    missing = sorted(k for k in keys if f'<code>{k}</code>' not in page)
    assert missing == []
    assert '<h2 id="troubleshooting">' in page and 'src="http' not in page


def test_declared_numbers_read_as_written():
    # The ambient temperature's lowest, 273.15 - 50 K, as a reader writes it.
    page = GUIDE.read_text(encoding='utf-8')
    assert '223.15' in page and '223.14999999999998' not in page
