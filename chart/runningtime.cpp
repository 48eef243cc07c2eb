#include "chart/runningtime.h"

namespace {
constexpr int dayMs = 24 * 60 * 60 * 1000;
}

void RunningTime::BeginRun()
{
    earlierRuns += thisRun;
    thisRun = 0;
    lastClockMs = 0;
}

qint64 RunningTime::At(const QTime &logClock)
{
    const int clockMs = logClock.msecsSinceStartOfDay();
    int step = clockMs - lastClockMs;
    if (step < 0)
        step += dayMs;
    thisRun += step;
    lastClockMs = clockMs;
    return Last();
}
