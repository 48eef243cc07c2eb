#pragma once

#include <QtGlobal>

// Charge and energy given to the load, summed from the model's operating points, each held for
// a whole number of milliseconds. Kept in the model's own units (mV, mA, ms) so that integer
// points over integer times add up without rounding.
struct DeliveredEnergy
{
    double milliampereMs = 0; // charge
    double microwattMs = 0;   // energy: mV x mA x ms
    qint64 onMs = 0;          // output-on time these were summed over

    void add(double millivolts, double milliamps, qint64 ms)
    {
        milliampereMs += milliamps * double(ms);
        microwattMs += millivolts * milliamps * double(ms);
        onMs += ms;
    }
    void add(const DeliveredEnergy &other, qint64 times = 1)
    {
        milliampereMs += other.milliampereMs * double(times);
        microwattMs += other.microwattMs * double(times);
        onMs += other.onMs * times;
    }
    double ampereHours() const { return milliampereMs / 3.6e9; }
    double wattHours() const { return microwattMs / 3.6e12; }
};
