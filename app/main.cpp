#include "app/highdpi.h"
#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    PrepareHighDpiScaling();
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    return application.exec();
}
