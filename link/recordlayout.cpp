#include "link/recordlayout.h"

namespace RecordLayout {

namespace {

quint16 Word(const QByteArray &reply, int offset)
{
    return quint16(quint8(reply.at(offset)) | quint8(reply.at(offset + 1)) << 8);
}

qint32 Unsigned16(const QByteArray &reply, int offset)
{
    return Word(reply, offset);
}
qint32 Signed16(const QByteArray &reply, int offset)
{
    return qint16(Word(reply, offset));
}
qint32 Byte(const QByteArray &reply, int offset)
{
    return quint8(reply.at(offset));
}

void PutWord(QByteArray &data, int offset, qint32 value)
{
    data[offset] = char(value & 0xFF);
    data[offset + 1] = char((value >> 8) & 0xFF);
}

bool IsComplete(const QByteArray &reply, int payload)
{
    return reply.size() == CompleteReply(payload);
}

} // namespace

bool TakeStatus(const QByteArray &reply, OutputStatus &status)
{
    if (!IsComplete(reply, StatusPayload))
        return false;
    status.voltage = Unsigned16(reply, 2);
    status.current = Signed16(reply, 4);
    status.currentRange = Byte(reply, 6);
    status.ccMode = Byte(reply, 7);
    status.cvMode = Byte(reply, 8);
    status.outputOn = Byte(reply, 9);
    return true;
}

bool TakeAdc(const QByteArray &reply, AdcReadings &adc)
{
    if (!IsComplete(reply, AdcPayload))
        return false;
    adc.sdadcVoltage = Unsigned16(reply, 2);
    adc.sdadcCurrent = Unsigned16(reply, 4);
    adc.fineCurrent = Unsigned16(reply, 6);
    adc.inputVoltage = Unsigned16(reply, 8);
    adc.referenceVoltage = Unsigned16(reply, 10);
    adc.reserve = Unsigned16(reply, 12);
    return true;
}

bool TakeSetpoints(const QByteArray &reply, Setpoints &setpoints)
{
    if (!IsComplete(reply, SetpointsPayload))
        return false;
    setpoints.voltage = Unsigned16(reply, 2);
    setpoints.current = Signed16(reply, 4);
    return true;
}

bool TakeCalibration(const QByteArray &reply, CalibrationBlock &block)
{
    if (!IsComplete(reply, CalibrationPayload))
        return false;
    block.kuDacVolt = Unsigned16(reply, 2);
    block.offDacVolt = Signed16(reply, 4);
    block.kuDacCurr = Unsigned16(reply, 6);
    block.offDacCurr = Signed16(reply, 8);
    block.kuAdcVolt = Unsigned16(reply, 10);
    block.offAdcVolt = Signed16(reply, 12);
    block.kuAdcCurr = Unsigned16(reply, 14);
    block.offAdcCurr = Signed16(reply, 16);
    block.kuAdcCurrFine = Unsigned16(reply, 18);
    block.offAdcCurrFine = Signed16(reply, 20);
    block.rout = Unsigned16(reply, 22);
    return true;
}

bool TakeUserParams(const QByteArray &reply, UserParamBlock &block)
{
    if (!IsComplete(reply, UserParamsPayload))
        return false;
    block.nvpStatus = Unsigned16(reply, 2);
    block.lifeCounter = Unsigned16(reply, 4);
    block.currTrigStat = Unsigned16(reply, 6);
    block.currTrigTime = Unsigned16(reply, 8);
    block.ioutMax = Unsigned16(reply, 10);
    block.uoutMax = Unsigned16(reply, 12);
    block.poutMax = Unsigned16(reply, 14);
    block.routUser = Unsigned16(reply, 16);
    block.fanGainCurrent = Unsigned16(reply, 18);
    block.fanDelay = Unsigned16(reply, 20);
    block.fanDutyOff = Unsigned16(reply, 22);
    return true;
}

QByteArray PackSetpoints(const Setpoints &setpoints)
{
    QByteArray data(SetpointsPayload, '\0');
    PutWord(data, 0, setpoints.voltage);
    PutWord(data, 2, setpoints.current);
    return data;
}

QByteArray PackOutputWord(qint32 word)
{
    QByteArray data(2, '\0');
    PutWord(data, 0, word);
    return data;
}

QByteArray PackCalibration(const CalibrationBlock &block)
{
    QByteArray data(CalibrationPayload, '\0');
    PutWord(data, 0, block.kuDacVolt);
    PutWord(data, 2, block.offDacVolt);
    PutWord(data, 4, block.kuDacCurr);
    PutWord(data, 6, block.offDacCurr);
    PutWord(data, 8, block.kuAdcVolt);
    PutWord(data, 10, block.offAdcVolt);
    PutWord(data, 12, block.kuAdcCurr);
    PutWord(data, 14, block.offAdcCurr);
    PutWord(data, 16, block.kuAdcCurrFine);
    PutWord(data, 18, block.offAdcCurrFine);
    PutWord(data, 20, block.rout);
    return data;
}

QByteArray PackUserParams(const UserParamBlock &block)
{
    QByteArray data(UserParamsPayload, '\0');
    PutWord(data, 0, block.nvpStatus);
    // The converter keeps its own life counter; the panel never overwrites it.
    PutWord(data, 4, block.currTrigStat);
    PutWord(data, 6, block.currTrigTime);
    PutWord(data, 8, block.ioutMax);
    PutWord(data, 10, block.uoutMax);
    PutWord(data, 12, block.poutMax);
    PutWord(data, 14, block.routUser);
    PutWord(data, 16, block.fanGainCurrent);
    PutWord(data, 18, block.fanDelay);
    PutWord(data, 20, block.fanDutyOff);
    return data;
}

} // namespace RecordLayout
