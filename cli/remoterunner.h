#pragma once

#include "cli/clicommand.h"
#include "cli/failure.h"
#include "cli/scpianswer.h"
#include "cli/scpiconnection.h"
#include "log/logrecorder.h"

#include <QObject>
#include <QString>

#include <optional>

class Console;
class QTimer;

// Carries out one command through a running panel's SCPI server (--via) rather than a port:
// the panel's session talks to the converter, so the panel's window shows every change. What
// it prints, and the exit status of each outcome, are those of CommandRunner.
// After each exchange the client's error queue is emptied; its first error decides.
class RemoteRunner : public QObject
{
    Q_OBJECT

public:
    RemoteRunner(const CliCommand &command, Console &console, QObject *parent = nullptr);
    ~RemoteRunner() override;

    // Connects and carries out the command. finished() follows once, possibly before this
    // returns.
    void Start();

signals:
    void finished(int exitStatus);

private:
    void ShowStatus();
    void ShowAdc();
    void ShowSetpoints();
    void WriteSetpoints();
    void SwitchOutput(bool on);
    void ShowCounters();
    void ResetCounters();
    void StartLog();
    void LogStep();
    void ReportFreshness(bool fresh);

    // The answer as a reading, a stale one included; nothing once the run has failed.
    std::optional<ScpiReading> Ask(const char *query, double stepsPerUnit);
    // A result's reading: a stale one fails the run as a converter that does not answer.
    std::optional<ScpiReading> Read(const char *query, double stepsPerUnit);
    // A counter's value as the panel gives it; nothing once the run has failed.
    std::optional<double> Count(const char *query);
    // The same, for the first counter: it tells a panel without counters, which leaves the
    // query unanswered, at once rather than after the time-out.
    std::optional<double> FirstCount(const char *query);
    // The answer as a counter; `detail` ends the message when it is none.
    std::optional<double> TakeCount(const char *query, const QByteArray &answer,
                                    const QString &detail = QString());
    // Sends a setpoint or the output switch; true once the panel has carried it out.
    bool Write(const QByteArray &command);
    // Asks SYST:ERR? until the queue is empty. False, with the run failed, for a first error
    // other than a stale reading where that is allowed (the log has its own word for it).
    bool EmptyErrorQueue(const QString &context, bool staleAllowed = false);
    void Fail(Failure failure, const QString &message);
    void Finish(int exitStatus);

    CliCommand command;
    Console &console;
    ScpiConnection connection;
    LogRecorder recorder;
    QTimer *logTimer = nullptr;
    int linesWritten = 0;
    bool troubleReported = false;
    std::optional<int> outcome;
    bool finishedAlready = false;
};
