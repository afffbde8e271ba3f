#pragma once

// The results workbook: the sampled output of one or two reactors on the sheets "Basic",
// "Gas and Soluble", "Insoluble" and "Ions", the run's inputs on "CONFIGURATION", then any
// extra sheets.

#include <QDateTime>
#include <QDir>
#include <QString>

#include "safefile.h"

#include <resultrows.h>

#include <atomic>
#include <functional>
#include <variant>
#include <vector>

// A cell of an extra sheet: a text or a number.
struct SheetCell {
    using Value = std::variant<QString, double>;
    Value value;
    bool bold = false;
};

// A sheet after "CONFIGURATION": rows of cells from A1 on, and widths of the columns from A on
// (0 keeps a column's default width).
struct ExtraSheet {
    QString name;
    std::vector<std::vector<SheetCell>> rows;
    std::vector<double> columnWidths;
    // A sheet of many rows gives them one at a time instead: rowCount rows, row r from rowAt(r).
    std::function<std::vector<SheetCell>(size_t)> rowAt = {};
    size_t rowCount = 0;
};

struct WorkbookContent {
    WorkbookContent(const ResultRows *reactor1, const ResultRows *reactor2, int rows, std::vector<double> runParams)
        : reactor1(reactor1), reactor2(reactor2), rows(rows), runParams(std::move(runParams)) {}
    const ResultRows *reactor1 = nullptr;
    const ResultRows *reactor2 = nullptr;  // two-reactor runs only, else null
    int rows = 0;                          // computed rows to write from each table
    std::vector<double> runParams;
    QString feedFile;                      // the feed schedule's file name; empty for the built-in feed
    std::vector<ExtraSheet> extraSheets;   // written after "CONFIGURATION", in this order
    // Set while the workbook is written: the write stops and leaves nothing.
    const std::atomic<int> *stop = nullptr;
};

// Writes the workbook to target. Returns the file's path, or why it failed (nothing is written then).
WrittenFile saveResultsWorkbook(const FileTarget &target, const WorkbookContent &content);

// "results_" + yyyyMMdd_hhmmss + ".xlsx" in dir; when that name is taken, "_2", "_3", ... is
// added before the extension, so an earlier run's workbook is never replaced.
FileTarget freshWorkbookTarget(const QDir &dir, const QDateTime &when);
