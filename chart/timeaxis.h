#pragma once

#include <QString>

// Tick steps for an axis of running time: whole seconds, minutes, hours and days an operator
// reads at a glance (1, 2, 5, 10, 15, 30 s; 1, 2, 5, 10, 15, 30 min; 1, 2, 3, 6, 12 h; 1, 2, 7
// days), the smallest one that keeps the span within maxTicks steps. Spans of a few seconds get
// decimal fractions of a second.
qint64 TimeAxisStep(qint64 spanMs, int maxTicks);

// The label of a tick at timeMs: hours counted on past 24 ("170:00"), minutes, and seconds
// when the step is shorter than a minute, tenths when it is shorter than a second.
QString TimeAxisText(qint64 timeMs, qint64 stepMs);
