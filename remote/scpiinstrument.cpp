#include "remote/scpiinstrument.h"

#include "link/quantities.h"
#include "remote/scpiconditionbits.h"
#include "remote/scpierrorqueue.h"
#include "session/devicesession.h"
#include "session/valuelimits.h"

namespace {

QByteArray Fixed(double value, int decimals)
{
    return QByteArray::number(value, 'f', decimals);
}

QByteArray Reading(Quantity quantity, qint32 counts)
{
    return UnitsText(quantity, counts).toLatin1();
}

QByteArray SetpointText(const ScpiCommand &command, const std::optional<Setpoints> &known)
{
    const bool voltage = command.header == ScpiHeader::Voltage;
    const DecimalRange range = voltage ? ValueLimits::SetpointVolts : ValueLimits::SetpointAmps;
    if (command.limit) {
        return Fixed(*command.limit == ScpiLimit::Minimum ? range.minimum : range.maximum,
                     range.decimals);
    }
    return Fixed(voltage ? ToUnits(Quantity::SetpointVoltage, known->voltage)
                         : ToUnits(Quantity::SetpointCurrent, known->current),
                 range.decimals);
}

std::optional<ScpiError> ErrorOf(CommandOutcome outcome)
{
    switch (outcome) {
    case CommandOutcome::Done:
        return std::nullopt;
    case CommandOutcome::NoReply:
        return ScpiErrors::HardwareError("no reply from converter");
    case CommandOutcome::BadReply:
        return ScpiErrors::HardwareError("bad reply from converter");
    case CommandOutcome::Tripped:
        return ScpiErrors::ExecutionError("output protection tripped");
    case CommandOutcome::Cancelled:
    case CommandOutcome::Replaced: // never: a script's commands are not replaced
        break;
    }
    return ScpiErrors::HardwareMissing();
}

} // namespace

ScpiInstrument::ScpiInstrument(DeviceSession *session, DeviceGuard *guard, QObject *parent)
    : QObject(parent), session(session), guard(guard)
{
    connect(session, &DeviceSession::statusRead, this, [this] { sinceStatus.start(); });
    connect(session, &DeviceSession::adcRead, this, [this] { sinceAdc.start(); });
    connect(session, &DeviceSession::linkStateChanged, this,
            [this](DeviceSession::LinkState state) {
                if (state == DeviceSession::LinkState::Disconnected) {
                    sinceStatus.invalidate();
                    sinceAdc.invalidate();
                }
            });
}

bool ScpiInstrument::Fresh(const QElapsedTimer &sinceRead) const
{
    return sinceRead.isValid() && sinceRead.elapsed() <= StaleAfterMs;
}

QByteArray ScpiInstrument::Measurement(bool fresh, const QByteArray &value,
                                       ScpiErrorQueue &errors) const
{
    if (fresh)
        return value;
    errors.Push(ScpiErrors::DataStale());
    return NotANumber;
}

QByteArray ScpiInstrument::Answer(const ScpiCommand &command, ScpiErrorQueue &errors) const
{
    const OutputStatus &status = session->Status();
    const AdcReadings &adc = session->Adc();
    const bool statusFresh = Fresh(sinceStatus);
    const bool adcFresh = Fresh(sinceAdc);
    switch (command.header) {
    case ScpiHeader::Identify:
        return "VORNEXcontrol,VORNEX DC-DC panel,0," VORNEXCONTROL_VERSION;
    case ScpiHeader::Version:
        return "1999.0";
    case ScpiHeader::Voltage:
    case ScpiHeader::Current:
        if (!command.limit && !session->KnownSetpoints())
            return Measurement(false, QByteArray(), errors);
        return SetpointText(command, session->KnownSetpoints());
    case ScpiHeader::MeasureVoltage:
        return Measurement(statusFresh, Reading(Quantity::OutputVoltage, status.voltage), errors);
    case ScpiHeader::MeasureCurrent:
        return Measurement(statusFresh, Reading(CurrentQuantity(status), status.current), errors);
    case ScpiHeader::Output:
    case ScpiHeader::OperationCondition: {
        // A state, not a number: the last one read is answered, and its age reported.
        if (!statusFresh)
            errors.Push(ScpiErrors::DataStale());
        if (command.header == ScpiHeader::Output)
            return status.outputOn != 0 ? "1" : "0";
        return QByteArray::number(
            (status.cvMode != 0 ? ScpiConditionBits::ConstantVoltage : 0) |
            (status.ccMode != 0 ? ScpiConditionBits::ConstantCurrent : 0) |
            (status.currentRange != 0 ? ScpiConditionBits::FineCurrentRange : 0));
    }
    case ScpiHeader::AdcVoltage:
        return Measurement(adcFresh, Reading(Quantity::SdadcVoltage, adc.sdadcVoltage), errors);
    case ScpiHeader::AdcCurrent:
        return Measurement(adcFresh, Reading(Quantity::SdadcCurrent, adc.sdadcCurrent), errors);
    case ScpiHeader::AdcFineCurrent:
        return Measurement(adcFresh, Reading(Quantity::FineCurrent, adc.fineCurrent), errors);
    case ScpiHeader::AdcInput:
        return Measurement(adcFresh, Reading(Quantity::InputVoltage, adc.inputVoltage), errors);
    case ScpiHeader::AdcReference:
        return Measurement(adcFresh, Reading(Quantity::ReferenceVoltage, adc.referenceVoltage),
                           errors);
    case ScpiHeader::ClearStatus:
    case ScpiHeader::Reset:
    case ScpiHeader::OperationComplete:
    case ScpiHeader::Wait:
    case ScpiHeader::NextError:
        break;
    }
    return QByteArray();
}

void ScpiInstrument::Write(const ScpiCommand &command, WriteDone done)
{
    if (session->State() == DeviceSession::LinkState::Disconnected) {
        done(ScpiErrors::HardwareMissing());
        return;
    }
    auto completion = [done](CommandOutcome outcome) { done(ErrorOf(outcome)); };
    switch (command.header) {
    case ScpiHeader::Voltage:
    case ScpiHeader::Current: {
        // The other setpoint goes out as the converter holds it, taken at each attempt.
        if (!session->KnownSetpoints()) {
            done(ScpiErrors::HardwareError("setpoints not read from converter yet"));
            return;
        }
        const bool voltage = command.header == ScpiHeader::Voltage;
        const qint32 milli = command.milli;
        session->Submit(SessionCommand::WriteSetpoints([session = session, voltage, milli] {
                            Setpoints setpoints = session->KnownSetpoints().value_or(Setpoints());
                            (voltage ? setpoints.voltage : setpoints.current) = milli;
                            return setpoints;
                        }),
                        CommandLane::Script, completion);
        break;
    }
    case ScpiHeader::Output:
        session->Submit(SessionCommand::SwitchOutput(command.on), CommandLane::Script, completion);
        break;
    case ScpiHeader::Reset:
        session->Submit(SessionCommand::SwitchOutput(false), CommandLane::Script, completion);
        break;
    default:
        done(std::nullopt);
        break;
    }
}
