#include "sim/replyshaper.h"

#include "sim/simcodec.h"

namespace ReplyShaper {

namespace {

// Noise that could start or end a frame would no longer be noise.
QByteArray withoutFramingChars(QByteArray bytes)
{
    for (char c : {SimCodec::ReplyStart, SimCodec::RequestStart, SimCodec::EndChar})
        bytes.replace(c, "");
    return bytes;
}

} // namespace

QVector<Piece> shape(const QByteArray &headerAndPayload, const FaultSettings &faults)
{
    QByteArray bytes = SimCodec::withCrc(headerAndPayload);
    if (faults.badCrc)
        bytes[bytes.size() - 1] = char(bytes.at(bytes.size() - 1) ^ 0xFF);
    QByteArray hex = SimCodec::toHex(bytes);
    if (faults.lowerCase)
        hex = hex.toLower();
    if (faults.oddDigits)
        hex.chop(1);

    const QByteArray text = withoutFramingChars(faults.garbage) + SimCodec::ReplyStart + hex +
                            SimCodec::EndChar + faults.trailing;
    const int delay = qMax(0, faults.delayMs);
    if (faults.splitSize <= 0)
        return {{text, delay}};
    QVector<Piece> pieces;
    const int gap = qMax(0, faults.splitGapMs);
    for (int at = 0, index = 0; at < text.size(); at += faults.splitSize, ++index)
        pieces.append({text.mid(at, faults.splitSize), delay + index * gap});
    return pieces;
}

} // namespace ReplyShaper
