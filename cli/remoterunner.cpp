#include "cli/remoterunner.h"

#include "cli/console.h"
#include "cli/resulttext.h"
#include "cli/setpointcaps.h"
#include "remote/scpiconditionbits.h"

#include <QTimer>

namespace {

const QString ReadFailure = QStringLiteral("Ошибка чтения: ");
const QString WriteFailure = QStringLiteral("Ошибка записи: ");

// Steps of the records' fields per unit of the answers (volts, amperes).
constexpr double TenMillivolts = 100;
constexpr double Milli = 1000;
constexpr double TenthMilliamps = 10000;
constexpr double Whole = 1;

// STAT:OPER:COND? bits.

// An error queue holds 16 entries; more answers than that is a server that never says
// "0,No error".
constexpr int LongestErrorQueue = 17;

// The panel's own words on an error, after vornexctl's.
QString PanelSays(const ScpiQueueEntry &entry)
{
    return QStringLiteral(" (панель: %1, «%2»)").arg(entry.code).arg(entry.text);
}

} // namespace

RemoteRunner::RemoteRunner(const CliCommand &command, Console &console, QObject *parent)
    : QObject(parent), command(command), console(console), connection(*command.via),
      recorder(command.log)
{
}

RemoteRunner::~RemoteRunner() = default;

void RemoteRunner::Start()
{
    // The caps this computer's panel keeps are checked before anything is sent; the panel
    // reached may keep others, and refuses by its own (-222).
    if (command.action == CliAction::Set) {
        const QString problem = StoredSetpointCapProblem(command.setpoints);
        if (!problem.isEmpty()) {
            Fail(Failure::Usage, problem);
            Finish(*outcome);
            return;
        }
    }
    connection.SetTrace(command.trace ? console.ErrorDevice() : nullptr);
    if (!connection.Connect()) {
        Fail(Failure::NoPanel, connection.Problem());
        Finish(*outcome);
        return;
    }
    switch (command.action) {
    case CliAction::Status:
        ShowStatus();
        break;
    case CliAction::Adc:
        ShowAdc();
        break;
    case CliAction::Setpoints:
        ShowSetpoints();
        break;
    case CliAction::Set:
        WriteSetpoints();
        break;
    case CliAction::On:
    case CliAction::Off:
        SwitchOutput(command.action == CliAction::On);
        break;
    case CliAction::Counters:
        ShowCounters();
        break;
    case CliAction::CountersReset:
        ResetCounters();
        break;
    case CliAction::Log:
        StartLog();
        return;
    default:
        break;
    }
    Finish(outcome.value_or(ExitSuccess));
}

void RemoteRunner::ShowStatus()
{
    const std::optional<ScpiReading> volts = Read("MEAS:VOLT?", TenMillivolts);
    const std::optional<ScpiReading> amps =
        volts ? Read("MEAS:CURR?", TenthMilliamps) : std::nullopt;
    const std::optional<ScpiReading> mode = amps ? Read("STAT:OPER:COND?", Whole) : std::nullopt;
    const std::optional<ScpiReading> output = mode ? Read("OUTP?", Whole) : std::nullopt;
    if (!output || !EmptyErrorQueue(ReadFailure))
        return;
    OutputStatus status;
    status.voltage = volts->steps;
    status.currentRange = (mode->steps & ScpiConditionBits::FineCurrentRange) != 0;
    status.current = status.currentRange ? amps->steps : qRound(amps->steps / 10.0);
    status.cvMode = (mode->steps & ScpiConditionBits::ConstantVoltage) != 0;
    status.ccMode = (mode->steps & ScpiConditionBits::ConstantCurrent) != 0;
    status.outputOn = output->steps != 0;
    console.Print(ResultText::Status(status, command.json));
}

void RemoteRunner::ShowAdc()
{
    const std::optional<ScpiReading> volts = Read("MEAS:ADC:VOLT?", Milli);
    const std::optional<ScpiReading> amps = volts ? Read("MEAS:ADC:CURR?", Milli) : std::nullopt;
    const std::optional<ScpiReading> fine =
        amps ? Read("MEAS:ADC:CURR:FINE?", TenthMilliamps) : std::nullopt;
    const std::optional<ScpiReading> input = fine ? Read("MEAS:ADC:INP?", Milli) : std::nullopt;
    const std::optional<ScpiReading> reference =
        input ? Read("MEAS:ADC:REF?", Milli) : std::nullopt;
    if (!reference || !EmptyErrorQueue(ReadFailure))
        return;
    AdcReadings adc;
    adc.sdadcVoltage = volts->steps;
    adc.sdadcCurrent = amps->steps;
    adc.fineCurrent = fine->steps;
    adc.inputVoltage = input->steps;
    adc.referenceVoltage = reference->steps;
    console.Print(ResultText::Adc(adc, command.json));
}

