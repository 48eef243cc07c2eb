#pragma once

#include "guard/energytotals.h"

#include <QtGlobal>

#include <optional>

// Counts charge, energy and output-on time from the converter's status reads: each pair of
// consecutive fresh reads adds its interval by the trapezoid rule. A reading taken with the
// output off counts as zero volts and amperes, so a switch between two reads adds half an
// interval. A span without fresh reads (a failed read, a lost port, a long pause between
// reads) adds nothing; while the output was on at either end it is gap time. Times are ms on a
// monotonic clock, passed in.
class EnergyCounter
{
public:
    // Reads further apart than this are a gap, whatever came between them.
    static constexpr qint64 MaxIntervalMs = 5000;

    void Reading(qint64 atMs, double volts, double amps, bool outputOn);
    // A status read failed, or the link went: the next reading starts a new span.
    void Missed();

    const EnergyTotals &Totals() const { return totals; }
    void Restore(const EnergyTotals &saved) { totals = saved; }
    void Reset(const QDateTime &at);

private:
    struct Sample
    {
        qint64 atMs = 0;
        double volts = 0;
        double amps = 0;
        bool on = false;
    };

    EnergyTotals totals;
    std::optional<Sample> last;
    bool broken = false; // a read failed since `last`
};
