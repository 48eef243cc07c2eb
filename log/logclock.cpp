#include "log/logclock.h"

#include <utility>

namespace {
constexpr int msecsPerDay = 24 * 60 * 60 * 1000;

// Ticks come from a timer and are measured in whole milliseconds, so four ticks of 250 ms may
// add up to 999 ms. A line is due once the interval is within half a tick of the period;
// otherwise it would wait a whole tick more now and then, and a 1 s log would skip seconds.
constexpr int dueSlackMs = 125;

// Forward distance on the 24-hour dial; 0 when either time is null.
int MsecsOnDial(const QTime &from, const QTime &to)
{
    const int msecs = from.msecsTo(to);
    return msecs < 0 ? msecs + msecsPerDay : msecs;
}
} // namespace

LogClock::LogClock(NowSource source) : now(std::move(source)) {}

QTime LogClock::Now() const
{
    return now ? now() : QTime();
}

int LogClock::Elapsed(const QTime &clock) const
{
    return MsecsOnDial(clock, Now());
}

void LogClock::Start(QTime &intervalClock, QTime &tickClock, QTime &startClock,
                     QTime &logClock) const
{
    // intervalClock follows the time of day until the first line, so that line is due at the
    // first tick (except within one period after midnight).
    const QTime time = Now();
    intervalClock = time;
    tickClock = time;
    startClock = time;
    logClock = QTime(0, 0);
}

bool LogClock::Advance(QTime &intervalClock, QTime &logClock, QTime &tickClock,
                       const QTime &logPeriod) const
{
    // One reading of "now" for the whole tick: the time added to the clocks and the new
    // tickClock agree, so no milliseconds get lost between ticks.
    const QTime time = Now();
    const int sinceLastTick = MsecsOnDial(tickClock, time);
    intervalClock = intervalClock.addMSecs(sinceLastTick);
    logClock = logClock.addMSecs(sinceLastTick);
    tickClock = time;

    if (!intervalClock.isValid() || !logPeriod.isValid() ||
        intervalClock.msecsSinceStartOfDay() + dueSlackMs < logPeriod.msecsSinceStartOfDay())
        return false;
    intervalClock = QTime(0, 0);
    return true;
}
