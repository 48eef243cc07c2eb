#include "remote/scpiinstrument.h"

#include "guard/deviceguard.h"
#include "guard/protectionrecord.h"
#include "link/quantities.h"
#include "remote/scpiconditionbits.h"
#include "remote/scpierrorqueue.h"
#include "session/devicesession.h"
#include "session/valuelimits.h"

#include <algorithm>
#include <cmath>

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

// A counter: NR3 with ten significant digits, "1.234567890E-03", so that a small count
// still shows how it grows.
QByteArray Count(double value)
{
    return QByteArray::number(value, 'E', 9);
}

const char *UnitOf(TripKind kind)
{
    return kind == TripKind::Voltage ? "V" : kind == TripKind::Current ? "A" : "W";
}

QByteArray NoGuard()
{
    return "counters and protections not available";
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

ScpiError ScpiInstrument::TripError(const Trip &trip)
{
    // The decimals of the protection record's line, which the operator reads in the morning.
    const int decimals = trip.kind == TripKind::Current ? 4 : 2;
    const QByteArray unit = UnitOf(trip.kind);
    return ScpiErrors::DeviceSpecificError(TripName(trip.kind).toLatin1() + " tripped: " +
                                           Fixed(trip.value, decimals) + ' ' + unit + " > " +
                                           Fixed(trip.level, decimals) + ' ' + unit);
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
    case ScpiHeader::FetchCharge:
    case ScpiHeader::FetchEnergy:
    case ScpiHeader::FetchOnTime:
    case ScpiHeader::FetchGap:
    case ScpiHeader::ProtectionLevel:
    case ScpiHeader::ProtectionState:
    case ScpiHeader::ProtectionDelay:
    case ScpiHeader::ProtectionTripped:
    case ScpiHeader::QuestionableCondition:
        return GuardAnswer(command, errors);
    case ScpiHeader::ClearStatus:
    case ScpiHeader::Reset:
    case ScpiHeader::OperationComplete:
    case ScpiHeader::Wait:
    case ScpiHeader::NextError:
    case ScpiHeader::AccumulateReset:
    case ScpiHeader::ProtectionClear:
        break;
    }
    return QByteArray();
}

QByteArray ScpiInstrument::GuardAnswer(const ScpiCommand &command, ScpiErrorQueue &errors) const
{
    if (guard == nullptr) {
        if (command.header == ScpiHeader::QuestionableCondition ||
            command.header == ScpiHeader::ProtectionTripped)
            return "0";
        errors.Push(ScpiErrors::ExecutionError(NoGuard()));
        return NotANumber;
    }
    const EnergyTotals &totals = guard->Totals();
    const TripLimit &limit = guard->Settings().Limit(command.protection);
    const std::optional<Trip> &trip = guard->ActiveTrip();
    // A limit's MIN or MAX, or the value set.
    const auto setting = [&command](const DecimalRange &range, double value) {
        if (command.limit)
            value = *command.limit == ScpiLimit::Minimum ? range.minimum : range.maximum;
        return Fixed(value, range.decimals);
    };
    switch (command.header) {
    case ScpiHeader::FetchCharge:
        return Count(totals.AmpereHours());
    case ScpiHeader::FetchEnergy:
        return Count(totals.WattHours());
    case ScpiHeader::FetchOnTime:
        return Count(totals.onSeconds);
    case ScpiHeader::FetchGap:
        return Count(totals.gapSeconds);
    case ScpiHeader::ProtectionLevel:
        return setting(ProtectionLevelRange(command.protection), limit.level);
    case ScpiHeader::ProtectionDelay:
        return setting(ProtectionDelayRange(), limit.delaySeconds);
    case ScpiHeader::ProtectionState:
        return limit.enabled ? "1" : "0";
    case ScpiHeader::ProtectionTripped:
        return trip && trip->kind == command.protection ? "1" : "0";
    case ScpiHeader::QuestionableCondition:
        if (!trip)
            return "0";
        return QByteArray::number(trip->kind == TripKind::Voltage ? ScpiQuestionableBits::OverVoltage
                                  : trip->kind == TripKind::Current
                                      ? ScpiQuestionableBits::OverCurrent
                                      : ScpiQuestionableBits::OverPower);
    default:
        break;
    }
    return QByteArray();
}

bool ScpiInstrument::GuardWrite(const ScpiCommand &command, const WriteDone &done)
{
    switch (command.header) {
    case ScpiHeader::AccumulateReset:
    case ScpiHeader::ProtectionClear:
    case ScpiHeader::ProtectionLevel:
    case ScpiHeader::ProtectionState:
    case ScpiHeader::ProtectionDelay:
        break;
    default:
        return false;
    }
    if (guard == nullptr) {
        done(ScpiErrors::ExecutionError(NoGuard()));
        return true;
    }
    ProtectionSettings settings = guard->Settings();
    TripLimit &limit = settings.Limit(command.protection);
    switch (command.header) {
    case ScpiHeader::AccumulateReset:
        guard->ResetCounters();
        done(std::nullopt);
        return true;
    case ScpiHeader::ProtectionClear:
        guard->Acknowledge();
        done(std::nullopt);
        return true;
    case ScpiHeader::ProtectionLevel:
        // Never above the highest level the store keeps, by a rounding of the division.
        limit.level =
            std::min(command.milli / 1000.0, ProtectionLevelRange(command.protection).maximum);
        break;
    case ScpiHeader::ProtectionDelay:
        limit.delaySeconds = command.milli / 1000.0;
        break;
    default: // ProtectionState
        // A trip with no level would trip at once on anything the output gives.
        if (command.on && !(limit.level > 0)) {
            done(ScpiErrors::SettingsConflict("no protection level set"));
            return true;
        }
        limit.enabled = command.on;
        break;
    }
    guard->SetSettings(settings);
    done(std::nullopt);
    return true;
}

std::optional<ScpiError> ScpiInstrument::AboveCap(const ScpiCommand &command) const
{
    if (guard == nullptr)
        return std::nullopt;
    const bool voltage = command.header == ScpiHeader::Voltage;
    const std::optional<double> &cap =
        voltage ? guard->Settings().voltageCap : guard->Settings().currentCap;
    if (!cap || command.milli <= std::llround(*cap * 1000))
        return std::nullopt;
    const DecimalRange range = voltage ? ValueLimits::SetpointVolts : ValueLimits::SetpointAmps;
    return ScpiErrors::DataOutOfRange("cap " + Fixed(*cap, range.decimals) + ' ' +
                                      (voltage ? "V" : "A"));
}

void ScpiInstrument::Write(const ScpiCommand &command, WriteDone done)
{
    // The guard's settings, counters and trips are the panel's own, converter or not.
    if (GuardWrite(command, done))
        return;
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
        if (const std::optional<ScpiError> refused = AboveCap(command)) {
            done(*refused);
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
        // The session would refuse it too, as Tripped, but only when its turn came.
        if (command.on && (session->OutputLocked() || (guard != nullptr && guard->Tripped()))) {
            done(ScpiErrors::SettingsConflict("output protection tripped"));
            return;
        }
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
