#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

// Closes every message box that appears while it lives and records "title|text" of each, the
// way an operator would read and dismiss them. Message boxes run their own event loop, so the
// watcher's timer keeps firing while one is open.
class MessageBoxWatcher : public QObject
{
public:
    explicit MessageBoxWatcher(int closeAfterMs = 0)
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, [this, closeAfterMs] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || box->isHidden())
                return;
            if (box != current) {
                current = box;
                openedFor.restart();
                seen << box->windowTitle() + QLatin1Char('|') + box->text();
            }
            if (openedFor.elapsed() >= closeAfterMs) {
                box->done(QMessageBox::Ok);
                current = nullptr;
            }
        });
        timer.start();
    }

    QStringList seen;

private:
    QTimer timer;
    QMessageBox *current = nullptr;
    QElapsedTimer openedFor;
};
