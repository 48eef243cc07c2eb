#pragma once

#include "session/valuelimits.h"

#include <QString>

#include <optional>

// Numbers typed on the command line. Each parser returns the value, or nothing with `problem`
// saying why (in the words the user sees).

// A decimal with a point, within range and no finer than the range's decimals (trailing zeros
// are fine): what the panel's spin box would hold. Nothing is rounded or clamped.
// `unit` ends the range in the message.
std::optional<double> ParseDecimal(const QString &text, const DecimalRange &range,
                                   const QString &unit, QString &problem);

// A whole number from minimum to maximum.
std::optional<int> ParseWholeNumber(const QString &text, int minimum, int maximum,
                                    QString &problem);
