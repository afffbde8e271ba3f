#pragma once

// The two objects a model script receives to talk back to its worker while it integrates:
// the progress callback, called after every 0.1-day step, and the cancel query, asked before
// every step. They live on the run's stack and are lent to the script for one MyFunc call.

#include "workers.h"

#include <algorithm>

template <class Worker>
struct callback_handler {
    Worker *owner;

    explicit callback_handler(Worker *worker) : owner(worker) {}
    callback_handler(const callback_handler &) = delete;
    callback_handler &operator=(const callback_handler &) = delete;

    // Whole percent of the simulated timespan, truncated: 49.999999 of 50 days is 99. A time
    // a little past the end reads 100; a quotient that is no number reads 0.
    void callback(double t, double t_final)
    {
        const double percent = (t / t_final) * 100.0;
        emit owner->inprogress(percent >= 0.0 ? static_cast<int>(std::min(percent, 100.0)) : 0);
    }
};

template <class Worker>
struct getvalue_handler {
    Worker *owner;

    explicit getvalue_handler(Worker *worker) : owner(worker) {}
    getvalue_handler(const getvalue_handler &) = delete;
    getvalue_handler &operator=(const getvalue_handler &) = delete;

    // 1 once the user asked the run to stop, otherwise 0.
    int getvalue()
    {
        const int value = owner->w_closed.load();
        told_to_stop = told_to_stop || value != 0;
        return value;
    }

    // Whether the script was told to stop: such a run stays stopped even when the flag is
    // cleared for the next run before this one has left.
    bool told_to_stop = false;
};

using callback_handler_SSAD = callback_handler<calc_SSAD>;
using callback_handler_TSAD = callback_handler<calc_TSAD>;
using callback_handler_TPAD = callback_handler<calc_TPAD>;
using callback_handler_POMP = callback_handler<calc_POMP>;
using getvalue_handler_SSAD = getvalue_handler<calc_SSAD>;
using getvalue_handler_TSAD = getvalue_handler<calc_TSAD>;
using getvalue_handler_TPAD = getvalue_handler<calc_TPAD>;
using getvalue_handler_POMP = getvalue_handler<calc_POMP>;
