#include "remote/socketio.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

qint64 Outcome(ssize_t result)
{
    if (result >= 0)
        return result;
    return errno == EAGAIN || errno == EWOULDBLOCK ? SocketIo::WouldBlock : SocketIo::Failed;
}

} // namespace

namespace SocketIo {

bool MakeNonBlocking(qintptr socket)
{
    const int flags = ::fcntl(int(socket), F_GETFL);
    return flags != -1 && ::fcntl(int(socket), F_SETFL, flags | O_NONBLOCK) != -1;
}

qint64 Receive(qintptr socket, char *data, qint64 size)
{
    ssize_t result;
    do {
        result = ::recv(int(socket), data, size_t(size), 0);
    } while (result < 0 && errno == EINTR);
    return Outcome(result);
}

qint64 Send(qintptr socket, const char *data, qint64 size)
{
    ssize_t result;
    do {
        result = ::send(int(socket), data, size_t(size), MSG_NOSIGNAL);
    } while (result < 0 && errno == EINTR);
    return Outcome(result);
}

void EndOutput(qintptr socket)
{
    ::shutdown(int(socket), SHUT_WR);
}

void Close(qintptr socket)
{
    ::close(int(socket));
}

} // namespace SocketIo
