#include "tests/support/emulatedlink.h"

EmulatedLink::EmulatedLink()
{
    emulator.setPaced(false);
    link.SetPort(&port);
}

bool EmulatedLink::Start(QString *error)
{
    if (!emulator.start(error))
        return false;
    if (Reopen())
        return true;
    if (error != nullptr)
        *error = QStringLiteral("%1: %2").arg(emulator.serialPath(), port.errorString());
    return false;
}

bool EmulatedLink::Reopen()
{
    port.setPortName(emulator.serialPath());
    if (!port.open(QIODevice::ReadWrite))
        return false;
    // The emulator answers only a line set like the panel's: 9200 baud, and 8N1 by default.
    return port.setBaudRate(9200);
}
