#include "remote/scpilinebuffer.h"

#include <QByteArray>
#include <QList>
#include <QVector>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// What a script's input frames as: its lines in order, each without its LF and a CR before it,
// the bytes after the last LF a line of their own, and nothing after the first line over the
// limit. Returns whether there is such a line.
bool ReferenceLines(const QByteArray &input, int maxLineBytes, QVector<QByteArray> &lines)
{
    QList<QByteArray> pieces = input.split('\n');
    if (pieces.last().isEmpty())
        pieces.removeLast();
    for (QByteArray line : pieces) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > maxLineBytes)
            return true;
        lines << line;
    }
    return false;
}

struct Pace
{
    int roundsBetweenTakes; // a reader that stalls for that many rounds
    int linesPerTake;
    int chunkBytes; // what the socket gives in one read, at most
};

} // namespace

// The first five bytes choose the limits and the pace; the rest is what a script sends. The
// buffer is filled in chunks of at most its room while lines are taken only now and then, as
// from a script that stops reading its answers: it never holds more than its capacity, a full
// buffer always has a line (or a line too long) to give, so reading can always resume, and what
// comes out is exactly the input's lines.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    const int maxLineBytes = 1 + data[0] % 24;
    const int capacity = maxLineBytes + 2 + data[1] % 48;
    const Pace pace{data[2] % 16, 1 + data[3] % 4, 1 + data[4]};
    const QByteArray input(reinterpret_cast<const char *>(data) + 5, int(size - 5));

    ScpiLineBuffer buffer(maxLineBytes, capacity);
    QVector<QByteArray> taken;
    bool tooLong = false;
    bool ended = false;
    int fed = 0;
    for (int round = 0; !ended && !tooLong; ++round) {
        if (fed < input.size()) {
            const int chunk = std::min({buffer.Room(), pace.chunkBytes, input.size() - fed});
            buffer.Append(input.constData() + fed, chunk);
            fed += chunk;
        } else if (!buffer.InputEnded()) {
            buffer.EndInput();
        }
        if (buffer.Held() > capacity || buffer.Room() < 0)
            std::abort();
        if (round % (pace.roundsBetweenTakes + 1) != 0)
            continue;
        QByteArray line;
        for (int i = 0; i < pace.linesPerTake; ++i) {
            const ScpiLineBuffer::Take take = buffer.TakeLine(line);
            if (take == ScpiLineBuffer::Take::Line) {
                taken << line;
                continue;
            }
            // A full buffer that waits for more would never be read again.
            if (take == ScpiLineBuffer::Take::Wait && buffer.Room() == 0)
                std::abort();
            tooLong = take == ScpiLineBuffer::Take::TooLong;
            ended = take == ScpiLineBuffer::Take::End;
            break;
        }
        // Every take round takes a line or ends, or finds none yet while bytes keep coming.
        if (round > 16 * (2 * input.size() + 4))
            std::abort();
    }

    QVector<QByteArray> expected;
    if (ReferenceLines(input, maxLineBytes, expected) != tooLong || taken != expected)
        std::abort();
    return 0;
}
