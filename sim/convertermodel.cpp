#include "sim/convertermodel.h"

#include <QRandomGenerator>

#include <cmath>

namespace {

qint32 clampTo(double value, qint32 low, qint32 high)
{
    if (!(value > low)) // NaN lands here too
        return low;
    if (value >= high)
        return high;
    return qint32(std::lround(value));
}

double jitter(double amplitude)
{
    return (QRandomGenerator::global()->generateDouble() * 2.0 - 1.0) * amplitude;
}

} // namespace

ConverterModel::ConverterModel()
{
    set.voltage = 5000;
    set.current = 1000;

    calib.kuDacVolt = 1000;
    calib.kuAdcVolt = 1000;
    calib.kuDacCurr = 1000;
    calib.kuAdcCurr = 1000;
    calib.kuAdcCurrFine = 1000;

    user.nvpStatus = 1;
    user.currTrigTime = 100;
    user.ioutMax = 5000;
    user.uoutMax = 30000;
    user.poutMax = 150;
    user.fanGainCurrent = 100;
    user.fanDelay = 10;
    user.fanDutyOff = 20;
}

void ConverterModel::setOutputOn(bool value, qint64 nowMs)
{
    if (value == on)
        return;
    if (value)
        onSinceMs = nowMs;
    else
        onTimeBeforeMs += nowMs - onSinceMs;
    on = value;
}

bool ConverterModel::fineRange(double milliamps) const
{
    return on && milliamps < fineThresholdMa;
}

void ConverterModel::setLoadResistance(double ohms)
{
    loadOhms = ohms;
    profile.reset();
}

void ConverterModel::setLoadProfile(const std::optional<LoadProfile> &value, qint64 startMs)
{
    profile = value;
    profileStartMs = startMs;
}

double ConverterModel::loadResistance(qint64 nowMs) const
{
    return profile ? profile->resistanceAt(nowMs - profileStartMs) : loadOhms;
}

ConverterModel::OperatingPoint ConverterModel::operatingPoint(qint64 nowMs) const
{
    OperatingPoint point;
    if (!on)
        return point;
    const double voltageSet = qMax(0, set.voltage);
    const double currentLimit = qMax(0, set.current);
    const double ohms = loadResistance(nowMs);
    const bool openCircuit = !(ohms > 0) || std::isinf(ohms);
    const double demand = openCircuit ? 0.0 : voltageSet / ohms; // mV / ohm = mA
    if (demand <= currentLimit) {
        point.millivolts = voltageSet;
        point.milliamps = demand;
        point.constantVoltage = true;
    } else {
        point.millivolts = currentLimit * ohms;
        point.milliamps = currentLimit;
        point.constantCurrent = true;
    }
    if (noise) {
        point.millivolts = qMax(0.0, point.millivolts + jitter(15.0));
        point.milliamps =
            qMax(0.0, point.milliamps + jitter(fineRange(point.milliamps) ? 0.15 : 1.5));
    }
    return point;
}

OutputStatus ConverterModel::status(qint64 nowMs) const
{
    if (fixedStatus)
        return *fixedStatus;
    const OperatingPoint point = operatingPoint(nowMs);
    OutputStatus s;
    s.voltage = clampTo(point.millivolts / 10.0, 0, 0xFFFF);
    s.currentRange = fineRange(point.milliamps) ? 1 : 0;
    s.current = clampTo(s.currentRange ? point.milliamps * 10.0 : point.milliamps, -32768, 32767);
    s.ccMode = point.constantCurrent ? 1 : 0;
    s.cvMode = point.constantVoltage ? 1 : 0;
    s.outputOn = on ? 1 : 0;
    return s;
}

AdcReadings ConverterModel::adc(qint64 nowMs) const
{
    if (fixedAdc)
        return *fixedAdc;
    const OperatingPoint point = operatingPoint(nowMs);
    AdcReadings a;
    a.sdadcVoltage = clampTo(point.millivolts, 0, 0xFFFF);
    a.sdadcCurrent = clampTo(point.milliamps, 0, 0xFFFF);
    a.fineCurrent = clampTo(point.milliamps * 10.0, 0, 0xFFFF);
    a.inputVoltage = clampTo(inputMv + (noise ? jitter(20.0) : 0.0), 0, 0xFFFF);
    a.referenceVoltage = clampTo(referenceMv + (noise ? jitter(1.0) : 0.0), 0, 0xFFFF);
    return a;
}

UserParamBlock ConverterModel::userParams(qint64 nowMs) const
{
    UserParamBlock block = user;
    block.lifeCounter = qint32(qMin<qint64>(onTimeMs(nowMs) / lifeUnitMs, 0xFFFF));
    return block;
}

void ConverterModel::setUserParams(const UserParamBlock &block, qint64 nowMs)
{
    writeUserParams(block);
    setOnTimeMs(qint64(qBound(0, block.lifeCounter, 0xFFFF)) * lifeUnitMs, nowMs);
}

void ConverterModel::writeUserParams(const UserParamBlock &block)
{
    const qint32 life = user.lifeCounter;
    user = block;
    user.lifeCounter = life;
}

qint64 ConverterModel::onTimeMs(qint64 nowMs) const
{
    return onTimeBeforeMs + (on ? nowMs - onSinceMs : 0);
}

void ConverterModel::setOnTimeMs(qint64 ms, qint64 nowMs)
{
    onTimeBeforeMs = qMax<qint64>(0, ms);
    onSinceMs = nowMs;
}
