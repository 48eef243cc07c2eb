#include "sim/convertermodel.h"

#include <QRandomGenerator>

#include <cmath>
#include <utility>

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

void ConverterModel::setSetpoints(const Setpoints &value, qint64 nowMs)
{
    countDeliveredTo(nowMs);
    set = value;
}

void ConverterModel::setOutputOn(bool value, qint64 nowMs)
{
    if (value == on)
        return;
    countDeliveredTo(nowMs);
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

void ConverterModel::setLoadResistance(double ohms, qint64 nowMs)
{
    countDeliveredTo(nowMs);
    loadOhms = ohms;
    profile.reset();
}

void ConverterModel::setLoadProfile(const std::optional<LoadProfile> &value, qint64 startMs)
{
    countDeliveredTo(startMs);
    profile = value;
    profileStartMs = startMs;
}

double ConverterModel::loadResistance(qint64 nowMs) const
{
    return profile ? profile->resistanceAt(nowMs - profileStartMs) : loadOhms;
}

void ConverterModel::setOvervoltage(int millivolts, qint64 nowMs)
{
    countDeliveredTo(nowMs);
    overvoltageMv = qMax(0, millivolts);
}

ConverterModel::OperatingPoint ConverterModel::idealPoint(double ohms) const
{
    OperatingPoint point;
    if (!on)
        return point;
    const double voltageSet = qMax(0, set.voltage) + overvoltageMv;
    const double currentLimit = qMax(0, set.current);
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
    return point;
}

ConverterModel::OperatingPoint ConverterModel::operatingPoint(qint64 nowMs) const
{
    OperatingPoint point = idealPoint(loadResistance(nowMs));
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

DeliveredEnergy ConverterModel::delivered(qint64 nowMs) const
{
    DeliveredEnergy sum = deliveredBefore;
    sum.add(deliveredBetween(countedToMs, nowMs));
    return sum;
}

DeliveredEnergy ConverterModel::resetDelivered(qint64 nowMs)
{
    countDeliveredTo(nowMs);
    return std::exchange(deliveredBefore, DeliveredEnergy());
}

void ConverterModel::countDeliveredTo(qint64 nowMs)
{
    deliveredBefore.add(deliveredBetween(countedToMs, nowMs));
    countedToMs = qMax(countedToMs, nowMs);
}

DeliveredEnergy ConverterModel::deliveredBetween(qint64 fromMs, qint64 toMs) const
{
    DeliveredEnergy sum;
    if (!on || toMs <= fromMs)
        return sum;
    if (!profile) {
        const OperatingPoint point = idealPoint(loadOhms);
        sum.add(point.millivolts, point.milliamps, toMs - fromMs);
        return sum;
    }
    return profileDelivered(fromMs - profileStartMs, toMs - profileStartMs);
}

DeliveredEnergy ConverterModel::profileDelivered(qint64 fromMs, qint64 toMs) const
{
    DeliveredEnergy sum;
    // The profile repeats, so whole cycles are one cycle summed once: a read costs at most
    // two cycles' work however long the output has been on.
    const qint64 cycleMs = qMax<qint64>(1, profile->stepMs) * qMax(1, int(profile->ohms.size()));
    const qint64 cycles = (toMs - fromMs) / cycleMs;
    if (cycles > 0) {
        sum.add(profileSpanDelivered(0, cycleMs), cycles);
        fromMs += cycles * cycleMs;
    }
    sum.add(profileSpanDelivered(fromMs, toMs));
    return sum;
}

DeliveredEnergy ConverterModel::profileSpanDelivered(qint64 fromMs, qint64 toMs) const
{
    // A stepped load holds each step whole. A ramped one is summed a millisecond at a time:
    // the model's load moves in whole milliseconds (resistanceAt takes them), so this sum is
    // its exact integral, the very points status() reports, where a continuous ramp's
    // integral would not be.
    const qint64 stepMs = qMax<qint64>(1, profile->stepMs);
    DeliveredEnergy sum;
    for (qint64 t = fromMs; t < toMs;) {
        const qint64 next = qMin(toMs, profile->ramp ? t + 1 : (t / stepMs + 1) * stepMs);
        const OperatingPoint point = idealPoint(profile->resistanceAt(t));
        sum.add(point.millivolts, point.milliamps, next - t);
        t = next;
    }
    return sum;
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
