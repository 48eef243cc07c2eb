#pragma once

#include "cli/clicommand.h"

#include <QString>
#include <QStringList>

// The environment variables that name a port when --port does not.
struct PortEnvironment
{
    QString port;       // VORNEX_PORT
    QString extraPorts; // VORNEX_EXTRA_PORTS, a path list as the panel reads it
};

struct ParsedCommandLine
{
    CliCommand command;
    QString error; // not empty: a usage error, and nothing is to be done
};

// The port to use: --port, else VORNEX_PORT, else the first entry of VORNEX_EXTRA_PORTS (the
// port the panel offers first). Empty when none is named.
QString ChoosePort(const QString &portOption, const PortEnvironment &environment);

// Parses the arguments after the program name. Values are checked here, so a command that parses
// is one the converter may be sent: nothing out of range or malformed gets through.
ParsedCommandLine ParseCommandLine(const QStringList &arguments,
                                   const PortEnvironment &environment);
