#pragma once

#include <QtGlobal>

// The converter's register and operation codes as its frames carry them. Written down here from
// the protocol rather than taken from the link, so that a wrong code there is caught, not shared.
namespace Wire {

constexpr quint8 Read = 0x01;
constexpr quint8 Write = 0x11;

constexpr quint8 Status = 0x01;
constexpr quint8 Setpoints = 0x03;
constexpr quint8 OutputSwitch = 0x07;
constexpr quint8 Adc = 0x10;
constexpr quint8 Calibration = 0xA8;
constexpr quint8 UserParams = 0xAB;

} // namespace Wire
