"""Scenarios and their names. A scenario's id depends on its inputs and the contents of the files it
reads (a short hash of their canonical JSON and the files' SHA-256, after a readable part of the
swept values), so a study run again finds the files of the scenarios it already finished, and runs
again those whose feed, substrates or state file changed since."""
import dataclasses
import functools
import hashlib
import json
import os
import re

import tomli_w

from . import readfile
from .studyfile import STARTS

READABLE_LENGTH = 48


@dataclasses.dataclass(frozen=True)
class Scenario:
    id: str
    inputs: dict


def canonical_json(inputs):
    return json.dumps(inputs, sort_keys=True, separators=(',', ':'))


READ = ('feed', 'substrates', 'initial-state')   # the inputs naming files a run reads


@functools.lru_cache(maxsize=None)
def _content(path, stamp):
    """The SHA-256 of a file as it was at `stamp` (its size and time of change)."""
    return readfile.sha256(path)


def content(path):
    try:
        info = os.stat(path)
        stamp = (info.st_size, info.st_mtime_ns)
    except OSError:
        stamp = None
    return _content(path, stamp)


def scenario_id(inputs, swept):
    """The scenario's name: its inputs and the contents of the files it reads, so that a file changed
    since a run gives another scenario (a study without files keeps the ids of its inputs alone)."""
    read = {name: content(inputs[name]) for name in READ if name in inputs and inputs[name] not in STARTS}
    key = canonical_json(inputs) + (canonical_json(read) if read else '')
    digest = hashlib.sha256(key.encode()).hexdigest()[:16]
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
