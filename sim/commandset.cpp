#include "sim/commandset.h"

#include "sim/converteremulator.h"
#include "sim/convertermodel.h"

#include <initializer_list>

namespace CommandSet {

namespace {

void put16(QByteArray &out, qint32 value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

quint16 unsigned16(const QByteArray &data, int offset)
{
    return quint16(quint8(data.at(offset)) | (quint8(data.at(offset + 1)) << 8));
}

qint32 signed16(const QByteArray &data, int offset)
{
    return qint16(unsigned16(data, offset));
}

QByteArray readReply(quint8 registerCode, std::initializer_list<qint32> words,
                     std::initializer_list<qint32> tail = {})
{
    QByteArray payload;
    for (qint32 w : words)
        put16(payload, w);
    for (qint32 b : tail)
        payload.append(char(b));
    QByteArray out;
    out.append(char(registerCode));
    out.append(char(payload.size()));
    return out + payload;
}

QByteArray statusReply(const OutputStatus &s)
{
    // Four single bytes after the two words: range, CC, CV, on.
    return readReply(StatusRegister, {s.voltage, s.current},
                     {s.currentRange, s.ccMode, s.cvMode, s.outputOn});
}

QByteArray adcReply(const AdcReadings &a)
{
    return readReply(AdcRegister, {a.sdadcVoltage, a.sdadcCurrent, a.fineCurrent, a.inputVoltage,
                                   a.referenceVoltage, a.reserve});
}

QByteArray calibrationReply(const CalibrationBlock &c)
{
    return readReply(CalibrationRegister, {c.kuDacVolt, c.offDacVolt, c.kuDacCurr, c.offDacCurr,
                                           c.kuAdcVolt, c.offAdcVolt, c.kuAdcCurr, c.offAdcCurr,
                                           c.kuAdcCurrFine, c.offAdcCurrFine, c.rout});
}

QByteArray userParamReply(const UserParamBlock &u)
{
    return readReply(UserParamRegister, {u.nvpStatus, u.lifeCounter, u.currTrigStat, u.currTrigTime,
                                         u.ioutMax, u.uoutMax, u.poutMax, u.routUser,
                                         u.fanGainCurrent, u.fanDelay, u.fanDutyOff});
}

CalibrationBlock calibrationFrom(const QByteArray &d)
{
    CalibrationBlock c;
    c.kuDacVolt = unsigned16(d, 0);
    c.offDacVolt = signed16(d, 2);
    c.kuDacCurr = unsigned16(d, 4);
    c.offDacCurr = signed16(d, 6);
    c.kuAdcVolt = unsigned16(d, 8);
    c.offAdcVolt = signed16(d, 10);
    c.kuAdcCurr = unsigned16(d, 12);
    c.offAdcCurr = signed16(d, 14);
    c.kuAdcCurrFine = unsigned16(d, 16);
    c.offAdcCurrFine = signed16(d, 18);
    c.rout = unsigned16(d, 20);
    return c;
}

UserParamBlock userParamsFrom(const QByteArray &d)
{
    UserParamBlock u;
    qint32 *fields[] = {&u.nvpStatus,      &u.lifeCounter, &u.currTrigStat, &u.currTrigTime,
                        &u.ioutMax,        &u.uoutMax,     &u.poutMax,      &u.routUser,
                        &u.fanGainCurrent, &u.fanDelay,    &u.fanDutyOff};
    int offset = 0;
    for (qint32 *field : fields) {
        *field = unsigned16(d, offset);
        offset += 2;
    }
    return u;
}

QByteArray writeReply(quint8 registerCode, bool accepted)
{
    QByteArray out;
    out.append(char(registerCode));
    out.append(char(accepted ? ConverterEmulator::AckCode : ConverterEmulator::NakCode));
    return out;
}

std::optional<Answer> read(ConverterModel &model, quint8 registerCode, qint64 nowMs)
{
    switch (registerCode) {
    case StatusRegister:
        return Answer{statusReply(model.status(nowMs))};
    case SetpointRegister:
        return Answer{
            readReply(SetpointRegister, {model.setpoints().voltage, model.setpoints().current})};
    case AdcRegister:
        return Answer{adcReply(model.adc(nowMs))};
    case CalibrationRegister:
        return Answer{calibrationReply(model.calibration())};
    case UserParamRegister:
        return Answer{userParamReply(model.userParams(nowMs))};
    default:
        return std::nullopt;
    }
}

bool writable(quint8 registerCode)
{
    return registerCode == SetpointRegister || registerCode == OutputSwitchRegister ||
           registerCode == CalibrationRegister || registerCode == UserParamRegister;
}

// Expects a writable register.
Answer write(ConverterModel &model, quint8 registerCode, const QByteArray &data, qint64 nowMs)
{
    const Answer refused{writeReply(registerCode, false)};
    switch (registerCode) {
    case SetpointRegister:
        if (data.size() != 4)
            return refused;
        model.setSetpoints({unsigned16(data, 0), signed16(data, 2)}, nowMs);
        return Answer{writeReply(registerCode, true)};
    case OutputSwitchRegister: {
        if (data.size() != 2)
            return refused;
        // Only the two documented words mean anything; others are refused, not guessed at.
        const quint16 word = unsigned16(data, 0);
        if (word != ConverterEmulator::OutputOnWord && word != 0)
            return refused;
        model.setOutputOn(word == ConverterEmulator::OutputOnWord, nowMs);
        return Answer{writeReply(registerCode, true)};
    }
    case CalibrationRegister:
        if (data.size() != 22)
            return refused;
        model.setCalibration(calibrationFrom(data));
        return Answer{writeReply(registerCode, true), true};
    default: // UserParamRegister
        if (data.size() != 22)
            return refused;
        model.writeUserParams(userParamsFrom(data));
        return Answer{writeReply(registerCode, true), true};
    }
}

} // namespace

std::optional<Answer> answer(ConverterModel &model, quint8 registerCode, quint8 operationCode,
                             const QByteArray &data, qint64 nowMs, Writes writes)
{
    if (operationCode == ConverterEmulator::ReadOperation)
        return data.isEmpty() ? read(model, registerCode, nowMs) : std::nullopt;
    if (operationCode != ConverterEmulator::WriteOperation || !writable(registerCode))
        return std::nullopt;
    if (writes == Writes::Refuse)
        return Answer{writeReply(registerCode, false)};
    return write(model, registerCode, data, nowMs);
}

const char *registerName(quint8 registerCode)
{
    switch (registerCode) {
    case StatusRegister:
        return "status";
    case SetpointRegister:
        return "setpoints";
    case OutputSwitchRegister:
        return "output switch";
    case AdcRegister:
        return "ADC";
    case CalibrationRegister:
        return "calibration";
    case UserParamRegister:
        return "user parameters";
    default:
        return "unknown register";
    }
}

} // namespace CommandSet
