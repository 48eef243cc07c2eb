#include "sim/consoleserver.h"

#include "sim/consolecommands.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {

// A runaway line without an end is dropped rather than kept growing.
constexpr qint64 MaxLineBytes = 4096;

} // namespace

ConsoleServer::ConsoleServer(ConverterEmulator &emulator, QObject *parent)
    : QObject(parent), emulator(emulator), server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &ConsoleServer::accept);
}

bool ConsoleServer::listen(quint16 port, QString *error)
{
    if (server->listen(QHostAddress::LocalHost, port))
        return true;
    *error = server->errorString();
    return false;
}

quint16 ConsoleServer::port() const
{
    return server->serverPort();
}

void ConsoleServer::accept()
{
    while (QTcpSocket *client = server->nextPendingConnection()) {
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QTcpSocket::readyRead, this, [this, client] { serve(client); });
    }
}

void ConsoleServer::serve(QTcpSocket *client)
{
    while (client->canReadLine()) {
        const QString line = QString::fromUtf8(client->readLine(MaxLineBytes)).trimmed();
        const ConsoleCommands::Result result = ConsoleCommands::execute(emulator, line);
        QByteArray answer = result.text.toUtf8();
        if (!answer.isEmpty())
            answer += '\n';
        client->write(answer + '\n');
        if (result.quit)
            emit quitRequested();
    }
    if (client->bytesAvailable() > MaxLineBytes)
        client->readAll();
}
