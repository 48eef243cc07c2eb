#pragma once

#include <QTime>

#include <functional>
#include <limits>

// The local time of day from the system clock, as QTime::currentTime() gives it, for a caller
// that asks four times a second for a week. The conversion to local time re-reads the time-zone
// file on every call with glibc; here it runs once per minute of UTC and its offset is applied
// to the milliseconds in between. Zone offsets change only at whole minutes of UTC, so the
// result is the same, and a change of the system's zone is followed within a minute.
class LocalTimeOfDay
{
public:
    // Seconds east of UTC in force at a moment given in milliseconds since the epoch.
    using OffsetSource = std::function<int(qint64 utcMsecs)>;

    LocalTimeOfDay();
    explicit LocalTimeOfDay(OffsetSource source);

    QTime Now();
    QTime At(qint64 utcMsecs);

private:
    OffsetSource offsetAt;
    qint64 offsetMinute = std::numeric_limits<qint64>::min();
    int offsetSeconds = 0;
};
