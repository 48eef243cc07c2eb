#pragma once

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
ScpiError DataStale();
ScpiError HardwareError(const QByteArray &detail);
ScpiError HardwareMissing();
ScpiError ExecutionError(const QByteArray &detail);
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
};

enum class ScpiLimit
{
    Minimum,
    Maximum,
};

// A command that passed every check: the value of a setpoint write is in range and in the mV or
// mA the converter takes.
struct ScpiCommand
{
    ScpiHeader header = ScpiHeader::Identify;
    bool query = false;
    std::optional<ScpiLimit> limit; // a setpoint query asking for its MIN or MAX
    qint32 milli = 0;               // a setpoint write
    bool on = false;                // an output switch
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
