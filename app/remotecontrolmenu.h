#pragma once

#include "remote/remotesettings.h"

#include <QObject>

class QAction;
class QLabel;
class QSettings;
class QStatusBar;
class QToolBar;
class QWidget;
class ScpiServer;

// The window's switch for the SCPI server: a toolbar button whose menu turns the server on and
// off, opens it to the network (after a warning) and sets its port, and a status bar label with
// its address and clients. The choice is kept in the settings store and applied at start.
class RemoteControlMenu : public QObject
{
    Q_OBJECT

public:
    RemoteControlMenu(ScpiServer *server, QSettings *store, QWidget *window);

    // Adds the button to the toolbar and the label to the status bar, then starts the server
    // when the store says so.
    void Install(QToolBar *toolBar, QStatusBar *statusBar);

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
    QAction *menuAction = nullptr;
    QAction *serverAction = nullptr;
    QAction *networkAction = nullptr;
    QAction *portAction = nullptr;
    QLabel *statusLabel = nullptr;
};
