#pragma once

#include <QString>

// Whether a serial port named in VORNEX_EXTRA_PORTS is there now. On UNIX a port is a device
// file; on Windows a name such as COM7 (or \\.\COM7) is a DOS device name in no folder, which the
// system's device name table knows while the port is attached.
bool PortExists(const QString &name);
