#pragma once

// A stand-in model for runs in tests: a table of `rows` samples of 0.1 d of which only the first
// `computed` were integrated, as an integrator failure leaves it. Normal gas flow 1 + row, 60 % CH4,
// pH 7.

#include <string>

inline std::string standInModel(int rows, int computed)
{
    return "import numpy as np\n"
           "def MyFunc(*args):\n"
           "    table = np.zeros((" + std::to_string(rows) + ", 50))\n"
           "    for i in range(" + std::to_string(computed) + "):\n"
           "        table[i, 0] = i / 10.0\n"
           "        table[i, 2] = 1.0 + i\n"
           "        table[i, 3] = 60.0\n"
           "        table[i, 7] = 7.0\n"
           "        table[i, 45] = 1e-7\n"
           "    return table\n";
}
