#pragma once

#include "cli/failure.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A numeric answer of the panel's SCPI server, in whole steps of the record it fills.
struct ScpiReading
{
    enum class Kind
    {
        Value,
        Stale,     // 9.91E+37, SCPI's "not a number": the panel has no fresh reading
        Malformed, // not a number, or one no record field can hold
    };

    Kind kind = Kind::Malformed;
    qint32 steps = 0;
    int decimals = 0; // digits after the point, as the answer was written
};

// The answer times stepsPerUnit, rounded: 100 gives 10 mV steps from volts, 1000 mA from
// amperes, 1 a whole number.
ScpiReading ParseScpiReading(const QByteArray &answer, double stepsPerUnit);

// A counter's answer (FETC:CHAR? and the like): a finite number, not negative, in the units
// asked for; nothing for anything else, "not a number" included.
std::optional<double> ParseScpiCount(const QByteArray &answer);

// One entry of the panel's error queue, as SYST:ERR? answers it: -230,"Data corrupt or stale".
struct ScpiQueueEntry
{
    int code = 0;
    QString text;
};

// The entry, or nothing for an answer of another form.
std::optional<ScpiQueueEntry> ParseScpiQueueEntry(const QByteArray &answer);

// What an error of the panel means for the command, with the reason in the user's words.
struct ScpiFailure
{
    Failure failure = Failure::BadReply;
    QString reason;
};

// As over a port, a converter that is silent is "no reply" (exit status 4): a reading that is
// not fresh, a write without a converter, a write the converter did not answer. A write it
// refused and a command the panel would not take are a bad reply (5). A value the panel holds
// out of range (-222: above the operator's setpoint cap) is a usage error (2), as vornexctl's own
// check of the caps is.
ScpiFailure FailureOfQueueEntry(const ScpiQueueEntry &entry);
