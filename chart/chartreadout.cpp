#include "chart/chartreadout.h"

#include "chart/timeaxis.h"

QString ChartReadout(const SampleTrack &track, qint64 timeMs)
{
    if (track.IsEmpty())
        return QString();
    int nearest = qMin(track.LowerBound(timeMs), track.Size() - 1);
    if (nearest > 0 && timeMs - track.At(nearest - 1).timeMs <= track.At(nearest).timeMs - timeMs)
        --nearest;
    const SampleTrack::Entry entry = track.At(nearest);
    // The step picks the time text with seconds.
    const QString time = TimeAxisText(entry.timeMs, 1000);
    if (entry.IsGap())
        return time + QStringLiteral("  нет данных");
    return time + QStringLiteral("  ") + QString::number(double(entry.voltage) / 1000, 'f', 3) +
           QStringLiteral(" В  ") + QString::number(double(entry.current) / 10000, 'f', 4) +
           QStringLiteral(" А");
}
