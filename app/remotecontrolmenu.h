#pragma once

#include "remote/remotesettings.h"

#include <QObject>

class QAction;
class QSettings;
class QStatusBar;
class QToolButton;
class QWidget;
class ScpiServer;

// The window's switch for the SCPI server: a button at the right end of the status bar that
// shows the server's address and clients, with a menu that turns the server on and off, opens it
// to the network (after a warning) and sets its port. It sits there rather than in the toolbar,
// which would widen the window beyond its design. The choice is kept in the settings store and
// applied at start.
class RemoteControlMenu : public QObject
{
    Q_OBJECT

public:
    RemoteControlMenu(ScpiServer *server, QSettings *store, QWidget *window);

    // Adds the button to the status bar, then starts the server when the store says so.
    void Install(QStatusBar *statusBar);

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
};
