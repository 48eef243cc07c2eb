#include "cli/scpiconnection.h"

#include <QDeadlineTimer>

ScpiConnection::ScpiConnection(const RemoteAddress &address) : address(address) {}

ScpiConnection::~ScpiConnection()
{
    // Lets the last command go out before the panel sees the client leave.
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(TimeoutMs);
}

bool ScpiConnection::Connect()
{
    socket.connectToHost(address.host, address.port);
    if (socket.waitForConnected(TimeoutMs))
        return true;
    problem = SocketProblem();
    socket.abort();
    return false;
}

void ScpiConnection::Send(const QByteArray &command)
{
    Trace(">", command);
    socket.write(command + '\n');
}

std::optional<QByteArray> ScpiConnection::Ask(const QByteArray &query)
{
    Send(query);
    return NextAnswer();
}

std::optional<QByteArray> ScpiConnection::NextAnswer()
{
    const QDeadlineTimer deadline(TimeoutMs);
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime()))) {
            problem = SocketProblem();
            return std::nullopt;
        }
    }
    QByteArray line = socket.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    Trace("<", line);
    return line;
}

void ScpiConnection::Trace(const char *direction, const QByteArray &line)
{
    if (!trace)
        return;
    trace->write(direction + (' ' + line) + '\n');
}

QString ScpiConnection::SocketProblem() const
{
    const QString where = RemoteAddressText(address);
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("панель VORNEXcontrol не отвечает на %1 (включён ли SCPI-сервер?)")
            .arg(where);
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("узел «%1» не найден").arg(address.host);
    case QAbstractSocket::SocketTimeoutError:
        return socket.state() == QAbstractSocket::ConnectedState
                   ? QStringLiteral("панель VORNEXcontrol на %1 не ответила за %2 с")
                         .arg(where)
                         .arg(TimeoutMs / 1000)
                   : QStringLiteral("панель VORNEXcontrol не отвечает на %1: нет соединения за "
                                    "%2 с (включён ли SCPI-сервер и доступ из сети?)")
                         .arg(where)
                         .arg(TimeoutMs / 1000);
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("панель VORNEXcontrol на %1 закрыла соединение").arg(where);
    default:
        return QStringLiteral("связь с панелью VORNEXcontrol на %1: %2")
            .arg(where, socket.errorString());
    }
}
