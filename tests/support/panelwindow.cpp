#include "tests/support/panelwindow.h"

#include <QAction>
#include <QDir>
#include <QPixmap>

std::unique_ptr<MainWindow> OpenPanelWindow(QSettings *store, const QStringList &ports)
{
    qputenv("VORNEX_EXTRA_PORTS", ports.join(QDir::listSeparator()).toLocal8Bit());
    auto window = std::make_unique<MainWindow>(store);
    // The window takes its list when it is made; unset, it reaches no later window.
    qunsetenv("VORNEX_EXTRA_PORTS");
    window->show();
    return window;
}

QAction *PanelAction(const QObject &window, const char *objectName)
{
    auto *action = window.findChild<QAction *>(QLatin1String(objectName));
    if (action == nullptr)
        qFatal("no action %s", objectName);
    return action;
}

QImage Lamp(const char *name)
{
    return QPixmap(QStringLiteral(":/new/prefix1/rec/") + QLatin1String(name)).toImage();
}
