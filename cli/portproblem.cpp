#include "cli/portproblem.h"

#include <QFileInfo>

PortFile LookAtPortFile(const QString &portName)
{
    PortFile file;
#ifndef Q_OS_WIN
    const QString path =
        portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
    const QFileInfo info(path);
    file.known = true;
    file.exists = info.exists();
    file.readWrite = info.isReadable() && info.isWritable();
#else
    Q_UNUSED(portName)
#endif
    return file;
}

Failure ClassifyOpenFailure(QSerialPort::SerialPortError error, const PortFile &file)
{
    if (error == QSerialPort::DeviceNotFoundError || (file.known && !file.exists))
        return Failure::PortMissing;
    if (error != QSerialPort::PermissionError)
        return Failure::PortOther;
    return file.known && !file.readWrite ? Failure::PortPermission : Failure::PortBusy;
}

QString OpenFailureText(Failure failure, const QString &portName, const QString &detail)
{
    // The panel's own words first, then which of the reasons it is.
    const QString head = QStringLiteral("Не удается открыть порт %1: ").arg(portName);
    switch (failure) {
    case Failure::PortBusy:
        return head + QStringLiteral("порт занят другой программой (если это панель "
                                     "VORNEXcontrol с включённым SCPI-сервером, команда дойдёт "
                                     "до преобразователя через неё: --via 127.0.0.1)");
    case Failure::PortMissing:
        return head + QStringLiteral("порт не найден");
    case Failure::PortPermission:
        return head + QStringLiteral("нет прав на чтение и запись (в Linux — группа dialout)");
    default:
        return head + detail;
    }
}
