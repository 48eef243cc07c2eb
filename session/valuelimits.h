#pragma once

#include "link/devicerecords.h"

#include <QtGlobal>

#include <array>

// What the panel lets an operator give the converter: the ranges of its spin boxes, in one place
// for every front end. The window's form carries the same numbers, and a test holds it to them.

struct DecimalRange
{
    double minimum = 0;
    double maximum = 0;
    int decimals = 0; // the box's resolution: digits after the point
};

struct IntegerRange
{
    qint32 minimum = 0;
    qint32 maximum = 0;
};

namespace ValueLimits {
constexpr DecimalRange SetpointVolts{0.01, 30.0, 2};
constexpr DecimalRange SetpointAmps{0.005, 9.999, 3};

constexpr IntegerRange Gain{800, 1200};
constexpr IntegerRange Offset{-200, 200};
constexpr IntegerRange FineOffset{-900, 900};
constexpr IntegerRange Rout{0, 10};
} // namespace ValueLimits

// One field of a calibration or user-parameter block: its name (the record member's, also the
// key in block files), where it lives in the record and the range of its box. `sent` is false
// for the life counter, which the converter counts itself: a write carries 0 in its place.
template <typename Block> struct BlockField
{
    const char *name;
    qint32 Block::*member;
    IntegerRange range;
    bool sent = true;
};

// In record order.
inline constexpr std::array<BlockField<CalibrationBlock>, 11> CalibrationFields{{
    {"kuDacVolt", &CalibrationBlock::kuDacVolt, ValueLimits::Gain},
    {"kuAdcVolt", &CalibrationBlock::kuAdcVolt, ValueLimits::Gain},
    {"kuDacCurr", &CalibrationBlock::kuDacCurr, ValueLimits::Gain},
    {"kuAdcCurr", &CalibrationBlock::kuAdcCurr, ValueLimits::Gain},
    {"kuAdcCurrFine", &CalibrationBlock::kuAdcCurrFine, ValueLimits::Gain},
    {"offDacVolt", &CalibrationBlock::offDacVolt, ValueLimits::Offset},
    {"offAdcVolt", &CalibrationBlock::offAdcVolt, ValueLimits::Offset},
    {"offDacCurr", &CalibrationBlock::offDacCurr, ValueLimits::Offset},
    {"offAdcCurr", &CalibrationBlock::offAdcCurr, ValueLimits::Offset},
    {"offAdcCurrFine", &CalibrationBlock::offAdcCurrFine, ValueLimits::FineOffset},
    {"rout", &CalibrationBlock::rout, ValueLimits::Rout},
}};

inline constexpr std::array<BlockField<UserParamBlock>, 11> UserParamFields{{
    {"nvpStatus", &UserParamBlock::nvpStatus, {0, 1}},
    {"lifeCounter", &UserParamBlock::lifeCounter, {0, 10000}, false},
    {"currTrigStat", &UserParamBlock::currTrigStat, {0, 1}},
    {"currTrigTime", &UserParamBlock::currTrigTime, {0, 2000}},
    {"ioutMax", &UserParamBlock::ioutMax, {1000, 9999}},
    {"uoutMax", &UserParamBlock::uoutMax, {10000, 30000}},
    {"poutMax", &UserParamBlock::poutMax, {100, 300}},
    {"routUser", &UserParamBlock::routUser, {0, 200}},
    {"fanGainCurrent", &UserParamBlock::fanGainCurrent, {50, 250}},
    {"fanDelay", &UserParamBlock::fanDelay, {3, 30}},
    {"fanDutyOff", &UserParamBlock::fanDutyOff, {0, 600}},
}};
