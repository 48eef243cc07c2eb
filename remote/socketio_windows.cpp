#include "remote/socketio.h"

#include <winsock2.h>

#include <algorithm>
#include <climits>

namespace {

SOCKET Handle(qintptr socket)
{
    return SOCKET(socket);
}

qint64 Outcome(int result)
{
    if (result != SOCKET_ERROR)
        return result;
    return WSAGetLastError() == WSAEWOULDBLOCK ? SocketIo::WouldBlock : SocketIo::Failed;
}

// Winsock counts in int.
int Chunk(qint64 size)
{
    return int(std::min<qint64>(size, INT_MAX));
}

} // namespace

namespace SocketIo {

bool MakeNonBlocking(qintptr socket)
{
    u_long nonBlocking = 1;
    return ::ioctlsocket(Handle(socket), FIONBIO, &nonBlocking) == 0;
}

qint64 Receive(qintptr socket, char *data, qint64 size)
{
    return Outcome(::recv(Handle(socket), data, Chunk(size), 0));
}

qint64 Send(qintptr socket, const char *data, qint64 size)
{
    return Outcome(::send(Handle(socket), data, Chunk(size), 0));
}

void EndOutput(qintptr socket)
{
    ::shutdown(Handle(socket), SD_SEND);
}

void Close(qintptr socket)
{
    ::closesocket(Handle(socket));
}

} // namespace SocketIo
