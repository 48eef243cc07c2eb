#pragma once

#include "link/devicerecords.h"
#include "sim/loadprofile.h"

#include <QtGlobal>

#include <optional>

// The converter's insides: setpoints, output switch, a resistive load (fixed or following a
// profile), the readings that follow
// from them, and the two stored blocks with the life counter. Times are passed in (ms on a
// monotonic clock) so the model itself holds no clock. Not thread-safe on its own.
class ConverterModel
{
public:
    ConverterModel();

    void setSetpoints(const Setpoints &value) { set = value; }
    Setpoints setpoints() const { return set; }
    void setOutputOn(bool on, qint64 nowMs);
    bool outputOn() const { return on; }
    // A fixed load ends a profile; a profile starts at startMs.
    void setLoadResistance(double ohms);
    void setLoadProfile(const std::optional<LoadProfile> &profile, qint64 startMs);
    std::optional<LoadProfile> loadProfile() const { return profile; }
    double loadResistance(qint64 nowMs) const;
    void setInputVoltage(int millivolts) { inputMv = millivolts; }
    void setReferenceVoltage(int millivolts) { referenceMv = millivolts; }
    void setNoise(bool enabled) { noise = enabled; }
    void setFineRangeThreshold(int milliamps) { fineThresholdMa = milliamps; }
    void setFixedStatus(std::optional<OutputStatus> value) { fixedStatus = value; }
    void setFixedAdc(std::optional<AdcReadings> value) { fixedAdc = value; }

    OutputStatus status(qint64 nowMs) const;
    AdcReadings adc(qint64 nowMs) const;

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
    OperatingPoint operatingPoint(qint64 nowMs) const;
    bool fineRange(double milliamps) const;

    Setpoints set;
    bool on = false;
    double loadOhms = 10.0;
    std::optional<LoadProfile> profile;
    qint64 profileStartMs = 0;
    int inputMv = 24000;
    int referenceMv = 2500;
    bool noise = false;
    int fineThresholdMa = 100;
    std::optional<OutputStatus> fixedStatus;
    std::optional<AdcReadings> fixedAdc;
    CalibrationBlock calib;
    UserParamBlock user;
    qint64 lifeUnitMs = 3600 * 1000;
    qint64 onTimeBeforeMs = 0; // accumulated up to onSinceMs
    qint64 onSinceMs = 0;
};
