#include "guard/tripjudge.h"

namespace {

constexpr TripKind Kinds[] = {TripKind::Voltage, TripKind::Current, TripKind::Power};

} // namespace

std::optional<Trip> TripJudge::Reading(qint64 atMs, double volts, double amps, bool outputOn,
                                       const ProtectionSettings &settings)
{
    if (tripped)
        return std::nullopt;
    for (TripKind kind : Kinds) {
        std::optional<qint64> &since = beyondSince[static_cast<int>(kind)];
        const TripLimit &limit = settings.Limit(kind);
        const double value = kind == TripKind::Voltage   ? volts
                             : kind == TripKind::Current ? amps
                                                         : volts * amps;
        if (!outputOn || !limit.enabled || value <= limit.level) {
            since.reset();
            continue;
        }
        if (!since)
            since = atMs;
        const qint64 delayMs = qRound64(limit.delaySeconds * 1000);
        if (atMs - *since >= delayMs - qMin(EarlyReadMs, delayMs / 2)) {
            tripped = true;
            return Trip{kind, value, limit.level, volts, amps};
        }
    }
    return std::nullopt;
}

void TripJudge::Missed()
{
    for (std::optional<qint64> &since : beyondSince)
        since.reset();
}

void TripJudge::Clear()
{
    tripped = false;
    Missed();
}
