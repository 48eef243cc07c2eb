#include "cli/commandrunner.h"

#include "cli/blockfile.h"
#include "cli/console.h"
#include "cli/portproblem.h"
#include "cli/resulttext.h"
#include "cli/setpointcaps.h"
#include "log/sessionlogger.h"

#include <QDateTime>
#include <QFileInfo>

namespace {

// The session's own read whose outcome decides a reading command's.
std::optional<DeviceSession::Block> ReadBlockOf(CliAction action)
{
    switch (action) {
    case CliAction::Status:
        return DeviceSession::Block::Status;
    case CliAction::Adc:
        return DeviceSession::Block::Adc;
    case CliAction::Setpoints:
        return DeviceSession::Block::Setpoints;
    default:
        return std::nullopt;
    }
}

QString Reason(LinkResult result)
{
    return result == NoReply ? QStringLiteral("преобразователь не отвечает")
                             : QStringLiteral("неверный ответ преобразователя");
}

} // namespace

CommandRunner::CommandRunner(const CliCommand &command, Console &console, QObject *parent)
    : QObject(parent), command(command), console(console)
{
    session = new DeviceSession(this);
    if (command.action == CliAction::Log) {
        logger = new SessionLogger(session, command.log, this);
        connect(logger, &SessionLogger::lineDue, this, &CommandRunner::WriteLogLine);
    }
}

CommandRunner::~CommandRunner() = default;

void CommandRunner::Start()
{
    // A bad file or a setpoint above its cap is refused before the port is even opened, so
    // nothing at all is sent.
    if (!CheckCaps() || !LoadBlockFile()) {
        Finish(*outcome);
        return;
    }
    session->SetTrace(command.trace ? console.ErrorDevice() : nullptr);
    // After the logger's step, so that the line that completes a count ends the run at once.
    connect(session, &DeviceSession::tickDone, this, &CommandRunner::EndTick);
    connect(session, &DeviceSession::statusRead, this, &CommandRunner::ShowStatus);
    connect(session, &DeviceSession::adcRead, this, &CommandRunner::ShowAdc);
    connect(session, &DeviceSession::setpointsRead, this, &CommandRunner::ShowSetpoints);
    connect(session, &DeviceSession::calibrationRead, this, &CommandRunner::TakeCalibration);
    connect(session, &DeviceSession::userParamsRead, this, &CommandRunner::TakeUserParams);
    connect(session, &DeviceSession::readFailed, this, &CommandRunner::HandleReadFailure);
    connect(session, &DeviceSession::linkStateChanged, this, &CommandRunner::ReportLinkState);

    if (!session->Open(command.port)) {
        const Failure failure =
            ClassifyOpenFailure(session->OpenFailure(), LookAtPortFile(command.port));
        Fail(failure, OpenFailureText(failure, command.port, session->OpenError()));
        Finish(*outcome);
        return;
    }
    // Opening reads the setpoints, which is all the setpoints command needs.
    if (outcome) {
        Finish(*outcome);
        return;
    }
    RequestCommand();
}

// Setpoints above the operator's caps are refused, as the panel refuses them.
bool CommandRunner::CheckCaps()
{
    if (command.action != CliAction::Set)
        return true;
    const QString problem = StoredSetpointCapProblem(command.setpoints);
    if (!problem.isEmpty())
        Fail(Failure::Usage, problem);
    return problem.isEmpty();
}

bool CommandRunner::LoadBlockFile()
{
    if (command.action != CliAction::CalibrationSet && command.action != CliAction::UserSet)
        return true;
    QString problem;
    const std::optional<QJsonObject> object = ReadJsonObjectFile(command.file, problem);
    if (!object) {
        Fail(Failure::BadFile, problem);
        return false;
    }
    QStringList problems;
    if (command.action == CliAction::CalibrationSet) {
        const std::optional<CalibrationBlock> block = CalibrationFromJson(*object, problems);
        fileCalibration = block.value_or(CalibrationBlock());
    } else {
        const std::optional<UserParamBlock> block = UserParamsFromJson(*object, problems);
        fileUserParams = block.value_or(UserParamBlock());
    }
    if (!problems.isEmpty()) {
        Fail(Failure::BadFile, QStringLiteral("«%1»: %2; ничего не отправлено")
                                   .arg(command.file, problems.join(QStringLiteral("; "))));
        return false;
    }
    return true;
}

