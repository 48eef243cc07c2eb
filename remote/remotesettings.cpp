#include "remote/remotesettings.h"

#include "settings/settingskeys.h"

#include <QSettings>

namespace {
const QLatin1String ListenLocal{"local"};
const QLatin1String ListenAny{"any"};
// Enough of a damaged port to recognise it in the status line.
constexpr int ShownPortChars = 8;
} // namespace

RemoteSettings LoadRemoteSettings(const QSettings &store)
{
    RemoteSettings settings;
    settings.enabled = store.value(SettingsKeys::scpiEnabled, false).toBool();
    // Only the explicit word opens the server to the network; anything else stays local.
    settings.listen = store.value(SettingsKeys::scpiListen).toString() == ListenAny
                          ? RemoteSettings::Listen::Any
                          : RemoteSettings::Listen::Local;
    const QString stored = store.value(SettingsKeys::scpiPort).toString().trimmed();
    bool ok = false;
    const uint port = stored.toUInt(&ok);
    if (ok && port >= 1 && port <= 65535)
        settings.port = static_cast<quint16>(port);
    else if (!stored.isEmpty())
        settings.rejectedPort =
            stored.size() <= ShownPortChars ? stored : stored.left(ShownPortChars) + QChar(0x2026);
    return settings;
}

void StoreRemoteSettings(QSettings &store, const RemoteSettings &settings)
{
    store.setValue(SettingsKeys::scpiEnabled, settings.enabled);
    store.setValue(SettingsKeys::scpiListen,
                   settings.listen == RemoteSettings::Listen::Any ? ListenAny : ListenLocal);
    if (settings.rejectedPort.isEmpty())
        store.setValue(SettingsKeys::scpiPort, settings.port);
}
