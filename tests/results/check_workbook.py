"""Reads a results workbook back with openpyxl and checks it against the synthetic run it was
written from (see testtables.h). Usage: check_workbook.py <case> <workbook>. Exits non-zero and
lists every difference when the workbook is not as expected."""

import math
import sys

import openpyxl
from openpyxl.utils import get_column_letter

WIDE = 19.28515625      # a width of 18.5 as Excel stores it
NARROW = 13.42578125    # 12.7
GRID = 11.7109375       # 11

HEADERS = ["t", "gasflow", "gasflow_N", "Ch4 %", "CO2 %", "H2 %", "H2O %", "pH", "Total COD", "COD_S",
           "COD_X", "S_ch4_g", "S_co2_g", "S_h2_g", "S_aa", "S_ac", "S_an", "S_bu", "S_cat", "S_ch4",
           "S_co2", "S_fa", "S_h2", "S_I", "S_IC", "S_IN", "S_nh3", "S_pro", "S_su", "S_va", "X_aa",
           "X_ac", "X_c", "X_c4", "X_ch", "X_fa", "X_h2", "X_I", "X_li", "X_pr", "X_pro", "X_su",
           "S_ac_ion", "S_bu_ion", "S_hco3_ion", "S_h_ion", "S_nh4_ion", "S_oh_ion", "S_pro_ion",
           "S_va_ion"]
K, M = "[kgCOD/m3]", "[M]"
UNITS = ["[d]", "[m3/d]", "[Nm3/d]", "[-]", "[-]", "[-]", "[-]", "[-]", K, K, K,
         K, M, K, K, K, M, K, M, K, M, K, K, K, M, M, M, K, K, K] + [K] * 14 + [M] * 4 + [K] * 2

# name, first table column, column count, row-2 titles by offset in the block
SHEETS = [("Basic", 0, 11, {0: "Basic parametres"}),
          ("Gas and Soluble", 11, 19, {0: "Gas phase matter", 3: "Soluble matter"}),
          ("Insoluble", 30, 12, {0: "Insoluble matter"}),
          ("Ions", 42, 8, {0: "Ions"})]

# case: reactors, table rows, computed rows, expected grid texts (None = empty), special cells
BASE = {"A1": "Input data", "A2": "Basic parameters", "E2": "Reactor configuration",
        "A3": "Q_in", "B3": "[m3/d]", "C3": "0.5", "E3": "T1", "F3": "[K]", "G3": "308.15",
        "A4": "X_c", "B4": "[kgCOD/m3]", "C4": "2", "E4": "T2", "F4": "[K]",
        "A5": "t", "B5": "[d]", "C5": "0.5", "E5": "P_atm1", "F5": "[bar]", "G5": "1.013",
        "A6": "Fractioning factors", "E6": "P_atm2", "F6": "[bar]",
        "A7": "f_pr_xc", "B7": "[-]", "C7": "0.2", "E7": "V_t1", "F7": "[m3]", "G7": "12345.7",
        "A8": "f_li_xc", "B8": "[-]", "C8": "0.3", "E8": "V_t2", "F8": "[m3]",
        "A9": "f_ch_xc", "B9": "[-]", "C9": "0.4",
        "A10": "Configuration", "A11": "pH", "B11": "Free", "A12": "Mode",
        "A13": "t_sr", "B13": "[d]", "A14": "mix_i", "B14": "[min]"}
CASES = {
    "ssad": (1, 6, 6, {"B12": "SSAD"}, {}),
    "failed": (1, 9, 5, {"B12": "SSAD"}, {}),
    "tsad": (2, 6, 6, {"B12": "TSAD", "B11": "Manual", "C11": "7", "G6": "0.9", "G8": "7"}, {}),
    "tpad": (2, 6, 6, {"B12": "TPAD", "G4": "318.15", "G6": "0.9", "G8": "7", "C13": "12.5"}, {}),
    "pomp": (1, 6, 6, {"B12": "POMP", "C14": "15"}, {("Basic", 2, 7): "nan", ("Basic", 3, 8): "inf"}),
}
VALUE_CELLS = {"C3", "G3", "C4", "G4", "C5", "G5", "G6", "C7", "G7", "C8", "G8", "C9", "C11", "C13", "C14"}


def synthetic(reactor, row, column):
    return row / 10.0 if column == 0 else reactor * 100000.0 + column * 100.0 + row


