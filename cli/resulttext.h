#pragma once

#include "cli/failure.h"
#include "cli/panelcounters.h"
#include "link/devicerecords.h"
#include "log/logrecorder.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// What vornexctl prints, as plain text (one "name value" line per quantity) or as one JSON
// object on one line. Every result ends with a line feed. Plain names and JSON keys are the same.
namespace ResultText {

// Volts and amperes, to the resolution of one count: the current's follows its range.
QByteArray Status(const OutputStatus &status, bool json);
QByteArray Adc(const AdcReadings &adc, bool json);
QByteArray SetpointValues(const Setpoints &setpoints, bool json);
QByteArray Output(bool on, bool json);
// Plain: the panel's log line as it is; JSON: its time column, voltage and current.
QByteArray LogEntryLine(const LogEntry &entry, bool json);
// The energy counters: charge (Ah), energy (Wh), onTime and gapTime (s), each with at least six
// significant digits (JSON: every digit), and resetAt, the last reset in UTC (ISO 8601 with
// milliseconds; "never", in JSON null, before the first; left out when the source does not say).
QByteArray Counters(const CounterValues &counters, bool json);
// A block as the block file holds it; plain text is the indented file format.
QByteArray Block(const QJsonObject &block, bool json);
// One "name value" line, or {"name": value}.
QByteArray Fact(const QString &name, const QString &value, bool json);

// A line for standard error: "vornexctl: message", or {"error": key, "message": message}.
QByteArray Error(Failure failure, const QString &message, bool json);
// A note on standard error while a command goes on: "vornexctl: message", or
// {"event": event, "message": message}.
QByteArray Note(const QString &event, const QString &message, bool json);

} // namespace ResultText
