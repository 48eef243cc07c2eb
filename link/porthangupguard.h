#pragma once

#include <QObject>
#include <QPointer>
#include <QSerialPort>

// Closes a serial port once when its device disappears. Left open, an unplugged port reports
// ResourceError in a tight loop and starves the event loop; closed, every transaction simply
// ends without a reply until the port is opened again. On Windows many adapter drivers end the
// port's pending wait with "access denied" when the adapter is unplugged, which QSerialPort
// reports as PermissionError and after which it reads no more: on an open port that means the
// same.
class PortHangupGuard : public QObject
{
    Q_OBJECT

public:
    explicit PortHangupGuard(QSerialPort *port, QObject *parent = nullptr);

signals:
    // The device went away and the port was closed.
    void hungUp();

private:
    void HandleError(QSerialPort::SerialPortError error);

    QPointer<QSerialPort> port;
};
