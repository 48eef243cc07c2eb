#include "app/linkstatustext.h"

#include <QCoreApplication>

QString LinkStatusText(DeviceSession::LinkState state, const QString &portName)
{
    switch (state) {
    case DeviceSession::LinkState::Connected:
        return QCoreApplication::translate("MainWindow", "Подключено: %1").arg(portName);
    case DeviceSession::LinkState::NoAnswer:
        return QCoreApplication::translate("MainWindow", "Нет ответа от преобразователя");
    case DeviceSession::LinkState::PortLost:
        return QCoreApplication::translate("MainWindow", "Порт потерян: %1 — ожидание подключения")
            .arg(portName);
    case DeviceSession::LinkState::Disconnected:
        break;
    }
    return QString();
}
