#include "guard/protectionsettings.h"

#include "session/valuelimits.h"
#include "settings/settingskeys.h"

#include <QSettings>

#include <cmath>

namespace {

struct TripKeys
{
    QLatin1String enabled;
    QLatin1String level;
    QLatin1String delay;
};

const TripKeys &KeysOf(TripKind kind)
{
    static const TripKeys voltage{SettingsKeys::ovpEnabled, SettingsKeys::ovpLevel,
                                  SettingsKeys::ovpDelay};
    static const TripKeys current{SettingsKeys::ocpEnabled, SettingsKeys::ocpLevel,
                                  SettingsKeys::ocpDelay};
    static const TripKeys power{SettingsKeys::oppEnabled, SettingsKeys::oppLevel,
                                SettingsKeys::oppDelay};
    return kind == TripKind::Voltage ? voltage : kind == TripKind::Current ? current : power;
}

std::optional<double> Number(const QSettings &store, QLatin1String key)
{
    if (!store.contains(key))
        return std::nullopt;
    bool ok = false;
    const double value = store.value(key).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> Cap(const QSettings &store, QLatin1String key, const DecimalRange &range)
{
    const std::optional<double> value = Number(store, key);
    if (!value || *value < range.minimum || *value > range.maximum)
        return std::nullopt;
    return value;
}

} // namespace

DecimalRange ProtectionLevelRange(TripKind kind)
{
    switch (kind) {
    case TripKind::Voltage:
        return {0.01, 2 * ValueLimits::SetpointVolts.maximum, 2};
    case TripKind::Current:
        return {0.001, 2 * ValueLimits::SetpointAmps.maximum, 3};
    case TripKind::Power:
        break;
    }
    return {0.01, 4 * ValueLimits::SetpointVolts.maximum * ValueLimits::SetpointAmps.maximum, 2};
}

DecimalRange ProtectionDelayRange()
{
    return {0, ProtectionSettings::MaxDelaySeconds, 3};
}

const TripLimit &ProtectionSettings::Limit(TripKind kind) const
{
    return kind == TripKind::Voltage ? voltage : kind == TripKind::Current ? current : power;
}

TripLimit &ProtectionSettings::Limit(TripKind kind)
{
    return kind == TripKind::Voltage ? voltage : kind == TripKind::Current ? current : power;
}

ProtectionSettings LoadProtectionSettings(const QSettings &store)
{
    ProtectionSettings settings;
    for (TripKind kind : {TripKind::Voltage, TripKind::Current, TripKind::Power}) {
        const TripKeys &keys = KeysOf(kind);
        TripLimit &limit = settings.Limit(kind);
        const std::optional<double> level = Number(store, keys.level);
        const std::optional<double> delay = Number(store, keys.delay);
        if (level && *level > 0 && *level <= ProtectionLevelRange(kind).maximum) {
            limit.level = *level;
            limit.enabled = store.value(keys.enabled).toBool();
        }
        if (delay && *delay >= 0 && *delay <= ProtectionSettings::MaxDelaySeconds)
            limit.delaySeconds = *delay;
    }
    settings.voltageCap = Cap(store, SettingsKeys::voltageCap, ValueLimits::SetpointVolts);
    settings.currentCap = Cap(store, SettingsKeys::currentCap, ValueLimits::SetpointAmps);
    return settings;
}

void StoreProtectionSettings(QSettings &store, const ProtectionSettings &settings)
{
    for (TripKind kind : {TripKind::Voltage, TripKind::Current, TripKind::Power}) {
        const TripKeys &keys = KeysOf(kind);
        const TripLimit &limit = settings.Limit(kind);
        store.setValue(keys.enabled, limit.enabled);
        store.setValue(keys.level, limit.level);
        store.setValue(keys.delay, limit.delaySeconds);
    }
    const auto storeCap = [&store](QLatin1String key, const std::optional<double> &cap) {
        if (cap)
            store.setValue(key, *cap);
        else
            store.remove(key);
    };
    storeCap(SettingsKeys::voltageCap, settings.voltageCap);
    storeCap(SettingsKeys::currentCap, settings.currentCap);
}
