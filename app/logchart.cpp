#include "app/logchart.h"

#include "app/summarycurve.h"
#include "app/timescale.h"
#include "chart/chartreadout.h"
#include "chart/tracesummary.h"
#include "link/quantities.h"
#include "log/logexport.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QStyle>
#include <QSvgGenerator>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_renderer.h>
#include <qwt_scale_engine.h>

#include <cmath>

namespace {

// Following a short run still shows a minute, so the first samples do not fill the width.
constexpr double followMinimumSpanMs = 60.0 * 1000;
constexpr double zoomMinimumSpanMs = 2.0 * 1000;
constexpr double zoomMaximumSpanMs = 400.0 * 24 * 60 * 60 * 1000;
// One wheel notch shows this share of the span.
constexpr double zoomStep = 0.8;
// The value axes never zoom in closer than this, so the noise of a steady output stays small.
constexpr double voltageMinimumSpan = 1.0;
constexpr double currentMinimumSpan = 0.1;
// The track holds a log sample's counts.
constexpr double countsPerVolt = ScaleOf(Quantity::LogVoltage).countsPerUnit;
constexpr double countsPerAmpere = ScaleOf(Quantity::LogCurrent).countsPerUnit;

const QColor voltageColour(0, 80, 200);
const QColor currentColour(200, 40, 30);

// The cursor readout: a vertical line under the mouse and the values of the nearest sample.
class ReadoutPicker : public QwtPlotPicker
{
public:
    ReadoutPicker(const SampleTrack &track, QWidget *canvas)
        : QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, VLineRubberBand, AlwaysOn, canvas),
          track(track)
    {
        setStateMachine(new QwtPickerTrackerMachine);
        setRubberBandPen(QPen(Qt::darkGray, 1, Qt::DashLine));
        setTrackerPen(QPen(Qt::black));
    }

protected:
    QwtText trackerTextF(const QPointF &position) const override
    {
        QwtText text(ChartReadout(track, std::llround(position.x())));
        text.setBackgroundBrush(QColor(255, 255, 255, 230));
        return text;
    }

private:
    const SampleTrack &track;
};

// Qwt makes titles bold; on the narrow page they would take the plot's room.
QwtText AxisTitle(const QString &text, const QFont &font, const QColor &colour = QColor())
{
    QwtText title(text);
    title.setFont(font);
    if (colour.isValid())
        title.setColor(colour);
    return title;
}

} // namespace

LogChart::LogChart(QWidget *parent) : QWidget(parent)
{
    plot = new QwtPlot(this);
    plot->setObjectName(QStringLiteral("plotLogChart"));
    plot->setCanvasBackground(Qt::white);
    // Qwt asks for room for every label of a long axis at once; the page is narrower than that
    // and the labels thin out by themselves.
    plot->setMinimumSize(160, 120);
    plot->enableAxis(QwtPlot::yRight);
    plot->setAxisTitle(QwtPlot::yLeft, AxisTitle(tr("Напряжение, В"), font(), voltageColour));
    plot->setAxisTitle(QwtPlot::yRight, AxisTitle(tr("Ток, А"), font(), currentColour));
    plot->setAxisTitle(QwtPlot::xBottom, AxisTitle(tr("Время, ч:мм"), font()));
    plot->setAxisScaleEngine(QwtPlot::xBottom, new TimeScaleEngine);
    plot->setAxisScaleDraw(QwtPlot::xBottom, new TimeScaleDraw);
    // "1:00:00" labels need room: a few ticks on the narrow page.
    plot->setAxisMaxMajor(QwtPlot::xBottom, 4);
    plot->setAxisMaxMinor(QwtPlot::xBottom, 2);
    plot->setAxisMaxMajor(QwtPlot::yLeft, 6);
    plot->setAxisMaxMajor(QwtPlot::yRight, 6);

    auto *grid = new QwtPlotGrid;
    grid->setMajorPen(QColor(220, 220, 220), 0, Qt::SolidLine);
    grid->attach(plot);

    auto *voltage =
        new SummaryCurve(track, SampleTrack::Voltage, countsPerVolt, QPen(voltageColour, 1.5));
    voltage->setAxes(QwtPlot::xBottom, QwtPlot::yLeft);
    voltage->attach(plot);
    auto *current =
        new SummaryCurve(track, SampleTrack::Current, countsPerAmpere, QPen(currentColour, 1.5));
    current->setAxes(QwtPlot::xBottom, QwtPlot::yRight);
    current->attach(plot);

    QWidget *canvas = plot->canvas();
    canvas->setCursor(Qt::CrossCursor);
    canvas->installEventFilter(this);
    picker = new ReadoutPicker(track, canvas);

    // An icon, not a caption: beside "Сохранить изображение" a caption would widen the page.
    followButton = new QToolButton(this);
    followButton->setObjectName(QStringLiteral("toolButtonChartFollow"));
    followButton->setIcon(style()->standardIcon(QStyle::SP_MediaSkipForward));
    followButton->setAccessibleName(tr("Следить"));
    followButton->setToolTip(
        tr("Следить: весь лог до нового отсчёта (или двойной щелчок по графику)"));
    saveButton = new QPushButton(tr("Сохранить изображение"), this);
    saveButton->setObjectName(QStringLiteral("pushButtonChartSave"));
    connect(followButton, &QToolButton::clicked, this, &LogChart::Follow);
    connect(saveButton, &QPushButton::clicked, this, &LogChart::SaveImageAs);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(followButton);
    buttons->addStretch(1);
    buttons->addWidget(saveButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot, 1);
    layout->addLayout(buttons);

    UpdateView();
}

LogChart::~LogChart() = default;

