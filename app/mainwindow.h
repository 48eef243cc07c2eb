#pragma once

#include "app/blockpage.h"
#include "link/devicerecords.h"
#include "log/logclock.h"
#include "session/devicesession.h"

#include <QMainWindow>

#include <memory>
#include <optional>

class QAction;
class QLabel;
class QSettings;
class DeviceGuard;
class DialogProtection;
class DialogSettingsLog;
class ErrorBoxes;
class JournalledLog;
class PortCatalog;
class PortComboBox;
class ReadingDisplays;
class RemoteControlMenu;
class SessionLogger;

namespace Ui {
class MainWindow;
}

// The one window of the program: shows what the device session reads, hands it the operator's
// commands, and shows the log its session logger writes. All device traffic runs from the
// session's own poll tick.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // store: the settings store, which must outlive the window.
    explicit MainWindow(QSettings *store, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Where the log takes the time of day from; tests replace it to run through hours at once.
    void SetLogClock(const LogClock &clock);

private slots:
    void OpenPort();
    void ClosePort();
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
    void InstallStatusLines(RemoteControlMenu *remoteMenu);
    void Command(SessionCommand command);

    void ShowSetpoints(const Setpoints &setpoints);
    void ShowWrittenSetpoints(const Setpoints &setpoints);
    void ShowCalibration(const CalibrationBlock &block);
    void ShowUserParams(const UserParamBlock &block);
    void HandleReadFailure(DeviceSession::Block block);
    void ShowLinkState(DeviceSession::LinkState state);
    void RefreshPorts();
    void RefreshPortsIfIdle();
    void SelectPort(const QString &name);
    Setpoints SetpointsFromBoxes() const;
    CalibrationBlock CalibrationFromBoxes();
    UserParamBlock UserParamsFromBoxes();

    Ui::MainWindow *ui = nullptr;
    QSettings *store = nullptr;
    QLabel *portLabel = nullptr;
    PortComboBox *portComboBox = nullptr;
    QAction *connectAction = nullptr;
    QAction *disconnectAction = nullptr;
    QAction *aboutAction = nullptr;
    DeviceSession *session = nullptr;
    DeviceGuard *guard = nullptr;
    SessionLogger *logger = nullptr;
    PortCatalog *ports = nullptr;
    ErrorBoxes *errorBoxes = nullptr;
    QLabel *linkStatus = nullptr;
    // The records of the two service pages, as last read and as edited there.
    CalibrationBlock calibration;
    UserParamBlock userParams;
    std::optional<BlockPage<CalibrationBlock>> calibrationPage;
    std::optional<BlockPage<UserParamBlock>> userParamPage;
    DialogSettingsLog *logDialog = nullptr;
    DialogProtection *protectionDialog = nullptr;
    // The log view and its journal on disk.
    JournalledLog *journalledLog = nullptr;
    std::unique_ptr<ReadingDisplays> displays;
};
