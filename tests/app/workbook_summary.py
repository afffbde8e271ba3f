"""Prints what the window's end-to-end tests check of a results workbook, as JSON: the sheet
names in order, each sheet's last row and column, and the texts of the input grid's cells
that differ between configurations. Usage: workbook_summary.py <workbook>"""

import json
import sys

import openpyxl

GRID_CELLS = ["B11", "C11", "B12", "G3", "G4", "G6", "G8", "C13", "C14"]

wb = openpyxl.load_workbook(sys.argv[1])
summary = {
    "sheets": wb.sheetnames,
    "active": wb.active.title,
    "lastRow": {ws.title: ws.max_row for ws in wb.worksheets},
    "lastColumn": {ws.title: ws.max_column for ws in wb.worksheets},
    "firstTime": wb["Basic"]["A5"].value,
}
grid = wb["CONFIGURATION"]
# Values are stored as numbers: read with the six digits their texts have.
summary["grid"] = {cell: "" if grid[cell].value is None else grid[cell].value if isinstance(grid[cell].value, str)
                   else f"{grid[cell].value:g}" for cell in GRID_CELLS}
if "Basic" in wb.sheetnames and wb["Basic"].max_column > 11:
    summary["reactor2Title"] = wb["Basic"]["M1"].value
json.dump(summary, sys.stdout)
