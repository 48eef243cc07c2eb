#include "session/sessioncommand.h"

SessionCommand SessionCommand::WriteSetpoints(SetpointsSource source)
{
    SessionCommand command;
    command.kind = Kind::WriteSetpoints;
    command.setpoints = std::move(source);
    return command;
}

SessionCommand SessionCommand::SwitchOutput(std::optional<bool> on)
{
    SessionCommand command;
    command.kind = Kind::SwitchOutput;
    command.outputOn = on;
    return command;
}

SessionCommand SessionCommand::ReadCalibration()
{
    SessionCommand command;
    command.kind = Kind::ReadCalibration;
    return command;
}

SessionCommand SessionCommand::WriteCalibration(CalibrationSource source)
{
    SessionCommand command;
    command.kind = Kind::WriteCalibration;
    command.calibration = std::move(source);
    return command;
}

SessionCommand SessionCommand::ReadUserParams()
{
    SessionCommand command;
    command.kind = Kind::ReadUserParams;
    return command;
}

SessionCommand SessionCommand::WriteUserParams(UserParamsSource source)
{
    SessionCommand command;
    command.kind = Kind::WriteUserParams;
    command.userParams = std::move(source);
    return command;
}
