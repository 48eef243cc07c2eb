#include "log/logrecorder.h"

LogRecorder::LogRecorder(const LogSettings &settings, const LogClock &clock)
    : settings(settings), clock(clock), tickClock(clock.Now())
{
}

void LogRecorder::Start()
{
    running = true;
    clock.Start(intervalClock, tickClock, startClock, logClock);
}

std::optional<LogEntry> LogRecorder::Step(const OutputStatus &status, const AdcReadings &adc)
{
    if (!clock.Advance(intervalClock, logClock, tickClock, settings.logPeriod) || !running)
        return std::nullopt;
    const std::optional<LogSample> sample =
        TakeLogSample(settings.logValue, status, adc, statusFresh, adcFresh);
    if (!sample)
        return std::nullopt;
    LogEntry entry;
    entry.sample = *sample;
    if (settings.addTime == 1)
        entry.timeText = LogTimeText(settings.timeForm, logClock, startClock, tickClock);
    entry.line = LogLine(settings, *sample, logClock, startClock, tickClock);
    return entry;
}
