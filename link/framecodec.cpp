#include "link/framecodec.h"

namespace FrameCodec {

namespace {

constexpr int DigitCount = 16;

char Digit(const FramingChars &framing, int value)
{
    // A framing with too few digits cannot encode; a visible non-digit is better than a crash.
    return value < framing.digits.size() ? framing.digits.at(value) : '?';
}

int DigitValue(const FramingChars &framing, char c)
{
    const int index = framing.digits.indexOf(c);
    return index < DigitCount ? index : -1;
}

} // namespace

FramingChars DefaultFraming()
{
    return FramingChars{QByteArrayLiteral("0123456789ABCDEF"), '#', '^', '\r'};
}

quint16 Crc16Step(quint16 crc, quint8 byte)
{
    crc ^= quint16(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    return crc;
}

quint16 Crc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char byte : bytes)
        crc = Crc16Step(crc, quint8(byte));
    return crc;
}

QByteArray HexByte(const FramingChars &framing, quint8 byte)
{
    QByteArray pair(2, Qt::Uninitialized);
    pair[0] = Digit(framing, byte >> 4);
    pair[1] = Digit(framing, byte & 0x0F);
    return pair;
}

quint16 RequestCrc(quint8 registerCode, quint8 operationCode, const quint8 *data, quint8 count)
{
    quint16 crc = Crc16Step(Crc16Step(0xFFFF, registerCode), operationCode);
    for (int i = 0; i < count; ++i)
        crc = Crc16Step(crc, data[i]);
    return crc;
}

QByteArray EncodeFrame(const FramingChars &framing, quint8 registerCode, quint8 operationCode,
                       const quint8 *data, quint8 count)
{
    const quint16 crc = RequestCrc(registerCode, operationCode, data, count);
    QByteArray frame;
    frame.reserve(10 + 2 * count);
    frame.append(framing.requestStart);
    frame.append(HexByte(framing, registerCode));
    frame.append(HexByte(framing, operationCode));
    for (int i = 0; i < count; ++i)
        frame.append(HexByte(framing, data[i]));
    frame.append(HexByte(framing, quint8(crc >> 8)));
    frame.append(HexByte(framing, quint8(crc & 0xFF)));
    frame.append(framing.endChar);
    return frame;
}

bool DecodeHexPair(const FramingChars &framing, const char *pair, quint8 &out)
{
    const int high = DigitValue(framing, pair[0]);
    const int low = DigitValue(framing, pair[1]);
    if (high < 0 || low < 0)
        return false;
    out = quint8(high * DigitCount + low);
    return true;
}

int DecodeReply(const FramingChars &framing, const QByteArray &line, QByteArray &out)
{
    const int start = line.indexOf(framing.replyStart);
    if (start < 0)
        return -1;
    const int end = line.indexOf(framing.endChar, start + 1);
    out.clear();
    if (end < 0 || end == start + 1)
        return 0;
    // Each pair starts before the end character, so its second character is at most the end
    // character itself: an odd digit count fails on it instead of reading past the line.
    for (int i = start + 1; i < end; i += 2) {
        if (out.size() == MaxReplyBytes)
            return -1;
        quint8 byte = 0;
        if (!DecodeHexPair(framing, line.constData() + i, byte))
            return -1;
        out.append(char(byte));
    }
    return out.size();
}

bool DropOverlongLine(const FramingChars &framing, QByteArray &line)
{
    bool dropped = false;
    for (;;) {
        const int end = line.indexOf(framing.endChar);
        const bool overlong = end >= MaxReplyLine || (end < 0 && line.size() >= MaxReplyLine);
        if (!overlong)
            return dropped;
        dropped = true;
        const int next = line.indexOf(framing.replyStart, 1);
        if (next < 0) {
            line.clear();
            return true;
        }
        line.remove(0, next);
    }
}

void DropFirstLine(const FramingChars &framing, QByteArray &line)
{
    const int end = line.indexOf(framing.endChar);
    const int next = end < 0 ? -1 : line.indexOf(framing.replyStart, end + 1);
    if (next < 0)
        line.clear();
    else
        line.remove(0, next);
}

} // namespace FrameCodec
