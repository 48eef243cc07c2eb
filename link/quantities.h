#pragma once

#include "link/devicerecords.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstddef>

// Every quantity the converter reports or takes, in the counts it has on the wire. How a count
// scales to volts or amperes, and how many decimals resolve one count, is written here only; a
// front end that shows fewer decimals names its own number for that.
enum class Quantity
{
    OutputVoltage,     // status: 10 mV
    OutputCurrent,     // status, normal range: mA
    OutputFineCurrent, // status, fine range: 0.1 mA
    SdadcVoltage,      // ADC: mV
    SdadcCurrent,      // ADC: mA
    FineCurrent,       // ADC: 0.1 mA
    InputVoltage,      // ADC: mV
    ReferenceVoltage,  // ADC: mV
    SetpointVoltage,   // mV
    SetpointCurrent,   // mA
    // A log sample's, whatever read and range it was taken from: mV and 0.1 mA.
    LogVoltage,
    LogCurrent,
};

struct QuantityScale
{
    qint32 countsPerUnit;
    int decimals;     // the digits after the point that resolve one count
    const char *unit; // "V" or "A"
};

// In the order of Quantity.
inline constexpr std::array<QuantityScale, 12> QuantityScales{{
    {100, 2, "V"},
    {1000, 3, "A"},
    {10000, 4, "A"},
    {1000, 3, "V"},
    {1000, 3, "A"},
    {10000, 4, "A"},
    {1000, 3, "V"},
    {1000, 3, "V"},
    {1000, 3, "V"},
    {1000, 3, "A"},
    {1000, 3, "V"},
    {10000, 4, "A"},
}};
static_assert(std::size_t(Quantity::LogCurrent) + 1 == QuantityScales.size(),
              "one scale per quantity");

constexpr const QuantityScale &ScaleOf(Quantity quantity)
{
    return QuantityScales[std::size_t(quantity)];
}

constexpr double ToUnits(Quantity quantity, qint64 counts)
{
    return double(counts) / ScaleOf(quantity).countsPerUnit;
}

// The value in its unit with the decimals that resolve one count, a point whatever the locale.
QString UnitsText(Quantity quantity, qint64 counts);

// What a value in volts or amperes, as a setpoint box holds it, is in counts, truncated. The
// added fifth of a count keeps a value such as 1.005 A, which a double holds as a little less,
// from truncating to 1004 mA.
qint32 ToCounts(Quantity quantity, double units);

// Counts of one quantity as counts of another of the same unit; halves of a count round away
// from zero.
qint64 Rescaled(Quantity from, qint64 counts, Quantity to);

// Counts as steps of the last of `decimals` digits after the point, for a display with fewer
// digits than the quantity resolves; halves of a step round away from zero.
qint64 CountsAtDecimals(Quantity quantity, qint64 counts, int decimals);

// The converter counts the output current in tenths of a milliampere while on its fine range.
constexpr bool OnFineCurrentRange(const OutputStatus &status)
{
    return status.currentRange != 0;
}

constexpr Quantity CurrentQuantity(const OutputStatus &status)
{
    return OnFineCurrentRange(status) ? Quantity::OutputFineCurrent : Quantity::OutputCurrent;
}
