#pragma once

#include "session/devicesession.h"

#include <QString>

// What the status bar says about the connection; empty while disconnected.
QString LinkStatusText(DeviceSession::LinkState state, const QString &portName);
