#pragma once

#include "guard/protectionsettings.h"

class QDoubleSpinBox;

// The setpoint boxes go no higher than the caps, where set, and otherwise up to the converter's
// limits. A box above its new highest value comes down to it.
void CapSetpointBoxes(QDoubleSpinBox &volts, QDoubleSpinBox &amps,
                      const ProtectionSettings &settings);