void CommandRunner::RequestCommand()
{
    switch (command.action) {
    case CliAction::Set:
        Run(SessionCommand::WriteSetpoints([setpoints = command.setpoints] { return setpoints; }));
        break;
    case CliAction::On:
    case CliAction::Off:
        Run(SessionCommand::SwitchOutput(command.action == CliAction::On));
        break;
    case CliAction::CalibrationGet:
    case CliAction::CalibrationSet:
        // For set, the read is the backup; the write follows only once the backup is saved.
        Run(SessionCommand::ReadCalibration());
        break;
    case CliAction::UserGet:
        Run(SessionCommand::ReadUserParams());
        break;
    case CliAction::UserSet:
        Run(SessionCommand::WriteUserParams([block = fileUserParams] { return block; }));
        break;
    case CliAction::Log:
        logger->Start();
        break;
    default:
        break;
    }
}

// The tool is the converter's one operator while it runs.
void CommandRunner::Run(SessionCommand sessionCommand)
{
    const SessionCommand::Kind kind = sessionCommand.kind;
    session->Submit(std::move(sessionCommand), CommandLane::Operator,
                    [this, kind](CommandOutcome ended) { CommandEnded(kind, ended); });
}

void CommandRunner::CommandEnded(SessionCommand::Kind kind, CommandOutcome ended)
{
    const bool read = kind == SessionCommand::Kind::ReadCalibration ||
                      kind == SessionCommand::Kind::ReadUserParams;
    if (ended == CommandOutcome::Done) {
        // What a read brought was taken from its signal, before this.
        if (!read)
            ReportWritten();
        return;
    }
    const LinkResult result = ended == CommandOutcome::NoReply ? NoReply : BadReply;
    if (read) {
        ReportReadFailure(result);
        return;
    }
    QString message = QStringLiteral("Ошибка записи: ") + Reason(result);
    // Setpoints and the output switch are tried on four ticks, as the panel does.
    if (kind == SessionCommand::Kind::WriteSetpoints || kind == SessionCommand::Kind::SwitchOutput)
        message += QStringLiteral(" (4 попытки)");
    Fail(FailureOf(result), message);
}

void CommandRunner::EndTick()
{
    if (outcome)
        Finish(*outcome);
}

void CommandRunner::ShowStatus(const OutputStatus &status)
{
    if (command.action != CliAction::Status)
        return;
    console.Print(ResultText::Status(status, command.json));
    Succeed();
}

void CommandRunner::ShowAdc(const AdcReadings &adc)
{
    if (command.action != CliAction::Adc)
        return;
    console.Print(ResultText::Adc(adc, command.json));
    Succeed();
}

void CommandRunner::ShowSetpoints(const Setpoints &setpoints)
{
    if (command.action != CliAction::Setpoints)
        return;
    console.Print(ResultText::SetpointValues(setpoints, command.json));
    Succeed();
}

void CommandRunner::TakeCalibration(const CalibrationBlock &block)
{
    if (command.action == CliAction::CalibrationGet) {
        SaveBlock(CalibrationToJson(block));
        return;
    }
    if (command.action != CliAction::CalibrationSet)
        return;
    const QString backup = BackupPath(command.file, QDateTime::currentDateTime(),
                                      [](const QString &path) { return QFileInfo::exists(path); });
    QString problem;
    if (!WriteJsonFile(backup, CalibrationToJson(block), problem)) {
        Fail(Failure::BadFile, problem + QStringLiteral("; без резервной копии калибровка не "
                                                        "записывается"));
        return;
    }
    console.Print(ResultText::Fact(QStringLiteral("backup"), backup, command.json));
    Run(SessionCommand::WriteCalibration([block = fileCalibration] { return block; }));
}

