"""The study's summary table: one row per finished scenario with its inputs, its status and the
CLI's message, then every summary value, each header carrying the value's unit."""
import csv
import io

import openpyxl

from . import files
from .studyfile import INPUTS


def input_unit(name, scenarios):
    """An input's unit; temperatures are in the unit the scenarios give."""
    unit = INPUTS[name].unit
    if INPUTS[name].kind == 'temperature':
        units = {'°C' if s.inputs.get('unit') == 'C' else 'K' for s in scenarios}
        unit = units.pop() if len(units) == 1 else 'K or °C, see unit'
    return unit


def input_header(name, scenarios):
    """An input's name with its unit."""
    unit = input_unit(name, scenarios)
    return f'{name} [{unit}]' if unit else name


def value_columns(outcomes):
    """(key, header) of every summary value in any outcome, in the CLI's order: a two-reactor
    run's reactor-2 values come after reactor 1's wherever the runs are mixed."""
    columns, units = [], {}
    for outcome in outcomes:
        previous = -1
        for value in (outcome['summary'] or {}).get('values', []):
            key = value['key']
            if key not in units:
                columns.insert(previous + 1, key)
                units[key] = value['unit']
            previous = columns.index(key)
    return [(key, f'{key} [{units[key]}]') for key in columns]


def table(scenarios, outcomes):
    """Header and rows for the scenarios that have an outcome."""
    names = [name for name in INPUTS if any(name in s.inputs for s in scenarios)]
    values = value_columns(outcomes.values())
    header = ['scenario', *(input_header(n, scenarios) for n in names), 'status', 'message', *(h for _, h in values)]
    rows = []
    for scenario in scenarios:
        outcome = outcomes.get(scenario.id)
        if outcome is None:
            continue
        by_key = {v['key']: v['value'] for v in (outcome['summary'] or {}).get('values', [])}
        rows.append([scenario.id, *(scenario.inputs.get(n) for n in names), outcome['status'], outcome['message'],
                     *(by_key.get(key) for key, _ in values)])
    return header, rows


def write_csv(path, header, rows):
    text = io.StringIO()
    writer = csv.writer(text, lineterminator='\n')
    writer.writerow(header)
    writer.writerows([['' if cell is None else cell for cell in row] for row in rows])
    files.write_file(path, text.getvalue())


def write_xlsx(path, header, rows):
    book = openpyxl.Workbook(write_only=True)
    sheet = book.create_sheet('Summary')
    sheet.append(header)
    for row in rows:
        sheet.append(row)
    data = io.BytesIO()   # whole before it meets the disk: a failed write leaves no half-saved book behind
    try:
        book.save(data)
    except Exception as e:   # its rows go through a temporary file first, on a disk that may be full
        raise files.FileError(path, e) from None
    files.write_file(path, data.getvalue())
