#include "session/devicesession.h"

#include "link/devicelink.h"
#include "link/deviceprotocol.h"
#include "link/porthangupguard.h"
#include "session/portchangewatch.h"
#include "session/writeretry.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>

namespace {

// A reply line is at most 512 characters; a few of them may wait between two ticks. Bounding
// the port's buffer keeps a peer that floods the line from growing it without end: the rest
// waits in the system's buffer, where the device's own flow control holds it.
constexpr qint64 ReadBufferBytes = 4096;

QVector<PortIdentity> ListedPorts()
{
    QVector<PortIdentity> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports << PortIdentity{info.portName(), info.serialNumber()};
    return ports;
}

} // namespace

DeviceSession::DeviceSession(QObject *parent) : QObject(parent)
{
    serialPort = new QSerialPort(this);
    serialPort->setReadBufferSize(ReadBufferBytes);
    hangupGuard = new PortHangupGuard(serialPort, serialPort);
    connect(hangupGuard, &PortHangupGuard::hungUp, this, &DeviceSession::HandleHangUp);

    link = std::make_unique<DeviceLink>();
    link->SetPort(serialPort);

    pollTimer = new QTimer(this);
    pollTimer->setInterval(PollIntervalMs);
    // A coarse timer may drift by 5 %; the refresh period should stay even.
    pollTimer->setTimerType(Qt::PreciseTimer);
    connect(pollTimer, &QTimer::timeout, this, &DeviceSession::TimeOut);
}

DeviceSession::~DeviceSession() = default;

QString DeviceSession::PortName() const
{
    return portName;
}

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
    // Only a listed port can be told apart from another by its adapter's serial number.
    const QSerialPortInfo info(*serialPort);
    openedPort = PortIdentity{name, info.serialNumber()};
    openedFolder = info.systemLocation().isEmpty()
                       ? QString()
                       : QFileInfo(info.systemLocation()).absolutePath();
    failedPollReads = 0;
    SetLinkState(LinkState::Connected);
    ReadSetpoints();
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
    EndRecovery();
    // A script must not wait for an operator to reconnect; the operator's own command waits.
    std::deque<Command> cancelled;
    cancelled.swap(queuedCommands);
    if (commandUnderWay && commandUnderWay->done) {
        cancelled.push_front(std::move(*commandUnderWay));
        commandUnderWay.reset();
    }
    SetLinkState(LinkState::Disconnected);
    for (const Command &command : cancelled)
        command.done(Outcome::Cancelled);
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
    // The first attempt comes a second after the loss: an adapter needs that long to come back.
    sinceReopenAttempt.start();
    if (!openedPort.serialNumber.isEmpty() && returnWatch == nullptr) {
        returnWatch = new PortChangeWatch({openedFolder}, ReopenIntervalMs, this);
        connect(returnWatch, &PortChangeWatch::changed, this,
                [this] { portsMayHaveChanged = true; });
        portsMayHaveChanged = true;
    }
    SetLinkState(LinkState::PortLost);
}

void DeviceSession::EndRecovery()
{
    delete returnWatch;
    returnWatch = nullptr;
}

QString DeviceSession::ReturnedName()
{
    if (openedPort.serialNumber.isEmpty())
        return openedPort.name;
    if (!portsMayHaveChanged)
        return QString();
    const QString name = ReturnedPortName(openedPort, ListedPorts());
    // Once found, the port is tried every second until it opens (its rights may come later).
    portsMayHaveChanged = !name.isEmpty();
    return name;
}

// Runs at the start of a tick, so the setpoint read of a reopened port is that tick's one
// transaction and never overlaps another.
bool DeviceSession::TryReopen()
{
    if (sinceReopenAttempt.isValid() && sinceReopenAttempt.elapsed() < ReopenIntervalMs)
        return false;
    sinceReopenAttempt.start();
    const QString name = ReturnedName();
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
    EndRecovery();
    failedPollReads = 0;
    SetLinkState(LinkState::Connected);
    ReadSetpoints();
    return true;
}

DeviceSession::Command &DeviceSession::Request(CommandKind kind)
{
    PendingCommand = Command();
    PendingCommand->kind = kind;
    PendingCommand->requestNumber = ++requestsMade;
    return *PendingCommand;
}

DeviceSession::Command &DeviceSession::Queue(CommandKind kind, Completion done)
{
    Command &command = queuedCommands.emplace_back();
    command.kind = kind;
    command.done = std::move(done);
    command.requestNumber = ++requestsMade;
    return command;
}

void DeviceSession::RequestSetpointsWrite(SetpointsSource source)
{
    Request(CommandKind::WriteSetpoints).setpoints = std::move(source);
}

void DeviceSession::RequestOutputSwitch(std::optional<bool> on)
{
    Request(CommandKind::SwitchOutput).outputOn = on;
}

void DeviceSession::RequestCalibrationRead()
{
    Request(CommandKind::ReadCalibration);
}

void DeviceSession::RequestCalibrationWrite(CalibrationSource source)
{
    Request(CommandKind::WriteCalibration).calibration = std::move(source);
}

void DeviceSession::RequestUserParamsRead()
{
    Request(CommandKind::ReadUserParams);
}

void DeviceSession::RequestUserParamsWrite(UserParamsSource source)
{
    Request(CommandKind::WriteUserParams).userParams = std::move(source);
}

