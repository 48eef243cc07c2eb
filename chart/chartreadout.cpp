#include "chart/chartreadout.h"

#include "chart/timeaxis.h"
#include "link/quantities.h"

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
    // The track's values are a log sample's whole counts.
    return time + QStringLiteral("  ") + UnitsText(Quantity::LogVoltage, qint64(entry.voltage)) +
           QStringLiteral(" В  ") + UnitsText(Quantity::LogCurrent, qint64(entry.current)) +
           QStringLiteral(" А");
}
