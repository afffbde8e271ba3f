"""The user guide as built: every input, model constant and output the program declares is in it."""
import json
import os
import pathlib
import subprocess

CLI = os.environ['DIGESTRA_CLI']
GUIDE = pathlib.Path(os.environ['DIGESTRA_GUIDE'])


def answer(*arguments):
    done = subprocess.run([CLI, *arguments], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


def test_the_guide_holds_every_declared_key():
    page = GUIDE.read_text(encoding='utf-8')
    keys = {i['key'] for i in answer('--describe')['inputs']} | {c['name'] for c in answer('--list-parameters', '--json')}
    outputs = answer('--list-outputs', '--json')
    for o in outputs.get('outputs', outputs) if isinstance(outputs, dict) else outputs:
        keys |= {o['key'], *o.get('summary', ())} | ({o['column']} if o.get('column') else set())
    missing = sorted(k for k in keys if f'<code>{k}</code>' not in page)
    assert missing == []
    assert '<h2 id="troubleshooting">' in page and 'src="http' not in page


def test_declared_numbers_read_as_written():
    # The ambient temperature's lowest, 273.15 - 50 K, as a reader writes it.
    page = GUIDE.read_text(encoding='utf-8')
    assert '223.15' in page and '223.14999999999998' not in page


def test_python_tests_find_the_built_programs_or_stop(tmp_path):
    """Run by hand without DIGESTRA_CLI, the tests take build/'s programs; with none built there they
    stop with the reason instead of skipping."""
    env = {k: v for k, v in os.environ.items() if k not in ('DIGESTRA_CLI', 'DIGESTRA_GUIDE')}
    tests = pathlib.Path(__file__).resolve().parents[1]
    for build, status, said in [(pathlib.Path(CLI).parents[1], 0, 'passed'), (tmp_path, 4, 'DIGESTRA_CLI: no ')]:
        done = subprocess.run(['/usr/bin/python3', '-m', 'pytest', '-p', 'no:cacheprovider', '-q',
                               str(tests / 'doc' / 'test_guide.py'), '-k', 'declared_key'], capture_output=True,
                              text=True, timeout=120, env={**env, 'DIGESTRA_BUILD_DIR': str(build)})
        assert done.returncode == status and said in done.stdout + done.stderr, done.stdout + done.stderr
