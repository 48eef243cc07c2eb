#pragma once

#include "cli/remoteaddress.h"
#include "link/devicerecords.h"
#include "log/logsettings.h"

#include <QString>

#include <optional>

enum class CliAction
{
    Help,
    Version,
    Status,
    Adc,
    Setpoints,
    Set,
    On,
    Off,
    CalibrationGet,
    CalibrationSet,
    UserGet,
    UserSet,
    Log,
    Counters,      // the panel's energy counters
    CountersReset, // the same set to zero
};

// What one run of vornexctl is to do, as its command line asked.
struct CliCommand
{
    CliAction action = CliAction::Help;
    QString helpTopic; // Help: the command asked about; empty for the overview
    QString port;
    std::optional<RemoteAddress> via; // --via: through a panel's SCPI server, not a port
    bool json = false;
    bool trace = false;
    Setpoints setpoints; // Set: mV and mA, as they will be sent
    QString file;        // calibration and user: the block file; empty for get: standard output
    LogSettings log;     // Log: period, source, time column, separator
    int count = 0;       // Log: lines to write; 0: until stopped
};
