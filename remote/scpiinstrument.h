#pragma once

#include "remote/scpiparser.h"
#include "session/devicesession.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <optional>

class DeviceGuard;
class ScpiErrorQueue;
struct Trip;

// What every client of the server shares: the device session's readings and its command queue,
// and the guard's counters and protections. Answers queries from the latest good poll reads and
// hands writes to the session's queue, so they run in order, between the window's own commands,
// and are never replaced by a click. Protection settings, the counters' reset and a trip's
// clearing are the guard's and take effect at once; without a guard (a test, a benchmark) they
// give -200.
class ScpiInstrument : public QObject
{
    Q_OBJECT

public:
    // A reading is refreshed every other tick; one older than two such periods is stale.
    static constexpr int StaleAfterMs = 2 * 2 * DeviceSession::PollIntervalMs;
    // What a stale measurement answers, as instruments answer "not a number".
    static constexpr const char *NotANumber = "9.91E+37";

    using WriteDone = std::function<void(std::optional<ScpiError>)>;

    ScpiInstrument(DeviceSession *session, DeviceGuard *guard = nullptr,
                   QObject *parent = nullptr);

    // What every client is told when a protection trips:
    // -300,"Device-specific error;OVP tripped: 12.61 V > 12.00 V".
    static ScpiError TripError(const Trip &trip);

    // The answer to a query the instrument serves; the errors it gives go to `errors`.
    QByteArray Answer(const ScpiCommand &command, ScpiErrorQueue &errors) const;
    // Carries out a setpoint write, an output switch, a reset or a guard's command. `done` is called once, with
    // the error it ended with, if any; possibly before this returns.
    void Write(const ScpiCommand &command, WriteDone done);

private:
    bool Fresh(const QElapsedTimer &sinceRead) const;
    QByteArray Measurement(bool fresh, const QByteArray &value, ScpiErrorQueue &errors) const;
    QByteArray GuardAnswer(const ScpiCommand &command, ScpiErrorQueue &errors) const;
    // A command of the guard's; false when `command` is none.
    bool GuardWrite(const ScpiCommand &command, const WriteDone &done);
    // A setpoint above the guard's cap: the error that says the cap.
    std::optional<ScpiError> AboveCap(const ScpiCommand &command) const;

    DeviceSession *session = nullptr;
    DeviceGuard *guard = nullptr;
    QElapsedTimer sinceStatus;
    QElapsedTimer sinceAdc;
};
