#pragma once

#include <QDateTime>
#include <QString>

// The texts of the energy counters on "Панель", without widgets.

// A total in six significant digits, so that its width stays put as it grows:
// "0.12346 А·ч", "12.3457 Вт·ч", "123457 Вт·ч".
QString CounterAmountText(double value, const QString &unit);
// Hours, minutes and seconds, the hours not bounded: "1:02:03", "27:00:00".
QString CounterDurationText(double seconds);
// When the counters were last reset, in local time; what the panel says before the first reset.
QString CounterResetText(const QDateTime &resetAt);
