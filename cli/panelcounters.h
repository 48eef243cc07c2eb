#pragma once

#include "cli/failure.h"

#include <QDateTime>
#include <QString>

#include <optional>

class Console;
struct CliCommand;
struct EnergyTotals;

// The energy counters as vornexctl prints them, in the units it prints them in.
struct CounterValues
{
    double ampereHours = 0;
    double wattHours = 0;
    double onSeconds = 0;  // output-on time counted
    double gapSeconds = 0; // output-on time without fresh reads, not counted
    // False: the source does not say when the counters were reset (the SCPI server).
    bool resetKnown = true;
    QDateTime resetAt; // UTC; invalid: never reset

    static CounterValues Of(const EnergyTotals &totals);
};

// The panel's data folder, where it keeps its journal, counters.json and counters.lock: its
// QStandardPaths::AppDataLocation, which Qt names after the panel's executable ("vornexcontrol"),
// not vornexctl's own.
QString PanelDataFolder();

// What a counters command directly on the panel's folder came to.
struct CounterFileResult
{
    std::optional<CounterValues> values; // none: failed, `failure` and `message` say why
    Failure failure = Failure::BadFile;
    QString message;
    QString note; // beside a success: a missing file, read as zero counters
};

// vornexctl keeps no counters of its own: it reads what the panel last saved in `folder`.
CounterFileResult ReadPanelCounters(const QString &folder);

// Writes zero counters reset at `now` to `folder`, unless a panel holds counters.lock there
// (Failure::CountersBusy): the panel would write its own counts over them.
CounterFileResult ResetPanelCounters(const QString &folder, const QDateTime &now);

// counters and counters reset without --via, on PanelDataFolder(): the result on standard
// output, a note or the failure on standard error; the exit status.
int RunPanelCounters(const CliCommand &command, Console &console);
