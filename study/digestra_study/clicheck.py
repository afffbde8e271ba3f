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


def answers(cli, lines, wait, what):
    """{id: answer} of one `digestra-cli --batch` given the batch `lines` (dicts), and its exit status;
    raises CheckError when it did not answer within `wait` seconds (`what` it was asked to do)."""
    text = ''.join(json.dumps(line) + '\n' for line in lines)
    try:
        done = subprocess.run([cli, '--batch'], input=text, capture_output=True, text=True, timeout=wait)
    except subprocess.TimeoutExpired:
        raise CheckError(f'{cli} --batch did not {what} within {wait:g} s (a file it reads may not '
                         'be a regular file)') from None
    except OSError as e:
        raise CheckError(f'{cli} --batch: {e}') from None
    found = {}
    for line in done.stdout.splitlines():
        try:
            answer = json.loads(line)
        except ValueError:
            continue
        if isinstance(answer, dict) and 'id' in answer:
            found[answer['id']] = answer
    return found, done.returncode


def refusals(cli, scenarios):
    """For each inputs of `scenarios`, None when digestra-cli's checks pass, else its message."""
    found, status = answers(cli, [{**inputs, 'id': number, 'check': True} for number, inputs in enumerate(scenarios)],
                            LEAST_WAIT + SECONDS_PER_CHECK * len(scenarios), 'check the scenarios')
    if set(found) != set(range(len(scenarios))) or any(a.get('message', '').startswith('check:') for a in found.values()):
        raise CheckError(f'{cli} --batch gave no verdict on every scenario (exit status {status}); '
                         'it needs a digestra-cli that checks a batch line without running it')
    return [None if found[n].get('status') == 'checked' else found[n].get('message') or found[n].get('status')
            for n in range(len(scenarios))]


TRIAL_DAYS = 1   # a run's summary says which of its values apply after a day as after a year


def not_applicable(cli, inputs, keys):
    """{key: why} of the summary values `keys` that a run of `inputs` does not give (those needing
    substrates with lab values without them, ...), as digestra-cli's summary of a day of it notes."""
    line = {**inputs, 'id': 'trial', 't-end': min(float(inputs.get('t-end', TRIAL_DAYS)), TRIAL_DAYS)}
    summary = answers(cli, [line], LEAST_WAIT, 'run a day of the study')[0].get('trial', {}).get('summary')
    values = summary.get('values') or [] if isinstance(summary, dict) else []
    return {v['key']: v['note'] for v in values if v.get('key') in keys and v.get('note')}
