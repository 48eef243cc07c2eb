#pragma once

#include <QStringList>

// Names offered in the port list: the ports named in `extraPorts` (a path list, as in the
// VORNEX_EXTRA_PORTS environment variable, separated by the platform's list separator) first,
// then the enumerated ones in the order the system gave them. Empty entries are skipped.
QStringList PortNames(const QStringList &enumerated, const QString &extraPorts);
