#pragma once

#include "link/devicerecords.h"

#include <functional>
#include <optional>

// One command for the converter, as any front end gives it to the session. Write values are
// taken from their source at each attempt, so that a retried write sends what the operator
// shows by then.
struct SessionCommand
{
    enum class Kind
    {
        WriteSetpoints,
        SwitchOutput,
        ReadCalibration,
        WriteCalibration,
        ReadUserParams,
        WriteUserParams,
    };

    using SetpointsSource = std::function<Setpoints()>;
    using CalibrationSource = std::function<CalibrationBlock()>;
    using UserParamsSource = std::function<UserParamBlock()>;

    static SessionCommand WriteSetpoints(SetpointsSource source);
    // Without a state: the opposite of the last status read, as the panel's button asks.
    static SessionCommand SwitchOutput(std::optional<bool> on = std::nullopt);
    static SessionCommand ReadCalibration();
    static SessionCommand WriteCalibration(CalibrationSource source);
    static SessionCommand ReadUserParams();
    static SessionCommand WriteUserParams(UserParamsSource source);

    // A setpoint write and an output switch are tried on up to four ticks; the rest once.
    bool Retried() const { return kind == Kind::WriteSetpoints || kind == Kind::SwitchOutput; }

    Kind kind = Kind::WriteSetpoints;
    SetpointsSource setpoints;
    std::optional<bool> outputOn;
    CalibrationSource calibration;
    UserParamsSource userParams;
};

// Who gives a command, and so how it waits for its tick.
enum class CommandLane
{
    // The operator: one command waits, and a later one replaces it, as a second click replaces
    // a first that has not been carried out.
    Operator,
    // A script: commands wait in the order given and none is ever replaced.
    Script,
};

// How a command ended, reported once to its completion.
enum class CommandOutcome
{
    Done,
    NoReply,
    BadReply,
    Cancelled, // a script's command when the port was closed before it ended
    Replaced,  // an operator's command replaced by a later one before it started
    // A protection tripped: a script's command given before the trip, or a switch-on while the
    // output is locked off; nothing was sent.
    Tripped,
};

using CommandCompletion = std::function<void(CommandOutcome)>;
