#pragma once

#include "chart/sampletrack.h"

#include <QVector>

#include <optional>

// What one pixel column of a trace covers: the first, last, lowest and highest value of the
// samples whose time falls in it. Drawing first, lowest, highest and last at the column's x and
// joining a column's first value to the previous sample's last gives the pixels that drawing
// every sample would.
struct ColumnSummary
{
    int count = 0; // samples in the column, gaps not counted; 0: nothing to draw
    float first = 0;
    float last = 0;
    float lowest = 0;
    float highest = 0;
    // The line comes in from the sample before the column's first one, with no gap between.
    bool joined = false;
};

// A sample just outside the summarised span that the line runs to, with no gap between.
struct EdgeSample
{
    qint64 timeMs = 0;
    float value = 0;
};

struct TraceSummary
{
    QVector<ColumnSummary> columns;
    std::optional<EdgeSample> before;
    std::optional<EdgeSample> after;
};

// Summarises one channel of the samples from fromMs to toMs (both included) in `columns` equal
// columns: a sample at time t goes into column (t - fromMs) * columns / (toMs - fromMs), the
// last column also taking t == toMs. Costs one pass over the samples in the span; the result
// is as large as the column count whatever the number of samples.
TraceSummary SummarizeTrace(const SampleTrack &track, SampleTrack::Channel channel, qint64 fromMs,
                            qint64 toMs, int columns);

// The lowest and highest value of the channel from fromMs to toMs; nothing when the span holds
// no sample.
std::optional<std::pair<float, float>>
ValueRange(const SampleTrack &track, SampleTrack::Channel channel, qint64 fromMs, qint64 toMs);
