#include "remote/scpiclient.h"

#include "remote/scpiinstrument.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace {
// Units carried out in one turn of the event loop: eight busy clients then still leave the
// poll tick and the window their turns.
constexpr int UnitsPerTurn = 64;
// Room for a whole line of the longest kind and the start of the next.
constexpr qint64 ReadBufferBytes = 4 * ScpiClient::MaxLineBytes;
} // namespace

ScpiClient::ScpiClient(QTcpSocket *socket, ScpiInstrument *instrument, QObject *parent)
    : QObject(parent), socket(socket), instrument(instrument)
{
    socket->setParent(this);
    socket->setReadBufferSize(ReadBufferBytes);
    connect(socket, &QTcpSocket::readyRead, this, &ScpiClient::Process);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (this->socket->bytesToWrite() <= MaxPendingOutput)
            ScheduleProcess();
    });
    connect(socket, &QTcpSocket::disconnected, this, &ScpiClient::Drop);
    // Lines that came with the connection are there before the first readyRead is connected.
    ScheduleProcess();
}

void ScpiClient::ScheduleProcess()
{
    if (processScheduled || gone)
        return;
    processScheduled = true;
    QTimer::singleShot(0, this, [this] {
        processScheduled = false;
        Process();
    });
}

void ScpiClient::Process()
{
    if (processing || gone)
        return;
    processing = true;
    int budget = UnitsPerTurn;
    while (!waitingForWrite && !gone && budget > 0) {
        if (socket->bytesToWrite() > MaxPendingOutput)
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
    if (!socket->canReadLine()) {
        // A line at the limit may wait for its LF after its CR.
        if (socket->bytesAvailable() > MaxLineBytes + 1)
            Drop();
        return false;
    }
    // Room for the longest line allowed, its CR LF and readLine()'s own terminator.
    QByteArray line = socket->readLine(MaxLineBytes + 3);
    if (!line.endsWith('\n')) {
        Drop();
        return false;
    }
    line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.size() > MaxLineBytes) {
        Drop();
        return false;
    }
    for (const ScpiUnit &unit : ParseScpiLine(line))
        units.push_back(unit);
    return true;
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
        if (error)
            self->errors.Push(*error);
        self->waitingForWrite = false;
        self->ScheduleProcess();
    });
}

void ScpiClient::Respond(const QByteArray &answer)
{
    socket->write(answer + '\n');
}

void ScpiClient::Drop()
{
    if (gone)
        return;
    gone = true;
    units.clear();
    socket->abort();
    emit closed();
}
