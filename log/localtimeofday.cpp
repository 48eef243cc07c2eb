#include "log/localtimeofday.h"

#include <QDateTime>

#include <utility>

namespace {
constexpr qint64 msecsPerMinute = 60 * 1000;
constexpr qint64 msecsPerDay = 24 * 60 * msecsPerMinute;

// Floor division, so that moments before the epoch fall in the minute that contains them.
qint64 MinuteOf(qint64 utcMsecs)
{
    return utcMsecs >= 0 ? utcMsecs / msecsPerMinute : -((-utcMsecs - 1) / msecsPerMinute) - 1;
}
} // namespace

LocalTimeOfDay::LocalTimeOfDay()
    : LocalTimeOfDay([](qint64 utcMsecs) {
          return QDateTime::fromMSecsSinceEpoch(utcMsecs, Qt::LocalTime).offsetFromUtc();
      })
{
}

LocalTimeOfDay::LocalTimeOfDay(OffsetSource source) : offsetAt(std::move(source)) {}

QTime LocalTimeOfDay::Now()
{
    return At(QDateTime::currentMSecsSinceEpoch());
}

QTime LocalTimeOfDay::At(qint64 utcMsecs)
{
    const qint64 minute = MinuteOf(utcMsecs);
    if (minute != offsetMinute) {
        offsetSeconds = offsetAt(minute * msecsPerMinute);
        offsetMinute = minute;
    }
    const qint64 local = utcMsecs + qint64(offsetSeconds) * 1000;
    const qint64 msecsOfDay = ((local % msecsPerDay) + msecsPerDay) % msecsPerDay;
    return QTime::fromMSecsSinceStartOfDay(int(msecsOfDay));
}