void DeviceSession::QueueSetpointsWrite(SetpointsSource source, Completion done)
{
    Queue(CommandKind::WriteSetpoints, std::move(done)).setpoints = std::move(source);
}

void DeviceSession::QueueOutputSwitch(bool on, Completion done)
{
    Queue(CommandKind::SwitchOutput, std::move(done)).outputOn = on;
}

void DeviceSession::TimeOut()
{
    const bool reopened = linkState == LinkState::PortLost && TryReopen();
    if (!reopened) {
        // A waiting command starts only once the one under way has ended.
        if (!commandUnderWay)
            StartNextCommand();
        if (commandUnderWay)
            RunCommand();
        else
            PollRead();
    }
    emit tickDone();
}

void DeviceSession::StartNextCommand()
{
    const bool queuedMayStart =
        !queuedCommands.empty() && pollReadsSinceQueued >= PollReadsBetweenQueued;
    if (queuedMayStart &&
        (!PendingCommand || queuedCommands.front().requestNumber < PendingCommand->requestNumber)) {
        commandUnderWay = std::move(queuedCommands.front());
        queuedCommands.pop_front();
    } else if (PendingCommand) {
        commandUnderWay = std::move(PendingCommand);
        PendingCommand.reset();
    } else {
        return;
    }
    retryCount = 0;
}

// Requests made during the transaction only touch PendingCommand and the queue, so ending the
// command under way here never drops them.
void DeviceSession::RunCommand()
{
    // A copy: the command's sources are called while the transaction processes events.
    const Command command = *commandUnderWay;
    std::optional<LinkResult> endedWith;
    switch (command.kind) {
    case CommandKind::WriteSetpoints: {
        const Setpoints setpoints = command.setpoints ? command.setpoints() : Setpoints();
        const LinkResult result = link->SetSetpoints(setpoints.voltage, setpoints.current);
        if (result == Success) {
            knownSetpoints = setpoints;
            emit setpointsWritten(setpoints);
        }
        if (RunAttempt(Block::Setpoints, result))
            endedWith = result;
        break;
    }
    case CommandKind::SwitchOutput: {
        const bool on = command.outputOn.value_or(status.outputOn == 0);
        const LinkResult result =
            link->SetOutput(on ? DeviceProtocol::OutputOnWord : DeviceProtocol::OutputOffWord);
        if (RunAttempt(Block::Output, result))
            endedWith = result;
        break;
    }
    case CommandKind::ReadCalibration:
        ReadCalibration();
        break;
    case CommandKind::WriteCalibration:
        ReportWrite(
            Block::Calibration,
            link->SetCalibration(command.calibration ? command.calibration() : CalibrationBlock(),
                                 DeviceOperation::Write));
        break;
    case CommandKind::ReadUserParams:
        ReadUserParams();
        break;
    case CommandKind::WriteUserParams:
        ReportWrite(Block::UserParams, link->SetUserParams(command.userParams ? command.userParams()
                                                                              : UserParamBlock(),
                                                           DeviceOperation::Write));
        break;
    }
    if (command.kind != CommandKind::WriteSetpoints && command.kind != CommandKind::SwitchOutput)
        endedWith = Success;
    if (endedWith)
        EndCommand(*endedWith);
}

void DeviceSession::EndCommand(LinkResult result)
{
    // Close() may have cancelled it while its transaction waited.
    if (!commandUnderWay)
        return;
    const Completion done = std::move(commandUnderWay->done);
    commandUnderWay.reset();
    if (!done)
        return;
    pollReadsSinceQueued = 0;
    done(result == Success   ? Outcome::Done
         : result == NoReply ? Outcome::NoReply
                             : Outcome::BadReply);
}

bool DeviceSession::RunAttempt(Block block, LinkResult result)
{
    switch (JudgeWriteAttempt(result, retryCount)) {
    case AttemptVerdict::Finished:
        emit writeDone(block);
        return true;
    case AttemptVerdict::GiveUp:
        emit writeFailed(block, result);
        return true;
    case AttemptVerdict::Retry:
        break;
    }
    return false;
}

void DeviceSession::PollRead()
{
    if (pollReadsSinceQueued < PollReadsBetweenQueued)
        ++pollReadsSinceQueued;
    if (pollPhase == PollPhase::Status) {
        const LinkResult result = link->GetStatus(status);
        pollPhase = PollPhase::Adc;
        if (result == Success)
            emit statusRead(status);
        else
            emit readFailed(Block::Status, result);
        CountPollRead(result == Success);
    } else {
        const LinkResult result = link->GetAdc(adc);
        pollPhase = PollPhase::Status;
        if (result == Success)
            emit adcRead(adc);
        else
            emit readFailed(Block::Adc, result);
        CountPollRead(result == Success);
    }
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

void DeviceSession::ReadCalibration()
{
    CalibrationBlock block;
    const LinkResult result = link->GetCalibration(block, DeviceOperation::Read);
    if (result == Success)
        emit calibrationRead(block);
    else
        emit readFailed(Block::Calibration, result);
}

void DeviceSession::ReadUserParams()
{
    UserParamBlock block;
    const LinkResult result = link->GetUserParams(block, DeviceOperation::Read);
    if (result == Success)
        emit userParamsRead(block);
    else
        emit readFailed(Block::UserParams, result);
}

void DeviceSession::ReportWrite(Block block, LinkResult result)
{
    if (result == Success)
        emit writeDone(block);
    else
        emit writeFailed(block, result);
}
