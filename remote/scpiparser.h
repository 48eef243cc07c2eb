#pragma once

#include "guard/protectionsettings.h"
#include "session/valuelimits.h"

#include <QByteArray>
#include <QVector>

#include <optional>

// One entry of a SCPI error queue: the code and the text, without quotes.
struct ScpiError
{
    int code = 0;
    QByteArray text;

    bool operator==(const ScpiError &other) const
    {
        return code == other.code && text == other.text;
    }
};

namespace ScpiErrors {
ScpiError NoError();
ScpiError SyntaxError();
ScpiError DataTypeError();
ScpiError ParameterNotAllowed();
ScpiError MissingParameter();
ScpiError UndefinedHeader();
ScpiError InvalidSuffix();
ScpiError DataOutOfRange();
// A value beyond a limit the operator set, which the detail names: "Data out of range;cap 12.00 V".
ScpiError DataOutOfRange(const QByteArray &detail);
// A command the panel's state refuses: "Settings conflict;output protection tripped".
ScpiError SettingsConflict(const QByteArray &detail);
ScpiError DataStale();
ScpiError HardwareError(const QByteArray &detail);
ScpiError HardwareMissing();
ScpiError ExecutionError(const QByteArray &detail);
// Something the converter's output did: "Device-specific error;OVP tripped: 12.61 V > 12.00 V".
ScpiError DeviceSpecificError(const QByteArray &detail);
ScpiError QueueOverflow();
} // namespace ScpiErrors

// The commands the panel serves.
enum class ScpiHeader
{
    Identify,           // *IDN?
    ClearStatus,        // *CLS
    Reset,              // *RST
    OperationComplete,  // *OPC?
    Wait,               // *WAI
    NextError,          // SYST:ERR?
    Version,            // SYST:VERS?
    Voltage,            // [SOUR:]VOLT
    Current,            // [SOUR:]CURR
    Output,             // OUTP
    MeasureVoltage,     // MEAS:VOLT?
    MeasureCurrent,     // MEAS:CURR?
    OperationCondition, // STAT:OPER:COND?
    AdcVoltage,         // MEAS:ADC:VOLT?
    AdcCurrent,         // MEAS:ADC:CURR?
    AdcFineCurrent,     // MEAS:ADC:CURR:FINE?
    AdcInput,           // MEAS:ADC:INP?
    AdcReference,       // MEAS:ADC:REF?
    FetchCharge,        // FETC:CHAR?
    FetchEnergy,        // FETC:ENER?
    FetchOnTime,        // FETC:ONT?
    FetchGap,           // FETC:GAP?
    AccumulateReset,    // [SENS:]ACC:RES
    // The protections, of the kind in ScpiCommand::protection:
    ProtectionLevel,       // [SOUR:]VOLT|CURR|POW:PROT[:LEV]
    ProtectionState,       // [SOUR:]VOLT|CURR|POW:PROT:STAT
    ProtectionDelay,       // [SOUR:]VOLT|CURR|POW:PROT:DEL
    ProtectionTripped,     // [SOUR:]VOLT|CURR|POW:PROT:TRIP?
    ProtectionClear,       // OUTP:PROT:CLE
    QuestionableCondition, // STAT:QUES:COND?
};

enum class ScpiLimit
{
    Minimum,
    Maximum,
};

// A command that passed every check: the value of a setpoint write is in range and in the mV or
// mA the converter takes; a protection level's in mV, mA or mW, a delay's in ms.
struct ScpiCommand
{
    ScpiHeader header = ScpiHeader::Identify;
    bool query = false;
    std::optional<ScpiLimit> limit; // a setpoint, level or delay query asking for its MIN or MAX
    qint32 milli = 0;               // a setpoint, level or delay write
    bool on = false;                // an output switch or a protection's state
    TripKind protection = TripKind::Voltage; // the Protection* headers
};

// One program unit of a line: its command, or the error it gives.
struct ScpiUnit
{
    std::optional<ScpiCommand> command;
    ScpiError error;
};

// Splits a line (its LF or CR LF already taken off) at the semicolons outside quotes and parses
// each unit. Empty units are skipped. After the first unit, a header without a leading colon is
// looked up under the path of the unit before it, then from the root.
QVector<ScpiUnit> ParseScpiLine(const QByteArray &line);
