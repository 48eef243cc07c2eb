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

// The panel's log step without a window: the four log clocks, the freshness of the last status
// and ADC reads, and the line due at a tick. Fed by the poll cycle's read results; Step() runs
// once per tick after the tick's transaction, as the window's log step does.
class LogRecorder
{
public:
    explicit LogRecorder(const LogSettings &settings, const LogClock &clock = LogClock());

    // Starts the log: the first line is due at the next tick.
    void Start();
    void StatusRead(bool ok) { statusFresh = ok; }
    void AdcRead(bool ok) { adcFresh = ok; }
    // Nothing when no line is due or the chosen source has no fresh read since its last line.
    std::optional<LogEntry> Step(const OutputStatus &status, const AdcReadings &adc);

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
