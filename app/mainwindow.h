#pragma once

#include "link/devicerecords.h"
#include "link/linkresult.h"
#include "log/logclock.h"
#include "log/logsettings.h"

#include <QMainWindow>
#include <QPixmap>
#include <QTime>

#include <memory>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLCDNumber;
class QAction;
class QSerialPort;
class QTimer;
class DeviceLink;
class DialogSettingsLog;
class PortHangupGuard;

namespace Ui {
class MainWindow;
}

// The one window of the program: owns the port, the link, the poll timer, the log dialog and
// the last records read from the converter. All device traffic runs from the poll tick.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Where the log takes the time of day from; tests replace it to run through hours at once.
    void SetLogClock(const LogClock &clock) { logTime = clock; }

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

    bool ReadStatus();
    bool ReadAdc();
    void ReadSetpoints();
    LinkResult WriteSetpoints();
    LinkResult SwitchOutput();
    void ReadCalibration();
    void WriteCalibration();
    void ReadUserParams();
    void WriteUserParams();
    void RunWriteCommand(LinkResult (MainWindow::*attempt)());
    void LogStep();
    void AppendLogLine(const QString &line);
    void ShowCritical(const QString &text);
    void ShowReading(QLCDNumber *display, QString &shown, const QString &text);
    void ShowLamp(QLabel *lamp, const QPixmap &image);
    void ShowAdcReading(QDoubleSpinBox *box, double value);

    Ui::MainWindow *ui = nullptr;
    QLabel *portLabel = nullptr;
    QComboBox *portComboBox = nullptr;
    QAction *connectAction = nullptr;
    QAction *disconnectAction = nullptr;
    QAction *aboutAction = nullptr;
    QSerialPort *serialPort = nullptr;
    std::unique_ptr<DeviceLink> link;
    CalibrationBlock calibration;
    OutputStatus status;
    AdcReadings adc;
    UserParamBlock userParams;
    QTimer *pollTimer = nullptr;
    DialogSettingsLog *logDialog = nullptr;
    qint32 PendingCommand = 0;
    qint32 pollPhase = 0;
    qint32 retryCount = 0;
    qint32 logRunning = 0;
    QTime intervalClock;
    QTime logClock;
    QTime tickClock;
    QTime startClock;
    LogSettings logSettings;
    bool statusFresh = false;
    bool adcFresh = false;
    LogClock logTime;
    // What the two displays show now, to leave them alone when a read brings the same values.
    QString shownVoltage;
    QString shownCurrent;
    // The lamp images, decoded once: loading one by name on every status read costs file-time
    // look-ups each time.
    QPixmap lampGreen;
    QPixmap lampRed;
    QPixmap lampOff;
    // Closes the port when its device disappears, so a hung-up line cannot flood the loop.
    PortHangupGuard *hangupGuard = nullptr;
};
