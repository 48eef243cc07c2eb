#pragma once

#include <QObject>

class DeviceGuard;
class QGridLayout;
class QLabel;
class QPushButton;
class QWidget;

// The energy counters on "Панель", under the displays: charge, energy, output-on time, the
// time without readings that they could not count, and since when they count, with "Сброс"
// (after a question), and why they are not saved if they are not. They follow the guard's
// countersChanged.
class EnergyCountersView : public QObject
{
    Q_OBJECT

public:
    // Adds the block as the next row of the page's layout; `window` owns the question box.
    EnergyCountersView(DeviceGuard *guard, QGridLayout &pageLayout, QWidget *window);

private:
    void Show();
    void AskReset();

    DeviceGuard *guard = nullptr;
    QWidget *window = nullptr;
    QWidget *box = nullptr;
    QLabel *charge = nullptr;
    QLabel *energy = nullptr;
    QLabel *onTime = nullptr;
    QLabel *gap = nullptr;
    QLabel *resetAt = nullptr;
    // Why the counters are not kept on disk, in red; hidden while they are.
    QLabel *problem = nullptr;
    QPushButton *resetButton = nullptr;
};
