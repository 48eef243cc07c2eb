#include "guard/energycounter.h"

void EnergyCounter::Reading(qint64 atMs, double volts, double amps, bool outputOn)
{
    const Sample now{atMs, outputOn ? volts : 0.0, outputOn ? amps : 0.0, outputOn};
    if (last && (last->on || now.on)) {
        const qint64 spanMs = atMs - last->atMs;
        const double seconds = spanMs / 1000.0;
        if (broken || spanMs > MaxIntervalMs) {
            totals.gapSeconds += seconds;
        } else if (spanMs > 0) {
            totals.ampereSeconds += (last->amps + now.amps) / 2 * seconds;
            totals.joules += (last->volts * last->amps + now.volts * now.amps) / 2 * seconds;
            totals.onSeconds += (last->on && now.on) ? seconds : seconds / 2;
        }
    }
    last = now;
    broken = false;
}

void EnergyCounter::Missed()
{
    broken = true;
}

void EnergyCounter::Reset(const QDateTime &at)
{
    totals = EnergyTotals();
    totals.resetAt = at.toUTC();
}
