#include "link/deviceprotocol.h"
#include "link/devicerecords.h"
#include "link/framecodec.h"
#include "link/recordlayout.h"
#include "link/replycheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>

namespace {

// Runs one typed read's judging on line: the transaction's checks, then the exact-length rule
// and field extraction. Returns the decoded reply when the record was filled.
bool ReadAs(const QByteArray &line, quint8 registerCode, int payload,
            const std::function<bool(const QByteArray &)> &take, QByteArray &reply)
{
    if (ReplyCheck::JudgeReadLine(line, registerCode, quint8(RecordLayout::MinimumReply(payload)),
                                  reply) != Success)
        return false;
    if (FrameCodec::Crc16(reply) != 0 || reply.size() < RecordLayout::MinimumReply(payload) ||
        quint8(reply.at(0)) != registerCode)
        std::abort();
    const bool taken = take(reply);
    if (taken != (reply.size() == RecordLayout::CompleteReply(payload)))
        std::abort();
    return taken;
}

void CheckPacksBack(const QByteArray &reply, const QByteArray &packed)
{
    if (packed != reply.mid(2, packed.size()))
        std::abort();
}

// The read's pass over late replies of other registers: every step must shorten the line and
// leave it empty or at a reply start, and a line passed over is never this register's reply.
void PassOverLateReplies(QByteArray line, quint8 registerCode)
{
    QByteArray reply;
    while (ReplyCheck::IsReplyOfAnotherRegister(line, registerCode)) {
        if (ReplyCheck::JudgeReadLine(line, registerCode, 1, reply) == Success)
            std::abort();
        const int before = line.size();
        FrameCodec::DropFirstLine(line);
        if (line.size() >= before || (!line.isEmpty() && line.at(0) != FrameCodec::ReplyStart))
            std::abort();
    }
}

} // namespace

// Any bytes from the serial line, taken as the reply to each of the five reads and to a write.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), int(size));
    QByteArray reply;

    OutputStatus status;
    ReadAs(
        line, DeviceRegister::Status, RecordLayout::StatusPayload,
        [&](const QByteArray &r) { return RecordLayout::TakeStatus(r, status); }, reply);

    AdcReadings adc;
    ReadAs(
        line, DeviceRegister::Adc, RecordLayout::AdcPayload,
        [&](const QByteArray &r) { return RecordLayout::TakeAdc(r, adc); }, reply);

    Setpoints setpoints;
    if (ReadAs(
            line, DeviceRegister::Setpoints, RecordLayout::SetpointsPayload,
            [&](const QByteArray &r) { return RecordLayout::TakeSetpoints(r, setpoints); }, reply))
        CheckPacksBack(reply, RecordLayout::PackSetpoints(setpoints));

    CalibrationBlock calibration;
    if (ReadAs(
            line, DeviceRegister::Calibration, RecordLayout::CalibrationPayload,
            [&](const QByteArray &r) { return RecordLayout::TakeCalibration(r, calibration); },
            reply))
        CheckPacksBack(reply, RecordLayout::PackCalibration(calibration));

    UserParamBlock user;
    if (ReadAs(
            line, DeviceRegister::UserParams, RecordLayout::UserParamsPayload,
            [&](const QByteArray &r) { return RecordLayout::TakeUserParams(r, user); }, reply)) {
        QByteArray expected = reply.mid(2, RecordLayout::UserParamsPayload);
        expected[2] = expected[3] = '\0'; // the life counter is never written back
        if (RecordLayout::PackUserParams(user) != expected)
            std::abort();
    }

    PassOverLateReplies(line, DeviceRegister::Status);

    const LinkResult write = ReplyCheck::JudgeWriteLine(line);
    if (write != Success && write != BadReply)
        std::abort();
    return 0;
}
