#include "remote/scpiclient.h"

#include "remote/scpiinstrument.h"
#include "remote/scpiscriptsocket.h"

#include <QPointer>

namespace {
// Units carried out in one turn of the event loop: eight busy clients then still leave the
// poll tick and the window their turns.
constexpr int UnitsPerTurn = 64;
} // namespace

ScpiClient::ScpiClient(ScpiScriptSocket *connection, ScpiInstrument *instrument, QObject *parent)
    : QObject(parent), connection(connection), instrument(instrument),
      nextProcess(this, [this] { Process(); })
{
    connection->setParent(this);
    connect(connection, &ScpiScriptSocket::readyRead, this, &ScpiClient::Process);
    connect(connection, &ScpiScriptSocket::bytesWritten, this, [this] {
        if (this->connection->BytesToWrite() <= MaxPendingOutput)
            ScheduleProcess();
    });
    connect(connection, &ScpiScriptSocket::closed, this, &ScpiClient::Forget);
}

void ScpiClient::Tell(const ScpiError &error)
{
    errors.Push(error);
}

void ScpiClient::TakeWriteError()
{
    if (writeError)
        errors.Push(*writeError);
    writeError.reset();
}

void ScpiClient::ScheduleProcess()
{
    if (!gone)
        nextProcess.Schedule();
}

void ScpiClient::Process()
{
    if (processing || gone)
        return;
    processing = true;
    int budget = UnitsPerTurn;
    while (!waitingForWrite && !gone && budget > 0) {
        TakeWriteError();
        if (connection->BytesToWrite() > MaxPendingOutput)
            break;
        if (units.empty() && !TakeLine())
            break;
        if (units.empty())
            continue;
        const ScpiUnit unit = units.front();
        units.pop_front();
        --budget;
        if (unit.command)
            Run(*unit.command);
        else
            errors.Push(unit.error);
    }
    processing = false;
    if (budget == 0)
        ScheduleProcess();
}

bool ScpiClient::TakeLine()
{
    QByteArray line;
    switch (connection->TakeLine(line)) {
    case ScpiLineBuffer::Take::Line:
        for (const ScpiUnit &unit : ParseScpiLine(line))
            units.push_back(unit);
        return true;
    case ScpiLineBuffer::Take::Wait:
        return false;
    case ScpiLineBuffer::Take::End:
        // Every line has been carried out: its answers go out, then the connection closes.
        connection->Finish();
        return false;
    case ScpiLineBuffer::Take::TooLong:
        Drop();
        return false;
    }
    return false;
}

void ScpiClient::Run(const ScpiCommand &command)
{
    switch (command.header) {
    case ScpiHeader::ClearStatus:
        errors.Clear();
        return;
    case ScpiHeader::NextError: {
        const ScpiError error = errors.Pop();
        Respond(QByteArray::number(error.code) + ",\"" + error.text + '"');
        return;
    }
    // Every unit before it has ended: a write holds the units after it until then.
    case ScpiHeader::OperationComplete:
        Respond("1");
        return;
    case ScpiHeader::Wait:
        return;
    default:
        break;
    }
    if (command.query) {
        Respond(instrument->Answer(command, errors));
        return;
    }
    waitingForWrite = true;
    const QPointer<ScpiClient> self(this);
    instrument->Write(command, [self](std::optional<ScpiError> error) {
        if (self.isNull())
            return;
        self->writeError = error;
        self->waitingForWrite = false;
        self->ScheduleProcess();
    });
}

void ScpiClient::Respond(const QByteArray &answer)
{
    connection->Write(answer + '\n');
}

void ScpiClient::Drop()
{
    connection->Abort();
}

void ScpiClient::Forget()
{
    if (gone)
        return;
    gone = true;
    units.clear();
    emit closed();
}
