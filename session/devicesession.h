#pragma once

#include "link/devicerecords.h"
#include "link/linkresult.h"
#include "session/commandscheduler.h"
#include "session/sessioncommand.h"

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <memory>
#include <optional>

class QTimer;
class DeviceLink;
class PortHangupGuard;
class PortRecovery;

// One converter on one serial port, without any widget: the port, the link, the 250 ms poll
// tick, the alternation of the status and ADC reads, the link's state and the last readings.
// Which command a tick carries out is its scheduler's (session/commandscheduler.h); finding a
// lost port again is its recovery's (session/portrecovery.h). It reports what it reads and
// what happens to the link through its signals; front ends (the window, vornexctl, the SCPI
// server) subscribe and decide what to show, and give it commands through Submit().
//
// A tick runs exactly one transaction: the command under way, else the next one waiting, else
// the status or the ADC read. Then it emits tickDone(), where the log step hangs. The timer is
// not delivered again while a tick runs, so two transactions never overlap.
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

    static constexpr int PollIntervalMs = 250;
    // Consecutive failed poll reads after which the device counts as not answering.
    static constexpr int FailedReadsForNoAnswer = 4;

    explicit DeviceSession(QObject *parent = nullptr);
    ~DeviceSession() override;

    // Opens portName at 9200 baud 8N1, reads the setpoints once and starts polling, unless the
    // port was closed while that read waited. False when the port cannot be opened; nothing
    // changes then.
    bool Open(const QString &name);
    // Closes the port and stops polling and any recovery. Script commands end as Cancelled;
    // the operator's command and the reads keep their state.
    void Close();

    LinkState State() const { return linkState; }
    // The port in use, named as it was opened (after a recovery, the name the adapter came back
    // under).
    QString PortName() const { return portName; }
    // Why the last Open() failed, as the port reported it.
    QString OpenError() const { return openError; }
    QSerialPort::SerialPortError OpenFailure() const { return openFailure; }
    // Where the link's trace lines go (see DeviceLink::SetTrace).
    void SetTrace(QIODevice *device);

    // The last successful reads; zero before the first.
    const OutputStatus &Status() const { return status; }
    const AdcReadings &Adc() const { return adc; }
    // The setpoints the converter was last known to hold: as last read or successfully written;
    // none before the first read.
    const std::optional<Setpoints> &KnownSetpoints() const { return knownSetpoints; }

    // Gives a command for a later tick; `done`, when given, is called once when it has ended.
    // The data a read brings comes through its signal before that.
    void Submit(SessionCommand command, CommandLane lane, CommandCompletion done = {});

    // A protection tripped: the output is switched off on the next tick, ahead of every other
    // command and between the attempts of one under way, and that switch-off is tried on every
    // tick until the converter takes it. While polling, that tick comes as soon as the tick
    // running now has ended, and the poll's beat starts again from it. The scripts' commands end as
    // Tripped, and until UnlockOutput() a switch-on ends as Tripped without being sent. The
    // operator's waiting command runs after the switch-off.
    void LockOutputOff();
    void UnlockOutput();
    bool OutputLocked() const { return outputLocked; }

signals:
    // A tick has run its one transaction; the log step of a front end follows here.
    void tickDone();
    void linkStateChanged(DeviceSession::LinkState state);
    void statusRead(const OutputStatus &status);
    void adcRead(const AdcReadings &adc);
    void setpointsRead(const Setpoints &setpoints);
    void calibrationRead(const CalibrationBlock &block);
    void userParamsRead(const UserParamBlock &block);
    // A read of the block failed (for the status and ADC reads, every failed poll read).
    void readFailed(DeviceSession::Block block, LinkResult result);
    // A setpoint write was acknowledged with these values, whoever gave it.
    void setpointsWritten(const Setpoints &setpoints);
    // A write failed, whoever gave it: after its last attempt for the setpoints and the
    // output switch.
    void writeFailed(DeviceSession::Block block, LinkResult result);
    // The converter has taken the switch-off that LockOutputOff() asked for.
    void lockedOff();

private slots:
    // The poll timer's slot: one tick. A slot, so that a benchmark can drive the ticks itself.
    void TimeOut();

private:
    enum class PollPhase
    {
        Status,
        Adc,
    };

    void RunCommand(const CommandScheduler::Started &started);
    bool SwitchesOn(const SessionCommand &command) const;
    // One attempt of a command: the link's result, with what it read or wrote reported.
    LinkResult Attempt(const SessionCommand &command);
    void ReportEnd(const SessionCommand &command, const CommandScheduler::AttemptEnd &end,
                   LinkResult result);
    void ApplyLineSettings();
    void SetLinkState(LinkState state);
    void HandleHangUp();
    bool TryReopen();
    void PollRead();
    void CountPollRead(bool ok);
    void ReadSetpoints();

    QSerialPort *serialPort = nullptr;
    std::unique_ptr<DeviceLink> link;
    PortHangupGuard *hangupGuard = nullptr;
    PortRecovery *recovery = nullptr;
    QTimer *pollTimer = nullptr;
    CommandScheduler scheduler;
    OutputStatus status;
    AdcReadings adc;
    std::optional<Setpoints> knownSetpoints;
    PollPhase pollPhase = PollPhase::Status;
    LinkState linkState = LinkState::Disconnected;
    int failedPollReads = 0;
    bool outputLocked = false;
    bool ticking = false;
    QString portName;
    QString openError;
    QSerialPort::SerialPortError openFailure = QSerialPort::NoError;
};
