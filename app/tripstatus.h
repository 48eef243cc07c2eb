#pragma once

#include <QObject>

class DeviceGuard;
class QLabel;
class QPushButton;
class QToolButton;
class QWidget;

// A trip as the window shows it, without a box that would wait for a click: a red line in the
// status bar with what tripped and the reading ("OVP: напряжение 12.61 В > 12.00 В"), and under
// it "Сбросить защиту", which acknowledges it, beside why the trip could not be recorded, if it
// could not. While tripped the output button is disabled and its tip says why: the session
// would refuse the switch-on anyway.
class TripStatus : public QObject
{
    Q_OBJECT

public:
    TripStatus(DeviceGuard *guard, QPushButton *outputButton, QObject *parent = nullptr);

    // The two lines, hidden while nothing has tripped, for the window's status bar.
    QWidget *Lines() const { return lines; }

private:
    void Show();

    DeviceGuard *guard = nullptr;
    QPushButton *outputButton = nullptr;
    QWidget *lines = nullptr;
    QLabel *trip = nullptr;
    QLabel *recordProblem = nullptr;
    QToolButton *acknowledge = nullptr;
};
