#pragma once

#include <QByteArray>
#include <QtGlobal>

// The converter's framing as pure functions: hex encoding of requests, decoding of reply lines
// and the CRC-16/CCITT-FALSE that protects both.
namespace FrameCodec {

// Longest reply body a decoder accepts; the count travels in eight bits.
constexpr int MaxReplyBytes = 255;
// Longest reply line: the start, two digits a byte and the end character.
constexpr int MaxReplyLine = 2 + 2 * MaxReplyBytes;

// The characters that frame every request and reply; the digits between them are
// "0123456789ABCDEF", upper case only.
inline constexpr char RequestStart = '#';
inline constexpr char ReplyStart = '^';
inline constexpr char EndChar = '\r';

// One byte of CRC-16/CCITT-FALSE (polynomial 0x1021, no reflection, no final XOR).
quint16 Crc16Step(quint16 crc, quint8 byte);
// The CRC over all of bytes, from the initial value 0xFFFF.
quint16 Crc16(const QByteArray &bytes);

// Two upper-case hex digits, high nibble first.
QByteArray HexByte(quint8 byte);
// The CRC a request carries: over register, operation and data, in that order.
quint16 RequestCrc(quint8 registerCode, quint8 operationCode, const quint8 *data, quint8 count);
// The whole request frame as it appears on the wire.
QByteArray EncodeFrame(quint8 registerCode, quint8 operationCode, const quint8 *data, quint8 count);

// Decodes pair[0] and pair[1]; out is written only on success.
bool DecodeHexPair(const char *pair, quint8 &out);
// Number of bytes decoded from the first reply in line (0 to MaxReplyBytes), or -1 for a line
// without a reply start, with a character that is not a digit, an odd digit count or a body
// longer than MaxReplyBytes.
int DecodeReply(const QByteArray &line, QByteArray &out);

// Bounds a reply line being assembled (it starts at a reply start). A line that cannot end
// within MaxReplyLine characters is noise: it is dropped up to the next reply start in it, or
// whole. Returns whether anything was dropped.
bool DropOverlongLine(QByteArray &line);

// Removes the first complete line (up to and including its end character) and any noise up to
// the next reply start; line is left empty when no reply start follows.
void DropFirstLine(QByteArray &line);

} // namespace FrameCodec