void CommandRunner::TakeUserParams(const UserParamBlock &block)
{
    if (command.action == CliAction::UserGet)
        SaveBlock(UserParamsToJson(block));
}

void CommandRunner::SaveBlock(const QJsonObject &block)
{
    if (command.file.isEmpty()) {
        console.Print(ResultText::Block(block, command.json));
        Succeed();
        return;
    }
    QString problem;
    if (!WriteJsonFile(command.file, block, problem)) {
        Fail(Failure::BadFile, problem);
        return;
    }
    console.Print(ResultText::Fact(QStringLiteral("saved"), command.file, command.json));
    Succeed();
}

// The poll reads and the setpoint read of the opening; a command's own read reports through
// its completion.
void CommandRunner::HandleReadFailure(DeviceSession::Block block, LinkResult result)
{
    if (logger || ReadBlockOf(command.action) != block)
        return;
    ReportReadFailure(result);
}

void CommandRunner::ReportReadFailure(LinkResult result)
{
    QString message = QStringLiteral("Ошибка чтения: ") + Reason(result);
    if (command.action == CliAction::CalibrationSet)
        message += QStringLiteral("; без резервной копии калибровка не записывается");
    Fail(FailureOf(result), message);
}

void CommandRunner::ReportWritten()
{
    switch (command.action) {
    case CliAction::Set:
        console.Print(ResultText::SetpointValues(command.setpoints, command.json));
        break;
    case CliAction::On:
    case CliAction::Off:
        console.Print(ResultText::Output(command.action == CliAction::On, command.json));
        break;
    case CliAction::CalibrationSet:
        console.Print(ResultText::Fact(QStringLiteral("written"), QStringLiteral("calibration"),
                                       command.json));
        break;
    default:
        console.Print(
            ResultText::Fact(QStringLiteral("written"), QStringLiteral("user"), command.json));
        break;
    }
    Succeed();
}

// Only a log outlives a failed read; it goes on, as the panel's does, and says so once per
// change.
void CommandRunner::ReportLinkState(DeviceSession::LinkState state)
{
    if (!logger)
        return;
    switch (state) {
    case DeviceSession::LinkState::NoAnswer:
        linkTroubleReported = true;
        console.Complain(ResultText::Note(QStringLiteral("no-answer"),
                                          QStringLiteral("преобразователь не отвечает"),
                                          command.json));
        break;
    case DeviceSession::LinkState::PortLost:
        linkTroubleReported = true;
        console.Complain(ResultText::Note(
            QStringLiteral("port-lost"),
            QStringLiteral("порт %1 пропал; попытка открыть его раз в секунду").arg(command.port),
            command.json));
        break;
    case DeviceSession::LinkState::Connected:
        if (linkTroubleReported)
            console.Complain(ResultText::Note(QStringLiteral("answering"),
                                              QStringLiteral("связь восстановлена"), command.json));
        linkTroubleReported = false;
        break;
    case DeviceSession::LinkState::Disconnected:
        break;
    }
}

void CommandRunner::WriteLogLine(const LogEntry &entry)
{
    console.Print(ResultText::LogEntryLine(entry, command.json));
    ++linesWritten;
    if (command.count > 0 && linesWritten >= command.count)
        Succeed();
}

void CommandRunner::Fail(Failure failure, const QString &message)
{
    if (outcome)
        return;
    console.Complain(ResultText::Error(failure, message, command.json));
    outcome = ExitStatusOf(failure);
}

void CommandRunner::Succeed()
{
    if (!outcome)
        outcome = ExitSuccess;
}

void CommandRunner::Finish(int exitStatus)
{
    if (finishedAlready)
        return;
    finishedAlready = true;
    session->Close();
    emit finished(exitStatus);
}
