#include "session/portmatch.h"

QString ReturnedPortName(const PortIdentity &lost, const QVector<PortIdentity> &available)
{
    if (lost.serialNumber.isEmpty())
        return lost.name;
    QString otherName;
    for (const PortIdentity &port : available) {
        if (port.serialNumber != lost.serialNumber)
            continue;
        if (port.name == lost.name)
            return port.name;
        if (otherName.isEmpty())
            otherName = port.name;
    }
    return otherName;
}
