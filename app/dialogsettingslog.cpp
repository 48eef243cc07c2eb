#include "app/dialogsettingslog.h"

#include "settings/settingskeys.h"
#include "ui_dialogsettingslog.h"

#include <QCloseEvent>
#include <QSettings>

namespace {
// Only a real boolean or its usual spellings count as true; anything else that might sit in the
// store falls back to false instead of being taken for "true" because it is a non-empty string.
bool StoredBool(const QVariant &value)
{
    if (value.type() == QVariant::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           text == QLatin1String("1");
}
} // namespace

DialogSettingsLog::DialogSettingsLog(QSettings *store, QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogSettingsLog), settings(store)
{
    ui->setupUi(this);

    ui->comboBoxLogValue->addItem(QStringLiteral("Дисплей"), 0);
    ui->comboBoxLogValue->addItem(QStringLiteral("АЦП"), 1);

    // The third text starts with two Latin c and ends with two Cyrillic с.
    ui->comboBoxTimeForm->addItem(tr("чч:мм:сс"), 0);
    ui->comboBoxTimeForm->addItem(tr("мм:сс"), 1);
    ui->comboBoxTimeForm->addItem(tr("cc\u0441\u0441"), 2);
    ui->comboBoxTimeForm->addItem(tr("чч:мм:сс OS"), 3);

    Load();
}

DialogSettingsLog::~DialogSettingsLog()
{
    delete ui;
}

void DialogSettingsLog::GetSettings(LogSettings &logSettings) const
{
    logSettings.logValue = ui->comboBoxLogValue->currentIndex();
    logSettings.commeDot = ui->radioButtonComme->isChecked() ? 1 : 0;
    logSettings.logPeriod = ui->timeEdit->time();
    logSettings.timeForm = ui->comboBoxTimeForm->currentIndex();
    logSettings.addTime = ui->checkBoxAddTime->isChecked() ? 1 : 0;
}

void DialogSettingsLog::closeEvent(QCloseEvent *event)
{
    Store();
    event->accept();
}

void DialogSettingsLog::Load()
{
    const bool comma = StoredBool(settings->value(SettingsKeys::commeDotLog));
    ui->radioButtonComme->setChecked(comma);
    ui->radioButtonDot->setChecked(!comma);

    // The time edit clamps to its range; a time that is not one stays at the form's start value.
    const QTime period = settings->value(SettingsKeys::logPeriod).toTime();
    if (period.isValid())
        ui->timeEdit->setTime(period);

    // An index outside a list leaves that combo box without a current item (index -1).
    ui->comboBoxLogValue->setCurrentIndex(settings->value(SettingsKeys::logValue).toInt());
    ui->comboBoxTimeForm->setCurrentIndex(settings->value(SettingsKeys::timeForm).toInt());

    ui->checkBoxAddTime->setChecked(StoredBool(settings->value(SettingsKeys::addTime)));
}

void DialogSettingsLog::Store()
{
    settings->setValue(SettingsKeys::commeDotLog, ui->radioButtonComme->isChecked());
    settings->setValue(SettingsKeys::logPeriod, ui->timeEdit->time());
    settings->setValue(SettingsKeys::logValue, ui->comboBoxLogValue->currentIndex());
    settings->setValue(SettingsKeys::timeForm, ui->comboBoxTimeForm->currentIndex());
    settings->setValue(SettingsKeys::addTime, ui->checkBoxAddTime->isChecked());
    settings->sync();
}
