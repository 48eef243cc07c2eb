#pragma once

#include <QDateTime>

// What the output has delivered since the operator last reset the counters.
struct EnergyTotals
{
    double ampereSeconds = 0;
    double joules = 0;
    double onSeconds = 0;  // output-on time that was counted
    double gapSeconds = 0; // output-on time without fresh reads, not counted: the totals are a
                           // lower bound by what it held
    QDateTime resetAt;     // UTC; invalid before the first reset

    double AmpereHours() const { return ampereSeconds / 3600.0; }
    double WattHours() const { return joules / 3600.0; }

    bool operator==(const EnergyTotals &other) const
    {
        return ampereSeconds == other.ampereSeconds && joules == other.joules &&
               onSeconds == other.onSeconds && gapSeconds == other.gapSeconds &&
               resetAt == other.resetAt;
    }
};
