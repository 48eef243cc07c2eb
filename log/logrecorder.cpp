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

LogStepResult LogRecorder::Step(const OutputStatus &status, const AdcReadings &adc)
{
    LogStepResult result;
    // The clocks move on every tick, running or not; an elapsed period is used up either way.
    if (!clock.Advance(intervalClock, logClock, tickClock, settings.logPeriod) || !running)
        return result;
    result.periodDue = true;
    const std::optional<LogSample> sample =
        TakeLogSample(settings.logValue, status, adc, statusFresh, adcFresh);
    if (!sample)
        return result;
    LogEntry entry;
    entry.sample = *sample;
    if (settings.addTime == 1)
        entry.timeText = LogTimeText(settings.timeForm, logClock, startClock, tickClock);
    entry.line = LogLine(settings, *sample, logClock, startClock, tickClock);
    result.entry = entry;
    return result;
}
