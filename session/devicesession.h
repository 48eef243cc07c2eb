#pragma once

#include "link/devicerecords.h"
#include "link/linkresult.h"
#include "session/portmatch.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QTimer;
class DeviceLink;
class PortChangeWatch;
class PortHangupGuard;

// One converter on one serial port, without any widget: the port, the link, the 250 ms poll
// tick, the commands the ticks carry out, the alternation of the status and ADC reads, and the
// recovery of a port that went away. It reports what happened through its signals; front ends
// (the window, the command-line tool) subscribe and decide what to show.
//
// A tick runs exactly one transaction: the command under way, else the command waiting, else
// the status or the ADC read. Then it emits tickDone(), where the log step hangs. The timer is
// not delivered again while a tick runs, so two transactions never overlap.
//
// Commands: a request waits for the next tick that has no command under way; a later request
// replaces one that is still waiting. A command that a tick has started runs to its end (a
// setpoint write or output switch over up to four ticks); a request made meanwhile, even from
// inside a tick's transaction, waits for it and is never dropped.
//
// Queued commands (those of scripts) are never replaced: they run one after another in the
// order given, each reporting its outcome. A waiting request and the queue take turns by the
// order in which they were made. After a queued command two poll reads run before the next
// queued one, so that a busy script cannot starve the readings it asks for.
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

    // How a queued command ended.
    enum class Outcome
    {
        Done,
        NoReply,
        BadReply,
        Cancelled, // the port was closed before the command ended
    };
    Q_ENUM(Outcome)
    using Completion = std::function<void(Outcome)>;

    static constexpr int PollIntervalMs = 250;
    static constexpr int ReopenIntervalMs = 1000;
    // Consecutive failed poll reads after which the device counts as not answering.
    static constexpr int FailedReadsForNoAnswer = 4;
    // One status and one ADC read between two queued commands.
    static constexpr int PollReadsBetweenQueued = 2;

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
    // The setpoints the converter was last known to hold: as last read or successfully written;
    // none before the first read.
    const std::optional<Setpoints> &KnownSetpoints() const { return knownSetpoints; }

    // Commands for a later tick. Write values are taken from their source at each attempt.
    void RequestSetpointsWrite(SetpointsSource source);
    // Without a state: the opposite of the last status read, as the panel's button asks.
    void RequestOutputSwitch(std::optional<bool> on = std::nullopt);
    void RequestCalibrationRead();
    void RequestCalibrationWrite(CalibrationSource source);
    void RequestUserParamsRead();
    void RequestUserParamsWrite(UserParamsSource source);

    // Queued commands. `done` is called once, when the command has ended; Close() ends every
    // queued command that has not, as Cancelled.
    void QueueSetpointsWrite(SetpointsSource source, Completion done);
    void QueueOutputSwitch(bool on, Completion done);

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
    void writeDone(DeviceSession::Block block);
    // A setpoint write was acknowledged with these values, whoever asked for it.
    void setpointsWritten(const Setpoints &setpoints);
    // A write failed: after its last attempt for the setpoints and the output switch.
    void writeFailed(DeviceSession::Block block, LinkResult result);

private slots:
    // The poll timer's slot: one tick. A slot, so that a benchmark can drive the ticks itself.
    void TimeOut();

private:
    enum class CommandKind
    {
        WriteSetpoints,
        SwitchOutput,
        ReadCalibration,
        WriteCalibration,
        ReadUserParams,
        WriteUserParams,
    };
    struct Command
    {
        CommandKind kind = CommandKind::WriteSetpoints;
        SetpointsSource setpoints;
        std::optional<bool> outputOn; // without a state: the opposite of the last status read
        CalibrationSource calibration;
        UserParamsSource userParams;
        Completion done;           // queued commands only
        quint64 requestNumber = 0; // which of a waiting request and a queued one came first
    };
    enum class PollPhase
    {
        Status,
        Adc,
    };

    // Puts a new command of this kind in the waiting slot, replacing what waited there.
    Command &Request(CommandKind kind);
    Command &Queue(CommandKind kind, Completion done);
    void StartNextCommand();
    void RunCommand();
    void EndCommand(LinkResult result);
    void ApplyLineSettings();
    void SetLinkState(LinkState state);
    void HandleHangUp();
    bool TryReopen();
    QString ReturnedName();
    void EndRecovery();
    void PollRead();
    void CountPollRead(bool ok);
    void ReadSetpoints();
    // One attempt of the command under way; true when it has ended.
    bool RunAttempt(Block block, LinkResult result);
    void ReadCalibration();
    void ReadUserParams();
    void ReportWrite(Block block, LinkResult result);

    QSerialPort *serialPort = nullptr;
    std::unique_ptr<DeviceLink> link;
    PortHangupGuard *hangupGuard = nullptr;
    QTimer *pollTimer = nullptr;
    OutputStatus status;
    AdcReadings adc;
    // Requested and waiting for a tick.
    std::optional<Command> PendingCommand;
    std::deque<Command> queuedCommands;
    quint64 requestsMade = 0;
    // Poll reads since the last queued command ended.
    int pollReadsSinceQueued = PollReadsBetweenQueued;
    std::optional<Setpoints> knownSetpoints;
    // Started by a tick and not yet ended: a write between its attempts. It outlives a
    // disconnection and goes on with the next connection.
    std::optional<Command> commandUnderWay;
    PollPhase pollPhase = PollPhase::Status;
    int retryCount = 0;
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
