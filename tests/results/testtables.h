#pragma once

// Synthetic result tables shared by the results tests and mirrored by check_workbook.py:
// time = row / 10; every other cell = reactor * 100000 + column * 100 + row, so each number
// tells where it came from. Rows from `computedRows` on are all zero, as an integrator
// failure leaves them.

#include "workers.h"

inline double syntheticValue(int reactor, int row, int column)
{
    return column == 0 ? row / 10.0 : reactor * 100000.0 + column * 100.0 + row;
}

inline ResultRows syntheticTable(int reactor, int rows, int computedRows = -1)
{
    if (computedRows < 0)
        computedRows = rows;
    ResultRows table(rows, std::vector<double>(50, 0.0));
    for (int i = 0; i < computedRows; ++i)
        for (int c = 0; c < 50; ++c)
            table[i][c] = syntheticValue(reactor, i, c);
    return table;
}
