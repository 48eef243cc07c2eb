#pragma once

#include "remote/remotesettings.h"

#include <QList>
#include <QObject>
#include <QString>

class DeviceGuard;
class DeviceSession;
class QTcpServer;
class ScpiClient;
class ScpiInstrument;

// The panel as a SCPI instrument on a TCP socket: accepts up to eight clients and hands their
// commands to the device session they share with the window.
class ScpiServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxClients = 8;

    // Without a guard (tests, benchmarks) the counters and protections answer -200.
    ScpiServer(DeviceSession *session, DeviceGuard *guard = nullptr, QObject *parent = nullptr);
    ~ScpiServer() override;

    // Listens as the settings say (or stops, when they say off). False when the port could not
    // be taken; StatusText() then says why.
    bool Apply(const RemoteSettings &settings);
    bool IsListening() const;
    // The port actually listened on (the settings' port, or the one the system chose for 0).
    quint16 Port() const;
    int ClientCount() const;
    // For the status bar: "SCPI 127.0.0.1:5025, клиентов: 1"; empty while off. A port in the
    // store that is not one is said instead of the clients.
    QString StatusText() const;
    // The status text, or what it is short for.
    QString StatusToolTip() const;

signals:
    // The status text may have changed: a client came or went, or listening started or stopped.
    void statusChanged();

private:
    void Accept(qintptr socket);
    void Forget(ScpiClient *client);

    ScpiInstrument *instrument = nullptr;
    QTcpServer *tcpServer = nullptr;
    QList<ScpiClient *> clients;
    QString failure;
    QString rejectedPort;
};
