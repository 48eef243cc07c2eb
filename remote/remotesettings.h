#pragma once

#include <QtGlobal>

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

    bool operator==(const RemoteSettings &other) const
    {
        return enabled == other.enabled && listen == other.listen && port == other.port;
    }
};

// Unknown or damaged values read as their defaults: off, local, 5025.
RemoteSettings LoadRemoteSettings(const QSettings &store);
void StoreRemoteSettings(QSettings &store, const RemoteSettings &settings);
