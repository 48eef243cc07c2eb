#include "remote/scpilinebuffer.h"

#include <QtGlobal>

#include <cstring>

ScpiLineBuffer::ScpiLineBuffer(int maxLineBytes, int capacity)
    : maxLineBytes(maxLineBytes), capacity(qMax(capacity, maxLineBytes + 2))
{
}

int ScpiLineBuffer::Room() const
{
    return capacity - Held();
}

int ScpiLineBuffer::Held() const
{
    return bytes.size() - start;
}

void ScpiLineBuffer::Append(const char *data, int size)
{
    Q_ASSERT(size <= Room() && !ended);
    bytes.remove(0, start);
    start = 0;
    bytes.append(data, size);
}

void ScpiLineBuffer::EndInput()
{
    ended = true;
}

bool ScpiLineBuffer::InputEnded() const
{
    return ended;
}

ScpiLineBuffer::Take ScpiLineBuffer::TakeLine(QByteArray &line)
{
    const char *first = bytes.constData() + start;
    // A line at the limit may still wait for its LF after its CR.
    const int searched = qMin(Held(), maxLineBytes + 2);
    const auto *lf = static_cast<const char *>(std::memchr(first, '\n', size_t(searched)));
    int length;
    if (lf) {
        length = int(lf - first);
    } else if (searched > maxLineBytes + 1) {
        return Take::TooLong;
    } else if (ended && Held() > 0) {
        length = Held();
    } else {
        return ended ? Take::End : Take::Wait;
    }
    const int taken = length + (lf ? 1 : 0);
    if (length > 0 && first[length - 1] == '\r')
        --length;
    if (length > maxLineBytes)
        return Take::TooLong;
    line = QByteArray(first, length);
    start += taken;
    return Take::Line;
}
