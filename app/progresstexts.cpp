#include "progresstexts.h"

#include <progressestimate.h>

namespace {

QString twoDigits(int value) { return QStringLiteral("%1").arg(value, 2, 10, QChar('0')); }

}  // namespace

ProgressTexts progressTexts(int i_time, double tEnd, qint64 elapsedMs)
{
    const ProgressEstimate e = estimateProgress(i_time, tEnd, elapsedMs);
    ProgressTexts texts;
    texts.day = QStringLiteral("Simulating day: ") + QString::number(e.day) + QStringLiteral(" of total ") +
                QString::number(tEnd, 'g', 6);
    if (e.remainingKnown)
        texts.remaining = QStringLiteral("About ") + twoDigits(e.hours) + QLatin1Char(':') + twoDigits(e.minutes) +
                          QLatin1Char(':') + twoDigits(e.seconds) + QStringLiteral(" remaining...");
    return texts;
}
