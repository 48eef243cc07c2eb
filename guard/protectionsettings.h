#pragma once

#include "session/valuelimits.h"

#include <optional>

class QSettings;

// One trip: the measured quantity above `level` for at least `delaySeconds`.
struct TripLimit
{
    bool enabled = false;
    double level = 0; // V, A or W
    // Two status reads: the first beyond the level and the next one.
    double delaySeconds = 0.5;

    bool operator==(const TripLimit &other) const
    {
        return enabled == other.enabled && level == other.level &&
               delaySeconds == other.delaySeconds;
    }
};

enum class TripKind
{
    Voltage,
    Current,
    Power,
};

// The operator's guards on the output, as the settings store keeps them: the three trips and
// the optional caps on the setpoints that every front end refuses values above.
struct ProtectionSettings
{
    static constexpr double MaxDelaySeconds = 3600;

    TripLimit voltage;
    TripLimit current;
    TripLimit power;
    std::optional<double> voltageCap; // V
    std::optional<double> currentCap; // A

    const TripLimit &Limit(TripKind kind) const;
    TripLimit &Limit(TripKind kind);

    bool operator==(const ProtectionSettings &other) const
    {
        return voltage == other.voltage && current == other.current && power == other.power &&
               voltageCap == other.voltageCap && currentCap == other.currentCap;
    }
};

// What a trip's level may be, in its unit, and its resolution: above zero and at most twice the
// setpoint maximum for volts and amperes, four times the largest power the setpoints allow. The
// store, the dialog and SCPI keep to the same range, so a level set anywhere reads back alike.
DecimalRange ProtectionLevelRange(TripKind kind);
// 0 to ProtectionSettings::MaxDelaySeconds, in steps of 1 ms.
DecimalRange ProtectionDelayRange();

// A value the store holds that is not a number, negative, or beyond what the converter can
// reach reads as its default: the trip off, no cap.
ProtectionSettings LoadProtectionSettings(const QSettings &store);
void StoreProtectionSettings(QSettings &store, const ProtectionSettings &settings);
