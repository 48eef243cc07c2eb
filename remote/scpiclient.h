#pragma once

#include "remote/nextturncall.h"
#include "remote/scpierrorqueue.h"
#include "remote/scpiparser.h"

#include <QObject>

#include <deque>

class ScpiScriptSocket;
class ScpiInstrument;

// One connected script. Its lines are parsed into units and carried out one after another: a
// write holds the rest of this client's units until it has ended. A client is read only as fast
// as it takes its answers, and a line over 4 KiB closes it, so no client can grow the panel's
// memory. Once its input has ended, every line it sent is answered before the connection closes.
class ScpiClient : public QObject
{
    Q_OBJECT

public:
    // Answers waiting to be sent beyond which this client's input is left unread.
    static constexpr qint64 MaxPendingOutput = 64 * 1024;

    // Takes the connection over.
    ScpiClient(ScpiScriptSocket *connection, ScpiInstrument *instrument, QObject *parent = nullptr);

    // Puts an error into this client's queue that no command of its own gave: a trip.
    void Tell(const ScpiError &error);

signals:
    // The connection has ended; the client may be deleted once control returns to the loop.
    void closed();

private:
    void Process();
    void ScheduleProcess();
    bool TakeLine();
    void Run(const ScpiCommand &command);
    void TakeWriteError();
    void Respond(const QByteArray &answer);
    void Drop();
    void Forget();

    ScpiScriptSocket *connection = nullptr;
    ScpiInstrument *instrument = nullptr;
    ScpiErrorQueue errors;
    std::deque<ScpiUnit> units;
    bool waitingForWrite = false;
    // The error the last write ended with, queued before the next unit runs. A trip cancels the
    // writes before it says why, and the reason is told at once: so it comes first.
    std::optional<ScpiError> writeError;
    NextTurnCall nextProcess;
    bool processing = false;
    bool gone = false;
};
