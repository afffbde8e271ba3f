#include "progressline.h"

#include <progressestimate.h>

ProgressLine::ProgressLine(std::FILE *stream, double tEnd, bool enabled, double firstDay)
    : stream(stream), tEnd(tEnd), enabled(enabled), firstDay(firstDay)
{
}

QString ProgressLine::text(int percent, qint64 elapsedMs, double tEnd, double firstDay)
{
    const ProgressEstimate e = estimateProgress(percent, tEnd, elapsedMs, firstDay);
    QString line = QStringLiteral("%1 %  day %2 of %3").arg(percent, 3).arg(e.day).arg(tEnd, 0, 'g', 6);
    if (e.remainingKnown) {
        const QChar zero(u'0');
        line += QStringLiteral("  about %1:%2:%3 remaining")
                    .arg(e.hours, 2, 10, zero)
                    .arg(e.minutes, 2, 10, zero)
                    .arg(e.seconds, 2, 10, zero);
    }
    return line;
}

void ProgressLine::show(int percent)
{
    if (!enabled)
        return;
    if (!clock.isValid())
        clock.start();
    const QString line = text(percent, clock.elapsed(), tEnd, firstDay);
    if (line == shown)
        return;
    shown = line;
    // Back to the start of the line, the new text, then erase what an older, longer text left.
    std::fprintf(stream, "\r%s\x1b[K", line.toLocal8Bit().constData());
    std::fflush(stream);
}

void ProgressLine::finish()
{
    if (!enabled || shown.isEmpty())
        return;
    std::fprintf(stream, "\r\x1b[K");
    std::fflush(stream);
    shown.clear();
}
