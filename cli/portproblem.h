#pragma once

#include "cli/failure.h"

#include <QSerialPort>
#include <QString>

// What the system shows of a port's device file.
struct PortFile
{
    bool known = false; // the port name leads to a file that can be looked at (not on Windows)
    bool exists = false;
    bool readWrite = false; // this user may open it for reading and writing
};

// Looks the port's device file up: a path as given, a bare name under /dev.
PortFile LookAtPortFile(const QString &portName);

// Why a port did not open. Qt reports a port that another program holds (by its lock file or
// its exclusive mode) as a permission error, like a device file this user may not open; the
// file's access rights tell the two apart. Without a file to look at (Windows), a refused open
// means the port is in use.
Failure ClassifyOpenFailure(QSerialPort::SerialPortError error, const PortFile &file);

// The user's message for a port that did not open; `detail` is the port's own error text.
QString OpenFailureText(Failure failure, const QString &portName, const QString &detail);