void LogChart::AddPeriod(const QTime &logClock, const std::optional<LogSample> &sample)
{
    const qint64 timeMs = runningTime.At(logClock);
    if (sample)
        track.Append(timeMs, sample->voltage, sample->current);
    else
        track.AppendGap(timeMs);
    UpdateView();
}

void LogChart::BeginRun()
{
    runningTime.BeginRun();
    // The last sample of the previous run is not joined to the first one of this run.
    BreakTrace();
}

void LogChart::BreakTrace()
{
    if (!track.IsEmpty() && !track.At(track.Size() - 1).IsGap())
        track.AppendGap(runningTime.Last());
}

void LogChart::Clear()
{
    track.Clear();
    following = true;
    UpdateView();
}

void LogChart::Follow()
{
    following = true;
    UpdateView();
}

void LogChart::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    UpdateView();
}

// While the page is hidden nothing is drawn; showing it brings the view up to date.
void LogChart::UpdateView()
{
    followButton->setEnabled(!following);
    if (following) {
        viewFrom = track.IsEmpty() ? double(runningTime.Last()) : double(track.FirstTime());
        const double newest = track.IsEmpty() ? viewFrom : double(track.LastTime());
        viewTo = qMax(newest, viewFrom + followMinimumSpanMs);
    }
    if (!isVisible())
        return;
    plot->setAxisScale(QwtPlot::xBottom, viewFrom, viewTo);
    ScaleValueAxis(QwtPlot::yLeft, SampleTrack::Voltage, countsPerVolt, voltageMinimumSpan);
    ScaleValueAxis(QwtPlot::yRight, SampleTrack::Current, countsPerAmpere, currentMinimumSpan);
    plot->replot();
}

// The value axes fit the samples in view, with a little room above and below.
void LogChart::ScaleValueAxis(int axis, SampleTrack::Channel channel, double scale,
                              double minimumSpan)
{
    const auto range =
        ValueRange(track, channel, qint64(std::floor(viewFrom)), qint64(std::ceil(viewTo)));
    double low = 0;
    double high = minimumSpan;
    if (range) {
        low = double(range->first) / scale;
        high = double(range->second) / scale;
        const double margin = qMax((high - low) * 0.05, (minimumSpan - (high - low)) / 2);
        const bool positive = low >= 0;
        low -= margin;
        high += margin;
        if (positive && low < 0) {
            high -= low;
            low = 0;
        }
    }
    double step = 0;
    QwtLinearScaleEngine().autoScale(plot->axisMaxMajor(axis), low, high, step);
    plot->setAxisScale(axis, low, high, step);
}

void LogChart::ZoomAt(double canvasX, double notches)
{
    const double anchor = plot->canvasMap(QwtPlot::xBottom).invTransform(canvasX);
    const double span = viewTo - viewFrom;
    const double zoomed =
        qBound(zoomMinimumSpanMs, span * std::pow(zoomStep, notches), zoomMaximumSpanMs);
    const double share = span > 0 ? (anchor - viewFrom) / span : 0.5;
    viewFrom = anchor - share * zoomed;
    viewTo = viewFrom + zoomed;
    following = false;
    UpdateView();
}

void LogChart::PanBy(double pixels)
{
    const double width = qMax(1, plot->canvas()->width());
    const double shift = -pixels * (dragTo - dragFrom) / width;
    viewFrom = dragFrom + shift;
    viewTo = dragTo + shift;
    following = false;
    UpdateView();
}

bool LogChart::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != plot->canvas())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Wheel: {
        const auto *wheel = static_cast<QWheelEvent *>(event);
        const double notches = wheel->angleDelta().y() / 120.0;
        if (notches != 0)
            ZoomAt(wheel->position().x(), notches);
        return true;
    }
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            dragStartX = mouse->localPos().x();
            dragFrom = viewFrom;
            dragTo = viewTo;
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (dragStartX && (mouse->buttons() & Qt::LeftButton) &&
            mouse->localPos().x() != *dragStartX)
            PanBy(mouse->localPos().x() - *dragStartX);
        break;
    }
    case QEvent::MouseButtonRelease:
        dragStartX.reset();
        break;
    case QEvent::MouseButtonDblClick:
        dragStartX.reset();
        Follow();
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void LogChart::SaveImageAs()
{
    const QString pngFilter = tr("Изображение PNG (*.png)");
    const QString svgFilter = tr("Рисунок SVG (*.svg)");
    const QString startFolder =
        settings != nullptr ? LogExportStartFolder(*settings) : QDir::currentPath();
    QFileDialog dialog(this, tr("Сохранить изображение"), startFolder,
                       pngFilter + QStringLiteral(";;") + svgFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, svgFilter](const QString &f) {
        dialog.setDefaultSuffix(f == svgFilter ? QStringLiteral("svg") : QStringLiteral("png"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    if (settings != nullptr)
        StoreLogExportFolder(*settings, path);
    if (!SaveImage(path))
        QMessageBox::warning(this, tr("Ошибка"), tr("Не удается сохранить файл"), QMessageBox::Ok);
}

bool LogChart::SaveImage(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QwtPlotRenderer renderer;
    const QRectF area(QPointF(0, 0), QSizeF(plot->size()));
    if (QFileInfo(path).suffix().compare(QStringLiteral("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(plot->size());
        svg.setViewBox(area);
        svg.setResolution(plot->logicalDpiX());
        svg.setTitle(tr("График"));
        QPainter painter;
        if (!painter.begin(&svg))
            return false;
        renderer.render(plot, &painter, area);
        painter.end();
    } else {
        const qreal ratio = plot->devicePixelRatioF();
        QImage image((area.size() * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(plot->palette().color(QPalette::Window));
        {
            QPainter painter(&image);
            renderer.render(plot, &painter, area);
        }
        if (!image.save(&file, "PNG"))
            return false;
    }
    return file.commit();
}
