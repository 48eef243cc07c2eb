#pragma once

#include "remote/remotesettings.h"

#include <QObject>

class QAction;
class QLabel;
class QSettings;
class QStatusBar;
class QToolButton;
class QWidget;
class ScpiServer;

// The window's switch for the SCPI server: a small button whose menu turns the server on and
// off, opens it to the network (after a warning) and sets its port, and a label with the
// server's address and clients, hidden while it is off. The window puts both in its status bar;
// in the toolbar the button would widen the window beyond its design. The choice is kept in the
// settings store.
class RemoteControlMenu : public QObject
{
    Q_OBJECT

public:
    RemoteControlMenu(ScpiServer *server, QSettings *store, QWidget *window);

    // Puts the window's link status and this menu's button and label in the status bar, then
    // starts the server when the store says so.
    void Install(QStatusBar &statusBar, QLabel *linkStatus);

private:
    void SwitchServer(bool on);
    void SwitchNetworkAccess(bool any);
    void ChoosePort();
    void Apply();
    void ShowStatus();

    ScpiServer *server = nullptr;
    QSettings *store = nullptr;
    QWidget *window = nullptr;
    RemoteSettings settings;
    QAction *serverAction = nullptr;
    QAction *networkAction = nullptr;
    QAction *portAction = nullptr;
    QToolButton *button = nullptr;
    QLabel *statusLabel = nullptr;
};
