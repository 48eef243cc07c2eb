#pragma once

#include "log/localtimeofday.h"

#include <QTime>

#include <functional>
#include <memory>

// The time of day for the measurement log and the operations on its four clocks. The clocks are
// plain QTime values owned by the caller; only "now" comes from here, so that tests can run a
// whole day of logging, midnight included, without waiting.
class LogClock
{
public:
    using NowSource = std::function<QTime()>;

    LogClock() = default;
    explicit LogClock(NowSource source);

    QTime Now() const;

    // Milliseconds from clock to now, wrapping at 24 hours like QTime::elapsed(); 0 for a null
    // clock.
    int Elapsed(const QTime &clock) const;

    // Starting a log: intervalClock and tickClock and startClock take the time of day,
    // logClock starts from 00:00:00.000.
    void Start(QTime &intervalClock, QTime &tickClock, QTime &startClock, QTime &logClock) const;

    // One poll tick: the time since the previous tick is added to intervalClock and logClock
    // (null clocks stay null) and tickClock moves to now. Returns true when intervalClock has
    // reached logPeriod, less half a tick of timer jitter; intervalClock then starts again from
    // zero. A null intervalClock (no log started yet) or an invalid period never elapses.
    bool Advance(QTime &intervalClock, QTime &logClock, QTime &tickClock,
                 const QTime &logPeriod) const;

private:
    NowSource now = [time = std::make_shared<LocalTimeOfDay>()] { return time->Now(); };
};
