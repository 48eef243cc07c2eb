#include "chart/tracesummary.h"

#include <algorithm>

TraceSummary SummarizeTrace(const SampleTrack &track, SampleTrack::Channel channel, qint64 fromMs,
                            qint64 toMs, int columns)
{
    TraceSummary summary;
    if (columns <= 0 || toMs < fromMs)
        return summary;
    summary.columns.resize(columns);
    const int begin = track.LowerBound(fromMs);
    const int end = track.LowerBound(toMs + 1);
    const qint64 span = qMax<qint64>(toMs - fromMs, 1);

    // Whether the line reaches the next sample: false after a gap or with no sample before.
    bool open = false;
    if (begin > 0) {
        const SampleTrack::Entry previous = track.At(begin - 1);
        open = !previous.IsGap();
        if (open)
            summary.before = EdgeSample{previous.timeMs, previous.Value(channel)};
    }
    // The samples come in time order, so the column only ever moves right; its end is found
    // once per column instead of dividing for every sample. Column c starts at the first time t
    // with (t - fromMs) * columns / span >= c.
    const auto columnStart = [&](int c) {
        return fromMs + (qint64(c) * span + columns - 1) / columns;
    };
    int index = 0;
    qint64 nextStart = columnStart(1);
    ColumnSummary *const first = summary.columns.data();
    track.ForEach(begin, end, [&](const SampleTrack::Entry &entry) {
        if (entry.IsGap()) {
            open = false;
            return;
        }
        while (index < columns - 1 && entry.timeMs >= nextStart)
            nextStart = columnStart(++index + 1);
        const float value = entry.Value(channel);
        ColumnSummary &column = first[index];
        if (column.count == 0) {
            column.first = value;
            column.lowest = value;
            column.highest = value;
            column.joined = open;
        } else {
            column.lowest = std::min(column.lowest, value);
            column.highest = std::max(column.highest, value);
        }
        column.last = value;
        ++column.count;
        open = true;
    });
    if (open && end < track.Size()) {
        const SampleTrack::Entry next = track.At(end);
        if (!next.IsGap())
            summary.after = EdgeSample{next.timeMs, next.Value(channel)};
    }
    return summary;
}

std::optional<std::pair<float, float>>
ValueRange(const SampleTrack &track, SampleTrack::Channel channel, qint64 fromMs, qint64 toMs)
{
    const TraceSummary whole = SummarizeTrace(track, channel, fromMs, toMs, 1);
    if (whole.columns.isEmpty() || whole.columns.first().count == 0)
        return std::nullopt;
    return std::make_pair(whole.columns.first().lowest, whole.columns.first().highest);
}
