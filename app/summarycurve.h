#pragma once

#include "chart/sampletrack.h"

#include <QPen>
#include <qwt_plot_item.h>

// One trace of the chart, drawn from the per-pixel summary of the samples in view instead of
// every sample: the cost of a redraw follows the width of the plot, not the length of the run.
// A gap breaks the line.
class SummaryCurve : public QwtPlotItem
{
public:
    // `scale` turns the raw numbers into the axis unit (1000 for mV to V).
    SummaryCurve(const SampleTrack &track, SampleTrack::Channel channel, double scale,
                 const QPen &pen);

    int rtti() const override { return Rtti_PlotUserItem; }
    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
              const QRectF &canvasRect) const override;

private:
    const SampleTrack &track;
    SampleTrack::Channel channel;
    double scale;
    QPen pen;
};
