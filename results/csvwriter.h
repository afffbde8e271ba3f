#pragma once

// The result table as CSV: a header row and a unit row (the workbook's names), then one line
// per sample with '.' as decimal separator and numbers that read back to the same double.
// A two-reactor table has 100 columns; its headers are prefixed "R1 " and "R2 ". With the
// operator's values, their columns follow: each reactor's derived columns (prefixed the same way),
// then the plant's (see inputs/outputs.h).

#include <QIODevice>
#include <QString>

#include "operation.h"

#include <resultrows.h>

#include <vector>


// Writes the first `rows` rows of reactor1 (and reactor2 beside it when it is not null).
// The file appears only complete, and only a regular file of that name is replaced. Returns an
// empty string on success, otherwise why it failed.
QString writeResultCsv(const QString &path, const ResultRows &reactor1, const ResultRows *reactor2, int rows,
                       const OperationTables *operation = nullptr);
// The same into an open device, e.g. standard output. Returns whether all of it was written.
bool writeResultCsv(QIODevice &device, const ResultRows &reactor1, const ResultRows *reactor2, int rows,
                    const OperationTables *operation = nullptr);
