#pragma once

#include "remote/remotesettings.h"

#include <QObject>

class QAction;
class QGridLayout;
class QLabel;
class QSettings;
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

    // Puts this menu's button at (row, column) of the window's status lines and its label
    // across the row below, then starts the server when the store says so.
    void Install(QGridLayout &statusLines, int row, int column);

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
