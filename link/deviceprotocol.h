#pragma once

#include <QtGlobal>

// Register codes, operation codes and fixed values of the converter's command set.
namespace DeviceRegister {
constexpr quint8 Status = 0x01;
constexpr quint8 Setpoints = 0x03;
constexpr quint8 OutputSwitch = 0x07;
constexpr quint8 Adc = 0x10;
constexpr quint8 Calibration = 0xA8;
constexpr quint8 UserParams = 0xAB;
} // namespace DeviceRegister

namespace DeviceOperation {
constexpr quint8 Read = 0x01;
constexpr quint8 Write = 0x11;
} // namespace DeviceOperation

namespace DeviceProtocol {
constexpr quint8 AckCode = 0x1F;      // reply byte 1 of an accepted write
constexpr qint32 OutputOnWord = 7066; // output switch words
constexpr qint32 OutputOffWord = 0;
constexpr quint8 CommandTimeoutMs = 200;
} // namespace DeviceProtocol
