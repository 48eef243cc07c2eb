#include "app/errorboxes.h"

#include <QCoreApplication>
#include <QMessageBox>

ErrorBoxes::ErrorBoxes(QWidget *window) : QObject(window), window(window) {}

void ErrorBoxes::Show(const QString &text)
{
    if (const QPointer<QMessageBox> open = onScreen.value(text); open && open->isVisible())
        return;
    auto *box =
        new QMessageBox(QMessageBox::Critical, QCoreApplication::translate("MainWindow", "Error"),
                        text, QMessageBox::Ok, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    onScreen.insert(text, box);
    // open() is window-modal and returns at once; exec() would hold the tick that reported
    // the failure, and with it all polling and logging, until someone clicks OK.
    box->open();
}
