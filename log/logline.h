#pragma once

#include "link/devicerecords.h"
#include "log/logsettings.h"

#include <QString>
#include <QTime>

#include <optional>

// The two numbers of one log line, in the counts of Quantity::LogVoltage and LogCurrent (mV and
// 0.1 mA). They are wider than the records' fields so that scaling any record value can never
// overflow.
struct LogSample
{
    qint64 voltage = 0;
    qint64 current = 0;
};

// Takes the sample from the source chosen by logValue (0: the status read, anything else,
// including -1: the ADC read; the current range always comes from the status). Consumes that
// source's freshness flag; returns nothing and changes nothing when the source has no fresh
// read since its last line.
std::optional<LogSample> TakeLogSample(int logValue, const OutputStatus &status,
                                       const AdcReadings &adc, bool &statusFresh, bool &adcFresh);

// The text of the time column for timeForm; empty for an index outside the four forms.
QString LogTimeText(int timeForm, const QTime &logClock, const QTime &startClock,
                    const QTime &tickClock);

// One complete log line ending in a line feed: the optional time column and a space, then
// voltage in V with three decimals, a space and current in A with four decimals.
QString LogLine(const LogSettings &settings, const LogSample &sample, const QTime &logClock,
                const QTime &startClock, const QTime &tickClock);
