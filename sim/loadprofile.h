#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

#include <optional>

// A load that changes over time, for watching the panel follow it: resistances held for one
// step each, in a cycle. With ramp, the load moves from each to the next over its step instead,
// linear in conductance so that the current in constant-voltage mode follows straight lines.
// An open circuit is infinity (written "open").
struct LoadProfile
{
    static constexpr qint64 DefaultStepMs = 30000;

    QVector<double> ohms;
    qint64 stepMs = DefaultStepMs;
    bool ramp = false;

    // From a list such as "10,22,open,47"; nothing when the list is empty or an entry is not a
    // resistance of 0 ohm or more (0 is an open circuit, as for a fixed load).
    static std::optional<LoadProfile> parse(const QString &list, qint64 stepMs, bool ramp);
    // The load at this time since the profile started.
    double resistanceAt(qint64 elapsedMs) const;
    // "10,22,open,47 ohm, 30 s each", with ", ramp" when it ramps.
    QString text() const;
};
