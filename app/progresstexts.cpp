#include "progresstexts.h"

#include <cmath>

namespace {

QString twoDigits(int value) { return QStringLiteral("%1").arg(value, 2, 10, QChar('0')); }

}  // namespace

ProgressTexts progressTexts(int i_time, double tEnd, qint64 elapsedMs)
{
    const int day = int(std::ceil(i_time * tEnd / 100));
    ProgressTexts texts;
    texts.day = QStringLiteral("Simulating day: ") + QString::number(day) + QStringLiteral(" of total ") +
                QString::number(tEnd, 'g', 6);
    if (i_time > 0) {
        const double remaining = double(elapsedMs) / i_time * (100 - i_time);
        const int hours = int(remaining / 3600000);
        const int minutes = int((remaining - hours * 3600000.0) / 60000);
        const int seconds = int((remaining - minutes * 60000.0 - hours * 3600000.0) / 1000);
        if (hours + minutes + seconds > 1)
            texts.remaining = QStringLiteral("About ") + twoDigits(hours) + QLatin1Char(':') + twoDigits(minutes) +
                              QLatin1Char(':') + twoDigits(seconds) + QStringLiteral(" remaining...");
    }
    return texts;
}
