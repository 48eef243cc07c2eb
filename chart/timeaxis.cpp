#include "chart/timeaxis.h"

#include <QLatin1Char>

#include <iterator>

namespace {

constexpr qint64 second = 1000;
constexpr qint64 minute = 60 * second;
constexpr qint64 hour = 60 * minute;
constexpr qint64 day = 24 * hour;

constexpr qint64 steps[] = {
    100,         200,         500,         second,  2 * second, 5 * second,
    10 * second, 15 * second, 30 * second, minute,  2 * minute, 5 * minute,
    10 * minute, 15 * minute, 30 * minute, hour,    2 * hour,   3 * hour,
    6 * hour,    12 * hour,   day,         2 * day, 7 * day,
};

QString TwoDigits(qint64 value)
{
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

} // namespace

qint64 TimeAxisStep(qint64 spanMs, int maxTicks)
{
    maxTicks = qMax(maxTicks, 1);
    for (const qint64 step : steps) {
        if (spanMs <= step * maxTicks)
            return step;
    }
    // Beyond a few weeks: whole weeks.
    const qint64 week = steps[std::size(steps) - 1];
    return (spanMs / maxTicks / week + 1) * week;
}

QString TimeAxisText(qint64 timeMs, qint64 stepMs)
{
    const QString sign = timeMs < 0 ? QStringLiteral("-") : QString();
    const qint64 ms = qAbs(timeMs);
    QString text =
        sign + QString::number(ms / hour) + QLatin1Char(':') + TwoDigits(ms / minute % 60);
    if (stepMs < minute)
        text += QLatin1Char(':') + TwoDigits(ms / second % 60);
    if (stepMs < second)
        text += QLatin1Char('.') + QString::number(ms / 100 % 10);
    return text;
}
