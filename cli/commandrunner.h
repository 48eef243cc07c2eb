#pragma once

#include "cli/clicommand.h"
#include "cli/failure.h"
#include "link/devicerecords.h"
#include "link/linkresult.h"
#include "session/devicesession.h"

#include <QObject>
#include <QString>

#include <optional>

class Console;
class SessionLogger;
struct LogEntry;

// Carries out one device command over a DeviceSession, exactly as the panel would: the session's
// poll tick runs the transactions and its logger the log, so frames, time-outs, write attempts
// and log lines are the panel's.
// Results go to standard output, failures to standard error, both through the console.
class CommandRunner : public QObject
{
    Q_OBJECT

public:
    CommandRunner(const CliCommand &command, Console &console, QObject *parent = nullptr);
    ~CommandRunner() override;

    // Checks the command's file, opens the port and starts the command. finished() follows
    // once, possibly before this returns.
    void Start();

signals:
    void finished(int exitStatus);

private:
    bool CheckCaps();
    bool LoadBlockFile();
    void RequestCommand();
    void Run(SessionCommand sessionCommand);
    void CommandEnded(SessionCommand::Kind kind, CommandOutcome ended);
    void EndTick();
    void ShowStatus(const OutputStatus &status);
    void ShowAdc(const AdcReadings &adc);
    void ShowSetpoints(const Setpoints &setpoints);
    void TakeCalibration(const CalibrationBlock &block);
    void TakeUserParams(const UserParamBlock &block);
    void HandleReadFailure(DeviceSession::Block block, LinkResult result);
    void ReportReadFailure(LinkResult result);
    void ReportWritten();
    void ReportLinkState(DeviceSession::LinkState state);
    void WriteLogLine(const LogEntry &entry);
    void SaveBlock(const QJsonObject &block);
    void Fail(Failure failure, const QString &message);
    void Succeed();
    void Finish(int exitStatus);

    CliCommand command;
    Console &console;
    DeviceSession *session = nullptr;
    SessionLogger *logger = nullptr;
    CalibrationBlock fileCalibration;
    UserParamBlock fileUserParams;
    int linesWritten = 0;
    bool linkTroubleReported = false;
    // Set once the command has its outcome; the run ends after the current step.
    std::optional<int> outcome;
    bool finishedAlready = false;
};
