#pragma once

#include "link/devicerecords.h"

#include <QPixmap>
#include <QString>

class QDoubleSpinBox;
class QLCDNumber;
class QLabel;

namespace Ui {
class MainWindow;
}

// What the poll reads show: the two displays, the mode lamps and the output button's caption
// on "Панель", the four readings on "АЦП", each greyed while no good reading comes in.
class ReadingDisplays
{
public:
    // Sets the displays as a fresh window shows them: both lamps lit, both displays at 0.
    explicit ReadingDisplays(Ui::MainWindow &ui);

    void ShowStatus(const OutputStatus &status);
    void ShowAdc(const AdcReadings &adc);
    void SetPanelStale(bool stale);
    void SetAdcStale(bool stale);

private:
    void ShowReading(QLCDNumber *display, QString &shown, const QString &text);
    void ShowLamp(QLabel *lamp, const QPixmap &image);
    void ShowAdcReading(QDoubleSpinBox *box, double value);

    Ui::MainWindow &ui;
    bool panelStale = false;
    bool adcStale = false;
    // What the two displays show now, to leave them alone when a read brings the same values.
    QString shownVoltage;
    QString shownCurrent;
    // The lamp images, decoded once: loading one by name on every status read costs file-time
    // look-ups each time.
    QPixmap lampGreen;
    QPixmap lampRed;
    QPixmap lampOff;
};
