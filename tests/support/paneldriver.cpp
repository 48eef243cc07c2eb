#include "tests/support/paneldriver.h"

#include "session/devicesession.h"
#include "settings/settingskeys.h"
#include "tests/support/requestcount.h"

#include <QAction>
#include <QPushButton>
#include <QtTest>

OutputStatus RunningStatus(int voltage, int current, int currentRange)
{
    OutputStatus status;
    status.voltage = voltage;
    status.current = current;
    status.currentRange = currentRange;
    status.cvMode = 1;
    status.outputOn = 1;
    return status;
}

PanelDriver::PanelDriver(const QString &portPath, const QString &emulatorLink)
{
    emulator.setPaced(false);
    if (!emulatorLink.isEmpty())
        emulator.setLinkPath(emulatorLink);
    QString error;
    started = emulator.start(&error);
    if (!started)
        qWarning("emulator: %s", qPrintable(error));
    // A port remembered by an earlier case would be preselected instead of this one.
    QSettings(SettingsStore::organisation, SettingsStore::application)
        .remove(SettingsKeys::lastPort);
    window = OpenPanelWindow(store.get(), {portPath.isEmpty() ? emulator.serialPath() : portPath});
    ticks = std::make_unique<TickCounter>(session());
}

PanelDriver::~PanelDriver()
{
    ticks.reset();
    window.reset();
    emulator.stop();
}

void PanelDriver::connectPort()
{
    action("actionConnect")->trigger();
}

void PanelDriver::disconnectPort()
{
    action("actionDisconnect")->trigger();
}

void PanelDriver::click(const char *button)
{
    QTest::mouseClick(widget<QPushButton>(button), Qt::LeftButton);
}

DeviceSession *PanelDriver::session() const
{
    auto *session = window->findChild<DeviceSession *>();
    if (session == nullptr)
        qFatal("the window has no device session");
    return session;
}

QVector<EmulatorRequest> PanelDriver::requestsFor(quint8 reg, quint8 operation) const
{
    return RequestsFor(emulator, reg, operation);
}

int PanelDriver::countFor(quint8 reg, quint8 operation) const
{
    return CountFor(emulator, reg, operation);
}
