#pragma once

#include "app/mainwindow.h"

#include <QImage>
#include <QObject>
#include <QStringList>

#include <memory>

class QAction;
class QSettings;

// The main window as the application makes it and shows it, with `ports` listed first in its
// port list (through VORNEX_EXTRA_PORTS, as tools/run.sh offers the emulator). The store must
// outlive the window, as the application's does.
std::unique_ptr<MainWindow> OpenPanelWindow(QSettings *store, const QStringList &ports);

// The window's action of this object name ("actionConnect", "actionDisconnect", "actionAbout",
// "actionScpiServer", ...); ends the program when there is none.
QAction *PanelAction(const QObject &window, const char *objectName);

// The child of this object name; ends the program when there is none.
template <typename T> T *PanelWidget(const QObject &parent, const char *name)
{
    T *found = parent.findChild<T *>(QLatin1String(name));
    if (found == nullptr)
        qFatal("no widget %s", name);
    return found;
}

// A lamp image from the window's resources, e.g. "LED_ON_GREEN.png".
QImage Lamp(const char *name);
