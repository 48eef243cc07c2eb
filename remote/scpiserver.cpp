#include "remote/scpiserver.h"

#include "remote/scpiclient.h"
#include "remote/scpiconnection.h"
#include "remote/scpiinstrument.h"
#include "remote/socketio.h"

#include <QTcpServer>

#include <functional>

namespace {

// Hands each accepted socket over as it is, so that no QTcpSocket ever reads from it.
class Listener : public QTcpServer
{
public:
    Listener(std::function<void(qintptr)> accept, QObject *parent)
        : QTcpServer(parent), accept(std::move(accept))
    {
    }

protected:
    void incomingConnection(qintptr socket) override { accept(socket); }

private:
    std::function<void(qintptr)> accept;
};

} // namespace

ScpiServer::ScpiServer(DeviceSession *session, QObject *parent) : QObject(parent)
{
    instrument = new ScpiInstrument(session, this);
    tcpServer = new Listener([this](qintptr socket) { Accept(socket); }, this);
}

ScpiServer::~ScpiServer() = default;

bool ScpiServer::Apply(const RemoteSettings &settings)
{
    tcpServer->close();
    failure.clear();
    // Clients of the old address would go on talking to an instrument the operator switched off.
    for (ScpiClient *client : clients)
        client->deleteLater();
    clients.clear();
    bool listening = true;
    if (settings.enabled) {
        const QHostAddress address = settings.listen == RemoteSettings::Listen::Any
                                         ? QHostAddress(QHostAddress::AnyIPv4)
                                         : QHostAddress(QHostAddress::LocalHost);
        listening = tcpServer->listen(address, settings.port);
        if (!listening) {
            failure = tcpServer->serverError() == QAbstractSocket::AddressInUseError
                          ? tr("SCPI: порт %1 занят").arg(settings.port)
                          : tr("SCPI: %1").arg(tcpServer->errorString());
        }
    }
    emit statusChanged();
    return listening;
}

bool ScpiServer::IsListening() const
{
    return tcpServer->isListening();
}

quint16 ScpiServer::Port() const
{
    return tcpServer->serverPort();
}

int ScpiServer::ClientCount() const
{
    return clients.size();
}

QString ScpiServer::StatusText() const
{
    if (!failure.isEmpty())
        return failure;
    if (!tcpServer->isListening())
        return QString();
    return tr("SCPI %1:%2, клиентов: %3")
        .arg(tcpServer->serverAddress().toString())
        .arg(tcpServer->serverPort())
        .arg(clients.size());
}

void ScpiServer::Accept(qintptr socket)
{
    // A socket that could block would hold up the window and the poll tick.
    if (clients.size() >= MaxClients || !SocketIo::MakeNonBlocking(socket)) {
        SocketIo::Close(socket);
        return;
    }
    auto *client = new ScpiClient(new ScpiConnection(socket), instrument, this);
    connect(client, &ScpiClient::closed, this, [this, client] { Forget(client); });
    clients << client;
    emit statusChanged();
}

void ScpiServer::Forget(ScpiClient *client)
{
    if (!clients.removeOne(client))
        return;
    client->deleteLater();
    emit statusChanged();
}
