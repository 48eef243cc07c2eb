#include "app/setpointcaps.h"

#include "session/valuelimits.h"

#include <QDoubleSpinBox>

void CapSetpointBoxes(QDoubleSpinBox &volts, QDoubleSpinBox &amps,
                      const ProtectionSettings &settings)
{
    volts.setMaximum(settings.voltageCap.value_or(ValueLimits::SetpointVolts.maximum));
    amps.setMaximum(settings.currentCap.value_or(ValueLimits::SetpointAmps.maximum));
}
