#pragma once

#include "chart/runningtime.h"
#include "chart/sampletrack.h"
#include "log/logline.h"

#include <QWidget>

#include <optional>

class QPushButton;
class QSettings;
class QTime;
class QToolButton;
class QwtPlot;
class QwtPlotPicker;

// The "График" page: voltage (left axis) and current (right axis) of the log's samples against
// the log's running time. The view follows the newest sample until the operator zooms (wheel)
// or pans (drag) the plot; the "Следить" button or a double-click on the plot returns to
// following. The
// cursor shows time, voltage and current under it. "Сохранить изображение" saves the chart as
// PNG or SVG, starting in the folder of the last log export.
class LogChart : public QWidget
{
    Q_OBJECT

public:
    explicit LogChart(QWidget *parent = nullptr);
    ~LogChart() override;

    // One due log period at this reading of the log clock: the sample the log line was made
    // of, or a gap when the period brought no line.
    void AddPeriod(const QTime &logClock, const std::optional<LogSample> &sample);
    // Ends the trace where it is: the next sample starts a new line (the port was closed).
    void BreakTrace();
    // The log starts again; its clock restarts from zero, the chart carries on to the right.
    void BeginRun();
    void Clear();
    // The store that remembers the folder of the last export, shared with the log export.
    void SetSettingsStore(QSettings *store) { settings = store; }

    bool IsFollowing() const { return following; }
    void Follow();
    const SampleTrack &Samples() const { return track; }
    // Writes the chart as SVG for a name ending in ".svg", else as PNG at the plot's size;
    // an existing file is only replaced once the new one is complete.
    bool SaveImage(const QString &path) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void SaveImageAs();
    void UpdateView();
    void ScaleValueAxis(int axis, SampleTrack::Channel channel, double scale, double minimumSpan);
    void ZoomAt(double canvasX, double notches);
    void PanBy(double pixels);

    SampleTrack track;
    RunningTime runningTime;
    QwtPlot *plot = nullptr;
    QwtPlotPicker *picker = nullptr;
    QToolButton *followButton = nullptr;
    QPushButton *saveButton = nullptr;
    QSettings *settings = nullptr;
    bool following = true;
    // The span in view while not following, in ms of running time.
    double viewFrom = 0;
    double viewTo = 0;
    // Where a drag started, and the span in view then.
    std::optional<double> dragStartX;
    double dragFrom = 0;
    double dragTo = 0;
};
