#pragma once

#include "guard/protectionsettings.h"

#include <QDialog>

class DeviceGuard;
class QCheckBox;
class QDoubleSpinBox;
class QShowEvent;

// "Защита": the three trips (on/off, level, hold time) and the two setpoint caps, as the guard
// holds them. Not modal, so the panel can be watched while the levels are set. "Применить" and
// "ОК" hand the settings to the guard, which stores them; the widgets follow the guard whenever
// its settings change (a script may set them), and each showing starts from the guard's.
class DialogProtection : public QDialog
{
    Q_OBJECT

public:
    DialogProtection(DeviceGuard *guard, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct TripRow
    {
        QCheckBox *enabled = nullptr;
        QDoubleSpinBox *level = nullptr;
        QDoubleSpinBox *delay = nullptr;
    };
    struct CapRow
    {
        QCheckBox *enabled = nullptr;
        QDoubleSpinBox *value = nullptr;
    };

    void ShowSettings(const ProtectionSettings &settings);
    ProtectionSettings TakeSettings() const;
    void Apply();

    DeviceGuard *guard = nullptr;
    TripRow trips[3];
    CapRow voltageCap;
    CapRow currentCap;
};
