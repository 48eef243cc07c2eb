#pragma once

#include <QTime>

// The chart's time axis: the log's running time, summed over the runs. The log clock starts
// from zero at every start of the log and wraps at 24 hours; the chart keeps counting, so a
// week-long run and the run after a stop and start both lie to the right of what came before.
class RunningTime
{
public:
    // A new run: its log clock starts again from 00:00:00.000.
    void BeginRun();
    // Milliseconds of running time at this reading of the log clock, which only moves forward
    // (a reading below the previous one has passed midnight).
    qint64 At(const QTime &logClock);
    // The running time of the last reading.
    qint64 Last() const { return earlierRuns + thisRun; }

private:
    qint64 earlierRuns = 0;
    qint64 thisRun = 0;
    int lastClockMs = 0;
};
