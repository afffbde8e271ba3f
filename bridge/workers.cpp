// Placeholder run slots; the bridge replaces them.
#include "workers.h"
void calc_SSAD::transfer(double, double, double, double, double, double, int, double, double, double, double, int) {}
void calc_TSAD::transfer_ts(double, double, double, double, double, double, int, double, double, double, double, double, double, int) {}
void calc_TPAD::transfer_tp(double, double, double, double, double, double, int, double, double, double, double, double, double, double, int, double) {}
void calc_POMP::transfer(double, double, double, double, double, double, int, double, double, double, double, int, double) {}
