#pragma once

#include "link/devicerecords.h"
#include "link/linkresult.h"
#include "session/portmatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTimer;
class DeviceLink;
class PortChangeWatch;
class PortHangupGuard;

// One converter on one serial port, without any widget: the port, the link, the 250 ms poll
// timer and the one-slot command that the next tick carries out, the alternation of the status
// and ADC reads, and the recovery of a port that went away. It reports what happened through
// its signals; front ends (the window, the command-line tool) decide what to show.
//
// A tick: the poll timer emits pollDue(); the owner calls Poll(), which runs exactly one
// transaction, and then does the rest of its tick (the window's log step). The timer is not
// delivered again while that handler runs, so two transactions never overlap.
class DeviceSession : public QObject
{
    Q_OBJECT

public:
    enum class LinkState
    {
        Disconnected,
        Connected, // the port is open and reads come in
        NoAnswer,  // the port is open but the last few poll reads all failed
        PortLost,  // the port went away; it is being reopened every second
    };
    Q_ENUM(LinkState)

    enum class Block
    {
        Status,
        Adc,
        Setpoints,
        Output,
        Calibration,
        UserParams,
    };
    Q_ENUM(Block)

    using SetpointsSource = std::function<Setpoints()>;
    using CalibrationSource = std::function<CalibrationBlock()>;
    using UserParamsSource = std::function<UserParamBlock()>;

    static constexpr int PollIntervalMs = 250;
    static constexpr int ReopenIntervalMs = 1000;
    // Consecutive failed poll reads after which the device counts as not answering.
    static constexpr int FailedReadsForNoAnswer = 4;

    explicit DeviceSession(QObject *parent = nullptr);
    ~DeviceSession() override;

    // Opens portName at 9200 baud 8N1, reads the setpoints once and starts polling. False when
    // the port cannot be opened; nothing changes then.
    bool Open(const QString &name);
    // Closes the port and stops polling and any recovery. Commands and reads keep their state.
    void Close();

    LinkState State() const { return linkState; }
    // The port in use, named as it was opened (after a recovery, the name the adapter came back
    // under).
    QString PortName() const;
    // Why the last Open() failed, as the port reported it.
    QString OpenError() const { return openError; }
    QSerialPort::SerialPortError OpenFailure() const { return openFailure; }
    // Where the link's trace lines go (standard output unless changed; nullptr: nowhere).
    void SetTrace(QIODevice *device);

    // The last successful reads; zero before the first.
    const OutputStatus &Status() const { return status; }
    const AdcReadings &Adc() const { return adc; }

    // Commands for the next tick. A later request replaces one that has not finished. Write
    // values are taken from their source at each attempt.
    void RequestSetpointsWrite(SetpointsSource source);
    // Without a state: the opposite of the last status read, as the panel's button asks.
    void RequestOutputSwitch(std::optional<bool> on = std::nullopt);
    void RequestCalibrationRead();
    void RequestCalibrationWrite(CalibrationSource source);
    void RequestUserParamsRead();
    void RequestUserParamsWrite(UserParamsSource source);

    // One tick's device operation: the pending command, or the status or the ADC read.
    void Poll();

signals:
    void pollDue();
    void linkStateChanged(DeviceSession::LinkState state);
    void statusRead(const OutputStatus &status);
    void adcRead(const AdcReadings &adc);
    void setpointsRead(const Setpoints &setpoints);
    void calibrationRead(const CalibrationBlock &block);
    void userParamsRead(const UserParamBlock &block);
    // A read of the block failed (for the status and ADC reads, every failed poll read).
    void readFailed(DeviceSession::Block block, LinkResult result);
    void writeDone(DeviceSession::Block block);
    // A write failed: after its last attempt for the setpoints and the output switch.
    void writeFailed(DeviceSession::Block block, LinkResult result);

private:
    enum Command
    {
        Idle = 0,
        WriteSetpointsCommand = 1,
        SwitchOutputCommand = 2,
        ReadCalibrationCommand = 3,
        WriteCalibrationCommand = 4,
        ReadUserParamsCommand = 5,
        WriteUserParamsCommand = 6,
    };

    void ApplyLineSettings();
    void SetLinkState(LinkState state);
    void HandleHangUp();
    bool TryReopen();
    QString ReturnedName();
    void EndRecovery();
    void PollRead();
    void CountPollRead(bool ok);
    void ReadSetpoints();
    LinkResult WriteSetpoints();
    LinkResult SwitchOutput();
    void RunWriteCommand(Block block, LinkResult (DeviceSession::*attempt)());
    void ReadCalibration();
    void WriteCalibration();
    void ReadUserParams();
    void WriteUserParams();
    void ReportWrite(Block block, LinkResult result);

    QSerialPort *serialPort = nullptr;
    std::unique_ptr<DeviceLink> link;
    PortHangupGuard *hangupGuard = nullptr;
    QTimer *pollTimer = nullptr;
    OutputStatus status;
    AdcReadings adc;
    qint32 PendingCommand = Idle;
    qint32 pollPhase = 0;
    qint32 retryCount = 0;
    SetpointsSource setpointsSource;
    std::optional<bool> outputTarget;
    CalibrationSource calibrationSource;
    UserParamsSource userParamsSource;
    LinkState linkState = LinkState::Disconnected;
    int failedPollReads = 0;
    // The port as it was when opened, to find it again after a hang-up.
    PortIdentity openedPort;
    QString portName;
    QString openedFolder;
    QElapsedTimer sinceReopenAttempt;
    // While an adapter with a serial number is lost: the ports are listed again only when its
    // folder has changed.
    PortChangeWatch *returnWatch = nullptr;
    bool portsMayHaveChanged = false;
    QString openError;
    QSerialPort::SerialPortError openFailure = QSerialPort::NoError;
};
