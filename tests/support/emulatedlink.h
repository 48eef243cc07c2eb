#pragma once

#include "link/devicelink.h"
#include "sim/converteremulator.h"

#include <QSerialPort>
#include <QString>

// The converter emulator on a pseudo-terminal and a DeviceLink on a QSerialPort opened on its
// serial end at 9200 baud, as the panel opens it. Unpaced, so that a loaded test machine does not
// push replies past the link's 200 ms window.
class EmulatedLink
{
public:
    EmulatedLink();
    EmulatedLink(const EmulatedLink &) = delete;
    EmulatedLink &operator=(const EmulatedLink &) = delete;

    // Starts the emulator and opens the port on it; false, with the reason, when either fails.
    bool Start(QString *error);
    // Opens the port again on the emulator's serial end, as after a hang-up and return.
    bool Reopen();

    ConverterEmulator emulator;
    QSerialPort port;
    DeviceLink link;
};
