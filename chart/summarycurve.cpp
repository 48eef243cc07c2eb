#include "chart/summarycurve.h"

#include "chart/tracesummary.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPolygonF>
#include <qwt_scale_map.h>

#include <cmath>

SummaryCurve::SummaryCurve(const SampleTrack &track, SampleTrack::Channel channel, double scale,
                           const QPen &pen)
    : track(track), channel(channel), scale(scale), pen(pen)
{
    setRenderHint(QwtPlotItem::RenderAntialiased);
    setZ(20);
}

void SummaryCurve::draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                        const QRectF &canvasRect) const
{
    const double ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1;
    const int columns = int(std::ceil(canvasRect.width() * ratio));
    if (columns <= 0 || track.IsEmpty())
        return;
    const double from = qMin(xMap.s1(), xMap.s2());
    const double to = qMax(xMap.s1(), xMap.s2());
    const TraceSummary summary =
        SummarizeTrace(track, channel, qint64(std::floor(from)), qint64(std::ceil(to)), columns);

    painter->save();
    painter->setPen(pen);
    QPolygonF line;
    // A run of one sample between two gaps has no length; it shows as a dot.
    const auto flush = [&] {
        if (line.isEmpty())
            return;
        const QRectF extent = line.boundingRect();
        if (extent.width() < 0.5 && extent.height() < 0.5)
            painter->drawPoint(line.first());
        else
            painter->drawPolyline(line);
        line.clear();
    };
    const auto point = [&](double x, float value) {
        return QPointF(x, yMap.transform(double(value) / scale));
    };
    const double left = xMap.p1();
    const double columnWidth = (xMap.p2() - xMap.p1()) / columns;
    if (summary.before)
        line << point(xMap.transform(double(summary.before->timeMs)), summary.before->value);
    for (int c = 0; c < columns; ++c) {
        const ColumnSummary &column = summary.columns.at(c);
        if (column.count == 0)
            continue;
        if (!column.joined)
            flush();
        const double x = left + (c + 0.5) * columnWidth;
        line << point(x, column.first) << point(x, column.lowest) << point(x, column.highest)
             << point(x, column.last);
    }
    if (summary.after)
        line << point(xMap.transform(double(summary.after->timeMs)), summary.after->value);
    flush();
    painter->restore();
}
