#!/usr/bin/python3
"""Builds the user guide: guide.md with its generated chapters (inputs, model constants, outputs)
filled in from the program's own declarations, to one self-contained HTML file.

    build_guide.py --cli build/cli/digestra-cli --version 1.2 doc/guide.md out/guide.html

The outputs come from `digestra-cli --list-outputs --json` when the program has it, otherwise from
what a one-day run of each configuration writes (CSV columns with their units, summary keys with
label and unit); the workbook's sheets always from those runs.
"""
import argparse
import html
import json
import pathlib
import re
import subprocess
import tempfile
import zipfile

import markdown

STYLE = '''body { font-family: sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em; line-height: 1.45; }
table { border-collapse: collapse; margin: 1em 0; font-size: 0.9em; }
th, td { border: 1px solid #aaa; padding: 0.2em 0.5em; text-align: left; vertical-align: top; }
th { background: #eee; }
code, pre { background: #f4f4f4; }
pre { padding: 0.5em; overflow-x: auto; }
.toc { border: 1px solid #ccc; padding: 0 1em; }
@media print { body { max-width: none; margin: 0; } h2 { break-before: page; } table, pre { break-inside: avoid; } }'''


def cli_json(cli, *arguments):
    done = subprocess.run([cli, *arguments], capture_output=True, text=True, timeout=60)
    return json.loads(done.stdout) if done.returncode == 0 else None


def cell(value):
    if value is None:
        return ''
    if isinstance(value, (list, tuple)):
        return ', '.join(cell(v) for v in value)
    if isinstance(value, dict):
        return ', '.join(f'{k}: {cell(v)}' for k, v in value.items())
    if isinstance(value, float):  # declared numbers as written, not as their binary sums (223.15, not 223.14999999999998)
        value = f'{value:.12g}'
    return str(value).replace('|', '\\|').replace('\n', ' ')


def table(header, rows):
    lines = ['| ' + ' | '.join(header) + ' |', '|' + '---|' * len(header)]
    lines += ['| ' + ' | '.join(cell(v) for v in row) + ' |' for row in rows]
    return '\n'.join(lines) + '\n'


def inputs_chapter(described):
    rows = []
    for i in described['inputs']:
        span = '' if not i.get('number') else f"{cell(i.get('min'))} … {cell(i.get('max'))}"
        defaults = sorted(set(map(cell, i['default'].values()))) if isinstance(i.get('default'), dict) else [cell(i.get('default'))]
        rows.append((f"`{i['key']}`", i['label'], i['unit'], ', '.join(defaults), span or cell(i.get('choices')),
                     cell(i['configs']), i['help']))
    return table(('Key', 'Input', 'Unit', 'Default', 'Range or choices', 'Configurations', 'Meaning'), rows)


def parameters_chapter(constants):
    return table(('Name', 'Default', 'Unit', 'Meaning', 'Kind', 'Fixed in'),
                 [(f"`{c['name']}`", c['default'], c['unit'], c['meaning'], c['kind'], c['fixed_in']) for c in constants])


def code(value):
    """Names as code: each of a list's, or the one given (nothing when empty)."""
    if isinstance(value, (list, tuple)):
        return ', '.join(code(v) for v in value)
    return f'`{value}`' if value not in (None, '') else ''


def declared_outputs(declared):
    """The quantities of `--list-outputs --json`: a table of every field the declaration gives,
    names (key, CSV column, summary keys, aliases) as code."""
    entries = declared.get('outputs', declared) if isinstance(declared, dict) else declared
    first = ('key', 'meaning', 'unit', 'scope', 'column', 'column_unit', 'summary')
    header = list(dict.fromkeys([*(k for k in first if any(k in e for e in entries)), *(k for e in entries for k in e)]))
    names = ('key', 'column', 'summary', 'aliases')
    return '### Output quantities\n\nA reactor quantity\'s summary keys take `r1_` or `r2_` in front.\n\n' + table(header, [[code(e.get(k)) if k in names else e.get(k) for k in header]
                                                    for e in entries])


def component_meaning(name):
    kinds = (('_ion', 'ion'), ('_g', 'gas phase'))
    for suffix, kind in kinds:
        if name.endswith(suffix):
            return kind
    return {'S': 'soluble component', 'X': 'particulate component'}.get(name[:1], '')


def run_outputs(cli, configs, declared):
    """The chapter from what one-day runs of every configuration write: the workbook's sheets, and
    unless the program declares its outputs (`declared`), the CSV columns and summary keys."""
    columns, summary, sheets = {}, {}, {}
    with tempfile.TemporaryDirectory() as folder:
        for config in configs:
            out = pathlib.Path(folder, config)
            subprocess.run([cli, '--config', config, '--t-end', '1', '--quiet', '--out', f'{out}.xlsx',
                            '--csv', f'{out}.csv', '--summary', f'{out}.json'], check=True, capture_output=True, timeout=120)
            titles, units = pathlib.Path(f'{out}.csv').read_text(encoding='utf-8').splitlines()[:2]
            for title, unit in zip(titles.split(','), units.split(',')):
                name = re.sub(r'^R\d ', '', title)
                columns.setdefault(name, [unit.strip('[]'), []])[1].append(config)
            for value in json.loads(pathlib.Path(f'{out}.json').read_text(encoding='utf-8'))['values']:
                summary.setdefault(value['key'], [value['label'], value['unit'], []])[2].append(config)
            with zipfile.ZipFile(f'{out}.xlsx') as book:
                for name in re.findall(r'<sheet name="([^"]+)"', book.read('xl/workbook.xml').decode()):
                    sheets.setdefault(html.unescape(name), []).append(config)
    if declared:
        text = declared_outputs(declared)
    else:
        text = '### CSV columns\n\n' + table(('Column', 'Unit', 'Meaning', 'Configurations'),
                                             [(f'`{k}`', u, component_meaning(k), c) for k, (u, c) in columns.items()])
        text += '\n### Summary keys\n\n' + table(('Key', 'Meaning', 'Unit', 'Configurations'),
                                                 [(f'`{k}`', l, u, c) for k, (l, u, c) in summary.items()])
    text += '\n### Workbook sheets\n\n' + table(('Sheet', 'Configurations'), [(f'"{k}"', c) for k, c in sheets.items()])
    return text


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--cli', required=True)
    parser.add_argument('--version', required=True)
    parser.add_argument('source', type=pathlib.Path)
    parser.add_argument('target', type=pathlib.Path)
    args = parser.parse_args()
    described = cli_json(args.cli, '--describe')
    declared = cli_json(args.cli, '--list-outputs', '--json')
    generated = {
        'inputs': inputs_chapter(described),
        'parameters': parameters_chapter(cli_json(args.cli, '--list-parameters', '--json')),
        'outputs': run_outputs(args.cli, described['inputs'][0]['choices'], declared),
    }
    text = args.source.read_text(encoding='utf-8')
    text = re.sub(r'<!-- generated: (\w+) -->', lambda m: generated[m.group(1)], text)
    body = markdown.markdown(text, extensions=['tables', 'toc', 'fenced_code'], output_format='html5')
    page = (f'<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8"><title>Digestra {args.version} user guide</title>'
            f'<style>{STYLE}</style></head><body>\n{body}\n<p><small>Digestra {html.escape(args.version)}</small></p>'
            '</body></html>\n')
    temporary = args.target.with_name(f'.{args.target.name}.tmp')
    temporary.write_text(page, encoding='utf-8')
    temporary.replace(args.target)


if __name__ == '__main__':
    main()
