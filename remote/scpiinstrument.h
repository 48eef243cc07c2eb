#pragma once

#include "remote/scpiparser.h"
#include "session/devicesession.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <optional>

class DeviceGuard;
class ScpiErrorQueue;

// What every client of the server shares: the device session's readings and its command queue.
// Answers queries from the latest good poll reads and hands writes to the session's queue, so
// they run in order, between the window's own commands, and are never replaced by a click.
class ScpiInstrument : public QObject
{
    Q_OBJECT

public:
    // A reading is refreshed every other tick; one older than two such periods is stale.
    static constexpr int StaleAfterMs = 2 * 2 * DeviceSession::PollIntervalMs;
    // What a stale measurement answers, as instruments answer "not a number".
    static constexpr const char *NotANumber = "9.91E+37";

    using WriteDone = std::function<void(std::optional<ScpiError>)>;

    ScpiInstrument(DeviceSession *session, DeviceGuard *guard, QObject *parent = nullptr);

    // The answer to a query the instrument serves; the errors it gives go to `errors`.
    QByteArray Answer(const ScpiCommand &command, ScpiErrorQueue &errors) const;
    // Carries out a setpoint write, an output switch or a reset. `done` is called once, with
    // the error it ended with, if any; possibly before this returns.
    void Write(const ScpiCommand &command, WriteDone done);

private:
    bool Fresh(const QElapsedTimer &sinceRead) const;
    QByteArray Measurement(bool fresh, const QByteArray &value, ScpiErrorQueue &errors) const;

    DeviceSession *session = nullptr;
    DeviceGuard *guard = nullptr;
    QElapsedTimer sinceStatus;
    QElapsedTimer sinceAdc;
};
