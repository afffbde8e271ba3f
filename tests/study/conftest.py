"""Shared by the study tests: where the runner and the stand-in digestra-cli are, and a way to run
a study as a user would."""
import csv
import os
import pathlib
import signal
import subprocess
import sys

HERE = pathlib.Path(__file__).resolve().parent
RUNNER = HERE.parents[1] / 'study' / 'digestra-study'
FAKE_CLI = HERE / 'fake-digestra-cli'
sys.path.insert(0, str(RUNNER.parent))


def write_study(folder, text):
    path = pathlib.Path(folder) / 'study.toml'
    path.write_text(text)
    return path


def study_command(study, *arguments, cli=FAKE_CLI):
    return ['/usr/bin/python3', str(RUNNER), str(study), '--cli', str(cli), *arguments]


def run_study(study, *arguments, cli=FAKE_CLI, env=None, timeout=120):
    return subprocess.run(study_command(study, *arguments, cli=cli), capture_output=True, text=True,
                          timeout=timeout, env={**os.environ, **(env or {})})


def read_rows(path):
    with open(path, newline='') as f:
        return list(csv.DictReader(f))


def stop_group(process, timeout=20):
    """Ends a process started with start_new_session=True, and whatever it started in its group."""
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            pass
    try:
        os.killpg(process.pid, signal.SIGKILL)   # children still left in the group
    except ProcessLookupError:
        pass
    process.wait()
