#include "app/readingdisplays.h"

#include "app/lcdtext.h"
#include "link/quantities.h"
#include "ui_mainwindow.h"

namespace {

const char *const ledGreen = ":/new/prefix1/rec/LED_ON_GREEN.png";
const char *const ledRed = ":/new/prefix1/rec/LED_ON_RED.png";
const char *const ledOff = ":/new/prefix1/rec/LED_OFF.png";

} // namespace

ReadingDisplays::ReadingDisplays(Ui::MainWindow &ui)
    : ui(ui), lampGreen(ledGreen), lampRed(ledRed), lampOff(ledOff)
{
    ui.label_cc->setPixmap(lampRed);
    ui.label_cv->setPixmap(lampGreen);
    ui.lcdNumberA->display(0);
    ui.lcdNumberV->display(0);
}

void ReadingDisplays::ShowStatus(const OutputStatus &status)
{
    SetPanelStale(false);
    ShowReading(ui.lcdNumberV, shownVoltage, VoltageLcdText(status));
    ShowReading(ui.lcdNumberA, shownCurrent, CurrentLcdText(status));
    ShowLamp(ui.label_cc, status.ccMode != 0 ? lampRed : lampOff);
    ShowLamp(ui.label_cv, status.cvMode != 0 ? lampGreen : lampOff);
    ui.pushButtonOnOff->setText(status.outputOn != 0 ? QStringLiteral("Выключить")
                                                     : QStringLiteral("Включить"));
}

void ReadingDisplays::ShowAdc(const AdcReadings &adc)
{
    SetAdcStale(false);
    ShowAdcReading(ui.doubleSpinBoxVsdadc, ToUnits(Quantity::SdadcVoltage, adc.sdadcVoltage));
    ShowAdcReading(ui.doubleSpinBoxCsdadc, ToUnits(Quantity::SdadcCurrent, adc.sdadcCurrent));
    ShowAdcReading(ui.doubleSpinBoxVin, ToUnits(Quantity::InputVoltage, adc.inputVoltage));
    ShowAdcReading(ui.doubleSpinBoxVref, ToUnits(Quantity::ReferenceVoltage, adc.referenceVoltage));
}

void ReadingDisplays::SetPanelStale(bool stale)
{
    if (stale == panelStale)
        return;
    panelStale = stale;
    for (QWidget *widget :
         {static_cast<QWidget *>(ui.lcdNumberV), static_cast<QWidget *>(ui.lcdNumberA),
          static_cast<QWidget *>(ui.label_cv), static_cast<QWidget *>(ui.label_cc)})
        widget->setEnabled(!stale);
}

void ReadingDisplays::SetAdcStale(bool stale)
{
    if (stale == adcStale)
        return;
    adcStale = stale;
    for (QWidget *box : {ui.doubleSpinBoxVsdadc, ui.doubleSpinBoxCsdadc, ui.doubleSpinBoxVin,
                         ui.doubleSpinBoxVref})
        box->setEnabled(!stale);
}

// Repainting a display or lamp that shows the same thing again costs more CPU than the whole
// transaction, so only changes reach the widgets.
void ReadingDisplays::ShowReading(QLCDNumber *display, QString &shown, const QString &text)
{
    if (text == shown)
        return;
    display->display(text);
    shown = text;
}

void ReadingDisplays::ShowLamp(QLabel *lamp, const QPixmap &image)
{
    if (lamp->pixmap(Qt::ReturnByValue).cacheKey() != image.cacheKey())
        lamp->setPixmap(image);
}

// Setting a box re-lays its text out even when the value is the same; a reading in thousandths
// is exactly what a three-decimal box holds, so an unchanged one compares equal.
void ReadingDisplays::ShowAdcReading(QDoubleSpinBox *box, double value)
{
    if (box->value() != value)
        box->setValue(value);
}
