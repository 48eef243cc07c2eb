#include "link/recordlayout.h"

#include "link/blockfields.h"

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

// The decoded reply's two header bytes come before a block's data.
constexpr int ReplyHeader = 2;

template <typename Block, std::size_t N>
bool TakeBlock(const QByteArray &reply, int payload, const std::array<BlockField<Block>, N> &fields,
               Block &block)
{
    if (!IsComplete(reply, payload))
        return false;
    for (const BlockField<Block> &field : fields) {
        const int at = ReplyHeader + field.offset;
        block.*field.member =
            field.wire == WireType::Signed16 ? Signed16(reply, at) : Unsigned16(reply, at);
    }
    return true;
}

template <typename Block, std::size_t N>
QByteArray PackBlock(int payload, const std::array<BlockField<Block>, N> &fields,
                     const Block &block)
{
    QByteArray data(payload, '\0');
    for (const BlockField<Block> &field : fields) {
        // The converter keeps its own counters; the panel never overwrites them.
        if (field.use != FieldUse::DeviceCounted)
            PutWord(data, field.offset, block.*field.member);
    }
    return data;
}

// Every data byte of a block belongs to exactly one field: as many words as the data holds, each
// on a word boundary inside it, no two at the same place.
template <typename Block, std::size_t N>
constexpr bool WordsTile(const std::array<BlockField<Block>, N> &fields, int payload)
{
    if (int(N) * 2 != payload)
        return false;
    for (std::size_t i = 0; i < N; ++i) {
        const int offset = fields[i].offset;
        if (offset < 0 || offset % 2 != 0 || offset + 2 > payload)
            return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (fields[j].offset == offset)
                return false;
        }
    }
    return true;
}

static_assert(WordsTile(CalibrationFields, CalibrationPayload));
static_assert(WordsTile(UserParamFields, UserParamsPayload));

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
    return TakeBlock(reply, CalibrationPayload, CalibrationFields, block);
}

bool TakeUserParams(const QByteArray &reply, UserParamBlock &block)
{
    return TakeBlock(reply, UserParamsPayload, UserParamFields, block);
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
    return PackBlock(CalibrationPayload, CalibrationFields, block);
}

QByteArray PackUserParams(const UserParamBlock &block)
{
    return PackBlock(UserParamsPayload, UserParamFields, block);
}

} // namespace RecordLayout