void RemoteRunner::ShowSetpoints()
{
    const std::optional<ScpiReading> volts = Read("VOLT?", Milli);
    const std::optional<ScpiReading> amps = volts ? Read("CURR?", Milli) : std::nullopt;
    if (!amps || !EmptyErrorQueue(ReadFailure))
        return;
    console.Print(ResultText::SetpointValues(Setpoints{volts->steps, amps->steps}, command.json));
}

void RemoteRunner::WriteSetpoints()
{
    // The decimals of the panel's setpoint boxes, which the values already keep to.
    const Setpoints &setpoints = command.setpoints;
    if (!Write("VOLT " + QByteArray::number(setpoints.voltage / Milli, 'f', 2)) ||
        !Write("CURR " + QByteArray::number(setpoints.current / Milli, 'f', 3)))
        return;
    console.Print(ResultText::SetpointValues(setpoints, command.json));
}

void RemoteRunner::SwitchOutput(bool on)
{
    if (!Write(on ? "OUTP ON" : "OUTP OFF"))
        return;
    console.Print(ResultText::Output(on, command.json));
}

// The panel's live counters. The server does not say when they were reset.
void RemoteRunner::ShowCounters()
{
    const std::optional<double> charge = FirstCount("FETC:CHAR?");
    const std::optional<double> energy = charge ? Count("FETC:ENER?") : std::nullopt;
    const std::optional<double> onTime = energy ? Count("FETC:ONT?") : std::nullopt;
    const std::optional<double> gapTime = onTime ? Count("FETC:GAP?") : std::nullopt;
    if (!gapTime || !EmptyErrorQueue(ReadFailure))
        return;
    CounterValues counters;
    counters.ampereHours = *charge;
    counters.wattHours = *energy;
    counters.onSeconds = *onTime;
    counters.gapSeconds = *gapTime;
    counters.resetKnown = false;
    console.Print(ResultText::Counters(counters, command.json));
}

// Prints the counters as the panel has them after the reset.
void RemoteRunner::ResetCounters()
{
    if (!Write("SENS:ACC:RES"))
        return;
    ShowCounters();
}

// One exchange per log period; the recorder decides, as for the panel's log, whether the
// period has its line.
void RemoteRunner::StartLog()
{
    logTimer = new QTimer(this);
    logTimer->setTimerType(Qt::PreciseTimer);
    logTimer->setInterval(QTime(0, 0).msecsTo(command.log.logPeriod));
    connect(logTimer, &QTimer::timeout, this, &RemoteRunner::LogStep);
    recorder.Start();
    logTimer->start();
    LogStep();
}

void RemoteRunner::LogStep()
{
    const bool adcSource = command.log.logValue != 0;
    const std::optional<ScpiReading> volts =
        Ask(adcSource ? "MEAS:ADC:VOLT?" : "MEAS:VOLT?", adcSource ? Milli : TenMillivolts);
    const std::optional<ScpiReading> amps =
        volts ? Ask(adcSource ? "MEAS:ADC:CURR?" : "MEAS:CURR?", TenthMilliamps) : std::nullopt;
    if (!amps || !EmptyErrorQueue(ReadFailure, true)) {
        Finish(*outcome);
        return;
    }
    const bool fresh =
        volts->kind == ScpiReading::Kind::Value && amps->kind == ScpiReading::Kind::Value;
    ReportFreshness(fresh);

    // The current goes in the fine range's 0.1 mA steps, so that the line has every digit of
    // the answer in either range.
    OutputStatus status;
    status.currentRange = 1;
    AdcReadings adc;
    if (adcSource) {
        adc.sdadcVoltage = volts->steps;
        adc.fineCurrent = amps->steps;
        recorder.AdcRead(fresh);
    } else {
        status.voltage = volts->steps;
        status.current = amps->steps;
        recorder.StatusRead(fresh);
    }
    const LogStepResult step = recorder.Step(status, adc);
    if (!step.entry)
        return;
    console.Print(ResultText::LogEntryLine(*step.entry, command.json));
    ++linesWritten;
    if (command.count > 0 && linesWritten >= command.count)
        Finish(ExitSuccess);
}

// As a log over a port, a log through the panel goes on while the converter is silent and
// says so once per change.
void RemoteRunner::ReportFreshness(bool fresh)
{
    if (fresh == !troubleReported)
        return;
    troubleReported = !fresh;
    console.Complain(fresh ? ResultText::Note(QStringLiteral("answering"),
                                              QStringLiteral("связь восстановлена"), command.json)
                           : ResultText::Note(QStringLiteral("no-answer"),
                                              QStringLiteral("преобразователь не отвечает"),
                                              command.json));
}

std::optional<ScpiReading> RemoteRunner::Ask(const char *query, double stepsPerUnit)
{
    const std::optional<QByteArray> answer = connection.Ask(query);
    if (!answer) {
        Fail(Failure::NoPanel, connection.Problem());
        return std::nullopt;
    }
    const ScpiReading reading = ParseScpiReading(*answer, stepsPerUnit);
    if (reading.kind == ScpiReading::Kind::Malformed) {
        Fail(Failure::BadReply,
             ReadFailure + QStringLiteral("неверный ответ панели на %1: «%2»")
                               .arg(QLatin1String(query), QString::fromUtf8(*answer)));
        return std::nullopt;
    }
    return reading;
}

