#include "remote/scpiserver.h"

#include "guard/deviceguard.h"
#include "remote/scpiclient.h"
#include "remote/scpiinstrument.h"
#include "remote/scpiscriptsocket.h"
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

ScpiServer::ScpiServer(DeviceSession *session, DeviceGuard *guard, QObject *parent)
    : QObject(parent)
{
    instrument = new ScpiInstrument(session, guard, this);
    // Every script is told, whether or not it had a command under way.
    if (guard != nullptr) {
        connect(guard, &DeviceGuard::tripped, this, [this](const Trip &trip) {
            const ScpiError error = ScpiInstrument::TripError(trip);
            for (ScpiClient *client : clients)
                client->Tell(error);
        });
    }
    tcpServer = new Listener([this](qintptr socket) { Accept(socket); }, this);
}

ScpiServer::~ScpiServer() = default;

bool ScpiServer::Apply(const RemoteSettings &settings)
{
    tcpServer->close();
    failure.clear();
    rejectedPort = settings.rejectedPort;
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
            if (tcpServer->serverError() != QAbstractSocket::AddressInUseError)
                failure = tr("SCPI: %1").arg(tcpServer->errorString());
            else if (rejectedPort.isEmpty())
                failure = tr("SCPI: порт %1 занят").arg(settings.port);
            else
                failure = tr("SCPI: порт %1 (вместо «%2») занят")
                              .arg(QString::number(settings.port), rejectedPort);
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
    const QString address =
        QStringLiteral("%1:%2").arg(tcpServer->serverAddress().toString()).arg(Port());
    // Said for as long as the store holds it, so that the operator finds why the port differs.
    if (!rejectedPort.isEmpty())
        return tr("SCPI %1 вместо «%2»").arg(address, rejectedPort);
    return tr("SCPI %1, клиентов: %2").arg(address).arg(clients.size());
}

QString ScpiServer::StatusToolTip() const
{
    if (rejectedPort.isEmpty() || StatusText().isEmpty())
        return StatusText();
    QString tip = tr("Порт «%1» из настроек недопустим (нужен от 1 до 65535), поэтому взят порт "
                     "%2. Другой порт: меню «SCPI», «Порт…».")
                      .arg(rejectedPort, QString::number(RemoteSettings::DefaultPort));
    if (tcpServer->isListening())
        tip += QLatin1Char('\n') + tr("Клиентов: %1").arg(clients.size());
    return tip;
}

void ScpiServer::Accept(qintptr socket)
{
    // A socket that could block would hold up the window and the poll tick.
    if (clients.size() >= MaxClients || !SocketIo::MakeNonBlocking(socket)) {
        SocketIo::Close(socket);
        return;
    }
    auto *client = new ScpiClient(new ScpiScriptSocket(socket), instrument, this);
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
