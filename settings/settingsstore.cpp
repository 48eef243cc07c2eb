#include "settings/settingsstore.h"

#include <QSettings>

std::unique_ptr<QSettings> OpenSettingsStore()
{
    return std::make_unique<QSettings>(SettingsStore::organisation, SettingsStore::application);
}
