#include "progressestimate.h"

#include <cmath>

ProgressEstimate estimateProgress(int percent, double tEnd, qint64 elapsedMs, double firstDay)
{
    ProgressEstimate e;
    e.percent = percent;
    e.day = int(std::ceil(firstDay + percent * (tEnd - firstDay) / 100));
    if (percent > 0) {
        const double remaining = double(elapsedMs) / percent * (100 - percent);  // ms
        e.hours = int(remaining / 3600000);
        e.minutes = int((remaining - e.hours * 3600000.0) / 60000);
        e.seconds = int((remaining - e.minutes * 60000.0 - e.hours * 3600000.0) / 1000);
        e.remainingKnown = e.hours + e.minutes + e.seconds > 1;
    }
    return e;
}
