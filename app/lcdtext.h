#pragma once

#include <QString>

// Text for a five-position seven-segment display: four digits with a point after digit
// `pointAfter` (0-based), leading zeros kept, e.g. 1234 -> "12.34" (pointAfter 1) or "1.234"
// (pointAfter 0). A negative value keeps the point where it is and gives up its leftmost
// position to the minus sign; a value too large to show becomes dashes.
QString LcdText(qint32 value, int pointAfter, int digitCount);
