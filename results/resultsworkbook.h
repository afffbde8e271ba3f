#pragma once

// The results workbook: the sampled output of one or two reactors on the sheets "Basic",
// "Gas and Soluble", "Insoluble" and "Ions", and the run's inputs on "CONFIGURATION".

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QString>

#include <resultrows.h>

#include <vector>


struct WorkbookContent {
    const ResultRows *reactor1 = nullptr;
    const ResultRows *reactor2 = nullptr;  // two-reactor runs only, else null
    int rows = 0;                          // computed rows to write from each table
    std::vector<double> runParams;
};

// Writes the workbook to path. Returns an empty string on success, otherwise why it failed.
QString saveResultsWorkbook(const QString &path, const WorkbookContent &content,
                            const QLocale &locale = QLocale::system());

// "results_" + yyyyMMdd_hhmmss + ".xlsx" in dir; when that name is taken, "_2", "_3", ... is
// added before the extension, so an earlier run's workbook is never replaced.
QString freshWorkbookPath(const QDir &dir, const QDateTime &when);
