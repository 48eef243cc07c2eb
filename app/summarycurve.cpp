#include "app/summarycurve.h"

#include "chart/tracesummary.h"

#include <QLineF>
#include <QPaintDevice>
#include <QPainter>
#include <QPointF>
#include <QVector>
#include <qwt_scale_map.h>

#include <cmath>
#include <optional>

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

    // Separate segments rather than one polyline: the line runs down and up inside every column,
    // and on such reversals the wide pen's stroker takes a hundred times longer. Round caps close
    // the joins.
    QVector<QLineF> segments;
    segments.reserve(2 * columns + 2);
    QVector<QPointF> dots;
    const auto point = [&](double x, float value) {
        return QPointF(x, yMap.transform(double(value) / scale));
    };
    // Where the line stands, and whether the run of samples it belongs to has any length yet:
    // a run of one sample between two gaps shows as a dot.
    std::optional<QPointF> end;
    bool runHasLength = false;
    const auto endRun = [&] {
        if (end && !runHasLength)
            dots.append(*end);
    };
    if (summary.before)
        end = point(xMap.transform(double(summary.before->timeMs)), summary.before->value);
    const double left = xMap.p1();
    const double columnWidth = (xMap.p2() - xMap.p1()) / columns;
    for (int c = 0; c < columns; ++c) {
        const ColumnSummary &column = summary.columns.at(c);
        if (column.count == 0)
            continue;
        const double x = left + (c + 0.5) * columnWidth;
        const QPointF first = point(x, column.first);
        if (column.joined && end) {
            segments.append(QLineF(*end, first));
            runHasLength = true;
        } else {
            endRun();
            runHasLength = false;
        }
        if (column.lowest < column.highest) {
            segments.append(QLineF(point(x, column.lowest), point(x, column.highest)));
            runHasLength = true;
        }
        end = point(x, column.last);
    }
    if (summary.after && end) {
        segments.append(QLineF(
            *end, point(xMap.transform(double(summary.after->timeMs)), summary.after->value)));
        runHasLength = true;
    }
    endRun();

    painter->save();
    QPen roundPen = pen;
    roundPen.setCapStyle(Qt::RoundCap);
    painter->setPen(roundPen);
    painter->drawLines(segments);
    painter->drawPoints(dots.constData(), dots.size());
    painter->restore();
}
