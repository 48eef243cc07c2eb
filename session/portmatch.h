#pragma once

#include <QString>
#include <QVector>

// A serial port as the system lists it: its name and, for a USB adapter, the adapter's serial
// number (empty when the port has none).
struct PortIdentity
{
    QString name;
    QString serialNumber;
};

// Where a lost port is to be opened again, given the ports listed now. A port without a serial
// number is reopened under its own name. An adapter with one is followed by that number, so
// that it is found again under another name (ttyUSB0 -> ttyUSB1, COM3 -> COM5), and another
// adapter that took its name is never opened in its place; its own name is preferred when both
// fit. Empty: nothing to open yet.
QString ReturnedPortName(const PortIdentity &lost, const QVector<PortIdentity> &available);
