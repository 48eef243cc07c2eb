#include "cli/setpointcaps.h"

#include "guard/protectionsettings.h"
#include "link/quantities.h"
#include "session/valuelimits.h"
#include "settings/settingsstore.h"

#include <QSettings>

#include <cmath>
#include <optional>

namespace {

// A cap is held as the operator typed it, possibly finer than a setpoint resolves.
QString CapText(double cap, int decimals)
{
    const QString fixed = QString::number(cap, 'f', decimals);
    return fixed.toDouble() == cap ? fixed : QString::number(cap, 'g', 10);
}

// Judged in the counts that are sent, the cap rounded to them as the panel's SCPI server rounds
// it, so that a setpoint refused here is refused there and the other way round.
QString Beyond(const char *what, Quantity quantity, qint32 counts, const std::optional<double> &cap,
               const DecimalRange &range, const char *unit)
{
    if (!cap || counts <= std::llround(*cap * ScaleOf(quantity).countsPerUnit))
        return QString();
    return QStringLiteral("%1 %2 %3 выше ограничения уставки %4 %3 (защита панели); ничего не "
                          "отправлено")
        .arg(QString::fromUtf8(what),
             QString::number(ToUnits(quantity, counts), 'f', range.decimals),
             QString::fromUtf8(unit), CapText(*cap, range.decimals));
}

} // namespace

QString SetpointCapProblem(const Setpoints &setpoints, const ProtectionSettings &protection)
{
    const QString voltage = Beyond("напряжение", Quantity::SetpointVoltage, setpoints.voltage,
                                   protection.voltageCap, ValueLimits::SetpointVolts, "В");
    if (!voltage.isEmpty())
        return voltage;
    return Beyond("ток", Quantity::SetpointCurrent, setpoints.current, protection.currentCap,
                  ValueLimits::SetpointAmps, "А");
}

QString StoredSetpointCapProblem(const Setpoints &setpoints)
{
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    return SetpointCapProblem(setpoints, LoadProtectionSettings(*store));
}
