#pragma once

#include <QByteArray>
#include <QVector>

// Cuts the received byte stream into request frames: '#' up to CR. Bytes outside a frame are
// noise and vanish; a '#' inside a frame starts over. A frame that grows past MaxFrameLength
// without a CR is given up and reported as it stands, so a flood can never grow the buffer.
class RequestAssembler
{
public:
    static constexpr int MaxFrameLength = 128;

    struct Frame
    {
        QByteArray text;       // from '#', without the CR
        bool complete = false; // false: cut short by a new '#' or the length limit
    };

    // The frames these bytes complete or cut short, in arrival order.
    QVector<Frame> feed(const QByteArray &bytes);
    void reset();

private:
    QByteArray frame;
    bool inFrame = false;
};
