#include "link/framecodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Any bytes from the serial line, decoded as a reply line: the decoder must stay inside the
// line, keep its count in range and agree with the bytes it hands back. The same bytes as a
// line being assembled must come out of the length bound as a tail of themselves that can
// still end in time.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), int(size));

    QByteArray out = "untouched";
    const int count = FrameCodec::DecodeReply(line, out);
    if (count < -1 || count > FrameCodec::MaxReplyBytes)
        std::abort();
    if (count >= 0 && out.size() != count)
        std::abort();
    if (!line.contains(FrameCodec::ReplyStart) && out != "untouched")
        std::abort();
    // A successful decode re-encodes to the body it came from.
    if (count > 0) {
        QByteArray body;
        for (const char byte : out)
            body += FrameCodec::HexByte(quint8(byte));
        const int start = line.indexOf(FrameCodec::ReplyStart) + 1;
        if (line.mid(start, body.size()) != body || line.at(start + body.size()) != '\r')
            std::abort();
    }

    if (size >= 2) {
        quint8 byte = 0x5A;
        const bool ok = FrameCodec::DecodeHexPair(line.constData(), byte);
        if (!ok && byte != 0x5A)
            std::abort();
        if (ok && FrameCodec::HexByte(byte) != line.left(2))
            std::abort();
    }
    if (line.startsWith(FrameCodec::ReplyStart)) {
        QByteArray bounded = line;
        const bool dropped = FrameCodec::DropOverlongLine(bounded);
        if (!line.endsWith(bounded) || dropped == (bounded == line))
            std::abort();
        if (!bounded.isEmpty() && !bounded.startsWith(FrameCodec::ReplyStart))
            std::abort();
        const int end = bounded.indexOf(FrameCodec::EndChar);
        if (end >= FrameCodec::MaxReplyLine ||
            (end < 0 && bounded.size() >= FrameCodec::MaxReplyLine))
            std::abort();
    }
    return 0;
}
