#include "cli/setpointcaps.h"

#include "guard/protectionsettings.h"
#include "link/quantities.h"
#include "session/valuelimits.h"
#include "settings/settingsstore.h"

#include <QSettings>

#include <optional>

namespace {

// A cap is held as the operator typed it, possibly finer than a setpoint resolves.
QString CapText(double cap, int decimals)
{
    const QString fixed = QString::number(cap, 'f', decimals);
    return fixed.toDouble() == cap ? fixed : QString::number(cap, 'g', 10);
}

QString Beyond(const char *what, double value, const std::optional<double> &cap,
               const DecimalRange &range, const char *unit)
{
    // Counts are whole mV and mA, so anything above the cap is above it by far more than this.
    constexpr double Slack = 1e-9;
    if (!cap || value <= *cap + Slack)
        return QString();
    return QStringLiteral("%1 %2 %3 выше ограничения уставки %4 %3 (защита панели); ничего не "
                          "отправлено")
        .arg(QString::fromUtf8(what), QString::number(value, 'f', range.decimals),
             QString::fromUtf8(unit), CapText(*cap, range.decimals));
}

} // namespace

QString SetpointCapProblem(const Setpoints &setpoints, const ProtectionSettings &protection)
{
    const QString voltage =
        Beyond("напряжение", ToUnits(Quantity::SetpointVoltage, setpoints.voltage),
               protection.voltageCap, ValueLimits::SetpointVolts, "В");
    if (!voltage.isEmpty())
        return voltage;
    return Beyond("ток", ToUnits(Quantity::SetpointCurrent, setpoints.current),
                  protection.currentCap, ValueLimits::SetpointAmps, "А");
}

QString StoredSetpointCapProblem(const Setpoints &setpoints)
{
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    return SetpointCapProblem(setpoints, LoadProtectionSettings(*store));
}
