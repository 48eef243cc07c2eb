#pragma once

#include "link/devicerecords.h"

#include <QtGlobal>

#include <array>

// The calibration and user-parameter blocks, field by field, for every layer that handles them:
// the wire layout, block files and the window's service pages (whose boxes are named in
// app/blockboxes.h). A field is changed here only.

struct IntegerRange
{
    qint32 minimum = 0;
    qint32 maximum = 0;
};

// How a field's 16-bit word on the wire widens to the record's 32 bits.
enum class WireType
{
    Unsigned16,
    Signed16,
};

enum class FieldUse
{
    // Edited on its page; what the box holds is sent.
    Edited,
    // Shown on its page as last read, never taken from the box: the record as read is sent.
    ShownAsRead,
    // Counted by the converter itself: shown, never taken from the box, sent as 0. A block file
    // must still give it as an integer, but its range is not checked.
    DeviceCounted,
};

template <typename Block> struct BlockField
{
    const char *name; // the record member's; also its key in block files
    qint32 Block::*member;
    int offset; // in a write's data bytes; a read reply has two header bytes before them
    WireType wire;
    IntegerRange range; // its box's on the page, and what a block file may give
    FieldUse use;
};

namespace BlockRanges {
constexpr IntegerRange Gain{800, 1200};
constexpr IntegerRange Offset{-200, 200};
constexpr IntegerRange FineOffset{-900, 900};
constexpr IntegerRange Rout{0, 10};
} // namespace BlockRanges

// Both in record order, so that whatever lists fields or their problems keeps that order. On the
// wire the calibration block pairs each gain with its offset instead.
inline constexpr std::array<BlockField<CalibrationBlock>, 11> CalibrationFields{{
    {"kuDacVolt", &CalibrationBlock::kuDacVolt, 0, WireType::Unsigned16, BlockRanges::Gain,
     FieldUse::Edited},
    {"kuAdcVolt", &CalibrationBlock::kuAdcVolt, 8, WireType::Unsigned16, BlockRanges::Gain,
     FieldUse::Edited},
    {"kuDacCurr", &CalibrationBlock::kuDacCurr, 4, WireType::Unsigned16, BlockRanges::Gain,
     FieldUse::Edited},
    {"kuAdcCurr", &CalibrationBlock::kuAdcCurr, 12, WireType::Unsigned16, BlockRanges::Gain,
     FieldUse::Edited},
    {"kuAdcCurrFine", &CalibrationBlock::kuAdcCurrFine, 16, WireType::Unsigned16, BlockRanges::Gain,
     FieldUse::ShownAsRead},
    {"offDacVolt", &CalibrationBlock::offDacVolt, 2, WireType::Signed16, BlockRanges::Offset,
     FieldUse::Edited},
    {"offAdcVolt", &CalibrationBlock::offAdcVolt, 10, WireType::Signed16, BlockRanges::Offset,
     FieldUse::Edited},
    {"offDacCurr", &CalibrationBlock::offDacCurr, 6, WireType::Signed16, BlockRanges::Offset,
     FieldUse::Edited},
    {"offAdcCurr", &CalibrationBlock::offAdcCurr, 14, WireType::Signed16, BlockRanges::Offset,
     FieldUse::Edited},
    {"offAdcCurrFine", &CalibrationBlock::offAdcCurrFine, 18, WireType::Signed16,
     BlockRanges::FineOffset, FieldUse::ShownAsRead},
    {"rout", &CalibrationBlock::rout, 20, WireType::Unsigned16, BlockRanges::Rout,
     FieldUse::Edited},
}};

inline constexpr std::array<BlockField<UserParamBlock>, 11> UserParamFields{{
    {"nvpStatus", &UserParamBlock::nvpStatus, 0, WireType::Unsigned16, {0, 1}, FieldUse::Edited},
    {"lifeCounter",
     &UserParamBlock::lifeCounter,
     2,
     WireType::Unsigned16,
     {0, 10000},
     FieldUse::DeviceCounted},
    {"currTrigStat",
     &UserParamBlock::currTrigStat,
     4,
     WireType::Unsigned16,
     {0, 1},
     FieldUse::Edited},
    {"currTrigTime",
     &UserParamBlock::currTrigTime,
     6,
     WireType::Unsigned16,
     {0, 2000},
     FieldUse::Edited},
    {"ioutMax", &UserParamBlock::ioutMax, 8, WireType::Unsigned16, {1000, 9999}, FieldUse::Edited},
    {"uoutMax",
     &UserParamBlock::uoutMax,
     10,
     WireType::Unsigned16,
     {10000, 30000},
     FieldUse::Edited},
    {"poutMax", &UserParamBlock::poutMax, 12, WireType::Unsigned16, {100, 300}, FieldUse::Edited},
    {"routUser", &UserParamBlock::routUser, 14, WireType::Unsigned16, {0, 200}, FieldUse::Edited},
    {"fanGainCurrent",
     &UserParamBlock::fanGainCurrent,
     16,
     WireType::Unsigned16,
     {50, 250},
     FieldUse::Edited},
    {"fanDelay", &UserParamBlock::fanDelay, 18, WireType::Unsigned16, {3, 30}, FieldUse::Edited},
    {"fanDutyOff",
     &UserParamBlock::fanDutyOff,
     20,
     WireType::Unsigned16,
     {0, 600},
     FieldUse::Edited},
}};