std::optional<ScpiReading> RemoteRunner::Read(const char *query, double stepsPerUnit)
{
    const std::optional<ScpiReading> reading = Ask(query, stepsPerUnit);
    if (!reading)
        return std::nullopt;
    if (reading->kind == ScpiReading::Kind::Stale) {
        Fail(Failure::NoReply, ReadFailure + QStringLiteral("преобразователь не отвечает"));
        return std::nullopt;
    }
    return reading;
}

std::optional<double> RemoteRunner::Count(const char *query)
{
    const std::optional<QByteArray> answer = connection.Ask(query);
    if (!answer) {
        Fail(Failure::NoPanel, connection.Problem());
        return std::nullopt;
    }
    return TakeCount(query, *answer);
}

// The query and SYST:ERR? go out together. A panel that knows the query answers both; one that
// does not answers only SYST:ERR?, with the error it queued for the query.
std::optional<double> RemoteRunner::FirstCount(const char *query)
{
    connection.Send(query);
    const std::optional<QByteArray> answer = connection.Ask("SYST:ERR?");
    if (!answer) {
        Fail(Failure::NoPanel, connection.Problem());
        return std::nullopt;
    }
    if (const std::optional<ScpiQueueEntry> entry = ParseScpiQueueEntry(*answer)) {
        const QString unanswered =
            ReadFailure + QStringLiteral("панель не ответила на %1: счётчиков у неё нет (панель "
                                         "старой версии?)")
                              .arg(QLatin1String(query));
        Fail(Failure::BadReply, entry->code == 0 ? unanswered : unanswered + PanelSays(*entry));
        return std::nullopt;
    }
    // The answer to SYST:ERR?: the error queued for the query, if any.
    const std::optional<QByteArray> error = connection.NextAnswer();
    if (!error) {
        Fail(Failure::NoPanel, connection.Problem());
        return std::nullopt;
    }
    const std::optional<ScpiQueueEntry> entry = ParseScpiQueueEntry(*error);
    if (!entry) {
        Fail(Failure::BadReply, ReadFailure + QStringLiteral("неверный ответ панели на "
                                                             "SYST:ERR?: «%1»")
                                                  .arg(QString::fromUtf8(*error)));
        return std::nullopt;
    }
    if (entry->code != 0 && ParseScpiCount(*answer)) {
        const ScpiFailure failure = FailureOfQueueEntry(*entry);
        Fail(failure.failure, ReadFailure + failure.reason);
        return std::nullopt;
    }
    // A panel that keeps no counters answers "not a number" and says why in its queue.
    return TakeCount(query, *answer, entry->code == 0 ? QString() : PanelSays(*entry));
}

std::optional<double> RemoteRunner::TakeCount(const char *query, const QByteArray &answer,
                                              const QString &detail)
{
    const std::optional<double> value = ParseScpiCount(answer);
    if (!value)
        Fail(Failure::BadReply, ReadFailure +
                                    QStringLiteral("неверный ответ панели на %1: «%2»")
                                        .arg(QLatin1String(query), QString::fromUtf8(answer)) +
                                    detail);
    return value;
}

bool RemoteRunner::Write(const QByteArray &line)
{
    connection.Send(line);
    return EmptyErrorQueue(WriteFailure);
}

bool RemoteRunner::EmptyErrorQueue(const QString &context, bool staleAllowed)
{
    std::optional<ScpiQueueEntry> first;
    for (int asked = 0; asked < LongestErrorQueue; ++asked) {
        const std::optional<QByteArray> answer = connection.Ask("SYST:ERR?");
        if (!answer) {
            Fail(Failure::NoPanel, connection.Problem());
            return false;
        }
        const std::optional<ScpiQueueEntry> entry = ParseScpiQueueEntry(*answer);
        if (!entry) {
            Fail(Failure::BadReply,
                 context + QStringLiteral("неверный ответ панели на SYST:ERR?: «%1»")
                               .arg(QString::fromUtf8(*answer)));
            return false;
        }
        if (entry->code == 0) {
            if (!first || (staleAllowed && first->code == -230))
                return true;
            const ScpiFailure failure = FailureOfQueueEntry(*first);
            Fail(failure.failure, context + failure.reason);
            return false;
        }
        if (!first)
            first = entry;
    }
    Fail(Failure::BadReply, context + QStringLiteral("очередь ошибок панели не кончается"));
    return false;
}

void RemoteRunner::Fail(Failure failure, const QString &message)
{
    if (outcome)
        return;
    console.Complain(ResultText::Error(failure, message, command.json));
    outcome = ExitStatusOf(failure);
}

void RemoteRunner::Finish(int exitStatus)
{
    if (finishedAlready)
        return;
    finishedAlready = true;
    if (logTimer)
        logTimer->stop();
    emit finished(exitStatus);
}
