#pragma once

// The bits of the answer to STAT:OPER:COND?, for the server and its clients.
namespace ScpiConditionBits {
constexpr int ConstantVoltage = 1;
constexpr int ConstantCurrent = 2;
// The output current is measured on the fine range, in tenths of a milliampere.
constexpr int FineCurrentRange = 4;
} // namespace ScpiConditionBits
