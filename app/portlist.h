#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Names offered in the port list: the ports named in `extraPorts` (a path list, as in the
// VORNEX_EXTRA_PORTS environment variable, separated by the platform's list separator) that
// exist now or that the system lists, first; then the enumerated ones in the order the system
// gave them. Empty entries are skipped and no name appears twice.
QStringList PortNames(const QStringList &enumerated, const QString &extraPorts,
                      const std::function<bool(const QString &)> &exists);

// The entry to select in a freshly filled list: the current one if it is still there, else the
// remembered last port if it is there, else the first. -1 for an empty list.
int PortToSelect(const QStringList &names, const QString &current, const QString &remembered);
