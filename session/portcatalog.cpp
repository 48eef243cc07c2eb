#include "session/portcatalog.h"

#include "session/portchangewatch.h"
#include "session/portexists.h"
#include "session/portlist.h"
#include "settings/settingskeys.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSettings>

namespace {

// The list is filled again at most this often when ports come and go.
constexpr int RefreshIntervalMs = 2000;

// Where ports come and go: the system's device folder and those of the extra port paths.
QStringList PortFolders(const QString &extraPorts)
{
    QStringList folders;
    // The system's serial ports live in /dev where there is one; Windows names its ports, in no
    // folder, and the watch then falls back to its interval. A second listing of the ports only
    // to find their folders would cost another 10 ms at start-up.
    if (QFileInfo(QStringLiteral("/dev")).isDir())
        folders << QStringLiteral("/dev");
    for (const QString &extra : ExtraPortList(extraPorts)) {
        if (QFileInfo(extra).isAbsolute())
            folders << QFileInfo(extra).absolutePath();
    }
    return folders;
}

} // namespace

PortCatalog::PortCatalog(QSettings *store, QObject *parent)
    : QObject(parent), store(store), extraPorts(qEnvironmentVariable(ExtraPortsVariable))
{
    watch = new PortChangeWatch(PortFolders(extraPorts), RefreshIntervalMs, this);
    connect(watch, &PortChangeWatch::changed, this, &PortCatalog::mayHaveChanged);
}

QStringList PortCatalog::Names() const
{
    QStringList enumerated;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        enumerated << info.portName();
    return PortNames(enumerated, extraPorts, PortExists);
}

int PortCatalog::ToSelect(const QStringList &names, const QString &current) const
{
    return PortToSelect(names, current, store->value(SettingsKeys::lastPort).toString());
}

void PortCatalog::Remember(const QString &port)
{
    store->setValue(SettingsKeys::lastPort, port);
}
