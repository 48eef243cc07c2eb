#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The environment variable that names ports to offer before the system's, for links and
// adapters the system does not list.
inline const char *const ExtraPortsVariable = "VORNEX_EXTRA_PORTS";

// The entries of an extra-ports path list, in order, without empty ones.
QStringList ExtraPortList(const QString &extraPorts);

// Names offered in the port list: the ports named in `extraPorts` (a path list, as in the
// VORNEX_EXTRA_PORTS environment variable, separated by the platform's list separator) that
// exist now or that the system lists, first; then the enumerated ones in the order the system
// gave them. Empty entries are skipped and no name appears twice.
QStringList PortNames(const QStringList &enumerated, const QString &extraPorts,
                      const std::function<bool(const QString &)> &exists);

// The entry to select in a freshly filled list: the current one if it is still there, else the
// remembered last port if it is there, else the first. -1 for an empty list.
int PortToSelect(const QStringList &names, const QString &current, const QString &remembered);
