#pragma once

#include "link/devicerecords.h"

#include <QString>

// Text for a five-position seven-segment display: four digits with a point after digit
// `pointAfter` (0-based), leading zeros kept, e.g. 1234 -> "12.34" (pointAfter 1) or "1.234"
// (pointAfter 0). A negative value keeps the point where it is and gives up its leftmost
// position to the minus sign; a value too large to show becomes dashes.
QString LcdText(qint32 value, int pointAfter, int digitCount);

// Text of the voltage display: volts with the two decimals of a count.
QString VoltageLcdText(const OutputStatus &status);

// Text of the current display in amperes with three decimals. On the fine range the device
// counts 0.1 mA steps; they are rounded to the nearest mA, halves away from zero, so 1234
// (0.1234 A) shows "0.123" and 1235 shows "0.124".
QString CurrentLcdText(const OutputStatus &status);
