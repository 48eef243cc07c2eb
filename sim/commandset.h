#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

class ConverterModel;

// The converter's registers: turns one valid request into the reply's header and payload (the
// CRC is added by the caller). Read replies carry the register and the payload length as their
// header; write replies carry the register and AckCode, or NakCode when the data does not fit
// the register or writes are refused. Unknown registers and operations get no reply, like a bad
// frame.
namespace CommandSet {

enum Register : quint8
{
    StatusRegister = 0x01,
    SetpointRegister = 0x03,
    OutputSwitchRegister = 0x07,
    AdcRegister = 0x10,
    CalibrationRegister = 0xA8,
    UserParamRegister = 0xAB,
};

struct Answer
{
    QByteArray headerAndPayload;
    bool storedBlockChanged = false; // calibration or user parameters were written
};

// Refuse: every write to a writable register gets NakCode and changes nothing.
enum class Writes
{
    Accept,
    Refuse,
};

std::optional<Answer> answer(ConverterModel &model, quint8 registerCode, quint8 operationCode,
                             const QByteArray &data, qint64 nowMs, Writes writes = Writes::Accept);

// A short human-readable name for a register, for logs.
const char *registerName(quint8 registerCode);

} // namespace CommandSet
