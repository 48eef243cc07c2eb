#pragma once

#include <QtGlobal>

// The few calls a script's connection makes on its socket. POSIX and Winsock differ here only
// in names and error codes; each has its own file.
namespace SocketIo {

// Nothing can be moved now; the socket's notifier says when to try again.
constexpr qint64 WouldBlock = -1;
// The connection is broken (reset, or the socket is no longer valid).
constexpr qint64 Failed = -2;

bool MakeNonBlocking(qintptr socket);
// Up to `size` bytes into `data`: how many, 0 once the peer has sent all it will, WouldBlock or
// Failed.
qint64 Receive(qintptr socket, char *data, qint64 size);
// How many of `size` bytes the system took, WouldBlock or Failed. Never raises SIGPIPE.
qint64 Send(qintptr socket, const char *data, qint64 size);
// Tells the peer that nothing more will come; what was sent before still arrives.
void EndOutput(qintptr socket);
void Close(qintptr socket);

} // namespace SocketIo
