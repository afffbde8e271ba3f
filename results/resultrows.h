#pragma once

// One reactor's result table as the compiled side keeps it.

#include <vector>

using ResultRows = std::vector<std::vector<double>>;  // rows of exactly 50 doubles
