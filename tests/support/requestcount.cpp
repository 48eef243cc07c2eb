#include "tests/support/requestcount.h"

#include "sim/converteremulator.h"
#include "tests/support/wire.h"

QVector<EmulatorRequest> RequestsFor(const ConverterEmulator &emulator, quint8 reg,
                                     quint8 operation)
{
    QVector<EmulatorRequest> matching;
    for (const EmulatorRequest &request : emulator.requests()) {
        if (request.parsed && request.registerCode == reg && request.operationCode == operation)
            matching << request;
    }
    return matching;
}

int CountFor(const ConverterEmulator &emulator, quint8 reg, quint8 operation)
{
    return RequestsFor(emulator, reg, operation).size();
}

int PollReads(const ConverterEmulator &emulator)
{
    return CountFor(emulator, Wire::Status, Wire::Read) + CountFor(emulator, Wire::Adc, Wire::Read);
}
