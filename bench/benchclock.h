#pragma once

#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

// CPU time this process has used so far, user and system together, in seconds.
inline double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Times this process has gone to sleep and been woken again so far; on a mostly idle process
// each costs about the same, so their rate explains most of its CPU time.
inline long Wakes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

// Lets the event loop run, timers and the panel's ticks included, for ms milliseconds.
inline void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU time, in microseconds, that one wake of this process's event loop costs on this machine
// now: a timer that does nothing fires 100 times a second for ms milliseconds. On a virtual
// machine this differs by several times from hour to hour, so the panel's CPU figures are
// printed beside what its number of wakes alone would cost.
inline double WakeCostUs(int ms)
{
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.start(10);
    const double cpuBefore = CpuSeconds();
    const long wakesBefore = Wakes();
    RunFor(ms);
    const long wakes = Wakes() - wakesBefore;
    return wakes > 0 ? (CpuSeconds() - cpuBefore) * 1e6 / double(wakes) : 0.0;
}
