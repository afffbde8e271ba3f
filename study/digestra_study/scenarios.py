"""Scenarios and their names. A scenario's id depends on its inputs alone (a short hash of their
canonical JSON, after a readable part of the swept values), so a study run again finds the files of
the scenarios it already finished."""
import dataclasses
import hashlib
import json
import re

import tomli_w

READABLE_LENGTH = 48


@dataclasses.dataclass(frozen=True)
class Scenario:
    id: str
    inputs: dict


def canonical_json(inputs):
    return json.dumps(inputs, sort_keys=True, separators=(',', ':'))


def scenario_id(inputs, swept):
    digest = hashlib.sha256(canonical_json(inputs).encode()).hexdigest()[:16]
    parts = [f'{name}-{inputs[name]}' for name in swept if name in inputs]
    readable = re.sub(r'[^A-Za-z0-9.-]+', '_', '_'.join(parts))[:READABLE_LENGTH]
    return f'{readable}_{digest}' if readable else digest


def scenarios_of(study):
    """The study's scenarios one by one, each set of inputs once (a sweep may list 20 and 20.0)."""
    swept = list(study.sweep)
    seen = set()
    for inputs in study.scenarios():
        key = canonical_json(inputs)
        if key not in seen:
            seen.add(key)
            yield Scenario(scenario_id(inputs, swept), inputs)


def describe(scenario):
    """One line for --dry-run and progress lines: the id and the inputs as digestra-cli options."""
    options = ' '.join(f'--{name} {value}' for name, value in scenario.inputs.items())
    return f'{scenario.id}  {options}'


def study_toml(study, scenarios):
    """The study as run: its settings and every scenario's inputs, as TOML."""
    return tomli_w.dumps({'title': study.title, 'scenarios': len(scenarios), 'output': {'workbooks': study.workbooks},
                          'scenario': [{'id': s.id, **s.inputs} for s in scenarios]})
