"""digestra-cli's own checks of scenarios, without running them: each goes to one `digestra-cli
--batch` as a line with "check": true, which it reads and checks as it would before a run, and
answers "checked" or "refused" with every problem. The study runner so refuses before any run what
digestra-cli would refuse at run time, in digestra-cli's words, without restating its rules."""
import json
import subprocess

SECONDS_PER_CHECK = 0.05   # a line is read, its files too, and checked: milliseconds
LEAST_WAIT = 60


class CheckError(Exception):
    """digestra-cli did not give its verdict on the scenarios."""


def refusals(cli, scenarios):
    """For each inputs of `scenarios`, None when digestra-cli's checks pass, else its message."""
    lines = ''.join(json.dumps({**inputs, 'id': number, 'check': True}) + '\n' for number, inputs in enumerate(scenarios))
    wait = LEAST_WAIT + SECONDS_PER_CHECK * len(scenarios)
    try:
        done = subprocess.run([cli, '--batch'], input=lines, capture_output=True, text=True, timeout=wait)
    except subprocess.TimeoutExpired:
        raise CheckError(f'{cli} --batch did not check the scenarios within {wait:g} s (a file it reads may not '
                         'be a regular file)') from None
    except OSError as e:
        raise CheckError(f'{cli} --batch: {e}') from None
    answers = {}
    for line in done.stdout.splitlines():
        try:
            answer = json.loads(line)
        except ValueError:
            continue
        if isinstance(answer, dict) and isinstance(answer.get('id'), int):
            answers[answer['id']] = answer
    if len(answers) != len(scenarios) or any(a.get('message', '').startswith('check:') for a in answers.values()):
        raise CheckError(f'{cli} --batch gave no verdict on every scenario (exit status {done.returncode}); '
                         'it needs a digestra-cli that checks a batch line without running it')
    return [None if answers[n].get('status') == 'checked' else answers[n].get('message') or answers[n].get('status')
            for n in range(len(scenarios))]
