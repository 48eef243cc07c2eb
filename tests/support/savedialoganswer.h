#pragma once

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QObject>
#include <QString>
#include <QTimer>

// Answers the save dialog the way an operator would: remembers the folder it offered, then
// either picks `fileName` or cancels.
class SaveDialogAnswer : public QObject
{
public:
    explicit SaveDialogAnswer(const QString &fileName) : fileName(fileName)
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, [this] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible())
                return;
            offeredFolder = dialog->directory().absolutePath();
            ++shown;
            if (this->fileName.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(this->fileName);
                static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
            }
        });
        timer.start();
    }

    QString fileName;
    QString offeredFolder;
    int shown = 0;

private:
    QTimer timer;
};
