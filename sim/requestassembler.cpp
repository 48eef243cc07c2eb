#include "sim/requestassembler.h"

#include "sim/simcodec.h"

QVector<RequestAssembler::Frame> RequestAssembler::feed(const QByteArray &bytes)
{
    QVector<Frame> frames;
    for (char c : bytes) {
        if (c == SimCodec::RequestStart) {
            if (inFrame)
                frames.append({frame, false});
            frame = QByteArray(1, c);
            inFrame = true;
        } else if (!inFrame) {
            continue;
        } else if (c == SimCodec::EndChar) {
            frames.append({frame, true});
            reset();
        } else {
            frame.append(c);
            if (frame.size() >= MaxFrameLength) {
                frames.append({frame, false});
                reset();
            }
        }
    }
    return frames;
}

void RequestAssembler::reset()
{
    frame.clear();
    inFrame = false;
}
