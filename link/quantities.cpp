#include "link/quantities.h"

namespace {

constexpr double countFraction = 0.2;

qint64 ScaledCounts(qint64 counts, qint64 fromPerUnit, qint64 toPerUnit)
{
    if (toPerUnit % fromPerUnit == 0)
        return counts * (toPerUnit / fromPerUnit);
    const qint64 scaled = counts * toPerUnit;
    const qint64 half = fromPerUnit / 2;
    return (scaled + (scaled < 0 ? -half : half)) / fromPerUnit;
}

} // namespace

QString UnitsText(Quantity quantity, qint64 counts)
{
    return QString::number(ToUnits(quantity, counts), 'f', ScaleOf(quantity).decimals);
}

qint32 ToCounts(Quantity quantity, double units)
{
    const double perUnit = ScaleOf(quantity).countsPerUnit;
    return qint32((units + countFraction / perUnit) * perUnit);
}

qint64 Rescaled(Quantity from, qint64 counts, Quantity to)
{
    return ScaledCounts(counts, ScaleOf(from).countsPerUnit, ScaleOf(to).countsPerUnit);
}

qint64 CountsAtDecimals(Quantity quantity, qint64 counts, int decimals)
{
    qint64 stepsPerUnit = 1;
    for (int i = 0; i < decimals; ++i)
        stepsPerUnit *= 10;
    return ScaledCounts(counts, ScaleOf(quantity).countsPerUnit, stepsPerUnit);
}
