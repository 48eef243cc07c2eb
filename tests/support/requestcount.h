#pragma once

#include "sim/emulatorrequest.h"

#include <QVector>

class ConverterEmulator;

// The emulator's request log, read by register and operation (tests/support/wire.h).

// The well-formed requests of this register and operation, in the order they came.
QVector<EmulatorRequest> RequestsFor(const ConverterEmulator &emulator, quint8 reg,
                                     quint8 operation);
int CountFor(const ConverterEmulator &emulator, quint8 reg, quint8 operation);
// The poll's reads: status and ADC.
int PollReads(const ConverterEmulator &emulator);
