#include "app/highdpi.h"
#include "app/mainwindow.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char *argv[])
{
    PrepareHighDpiScaling();
    QApplication application(argc, argv);
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    MainWindow window(store.get());
    window.show();
    return application.exec();
}
