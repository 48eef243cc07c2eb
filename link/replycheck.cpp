#include "link/replycheck.h"

#include "link/deviceprotocol.h"
#include "link/framecodec.h"

namespace ReplyCheck {

LinkResult JudgeReadLine(const QByteArray &line, quint8 registerCode, quint8 minimum,
                         QByteArray &reply)
{
    const int count = FrameCodec::DecodeReply(line, reply);
    if (count <= 0 || count < minimum)
        return BadReply;
    if (FrameCodec::Crc16(reply) != 0)
        return BadReply;
    return quint8(reply.at(0)) == registerCode ? Success : BadReply;
}

bool IsReplyOfAnotherRegister(const QByteArray &line, quint8 registerCode)
{
    QByteArray reply;
    const int count = FrameCodec::DecodeReply(line, reply);
    // A register byte and a CRC at the least.
    return count >= 3 && FrameCodec::Crc16(reply) == 0 && quint8(reply.at(0)) != registerCode;
}

LinkResult JudgeWriteLine(const QByteArray &line)
{
    QByteArray reply;
    FrameCodec::DecodeReply(line, reply);
    return reply.size() >= 2 && quint8(reply.at(1)) == DeviceProtocol::AckCode ? Success : BadReply;
}

} // namespace ReplyCheck
