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
    connect(pollTimer, &QTimer::timeout, this, &DeviceSession::pollDue);
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
    SetLinkState(LinkState::Disconnected);
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

void DeviceSession::RequestSetpointsWrite(SetpointsSource source)
{
    setpointsSource = std::move(source);
    PendingCommand = WriteSetpointsCommand;
    retryCount = 0;
}

void DeviceSession::RequestOutputSwitch(std::optional<bool> on)
{
    outputTarget = on;
    PendingCommand = SwitchOutputCommand;
    retryCount = 0;
}

void DeviceSession::RequestCalibrationRead()
{
    PendingCommand = ReadCalibrationCommand;
}

void DeviceSession::RequestCalibrationWrite(CalibrationSource source)
{
    calibrationSource = std::move(source);
    PendingCommand = WriteCalibrationCommand;
}

void DeviceSession::RequestUserParamsRead()
{
    PendingCommand = ReadUserParamsCommand;
}

void DeviceSession::RequestUserParamsWrite(UserParamsSource source)
{
    userParamsSource = std::move(source);
    PendingCommand = WriteUserParamsCommand;
}

void DeviceSession::Poll()
{
    if (linkState == LinkState::PortLost && TryReopen())
        return;
    switch (PendingCommand) {
    case Idle:
        PollRead();
        break;
    case WriteSetpointsCommand:
        RunWriteCommand(Block::Setpoints, &DeviceSession::WriteSetpoints);
        break;
    case SwitchOutputCommand:
        RunWriteCommand(Block::Output, &DeviceSession::SwitchOutput);
        break;
    case ReadCalibrationCommand:
        ReadCalibration();
        PendingCommand = Idle;
        break;
    case WriteCalibrationCommand:
        WriteCalibration();
        PendingCommand = Idle;
        break;
    case ReadUserParamsCommand:
        ReadUserParams();
        PendingCommand = Idle;
        break;
    case WriteUserParamsCommand:
        WriteUserParams();
        PendingCommand = Idle;
        break;
    default:
        break;
    }
}

void DeviceSession::PollRead()
{
    if (pollPhase == 0) {
        const LinkResult result = link->GetStatus(status);
        pollPhase = 1;
        if (result == Success)
            emit statusRead(status);
        else
            emit readFailed(Block::Status, result);
        CountPollRead(result == Success);
    } else {
        const LinkResult result = link->GetAdc(adc);
        pollPhase = 0;
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
    const LinkResult result = link->GetSetpoints(setpoints.voltage, setpoints.current);
    if (result == Success)
        emit setpointsRead(setpoints);
    else
        emit readFailed(Block::Setpoints, result);
}

LinkResult DeviceSession::WriteSetpoints()
{
    const Setpoints setpoints = setpointsSource ? setpointsSource() : Setpoints();
    return link->SetSetpoints(setpoints.voltage, setpoints.current);
}

LinkResult DeviceSession::SwitchOutput()
{
    const bool on = outputTarget.value_or(status.outputOn == 0);
    return link->SetOutput(on ? DeviceProtocol::OutputOnWord : DeviceProtocol::OutputOffWord);
}

// A retry leaves PendingCommand alone, so a command requested during this tick's transaction
// takes the place of the retry.
void DeviceSession::RunWriteCommand(Block block, LinkResult (DeviceSession::*attempt)())
{
    const LinkResult result = (this->*attempt)();
    switch (JudgeWriteAttempt(result, retryCount)) {
    case AttemptVerdict::Finished:
        PendingCommand = Idle;
        emit writeDone(block);
        break;
    case AttemptVerdict::GiveUp:
        emit writeFailed(block, result);
        PendingCommand = Idle;
        break;
    case AttemptVerdict::Retry:
        break;
    }
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

void DeviceSession::WriteCalibration()
{
    const CalibrationBlock c = calibrationSource ? calibrationSource() : CalibrationBlock();
    ReportWrite(Block::Calibration,
                link->SetCalibration(c.kuDacVolt, c.kuAdcVolt, c.kuDacCurr, c.kuAdcCurr,
                                     c.kuAdcCurrFine, c.offDacVolt, c.offAdcVolt, c.offDacCurr,
                                     c.offAdcCurr, c.offAdcCurrFine, c.rout,
                                     DeviceOperation::Write));
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

void DeviceSession::WriteUserParams()
{
    const UserParamBlock u = userParamsSource ? userParamsSource() : UserParamBlock();
    ReportWrite(Block::UserParams,
                link->SetUserParams(u.nvpStatus, u.lifeCounter, u.currTrigStat, u.currTrigTime,
                                    u.ioutMax, u.uoutMax, u.poutMax, u.routUser, u.fanGainCurrent,
                                    u.fanDelay, u.fanDutyOff, DeviceOperation::Write));
}

void DeviceSession::ReportWrite(Block block, LinkResult result)
{
    if (result == Success)
        emit writeDone(block);
    else
        emit writeFailed(block, result);
}
