#include "session/portrecovery.h"

#include "session/portchangewatch.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>

namespace {

QVector<PortIdentity> ListedPorts()
{
    QVector<PortIdentity> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports << PortIdentity{info.portName(), info.serialNumber()};
    return ports;
}

} // namespace

PortRecovery::PortRecovery(QObject *parent) : QObject(parent) {}

void PortRecovery::Remember(const QSerialPort &port, const QString &name)
{
    // Only a listed port can be told apart from another by its adapter's serial number.
    const QSerialPortInfo info(port);
    openedPort = PortIdentity{name, info.serialNumber()};
    openedFolder = info.systemLocation().isEmpty()
                       ? QString()
                       : QFileInfo(info.systemLocation()).absolutePath();
}

void PortRecovery::Begin()
{
    sinceAttempt.start();
    if (!openedPort.serialNumber.isEmpty() && returnWatch == nullptr) {
        returnWatch = new PortChangeWatch({openedFolder}, ReopenIntervalMs, this);
        connect(returnWatch, &PortChangeWatch::changed, this,
                [this] { portsMayHaveChanged = true; });
        portsMayHaveChanged = true;
    }
}

void PortRecovery::End()
{
    delete returnWatch;
    returnWatch = nullptr;
}

QString PortRecovery::NameToTry()
{
    if (sinceAttempt.isValid() && sinceAttempt.elapsed() < ReopenIntervalMs)
        return QString();
    sinceAttempt.start();
    return ReturnedName();
}

QString PortRecovery::ReturnedName()
{
    if (openedPort.serialNumber.isEmpty())
        return openedPort.name;
    if (!portsMayHaveChanged)
        return QString();
    const QString name = ReturnedPortName(openedPort, ListedPorts());
    // Once found, the port is tried every second until it opens (its rights may come later).
    portsMayHaveChanged = !name.isEmpty();
    return name;
}
