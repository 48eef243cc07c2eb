#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

// Answers the restore question with `button`, as an operator would, and records each question.
class RestoreAnswer : public QObject
{
public:
    explicit RestoreAnswer(QMessageBox::StandardButton button)
    {
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, [this, button] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || box->isHidden())
                return;
            asked << box->text();
            box->button(button)->click();
        });
        timer.start();
    }

    QStringList asked;

private:
    QTimer timer;
};
