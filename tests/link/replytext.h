#pragma once

#include "link/framecodec.h"

#include <QByteArray>

// The reply line a converter would send for these bytes: '^', the bytes and their CRC in hex,
// then CR.
inline QByteArray ReplyText(const QByteArray &bytes)
{
    const quint16 crc = FrameCodec::Crc16(bytes);
    QByteArray text(1, FrameCodec::ReplyStart);
    for (const char byte : bytes)
        text += FrameCodec::HexByte(quint8(byte));
    text += FrameCodec::HexByte(quint8(crc >> 8));
    text += FrameCodec::HexByte(quint8(crc & 0xFF));
    return text + FrameCodec::EndChar;
}

// A decoded reply: header 01 08, then the payload, then its CRC.
inline QByteArray ReplyBytes(const QByteArray &payload)
{
    const QByteArray body = QByteArray::fromHex("0108") + payload;
    const quint16 crc = FrameCodec::Crc16(body);
    return body + char(crc >> 8) + char(crc & 0xFF);
}
