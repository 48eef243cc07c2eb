#pragma once

// The bits of the answer to STAT:OPER:COND?, for the server and its clients.
namespace ScpiConditionBits {
constexpr int ConstantVoltage = 1;
constexpr int ConstantCurrent = 2;
// The output current is measured on the fine range, in tenths of a milliampere.
constexpr int FineCurrentRange = 4;
} // namespace ScpiConditionBits

// The bits of the answer to STAT:QUES:COND?, where SCPI's questionable status register has its
// voltage, current and power summaries: the protection of that kind has tripped and the trip is
// not yet cleared (OUTP:PROT:CLE or the window). At most one is set, since a trip holds the
// output off until it is cleared.
namespace ScpiQuestionableBits {
constexpr int OverVoltage = 1; // OVP
constexpr int OverCurrent = 2; // OCP
constexpr int OverPower = 8;   // OPP
} // namespace ScpiQuestionableBits
