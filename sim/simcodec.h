#pragma once

#include <QByteArray>

#include <optional>

// The emulator's side of the wire format: upper-case hex pairs between a start character and
// CR, protected by CRC-16/CCITT-FALSE (high byte first).
namespace SimCodec {

constexpr char RequestStart = '#';
constexpr char ReplyStart = '^';
constexpr char EndChar = '\r';

quint16 crcStep(quint16 crc, quint8 byte);
quint16 crc16(const QByteArray &bytes, quint16 crc = 0xFFFF);
// The bytes followed by their CRC, high byte first.
QByteArray withCrc(const QByteArray &bytes);

QByteArray toHex(const QByteArray &bytes);
// Upper-case hex pairs only; nullopt for anything else, an odd count included.
std::optional<QByteArray> fromHex(const QByteArray &text);

// A complete request frame, start character to CR, as the panel would send it.
QByteArray requestFrame(quint8 registerCode, quint8 operationCode, const QByteArray &data = {});
// A complete reply line for header and payload: '^', hex of bytes and CRC, CR.
QByteArray replyLine(const QByteArray &headerAndPayload);

} // namespace SimCodec
