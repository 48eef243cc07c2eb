#include "remote/remotesettings.h"

#include "settings/settingskeys.h"

#include <QSettings>

namespace {
const QLatin1String ListenLocal{"local"};
const QLatin1String ListenAny{"any"};
} // namespace

RemoteSettings LoadRemoteSettings(const QSettings &store)
{
    RemoteSettings settings;
    settings.enabled = store.value(SettingsKeys::scpiEnabled, false).toBool();
    // Only the explicit word opens the server to the network; anything else stays local.
    settings.listen = store.value(SettingsKeys::scpiListen).toString() == ListenAny
                          ? RemoteSettings::Listen::Any
                          : RemoteSettings::Listen::Local;
    bool ok = false;
    const uint port = store.value(SettingsKeys::scpiPort).toUInt(&ok);
    if (ok && port >= 1 && port <= 65535)
        settings.port = static_cast<quint16>(port);
    return settings;
}

void StoreRemoteSettings(QSettings &store, const RemoteSettings &settings)
{
    store.setValue(SettingsKeys::scpiEnabled, settings.enabled);
    store.setValue(SettingsKeys::scpiListen,
                   settings.listen == RemoteSettings::Listen::Any ? ListenAny : ListenLocal);
    store.setValue(SettingsKeys::scpiPort, settings.port);
}
