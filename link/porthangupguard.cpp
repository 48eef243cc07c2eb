#include "link/porthangupguard.h"

PortHangupGuard::PortHangupGuard(QSerialPort *port, QObject *parent) : QObject(parent), port(port)
{
    connect(port, &QSerialPort::errorOccurred, this, &PortHangupGuard::HandleError);
}

void PortHangupGuard::HandleError(QSerialPort::SerialPortError error)
{
    if (!port)
        return;
    // A permission error of a port that is not open is a refused open, for its caller to report.
    const bool deviceGone = error == QSerialPort::ResourceError ||
                            (error == QSerialPort::PermissionError && port->isOpen());
    if (!deviceGone)
        return;
    // Clearing first keeps the sticky error from being seen again; it reports NoError, which
    // this slot ignores.
    port->clearError();
    if (!port->isOpen())
        return;
    port->close();
    emit hungUp();
}
