#include "app/countertext.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int significantDigits = 6;

} // namespace

QString CounterAmountText(double value, const QString &unit)
{
    int wholeDigits = 1;
    for (double whole = std::floor(value); whole >= 10; whole /= 10)
        ++wholeDigits;
    const int decimals = std::max(0, significantDigits - wholeDigits);
    return QStringLiteral("%1 %2").arg(QString::number(value, 'f', decimals), unit);
}

QString CounterDurationText(double seconds)
{
    const qint64 whole = seconds > 0 ? static_cast<qint64>(std::floor(seconds)) : 0;
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString CounterResetText(const QDateTime &resetAt)
{
    if (!resetAt.isValid())
        return QStringLiteral("не сбрасывались");
    return QStringLiteral("с %1").arg(
        resetAt.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm")));
}