def check(case, path):
    reactors, table_rows, computed, grid_extra, special = CASES[case]
    problems = []

    def expect(what, got, want):
        if got != want:
            problems.append(f"{what}: {got!r}, expected {want!r}")

    wb = openpyxl.load_workbook(path)
    expect("sheets", wb.sheetnames, [s[0] for s in SHEETS] + ["CONFIGURATION", "SUMMARY", "PARAMETERS", "OPERATION"])
    expect("active sheet", wb.active.title, "Basic")

    for name, first, count, subtitles in SHEETS:
        ws = wb[name]
        # Extent first: reading a cell through openpyxl creates it.
        expect(f"{name} last column", ws.max_column, count * reactors + (1 if reactors == 2 else 0))
        expect(f"{name} last row", ws.max_row, 4 + computed - (0 if name == "Basic" else 1))
        blocks = [(1, 1, 0 if name == "Basic" else 1)]
        if reactors == 2:
            blocks.append((2, count + 2, 1))
        for reactor, left, first_row in blocks:
            def cell(r, c):
                return ws.cell(row=r, column=c)
            expect(f"{name} title R{reactor}", cell(1, left).value, f"REACTOR {reactor} OUTPUT")
            for offset, text in subtitles.items():
                expect(f"{name} subtitle R{reactor}", cell(2, left + offset).value, text)
            for r in (1, 2):
                if not cell(r, left).font.b:
                    problems.append(f"{name} row {r} title of R{reactor} not bold")
            for c in range(count):
                expect(f"{name} header {c}", cell(3, left + c).value, HEADERS[first + c])
                expect(f"{name} unit {c}", cell(4, left + c).value, UNITS[first + c])
                if not (cell(3, left + c).font.b and cell(4, left + c).font.b):
                    problems.append(f"{name} header/unit {HEADERS[first + c]} not bold")
            for i in range(first_row, computed):
                sheet_row = 5 + i - first_row
                for c in range(count):
                    got = cell(sheet_row, left + c).value
                    want = special.get((name, i, first + c), synthetic(reactor, i, first + c))
                    ok = got == want if isinstance(want, str) else (
                        isinstance(got, (int, float)) and math.isclose(got, want, rel_tol=1e-14))
                    if not ok:
                        problems.append(f"{name} R{reactor} table row {i} column {first + c}: {got!r}, expected {want!r}")
                    if cell(sheet_row, left + c).font.b:
                        problems.append(f"{name} data cell bold")
            expect(f"{name} width R{reactor} first", ws.column_dimensions[get_column_letter(left)].width, WIDE)
            for c in range(1, count):
                expect(f"{name} width R{reactor} {c}", ws.column_dimensions[get_column_letter(left + c)].width, NARROW)

    ws = wb["CONFIGURATION"]
    expect("CONFIGURATION size", (ws.max_row, ws.max_column), (14, 7))
    grid = dict(BASE, **grid_extra)
    for r in range(1, 15):
        for c in range(1, 8):
            ref = f"{get_column_letter(c)}{r}"
            cell = ws[ref]
            want = grid.get(ref)
            if ref in VALUE_CELLS and want is not None:  # a number, stored as one
                want = cell.value if isinstance(cell.value, (int, float)) and math.isclose(
                    cell.value, float(want), rel_tol=1e-5) else float(want)  # the text has six digits
            expect(f"CONFIGURATION {ref}", cell.value, want)
            expect(f"CONFIGURATION {ref} bold", bool(cell.font.b), ref not in VALUE_CELLS)
    for letter, width in zip("ABCDEFG", [WIDE, GRID, GRID, GRID, WIDE, GRID, GRID]):
        expect(f"CONFIGURATION width {letter}", ws.column_dimensions[letter].width, width)
    check_summary(wb["SUMMARY"], reactors, computed, expect)
    return problems


def check_summary(ws, reactors, rows, expect):
    """The summary sheet against the synthetic tables, computed here on their own."""
    table = {}
    for r in range(1, ws.max_row + 1):
        label = ws.cell(r, 1).value
        if label:
            table[label] = [ws.cell(r, c).value for c in range(2, 3 + reactors)]
    expect("SUMMARY heading", table.get("Quantity"), ["Unit"] + [f"Reactor {n}" for n in range(1, reactors + 1)])
    last = rows - 1
    for reactor in range(1, reactors + 1):
        t = [synthetic(reactor, i, 0) for i in range(rows)]
        normal = [synthetic(reactor, i, 2) for i in range(rows)]
        biogas = sum((t[i] - t[i - 1]) * (normal[i] + normal[i - 1]) / 2 for i in range(1, rows))
        vfa = sum(synthetic(reactor, last, HEADERS.index(h)) for h in ("S_va", "S_bu", "S_pro", "S_ac"))
        for label, unit, want in [("Final gas flow", "m3/d", synthetic(reactor, last, 1)),
                                  ("Peak gas flow", "m3/d", synthetic(reactor, last, 1)),
                                  ("Final pH", "-", synthetic(reactor, last, 7)),
                                  ("Final total VFA", "kgCOD/m3", vfa),
                                  ("Normal biogas produced", "Nm3", biogas)]:
            got = table.get(label, [None] * (1 + reactors))
            expect(f"SUMMARY {label} unit", got[0], unit)
            if not isinstance(got[reactor], (int, float)) or not math.isclose(got[reactor], want, rel_tol=1e-12):
                expect(f"SUMMARY {label} reactor {reactor}", got[reactor], want)


if __name__ == "__main__":
    found = check(sys.argv[1], sys.argv[2])
    for p in found[:40]:
        print(p, file=sys.stderr)
    sys.exit(1 if found else 0)
