#pragma once

// A reactor's result table as the program keeps it: one row per 0.1 d, each of exactly 50 doubles.

#include <vector>

using ResultRows = std::vector<std::vector<double>>;
