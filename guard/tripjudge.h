#pragma once

#include "guard/protectionsettings.h"

#include <QMetaType>
#include <QtGlobal>

#include <optional>

// What tripped, on which reading.
struct Trip
{
    TripKind kind = TripKind::Voltage;
    double value = 0; // the reading that tripped, V, A or W
    double level = 0; // the limit it was beyond
    double volts = 0; // the whole reading
    double amps = 0;
};
Q_DECLARE_METATYPE(Trip)

// Decides from fresh status reads whether a trip is due: a quantity beyond its level on
// consecutive fresh reads for at least its delay. Reads come 500 ms apart, each a few ms early
// or late, so one that comes up to EarlyReadMs (at most half the delay) before the delay has run
// counts as at it: a hold of two reads must not wait for a third because of a millisecond. A failed
// read ends the run, so a stale reading never trips and a run starts again after the link returns.
// Once it has tripped it says nothing more until Clear(). Times are ms on a monotonic clock, passed
// in.
class TripJudge
{
public:
    static constexpr qint64 EarlyReadMs = 50;

    std::optional<Trip> Reading(qint64 atMs, double volts, double amps, bool outputOn,
                                const ProtectionSettings &settings);
    void Missed();
    void Clear();
    bool Tripped() const { return tripped; }

private:
    std::optional<qint64> beyondSince[3];
    bool tripped = false;
};
