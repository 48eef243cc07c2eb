#include "session/devicesession.h"

#include "link/devicelink.h"
#include "link/deviceprotocol.h"
#include "link/porthangupguard.h"
#include "session/portrecovery.h"

#include <QSerialPort>
#include <QTimer>

namespace {

// A reply line is at most 512 characters; a few of them may wait between two ticks. Bounding
// the port's buffer keeps a peer that floods the line from growing it without end: the rest
// waits in the system's buffer, where the device's own flow control holds it.
constexpr qint64 ReadBufferBytes = 4096;

DeviceSession::Block BlockOf(SessionCommand::Kind kind)
{
    switch (kind) {
    case SessionCommand::Kind::WriteSetpoints:
        return DeviceSession::Block::Setpoints;
    case SessionCommand::Kind::SwitchOutput:
        return DeviceSession::Block::Output;
    case SessionCommand::Kind::ReadCalibration:
    case SessionCommand::Kind::WriteCalibration:
        return DeviceSession::Block::Calibration;
    case SessionCommand::Kind::ReadUserParams:
    case SessionCommand::Kind::WriteUserParams:
        break;
    }
    return DeviceSession::Block::UserParams;
}

bool IsRead(SessionCommand::Kind kind)
{
    return kind == SessionCommand::Kind::ReadCalibration ||
           kind == SessionCommand::Kind::ReadUserParams;
}

} // namespace

DeviceSession::DeviceSession(QObject *parent) : QObject(parent)
{
    serialPort = new QSerialPort(this);
    serialPort->setReadBufferSize(ReadBufferBytes);
    hangupGuard = new PortHangupGuard(serialPort, serialPort);
    connect(hangupGuard, &PortHangupGuard::hungUp, this, &DeviceSession::HandleHangUp);
    recovery = new PortRecovery(this);

    link = std::make_unique<DeviceLink>();
    link->SetPort(serialPort);

    pollTimer = new QTimer(this);
    pollTimer->setInterval(PollIntervalMs);
    // A coarse timer may drift by 5 %; the refresh period should stay even.
    pollTimer->setTimerType(Qt::PreciseTimer);
    connect(pollTimer, &QTimer::timeout, this, &DeviceSession::TimeOut);
}

DeviceSession::~DeviceSession() = default;

bool DeviceSession::Open(const QString &name)
{
    serialPort->setPortName(name);
    if (!serialPort->open(QIODevice::ReadWrite)) {
        openError = serialPort->errorString();
        openFailure = serialPort->error();
        serialPort->clearError();
        return false;
    }
    openError.clear();
    openFailure = QSerialPort::NoError;
    portName = name;
    ApplyLineSettings();
    recovery->Remember(*serialPort, name);
    failedPollReads = 0;
    SetLinkState(LinkState::Connected);
    ReadSetpoints();
    // The operator may have pressed "Отключить" while that read waited.
    if (linkState != LinkState::Disconnected)
        pollTimer->start();
    return true;
}

void DeviceSession::SetTrace(QIODevice *device)
{
    link->SetTrace(device);
}

void DeviceSession::Close()
{
    if (serialPort->isOpen())
        serialPort->close();
    pollTimer->stop();
    recovery->End();
    const std::vector<CommandCompletion> cancelled = scheduler.TakeScriptCommands();
    SetLinkState(LinkState::Disconnected);
    for (const CommandCompletion &done : cancelled) {
        if (done)
            done(CommandOutcome::Cancelled);
    }
}

void DeviceSession::Submit(SessionCommand command, CommandLane lane, CommandCompletion done)
{
    scheduler.Submit(std::move(command), lane, std::move(done));
}

void DeviceSession::LockOutputOff()
{
    outputLocked = true;
    scheduler.SubmitUrgent(SessionCommand::SwitchOutput(false));
    if (pollTimer->isActive()) {
        // A trip should not wait out the rest of the poll's beat.
        pollTimer->start();
        QTimer::singleShot(0, this, &DeviceSession::TimeOut);
    }
    for (const CommandCompletion &done : scheduler.TakeScriptCommands()) {
        if (done)
            done(CommandOutcome::Tripped);
    }
}

void DeviceSession::UnlockOutput()
{
    outputLocked = false;
}

