#pragma once

#include "log/logsettings.h"

#include <QDialog>

class QCloseEvent;
class QSettings;

namespace Ui {
class DialogSettingsLog;
}

// The log settings window. The widgets hold the settings of the current run; the persisted copy
// is loaded once at construction and written only when the window is closed through its frame
// (Esc hides it without storing).
class DialogSettingsLog : public QDialog
{
    Q_OBJECT

public:
    DialogSettingsLog(QSettings *store, QWidget *parent = nullptr);
    ~DialogSettingsLog() override;

    // The settings as the widgets show them now, not as stored.
    void GetSettings(LogSettings &logSettings) const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Load();
    void Store();

    Ui::DialogSettingsLog *ui = nullptr;
    QSettings *settings = nullptr;
};
