#include "chart/sampletrack.h"

#include <algorithm>
#include <limits>

SampleTrack::SampleTrack() = default;
SampleTrack::~SampleTrack() = default;

void SampleTrack::Append(qint64 timeMs, qint64 voltage, qint64 current)
{
    Add(timeMs, float(voltage), float(current));
}

void SampleTrack::AppendGap(qint64 timeMs)
{
    const float none = std::numeric_limits<float>::quiet_NaN();
    Add(timeMs, none, none);
}

void SampleTrack::Add(qint64 timeMs, float voltage, float current)
{
    if (count > 0)
        timeMs = qMax(timeMs, LastTime());
    const bool needsBlock = blocks.empty() || blocks.back()->used == Block::capacity ||
                            timeMs - blocks.back()->baseMs > qint64(UINT32_MAX);
    if (needsBlock) {
        blocks.push_back(std::make_unique<Block>());
        blocks.back()->baseMs = timeMs;
        blockStarts.push_back(count);
    }
    Block &block = *blocks.back();
    block.offsetMs[block.used] = quint32(timeMs - block.baseMs);
    block.voltage[block.used] = voltage;
    block.current[block.used] = current;
    ++block.used;
    ++count;
}

void SampleTrack::Clear()
{
    blocks.clear();
    blocks.shrink_to_fit();
    blockStarts.clear();
    blockStarts.shrink_to_fit();
    count = 0;
}

int SampleTrack::BlockOf(int index) const
{
    const auto after = std::upper_bound(blockStarts.begin(), blockStarts.end(), index);
    return int(after - blockStarts.begin()) - 1;
}

SampleTrack::Entry SampleTrack::At(int index) const
{
    Entry entry;
    if (index < 0 || index >= count)
        return entry;
    const int b = BlockOf(index);
    const Block &block = *blocks[b];
    const int i = index - blockStarts[b];
    entry.timeMs = block.baseMs + block.offsetMs[i];
    entry.voltage = block.voltage[i];
    entry.current = block.current[i];
    return entry;
}

qint64 SampleTrack::FirstTime() const
{
    return At(0).timeMs;
}

qint64 SampleTrack::LastTime() const
{
    return At(count - 1).timeMs;
}

int SampleTrack::LowerBound(qint64 timeMs) const
{
    // The block whose first time is the last one before timeMs, then within it.
    auto beforeBlock = std::partition_point(
        blocks.begin(), blocks.end(),
        [timeMs](const std::unique_ptr<Block> &block) { return block->baseMs < timeMs; });
    if (beforeBlock == blocks.begin())
        return 0;
    const int b = int(beforeBlock - blocks.begin()) - 1;
    const Block &block = *blocks[b];
    const quint32 *offsets = block.offsetMs;
    const quint32 *found =
        std::lower_bound(offsets, offsets + block.used, quint64(timeMs - block.baseMs),
                         [](quint32 offset, quint64 wanted) { return offset < wanted; });
    return blockStarts[b] + int(found - offsets);
}

size_t SampleTrack::MemoryBytes() const
{
    return blocks.size() * (sizeof(Block) + sizeof(std::unique_ptr<Block>) + sizeof(int));
}
