#pragma once

#include <QtGlobal>

// A setpoint in volts or amperes, as a spin box holds it, in the mV or mA the converter takes.
// The added 0.0002 keeps a value such as 0.005 from truncating to 4.
qint32 SetpointMilli(double value);
