#include "app/remotecontrolmenu.h"

#include "remote/scpiserver.h"

#include <QAction>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QToolButton>

RemoteControlMenu::RemoteControlMenu(ScpiServer *server, QSettings *store, QWidget *window)
    : QObject(window), server(server), store(store), window(window)
{
    settings = LoadRemoteSettings(*store);

    auto *menu = new QMenu(window);
    serverAction = menu->addAction(tr("SCPI-сервер"));
    serverAction->setObjectName(QStringLiteral("actionScpiServer"));
    serverAction->setCheckable(true);
    serverAction->setChecked(settings.enabled);
    connect(serverAction, &QAction::toggled, this, &RemoteControlMenu::SwitchServer);

    networkAction = menu->addAction(tr("Доступ из сети"));
    networkAction->setObjectName(QStringLiteral("actionScpiNetwork"));
    networkAction->setCheckable(true);
    networkAction->setChecked(settings.listen == RemoteSettings::Listen::Any);
    // Triggered, not toggled: the warning may refuse the change and set the check back.
    connect(networkAction, &QAction::triggered, this, &RemoteControlMenu::SwitchNetworkAccess);

    portAction = menu->addAction(tr("Порт…"));
    portAction->setObjectName(QStringLiteral("actionScpiPort"));
    connect(portAction, &QAction::triggered, this, &RemoteControlMenu::ChoosePort);

    button = new QToolButton;
    button->setObjectName(QStringLiteral("toolButtonScpi"));
    button->setAutoRaise(true);
    button->setToolTip(tr("Удалённое управление по SCPI (TCP)"));
    button->setPopupMode(QToolButton::InstantPopup);
    button->setMenu(menu);
    button->setText(tr("SCPI"));
    // As tall as the status line's text, so that the window keeps its designed height.
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);

    statusLabel = new QLabel;
    statusLabel->setObjectName(QStringLiteral("labelScpiStatus"));
    // Cut at the window's edge rather than widening the window.
    statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusLabel->hide();
    connect(server, &ScpiServer::statusChanged, this, &RemoteControlMenu::ShowStatus);
}

void RemoteControlMenu::Install(QGridLayout &statusLines, int row, int column)
{
    // The server's line goes under the link's, across the whole width, so that both show whole.
    statusLines.addWidget(button, row, column);
    statusLines.addWidget(statusLabel, row + 1, 0, 1, column + 1);
    Apply();
}

void RemoteControlMenu::SwitchServer(bool on)
{
    settings.enabled = on;
    StoreRemoteSettings(*store, settings);
    Apply();
}

void RemoteControlMenu::SwitchNetworkAccess(bool any)
{
    if (any) {
        const QMessageBox::StandardButton answer = QMessageBox::warning(
            window, tr("SCPI"),
            tr("Сервер будет принимать подключения со всех сетевых интерфейсов. Любой, кто может "
               "подключиться к этому компьютеру по сети, сможет менять уставки и включать выход "
               "преобразователя. Продолжить?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            networkAction->setChecked(false);
            return;
        }
    }
    settings.listen = any ? RemoteSettings::Listen::Any : RemoteSettings::Listen::Local;
    StoreRemoteSettings(*store, settings);
    Apply();
}

void RemoteControlMenu::ChoosePort()
{
    bool ok = false;
    const int port = QInputDialog::getInt(window, tr("SCPI"), tr("TCP-порт сервера:"),
                                          settings.port, 1, 65535, 1, &ok);
    if (!ok || (port == settings.port && settings.rejectedPort.isEmpty()))
        return;
    settings.port = static_cast<quint16>(port);
    settings.rejectedPort.clear();
    StoreRemoteSettings(*store, settings);
    Apply();
}

void RemoteControlMenu::Apply()
{
    server->Apply(settings);
    ShowStatus();
}

void RemoteControlMenu::ShowStatus()
{
    statusLabel->setText(server->StatusText());
    statusLabel->setToolTip(server->StatusToolTip());
    statusLabel->setVisible(!statusLabel->text().isEmpty());
}
