#include "remote/scpiscriptsocket.h"

#include "remote/socketio.h"

#include <QSocketNotifier>
#include <QTimer>

#include <array>

namespace {
constexpr qintptr NoSocket = -1;
// While the peer takes nothing, how often sending is tried anyway: Windows tells of a reset
// only to a socket's read notifier, and that one is off while the input is full.
constexpr int ResendMs = 1000;
} // namespace

ScpiScriptSocket::ScpiScriptSocket(qintptr socket, QObject *parent)
    : QObject(parent), socket(socket), nextFill(this, [this] { Fill(); }),
      nextFlush(this, [this] { Flush(); })
{
    readable = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(readable, &QSocketNotifier::activated, this, &ScpiScriptSocket::Fill);
    writable = new QSocketNotifier(socket, QSocketNotifier::Write, this);
    writable->setEnabled(false);
    connect(writable, &QSocketNotifier::activated, this, &ScpiScriptSocket::Flush);
    resend = new QTimer(this);
    resend->setInterval(ResendMs);
    connect(resend, &QTimer::timeout, this, &ScpiScriptSocket::Flush);
    // Lines may have come with the connection.
    nextFill.Schedule();
}

ScpiScriptSocket::~ScpiScriptSocket()
{
    Release();
}

bool ScpiScriptSocket::IsOpen() const
{
    return socket != NoSocket;
}

ScpiLineBuffer::Take ScpiScriptSocket::TakeLine(QByteArray &line)
{
    const ScpiLineBuffer::Take take = input.TakeLine(line);
    if (IsOpen() && !readable->isEnabled() && !input.InputEnded() && input.Room() > 0) {
        readable->setEnabled(true);
        // Not every system repeats a readiness it told while the notifier was off.
        nextFill.Schedule();
    }
    return take;
}

int ScpiScriptSocket::BytesHeld() const
{
    return input.Held();
}

void ScpiScriptSocket::Write(const QByteArray &bytes)
{
    if (!IsOpen())
        return;
    output += bytes;
    // Answers of one turn go out together; a blocked socket is flushed by its notifier.
    if (!writable->isEnabled())
        nextFlush.Schedule();
}

qint64 ScpiScriptSocket::BytesToWrite() const
{
    return output.size() - sent;
}

void ScpiScriptSocket::Finish()
{
    finishing = true;
    if (BytesToWrite() == 0)
        Close();
}

void ScpiScriptSocket::Abort()
{
    Close();
}

void ScpiScriptSocket::Fill()
{
    if (!IsOpen() || input.InputEnded())
        return;
    bool arrived = false;
    std::array<char, 4096> chunk;
    while (input.Room() > 0) {
        const qint64 received =
            SocketIo::Receive(socket, chunk.data(), qMin<qint64>(input.Room(), chunk.size()));
        if (received == SocketIo::Failed) {
            Close();
            return;
        }
        if (received == SocketIo::WouldBlock)
            break;
        arrived = true;
        if (received == 0) {
            input.EndInput();
            break;
        }
        input.Append(chunk.data(), int(received));
    }
    readable->setEnabled(!input.InputEnded() && input.Room() > 0);
    if (arrived)
        emit readyRead();
}

void ScpiScriptSocket::Flush()
{
    if (!IsOpen())
        return;
    qint64 sentNow = 0;
    while (BytesToWrite() > 0) {
        const qint64 taken = SocketIo::Send(socket, output.constData() + sent, BytesToWrite());
        if (taken == SocketIo::Failed) {
            Close();
            return;
        }
        if (taken == SocketIo::WouldBlock)
            break;
        sent += taken;
        sentNow += taken;
    }
    if (BytesToWrite() == 0) {
        output.clear();
        sent = 0;
    } else if (sent > output.size() / 2) {
        output.remove(0, int(sent));
        sent = 0;
    }
    const bool blocked = BytesToWrite() > 0;
    writable->setEnabled(blocked);
    if (!blocked)
        resend->stop();
    else if (!resend->isActive())
        resend->start();
    if (sentNow > 0)
        emit bytesWritten();
    if (!blocked && finishing)
        Close();
}

void ScpiScriptSocket::Close()
{
    if (!IsOpen())
        return;
    if (finishing)
        SocketIo::EndOutput(socket);
    Release();
    emit closed();
}

void ScpiScriptSocket::Release()
{
    if (!IsOpen())
        return;
    // No notifier may watch a socket that is closed.
    readable->setEnabled(false);
    writable->setEnabled(false);
    resend->stop();
    SocketIo::Close(socket);
    socket = NoSocket;
    output.clear();
    sent = 0;
}
