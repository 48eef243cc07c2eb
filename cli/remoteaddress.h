#pragma once

#include <QString>

#include <optional>

// Where a panel's SCPI server listens, as --via names it.
struct RemoteAddress
{
    static constexpr quint16 DefaultPort = 5025;

    QString host;
    quint16 port = DefaultPort;
};

// HOST, HOST:PORT, an IPv6 address as it is (::1) or in brackets ([::1], [::1]:5025); the port
// from 1 to 65535. An IPv6 address with a port needs the brackets, since otherwise its last group
// could be either. Otherwise nothing, with `problem` saying why.
std::optional<RemoteAddress> ParseRemoteAddress(const QString &text, QString &problem);

// The address as the user reads it in a message: 127.0.0.1:5025, [::1]:5025.
QString RemoteAddressText(const RemoteAddress &address);
