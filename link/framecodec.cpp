#include "link/framecodec.h"

namespace FrameCodec {

namespace {

constexpr char Digits[] = "0123456789ABCDEF";
constexpr int DigitCount = 16;

// Lower-case digits are not the converter's and do not decode.
int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

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

QByteArray HexByte(quint8 byte)
{
    QByteArray pair(2, Qt::Uninitialized);
    pair[0] = Digits[byte >> 4];
    pair[1] = Digits[byte & 0x0F];
    return pair;
}

quint16 RequestCrc(quint8 registerCode, quint8 operationCode, const quint8 *data, quint8 count)
{
    quint16 crc = Crc16Step(Crc16Step(0xFFFF, registerCode), operationCode);
    for (int i = 0; i < count; ++i)
        crc = Crc16Step(crc, data[i]);
    return crc;
}

QByteArray EncodeFrame(quint8 registerCode, quint8 operationCode, const quint8 *data, quint8 count)
{
    const quint16 crc = RequestCrc(registerCode, operationCode, data, count);
    QByteArray frame;
    frame.reserve(10 + 2 * count);
    frame.append(RequestStart);
    frame.append(HexByte(registerCode));
    frame.append(HexByte(operationCode));
    for (int i = 0; i < count; ++i)
        frame.append(HexByte(data[i]));
    frame.append(HexByte(quint8(crc >> 8)));
    frame.append(HexByte(quint8(crc & 0xFF)));
    frame.append(EndChar);
    return frame;
}

bool DecodeHexPair(const char *pair, quint8 &out)
{
    const int high = DigitValue(pair[0]);
    const int low = DigitValue(pair[1]);
    if (high < 0 || low < 0)
        return false;
    out = quint8(high * DigitCount + low);
    return true;
}

int DecodeReply(const QByteArray &line, QByteArray &out)
{
    const int start = line.indexOf(ReplyStart);
    if (start < 0)
        return -1;
    const int end = line.indexOf(EndChar, start + 1);
    out.clear();
    if (end < 0 || end == start + 1)
        return 0;
    // Each pair starts before the end character, so its second character is at most the end
    // character itself: an odd digit count fails on it instead of reading past the line.
    for (int i = start + 1; i < end; i += 2) {
        if (out.size() == MaxReplyBytes)
            return -1;
        quint8 byte = 0;
        if (!DecodeHexPair(line.constData() + i, byte))
            return -1;
        out.append(char(byte));
    }
    return out.size();
}

bool DropOverlongLine(QByteArray &line)
{
    bool dropped = false;
    for (;;) {
        const int end = line.indexOf(EndChar);
        const bool overlong = end >= MaxReplyLine || (end < 0 && line.size() >= MaxReplyLine);
        if (!overlong)
            return dropped;
        dropped = true;
        const int next = line.indexOf(ReplyStart, 1);
        if (next < 0) {
            line.clear();
            return true;
        }
        line.remove(0, next);
    }
}

void DropFirstLine(QByteArray &line)
{
    const int end = line.indexOf(EndChar);
    const int next = end < 0 ? -1 : line.indexOf(ReplyStart, end + 1);
    if (next < 0)
        line.clear();
    else
        line.remove(0, next);
}

} // namespace FrameCodec
