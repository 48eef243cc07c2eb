#pragma once

#include <QtGlobal>

#include <cmath>
#include <memory>
#include <vector>

// The chart's samples in the order the log took them: running time in ms and the log's two raw
// numbers (voltage in mV, current in 0.1 mA), or a gap where a period brought no line. Times
// never decrease. The samples live in fixed blocks, 12 bytes each, so a week-long run neither
// doubles its memory on growing nor copies what it already has.
class SampleTrack
{
public:
    enum Channel
    {
        Voltage,
        Current,
    };

    // One entry; a gap has NaN values.
    struct Entry
    {
        qint64 timeMs = 0;
        float voltage = 0;
        float current = 0;
        bool IsGap() const { return std::isnan(voltage); }
        float Value(Channel channel) const { return channel == Voltage ? voltage : current; }
    };

    SampleTrack();
    ~SampleTrack();
    SampleTrack(const SampleTrack &) = delete;
    SampleTrack &operator=(const SampleTrack &) = delete;

    // A time earlier than the last one is taken as the last one, keeping the order.
    void Append(qint64 timeMs, qint64 voltage, qint64 current);
    void AppendGap(qint64 timeMs);
    void Clear();

    int Size() const { return count; }
    bool IsEmpty() const { return count == 0; }
    Entry At(int index) const;
    qint64 FirstTime() const;
    qint64 LastTime() const;
    // The first index whose time is not earlier than timeMs (Size() when there is none).
    int LowerBound(qint64 timeMs) const;
    // Calls visit(entry) for the entries from index `from` (inclusive) to `to` (exclusive), in
    // order, block by block.
    template <typename Visit> void ForEach(int from, int to, Visit &&visit) const;

    // What the samples take in memory, blocks and their index included.
    size_t MemoryBytes() const;

private:
    struct Block;
    void Add(qint64 timeMs, float voltage, float current);
    int BlockOf(int index) const;

    std::vector<std::unique_ptr<Block>> blocks;
    // Index of the first entry of each block.
    std::vector<int> blockStarts;
    int count = 0;
};

struct SampleTrack::Block
{
    // 4096 entries: 48 KiB a block, small enough to waste little in the last one.
    static constexpr int capacity = 4096;
    qint64 baseMs = 0;
    int used = 0;
    quint32 offsetMs[capacity];
    float voltage[capacity];
    float current[capacity];
};

template <typename Visit> void SampleTrack::ForEach(int from, int to, Visit &&visit) const
{
    from = qMax(from, 0);
    to = qMin(to, count);
    if (from >= to)
        return;
    for (int b = BlockOf(from); b < int(blocks.size()) && blockStarts[b] < to; ++b) {
        const Block &block = *blocks[b];
        const int first = qMax(from - blockStarts[b], 0);
        const int last = qMin(to - blockStarts[b], block.used);
        for (int i = first; i < last; ++i)
            visit(Entry{block.baseMs + block.offsetMs[i], block.voltage[i], block.current[i]});
    }
}
