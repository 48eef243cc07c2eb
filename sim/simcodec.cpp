// These lines repeat link/framecodec.cpp on purpose: the emulator keeps a codec of its own so
// that a fault in the panel's codec is not mirrored by the emulator that tests it.
#include "sim/simcodec.h"

namespace SimCodec {

namespace {

constexpr char Digits[] = "0123456789ABCDEF";

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

quint16 crcStep(quint16 crc, quint8 byte)
{
    crc ^= quint16(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    return crc;
}

quint16 crc16(const QByteArray &bytes, quint16 crc)
{
    for (char b : bytes)
        crc = crcStep(crc, quint8(b));
    return crc;
}

QByteArray withCrc(const QByteArray &bytes)
{
    const quint16 crc = crc16(bytes);
    QByteArray out = bytes;
    out.append(char(crc >> 8));
    out.append(char(crc & 0xFF));
    return out;
}

QByteArray toHex(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() * 2);
    for (char b : bytes) {
        out.append(Digits[quint8(b) >> 4]);
        out.append(Digits[quint8(b) & 0x0F]);
    }
    return out;
}

std::optional<QByteArray> fromHex(const QByteArray &text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    QByteArray out;
    out.reserve(text.size() / 2);
    for (int i = 0; i < text.size(); i += 2) {
        const int high = digitValue(text.at(i));
        const int low = digitValue(text.at(i + 1));
        if (high < 0 || low < 0)
            return std::nullopt;
        out.append(char(high * 16 + low));
    }
    return out;
}

QByteArray requestFrame(quint8 registerCode, quint8 operationCode, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(registerCode));
    bytes.append(char(operationCode));
    bytes.append(data);
    return RequestStart + toHex(withCrc(bytes)) + EndChar;
}

QByteArray replyLine(const QByteArray &headerAndPayload)
{
    return ReplyStart + toHex(withCrc(headerAndPayload)) + EndChar;
}

} // namespace SimCodec