void DeviceSession::ApplyLineSettings()
{
    serialPort->setBaudRate(9200, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setStopBits(QSerialPort::OneStop);
}

void DeviceSession::SetLinkState(LinkState state)
{
    if (state == linkState)
        return;
    linkState = state;
    emit linkStateChanged(state);
}

void DeviceSession::HandleHangUp()
{
    if (linkState == LinkState::Disconnected)
        return;
    recovery->Begin();
    SetLinkState(LinkState::PortLost);
}

// Runs at the start of a tick, so the setpoint read of a reopened port is that tick's one
// transaction and never overlaps another.
bool DeviceSession::TryReopen()
{
    const QString name = recovery->NameToTry();
    if (name.isEmpty())
        return false;
    serialPort->setPortName(name);
    if (!serialPort->open(QIODevice::ReadWrite)) {
        // Silent: the attempt is repeated every second until the port is back or closed.
        serialPort->clearError();
        return false;
    }
    portName = name;
    ApplyLineSettings();
    recovery->End();
    failedPollReads = 0;
    SetLinkState(LinkState::Connected);
    ReadSetpoints();
    return true;
}

void DeviceSession::TimeOut()
{
    // The poll timer is never delivered into its own tick, but a tick brought forward could be.
    if (ticking)
        return;
    ticking = true;
    const bool reopened = linkState == LinkState::PortLost && TryReopen();
    if (!reopened) {
        if (const std::optional<CommandScheduler::Started> started = scheduler.ForTick())
            RunCommand(*started);
        else
            PollRead();
    }
    emit tickDone();
    ticking = false;
}

// Commands given during the transaction only reach the scheduler's waiting places, so ending
// the command under way afterwards never drops them.
void DeviceSession::RunCommand(const CommandScheduler::Started &started)
{
    if (outputLocked && SwitchesOn(started.command)) {
        // Nothing is sent, so the tick's one transaction is still the poll read.
        ReportEnd(started.command, scheduler.Refuse(started.number), Success);
        PollRead();
        return;
    }
    const bool urgent = scheduler.UrgentWaiting();
    const LinkResult result = Attempt(started.command);
    const CommandScheduler::AttemptEnd end = scheduler.EndAttempt(started.number, result);
    if (urgent) {
        // Tried until it gets through; its failures tell the link's state as a read's would.
        CountPollRead(result == Success);
        if (result == Success)
            emit lockedOff();
        return;
    }
    ReportEnd(started.command, end, result);
}

bool DeviceSession::SwitchesOn(const SessionCommand &command) const
{
    return command.kind == SessionCommand::Kind::SwitchOutput &&
           command.outputOn.value_or(status.outputOn == 0);
}

LinkResult DeviceSession::Attempt(const SessionCommand &command)
{
    switch (command.kind) {
    case SessionCommand::Kind::WriteSetpoints: {
        const Setpoints setpoints = command.setpoints ? command.setpoints() : Setpoints();
        const LinkResult result = link->SetSetpoints(setpoints.voltage, setpoints.current);
        if (result == Success) {
            knownSetpoints = setpoints;
            emit setpointsWritten(setpoints);
        }
        return result;
    }
    case SessionCommand::Kind::SwitchOutput: {
        const bool on = command.outputOn.value_or(status.outputOn == 0);
        return link->SetOutput(on ? DeviceProtocol::OutputOnWord : DeviceProtocol::OutputOffWord);
    }
    case SessionCommand::Kind::ReadCalibration: {
        CalibrationBlock block;
        const LinkResult result = link->GetCalibration(block, DeviceOperation::Read);
        if (result == Success)
            emit calibrationRead(block);
        return result;
    }
    case SessionCommand::Kind::WriteCalibration:
        return link->SetCalibration(command.calibration ? command.calibration()
                                                        : CalibrationBlock(),
                                    DeviceOperation::Write);
    case SessionCommand::Kind::ReadUserParams: {
        UserParamBlock block;
        const LinkResult result = link->GetUserParams(block, DeviceOperation::Read);
        if (result == Success)
            emit userParamsRead(block);
        return result;
    }
    case SessionCommand::Kind::WriteUserParams:
        break;
    }
    return link->SetUserParams(command.userParams ? command.userParams() : UserParamBlock(),
                               DeviceOperation::Write);
}

void DeviceSession::ReportEnd(const SessionCommand &command,
                              const CommandScheduler::AttemptEnd &end, LinkResult result)
{
    if (end.verdict == AttemptVerdict::GiveUp) {
        if (IsRead(command.kind))
            emit readFailed(BlockOf(command.kind), result);
        else
            emit writeFailed(BlockOf(command.kind), result);
    }
    if (end.done)
        end.done(end.outcome);
}

void DeviceSession::PollRead()
{
    scheduler.CountPollRead();
    LinkResult result = Success;
    if (pollPhase == PollPhase::Status) {
        result = link->GetStatus(status);
        pollPhase = PollPhase::Adc;
        if (result == Success)
            emit statusRead(status);
        else
            emit readFailed(Block::Status, result);
    } else {
        result = link->GetAdc(adc);
        pollPhase = PollPhase::Status;
        if (result == Success)
            emit adcRead(adc);
        else
            emit readFailed(Block::Adc, result);
    }
    CountPollRead(result == Success);
}

void DeviceSession::CountPollRead(bool ok)
{
    failedPollReads = ok ? 0 : failedPollReads + 1;
    if (linkState == LinkState::PortLost || linkState == LinkState::Disconnected)
        return;
    if (ok)
        SetLinkState(LinkState::Connected);
    else if (failedPollReads >= FailedReadsForNoAnswer)
        SetLinkState(LinkState::NoAnswer);
}

void DeviceSession::ReadSetpoints()
{
    Setpoints setpoints;
    const LinkResult result = link->GetSetpoints(setpoints);
    if (result == Success) {
        knownSetpoints = setpoints;
        emit setpointsRead(setpoints);
    } else
        emit readFailed(Block::Setpoints, result);
}
