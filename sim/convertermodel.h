#pragma once

#include "link/devicerecords.h"
#include "sim/deliveredenergy.h"
#include "sim/loadprofile.h"

#include <QtGlobal>

#include <optional>

// The converter's insides: setpoints, output switch, a resistive load (fixed or following a
// profile), the readings that follow
// from them, and the two stored blocks with the life counter. Times are passed in (ms on a
// monotonic clock, never going back) so the model itself holds no clock. Not thread-safe on its
// own.
class ConverterModel
{
public:
    ConverterModel();

    void setSetpoints(const Setpoints &value, qint64 nowMs);
    Setpoints setpoints() const { return set; }
    void setOutputOn(bool on, qint64 nowMs);
    bool outputOn() const { return on; }
    // A fixed load ends a profile; a profile starts at startMs.
    void setLoadResistance(double ohms, qint64 nowMs);
    void setLoadProfile(const std::optional<LoadProfile> &profile, qint64 startMs);
    std::optional<LoadProfile> loadProfile() const { return profile; }
    double loadResistance(qint64 nowMs) const;
    void setInputVoltage(int millivolts) { inputMv = millivolts; }
    void setReferenceVoltage(int millivolts) { referenceMv = millivolts; }
    void setNoise(bool enabled) { noise = enabled; }
    void setFineRangeThreshold(int milliamps) { fineThresholdMa = milliamps; }
    void setFixedStatus(std::optional<OutputStatus> value) { fixedStatus = value; }
    void setFixedAdc(std::optional<AdcReadings> value) { fixedAdc = value; }
    // A failing regulator: in constant voltage the output sits this far above the voltage
    // setpoint and the load draws its current at that voltage. The current limit still holds,
    // so the fault can tip the converter into constant current, and there the output is what
    // the limit and the load make it, as without the fault. 0: none.
    void setOvervoltage(int millivolts, qint64 nowMs);
    int overvoltage() const { return overvoltageMv; }

    OutputStatus status(qint64 nowMs) const;
    AdcReadings adc(qint64 nowMs) const;

    // Charge and energy delivered since the last reset, up to nowMs. They integrate the
    // physically delivered operating point: the one status() reports, before its rounding to
    // counts and without noise; a fixed status or ADC reading changes nothing here.
    DeliveredEnergy delivered(qint64 nowMs) const;
    // Counts from zero at nowMs on; returns what was delivered until then.
    DeliveredEnergy resetDelivered(qint64 nowMs);

    CalibrationBlock calibration() const { return calib; }
    void setCalibration(const CalibrationBlock &block) { calib = block; }
    // lifeCounter reflects the output-on time; setUserParams() sets that time from it.
    UserParamBlock userParams(qint64 nowMs) const;
    void setUserParams(const UserParamBlock &block, qint64 nowMs);
    // Stores every field except the life counter, which only the converter itself counts.
    void writeUserParams(const UserParamBlock &block);
    void setLifeCounterUnitMs(qint64 ms) { lifeUnitMs = qMax<qint64>(1, ms); }
    qint64 onTimeMs(qint64 nowMs) const;
    void setOnTimeMs(qint64 ms, qint64 nowMs);

private:
    struct OperatingPoint
    {
        double millivolts = 0;
        double milliamps = 0;
        bool constantCurrent = false;
        bool constantVoltage = false;
    };
    // Without noise, at this load.
    OperatingPoint idealPoint(double ohms) const;
    OperatingPoint operatingPoint(qint64 nowMs) const;
    bool fineRange(double milliamps) const;
    // What the present settings deliver from fromMs to toMs; a change of them must count up to
    // its time first (countDeliveredTo) so that each span is summed under its own settings.
    DeliveredEnergy deliveredBetween(qint64 fromMs, qint64 toMs) const;
    // The same under the profile, in times since it started (never before it: setting one
    // counts up to its start).
    DeliveredEnergy profileDelivered(qint64 fromMs, qint64 toMs) const;
    DeliveredEnergy profileSpanDelivered(qint64 fromMs, qint64 toMs) const;
    void countDeliveredTo(qint64 nowMs);

    Setpoints set;
    bool on = false;
    double loadOhms = 10.0;
    std::optional<LoadProfile> profile;
    qint64 profileStartMs = 0;
    int inputMv = 24000;
    int referenceMv = 2500;
    bool noise = false;
    int overvoltageMv = 0;
    int fineThresholdMa = 100;
    std::optional<OutputStatus> fixedStatus;
    std::optional<AdcReadings> fixedAdc;
    CalibrationBlock calib;
    UserParamBlock user;
    qint64 lifeUnitMs = 3600 * 1000;
    qint64 onTimeBeforeMs = 0; // accumulated up to onSinceMs
    qint64 onSinceMs = 0;
    DeliveredEnergy deliveredBefore; // up to countedToMs
    qint64 countedToMs = 0;
};
