#pragma once

#include "guard/energycounter.h"
#include "guard/protectionsettings.h"
#include "guard/tripjudge.h"
#include "session/devicesession.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLockFile;
class QSettings;
class QTimer;

// The energy counters and the protections of one session, shared by every front end on it
// (the window, the SCPI server, vornexctl). Both hear the session's status reads: the counters
// add each interval between fresh reads, the trips judge each fresh reading, and a trip locks
// the session's output off until the operator acknowledges it.
//
// The counters live in `folder` (the log journal's): "counters.json", replaced whole at least
// every SaveIntervalMs while they change, at a reset and when the guard ends, so a killed
// program loses at most that much. One guard at a time keeps them there ("counters.lock"); a
// second window counts without saving and says so in CounterProblem(). Every trip is appended
// to "protection.txt" beside them.
class DeviceGuard : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<qint64()>; // ms, monotonic
    static constexpr int SaveIntervalMs = 5000;

    static QString CounterFileName() { return QStringLiteral("counters.json"); }
    static QString CounterLockName() { return QStringLiteral("counters.lock"); }
    static QString RecordFileName() { return QStringLiteral("protection.txt"); }

    // The protection settings come from `store`, which must outlive the guard; the clock is
    // a monotonic one unless a test injects its own.
    DeviceGuard(DeviceSession *session, QSettings *store, const QString &folder,
                QObject *parent = nullptr, Clock clock = {});
    ~DeviceGuard() override;

    const EnergyTotals &Totals() const { return counter.Totals(); }
    void ResetCounters();
    // Why the counters are not kept on disk, or the last write failed; empty when all is well.
    QString CounterProblem() const { return counterProblem; }
    // Writes the counters now (also done on the timer and at the end).
    void SaveCounters();

    const ProtectionSettings &Settings() const { return settings; }
    // Takes and stores new settings. A new limit applies from the next fresh reading.
    void SetSettings(const ProtectionSettings &value);

    bool Tripped() const { return trip.has_value(); }
    // The trip that holds the output off until Acknowledge().
    const std::optional<Trip> &ActiveTrip() const { return trip; }
    // The operator has seen the trip: the output may be switched on again.
    void Acknowledge();
    // Why the last trip could not be recorded; empty when it was.
    QString RecordProblem() const { return recordProblem; }

signals:
    // The totals or CounterProblem() changed.
    void countersChanged();
    void tripped(const Trip &trip);
    void tripCleared();
    void settingsChanged();

private:
    // Takes the counters on disk over, unless another guard holds them.
    void TakeCounters();
    void KeepDamagedCounters(const QString &problem);
    void HearStatus(const OutputStatus &status);
    void HearMiss();
    void Record(const Trip &trip);

    DeviceSession *session = nullptr;
    QSettings *store = nullptr;
    QString folder;
    Clock clock;
    EnergyCounter counter;
    TripJudge judge;
    ProtectionSettings settings;
    std::optional<Trip> trip;
    std::unique_ptr<QLockFile> counterLock;
    QTimer *saveTimer = nullptr;
    bool unsaved = false;
    QString counterProblem;
    QString recordProblem;
};
