#pragma once

// What the panel lets an operator give the converter as setpoints: the ranges of its spin boxes,
// in one place for every front end. The window's form carries the same numbers, and a test holds
// it to them. The service pages' limits are in link/blockfields.h, with the rest of each field.

struct DecimalRange
{
    double minimum = 0;
    double maximum = 0;
    int decimals = 0; // the box's resolution: digits after the point
};

namespace ValueLimits {
constexpr DecimalRange SetpointVolts{0.01, 30.0, 2};
constexpr DecimalRange SetpointAmps{0.005, 9.999, 3};
} // namespace ValueLimits
