// The chart page at the scale of a week at one sample a second: the cost of redrawing the whole
// span and the memory per sample, against a Qwt plot that draws every sample of the same series
// in the same run (and against the same with Qwt's own point filter).
//
//     bench_chart_scale [samples, default 604800]
//
// Both plots are shown at the same size on the offscreen platform. A redraw is what the program
// does for a new view: for the chart page the view update (value ranges, axes, replot), for the
// plain curves a replot (Qwt's autoscale goes over every point); both then paint the canvas,
// grabbed at once. Memory is the growth of the resident set while the series is filled in, the
// widgets already made, divided by the number of samples.

#include "app/logchart.h"
#include "benchprocess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTime>
#include <QVector>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int dayMs = 24 * 60 * 60 * 1000;
const QSize plotSize(400, 320);

// A bench supply under a load that changes every few minutes, with a little noise and a
// missing period now and then.
LogSample SampleAt(int second)
{
    const double load = 8.0 + 4.0 * std::sin(second / 900.0) + (second / 3600) % 3;
    const double voltage = load < 8.0 ? 12.0 * load / 8.0 : 12.0;
    const double noise = ((second * 7919) % 21 - 10) * 0.001;
    return LogSample{qint64(std::lround((voltage + noise) * 1000)),
                     qint64(std::lround(voltage / load * 10000))};
}

bool IsGap(int second)
{
    return second % 1000 == 999;
}

double Median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Milliseconds of each of `runs` redraws: `update` brings the view up to date, then the canvas
// is painted.
template <typename Update> QVector<double> Redraws(QwtPlot &plot, int runs, Update &&update)
{
    QVector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        update();
        const QPixmap painted = plot.canvas()->grab();
        times.append(double(timer.nsecsElapsed()) / 1e6);
        if (painted.isNull())
            std::fprintf(stderr, "the canvas was not painted\n");
    }
    return times;
}

struct EveryPoint
{
    double bytesPerSample = 0;
    double redrawMs = 0;
};

// The same series as two plain Qwt curves holding every sample.
EveryPoint MeasureEveryPoint(int samples, bool filtered, int runs)
{
    auto *plot = new QwtPlot;
    plot->enableAxis(QwtPlot::yRight);
    plot->resize(plotSize);
    plot->show();
    QCoreApplication::processEvents();
    const double before = ResidentKiB();
    QVector<QPointF> voltage;
    QVector<QPointF> current;
    for (int second = 0; second < samples; ++second) {
        if (IsGap(second))
            continue;
        const LogSample sample = SampleAt(second);
        voltage.append(QPointF(second * 1000.0, sample.voltage / 1000.0));
        current.append(QPointF(second * 1000.0, sample.current / 10000.0));
    }
    for (QVector<QPointF> *series : {&voltage, &current}) {
        auto *curve = new QwtPlotCurve;
        curve->setSamples(*series);
        curve->setPaintAttribute(QwtPlotCurve::FilterPoints, filtered);
        curve->setRenderHint(QwtPlotItem::RenderAntialiased);
        curve->setYAxis(series == &voltage ? QwtPlot::yLeft : QwtPlot::yRight);
        curve->attach(plot);
        series->clear();
        series->squeeze();
    }
    EveryPoint result;
    result.bytesPerSample = (ResidentKiB() - before) * 1024.0 / samples;
    result.redrawMs = Median(Redraws(*plot, runs, [plot] { plot->replot(); }));
    delete plot;
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    const int samples = argc > 1 ? qMax(1000, atoi(argv[1])) : 604800;
    QTemporaryDir config;
    FILE *out = PrepareBenchProcess(config);
    QApplication app(argc, argv);

    // The chart, filled while hidden (a shown chart redraws at every period), then shown.
    LogChart chart;
    chart.resize(plotSize + QSize(0, 40));
    chart.show();
    QCoreApplication::processEvents();
    chart.hide();
    const double before = ResidentKiB();
    QElapsedTimer fill;
    fill.start();
    for (int second = 0; second < samples; ++second) {
        const QTime logClock = QTime(0, 0).addMSecs(int(qint64(second) * 1000 % dayMs));
        chart.AddPeriod(logClock,
                        IsGap(second) ? std::nullopt : std::optional<LogSample>(SampleAt(second)));
    }
    const double fillMs = double(fill.nsecsElapsed()) / 1e6;
    const double chartBytes = (ResidentKiB() - before) * 1024.0 / samples;
    chart.show();
    QCoreApplication::processEvents();
    auto *plot = chart.findChild<QwtPlot *>();
    const double chartRedraw = Median(Redraws(*plot, 21, [&chart] { chart.Follow(); }));
    const double periodMs = Median(Redraws(*plot, 21, [&chart, second = samples]() mutable {
        const QTime logClock = QTime(0, 0).addMSecs(int(qint64(second++) * 1000 % dayMs));
        chart.AddPeriod(logClock, SampleAt(second));
    }));

    const EveryPoint every = MeasureEveryPoint(samples, false, 5);
    const EveryPoint filtered = MeasureEveryPoint(samples, true, 5);

    std::fprintf(out, "bench_chart_scale: %d samples (%.1f days at 1 s), plot %dx%d\n", samples,
                 samples / 86400.0, plot->width(), plot->height());
    std::fprintf(out, "chart page (per-pixel min/max summary):\n");
    std::fprintf(
        out, "  redraw of the whole span  %8.2f ms (median of 21; goal < 50 ms: %.2f of goal)\n",
        chartRedraw, chartRedraw / 50.0);
    std::fprintf(
        out, "  one period while shown    %8.2f ms (store the sample and redraw, median of 21)\n",
        periodMs);
    std::fprintf(out,
                 "  memory                    %8.2f bytes a sample (store alone %.2f; goal < 16)\n",
                 chartBytes, double(chart.Samples().MemoryBytes()) / samples);
    std::fprintf(out, "  filling while hidden      %8.1f ms\n", fillMs);
    std::fprintf(out, "every sample drawn by two QwtPlotCurve, same series and size:\n");
    std::fprintf(out, "  redraw                    %8.2f ms (median of 5; %.1f x the chart page)\n",
                 every.redrawMs, every.redrawMs / chartRedraw);
    std::fprintf(out, "  memory                    %8.2f bytes a sample (%.1f x the chart page)\n",
                 every.bytesPerSample, every.bytesPerSample / chartBytes);
    std::fprintf(out, "the same with Qwt's FilterPoints:\n");
    std::fprintf(out, "  redraw                    %8.2f ms (median of 5; %.1f x the chart page)\n",
                 filtered.redrawMs, filtered.redrawMs / chartRedraw);
    std::fflush(out);
    return 0;
}
