#pragma once

#include "link/blockfields.h"

#include <array>
#include <cstddef>

// The object names of the service pages' spin boxes, one per field, in the order of the block's
// field table. They are the forms' names as earlier releases shipped them, typo and all
// ("spinBoxKuAdcCurrFune").
struct FieldBox
{
    const char *field; // the field's name in its table
    const char *box;
};

inline constexpr std::array<FieldBox, CalibrationFields.size()> CalibrationBoxes{{
    {"kuDacVolt", "spinBoxKuDacVolt"},
    {"kuAdcVolt", "spinBoxKuAdcVolt"},
    {"kuDacCurr", "spinBoxKuDacCurr"},
    {"kuAdcCurr", "spinBoxKuAdcCurr"},
    {"kuAdcCurrFine", "spinBoxKuAdcCurrFune"},
    {"offDacVolt", "spinBoxOffDacVolt"},
    {"offAdcVolt", "spinBoxOffAdcVolt"},
    {"offDacCurr", "spinBoxOffDacCurr"},
    {"offAdcCurr", "spinBoxOffAdcCurr"},
    {"offAdcCurrFine", "spinBoxOffAdcCurrFine"},
    {"rout", "spinBoxRout"},
}};

inline constexpr std::array<FieldBox, UserParamFields.size()> UserParamBoxes{{
    {"nvpStatus", "spinBoxNVPstatus"},
    {"lifeCounter", "spinBoxLifeCounter"},
    {"currTrigStat", "spinBoxCurrTrigStat"},
    {"currTrigTime", "spinBoxCurrTrigTime"},
    {"ioutMax", "spinBoxIoutMax"},
    {"uoutMax", "spinBoxUoutMax"},
    {"poutMax", "spinBoxPoutMax"},
    {"routUser", "spinBoxRoutUser"},
    {"fanGainCurrent", "spinBoxFanGainCurrent"},
    {"fanDelay", "spinBoxFanDelay"},
    {"fanDutyOff", "spinBoxFanDutyOff"},
}};

// The boxes of a block's page, by the block's type.
template <typename Block> constexpr const auto &BoxesOf();
template <> constexpr const auto &BoxesOf<CalibrationBlock>()
{
    return CalibrationBoxes;
}
template <> constexpr const auto &BoxesOf<UserParamBlock>()
{
    return UserParamBoxes;
}

namespace BlockBoxesCheck {

constexpr bool SameName(const char *a, const char *b)
{
    if (a == nullptr || b == nullptr)
        return false;
    for (; *a != '\0' && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

template <typename Block, std::size_t N>
constexpr bool InFieldOrder(const std::array<FieldBox, N> &boxes,
                            const std::array<BlockField<Block>, N> &fields)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (!SameName(boxes[i].field, fields[i].name) || boxes[i].box == nullptr)
            return false;
    }
    return true;
}

} // namespace BlockBoxesCheck

// A box missing from a list, or one out of the fields' order, stops the build.
static_assert(BlockBoxesCheck::InFieldOrder(CalibrationBoxes, CalibrationFields));
static_assert(BlockBoxesCheck::InFieldOrder(UserParamBoxes, UserParamFields));
