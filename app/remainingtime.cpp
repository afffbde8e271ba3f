#include "remainingtime.h"

#include <chrono>

qint64 RemainingTime::elapsedMs(qint64 nowNs)
{
    if (!started || restart) {
        startNs = nowNs;
        started = true;
        restart = false;
    }
    return (nowNs - startNs) / 1000000;
}

qint64 RemainingTime::now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
