#pragma once

#include "link/devicerecords.h"
#include "log/logclock.h"
#include "log/logline.h"
#include "log/logsettings.h"

#include <QString>
#include <QTime>

#include <optional>

// One line of the log as it falls due: the two numbers, the time column's text (empty without
// one) and the whole line as the panel writes it.
struct LogEntry
{
    LogSample sample;
    QString timeText;
    QString line;
};

// What one tick did to the log: whether a period ended while the log runs, and its line when
// the chosen source had a fresh read in it (a period without one has no line).
struct LogStepResult
{
    bool periodDue = false;
    std::optional<LogEntry> entry;
};

// The log step of a front end, without a window: the four log clocks, whether the log runs,
// the freshness of the last status and ADC reads, and the line due at a tick. Fed by the poll
// cycle's read results; Step() runs once per tick after the tick's transaction.
class LogRecorder
{
public:
    explicit LogRecorder(const LogSettings &settings = LogSettings(),
                         const LogClock &clock = LogClock());

    // Settings changed while the log runs apply from the next tick.
    void SetSettings(const LogSettings &settings) { this->settings = settings; }
    // Where "now" comes from; the clocks keep what they hold.
    void SetClock(const LogClock &clock) { this->clock = clock; }

    // Starts the log: the first line is due at the next tick. Stopping leaves the clocks as
    // they are.
    void Start();
    void Stop() { running = false; }
    void StatusRead(bool ok) { statusFresh = ok; }
    void AdcRead(bool ok) { adcFresh = ok; }
    LogStepResult Step(const OutputStatus &status, const AdcReadings &adc);

    // The log's running time as of the last tick.
    const QTime &LogClockTime() const { return logClock; }

private:
    LogSettings settings;
    LogClock clock;
    bool running = false;
    bool statusFresh = false;
    bool adcFresh = false;
    QTime intervalClock;
    QTime logClock;
    QTime tickClock;
    QTime startClock;
};
