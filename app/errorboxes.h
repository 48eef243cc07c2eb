#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class QMessageBox;
class QWidget;

// The window's error boxes for what failed on the converter. Each is modal to the window but
// shown without an event loop of its own, so the poll cycle, the log, its journal and the chart
// go on behind it; a failure that repeats while its box is on screen does not open another.
class ErrorBoxes : public QObject
{
    Q_OBJECT

public:
    explicit ErrorBoxes(QWidget *window);

    void Show(const QString &text);

private:
    QWidget *window = nullptr;
    QHash<QString, QPointer<QMessageBox>> onScreen;
};
