#pragma once

#include "link/devicerecords.h"
#include "log/logclock.h"
#include "log/logrecorder.h"
#include "log/logsettings.h"
#include "session/devicesession.h"

#include <QMainWindow>
#include <QPixmap>
#include <QTime>

#include <memory>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLCDNumber;
class QAction;
class DialogSettingsLog;
class JournalledLog;
class PortChangeWatch;
class PortComboBox;

namespace Ui {
class MainWindow;
}

// The one window of the program: shows what the device session reads, hands it the operator's
// commands, and keeps the log. All device traffic runs from the session's poll tick.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Where the log takes the time of day from; tests replace it to run through hours at once.
    void SetLogClock(const LogClock &clock) { logRecorder.SetClock(clock); }

private slots:
    void OpenPort();
    void ClosePort();
    void TimeOut();
    void ApplyParam();
    void OnOff();
    void ReadParam();
    void WriteParam();
    void ReadUserParam();
    void WriteUserParam();
    void StartLog();
    void StopLog();
    void ClearLog();
    void SaveAsFile();
    void About();

private:
    void CreateActions();

    void ShowStatus(const OutputStatus &status);
    void ShowAdc(const AdcReadings &adc);
    void ShowSetpoints(const Setpoints &setpoints);
    void ShowCalibration(const CalibrationBlock &block);
    void ShowUserParams(const UserParamBlock &block);
    void HandleReadFailure(DeviceSession::Block block);
    void HandleWriteFailure();
    void ShowLinkState(DeviceSession::LinkState state);
    void ShowPanelStale(bool stale);
    void ShowAdcStale(bool stale);
    void RefreshPorts();
    void RefreshPortsIfIdle();
    void SelectPort(const QString &name);
    Setpoints SetpointsFromBoxes() const;
    CalibrationBlock CalibrationFromBoxes();
    UserParamBlock UserParamsFromBoxes();
    void LogStep();
    void AppendLogLine(const QString &line);
    void ShowCritical(const QString &text);
    void ShowReading(QLCDNumber *display, QString &shown, const QString &text);
    void ShowLamp(QLabel *lamp, const QPixmap &image);
    void ShowAdcReading(QDoubleSpinBox *box, double value);

    Ui::MainWindow *ui = nullptr;
    QLabel *portLabel = nullptr;
    PortComboBox *portComboBox = nullptr;
    QAction *connectAction = nullptr;
    QAction *disconnectAction = nullptr;
    QAction *aboutAction = nullptr;
    DeviceSession *session = nullptr;
    // Ports named in the environment at start-up, listed first while they exist.
    QString extraPorts;
    // Fills the port list anew when a port may have come or gone.
    PortChangeWatch *portWatch = nullptr;
    QLabel *linkStatus = nullptr;
    // The displays and the ADC page look disabled while no good reading is coming in.
    bool panelStale = false;
    bool adcStale = false;
    // The records of the two service pages, as last read and as edited there.
    CalibrationBlock calibration;
    UserParamBlock userParams;
    DialogSettingsLog *logDialog = nullptr;
    // The log view and its journal on disk.
    JournalledLog *journalledLog = nullptr;
    LogSettings logSettings;
    // The log's clocks, whether it runs and the freshness of the last reads.
    LogRecorder logRecorder;
    // What the two displays show now, to leave them alone when a read brings the same values.
    QString shownVoltage;
    QString shownCurrent;
    // The lamp images, decoded once: loading one by name on every status read costs file-time
    // look-ups each time.
    QPixmap lampGreen;
    QPixmap lampRed;
    QPixmap lampOff;
};
