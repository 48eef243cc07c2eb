#pragma once

#include <QString>

class QSettings;

// Where the SCPI server listens and whether it runs, as the settings store keeps it.
struct RemoteSettings
{
    enum class Listen
    {
        Local, // 127.0.0.1 only
        Any,   // every interface: anyone on the network may switch the output
    };

    static constexpr quint16 DefaultPort = 5025;

    bool enabled = false;
    Listen listen = Listen::Local;
    quint16 port = DefaultPort;
    // The store's port when it is not one (1 to 65535): the default is used, and the store keeps
    // what it holds until the operator chooses a port.
    QString rejectedPort;

    bool operator==(const RemoteSettings &other) const
    {
        return enabled == other.enabled && listen == other.listen && port == other.port;
    }
};

// Unknown or damaged values read as their defaults: off, local, 5025; a damaged port is also
// named in rejectedPort.
RemoteSettings LoadRemoteSettings(const QSettings &store);
void StoreRemoteSettings(QSettings &store, const RemoteSettings &settings);
