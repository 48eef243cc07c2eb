#pragma once

#include "guard/tripjudge.h"

#include <QDateTime>
#include <QString>

// The protection record: one line a trip, appended and flushed at once, so a night's trips can
// be read in the morning. It keeps at most MaxBytes: past that the older half is dropped.
namespace ProtectionRecord {

constexpr qint64 MaxBytes = 1024 * 1024;

// "2026-12-11T03:12:45+01:00 OVP 12.61 V > 12.00 V (12.61 V, 1.261 A)"
QString Line(const QDateTime &at, const Trip &trip);
// Empty when it was written; otherwise why not.
QString Append(const QString &path, const QString &line);

} // namespace ProtectionRecord

// "OVP", "OCP", "OPP".
QString TripName(TripKind kind);
// "напряжение 12.61 В > 12.00 В": what tripped, for the status bar and the record.
QString TripText(const Trip &trip);
