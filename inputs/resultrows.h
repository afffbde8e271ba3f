#pragma once

// A reactor's result table as the program keeps it: one row per 0.1 d, each of exactly 50 doubles.

#include <cmath>
#include <vector>

using ResultRows = std::vector<std::vector<double>>;

// A row's time as the output interval of 0.1 d gives it, without the float noise of adding up
// the interval (5.999999999999995 is 6, 60.00000000000058 is 60).
inline double rowTime(double t) { return std::isfinite(t) ? std::round(t * 10) / 10 : t; }
