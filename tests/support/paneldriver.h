#pragma once

#include "app/mainwindow.h"
#include "settings/settingsstore.h"
#include "sim/converteremulator.h"
#include "tests/support/panelwindow.h"
#include "tests/support/sessionwatch.h"

#include <QSettings>
#include <QString>
#include <QVector>

#include <memory>

class DeviceSession;
class QAction;

// A status as a supply in CV mode with its output on reports it.
OutputStatus RunningStatus(int voltage, int current, int currentRange = 0);

// A main window wired to an emulated converter on a pseudo-terminal, driven through its
// widgets and actions as an operator would.
class PanelDriver
{
public:
    // `portPath` overrides the port offered first; by default the emulator's serial end.
    // `emulatorLink` makes the emulator keep a link there before the window lists its ports.
    explicit PanelDriver(const QString &portPath = QString(),
                         const QString &emulatorLink = QString());
    ~PanelDriver();
    PanelDriver(const PanelDriver &) = delete;
    PanelDriver &operator=(const PanelDriver &) = delete;

    QAction *action(const char *objectName) const { return PanelAction(*window, objectName); }
    template <typename T> T *widget(const char *name) const
    {
        return PanelWidget<T>(*window, name);
    }

    void connectPort();
    void disconnectPort();
    void click(const char *button);

    // The window's device session, and its ticks counted since the window was made.
    DeviceSession *session() const;
    int TickCount() const { return ticks->Count(); }
    bool WaitTicks(int more, int waitMs = TestWaitMs) { return ticks->WaitTicks(more, waitMs); }

    // Requests the emulator has logged with this register and operation, in order.
    QVector<EmulatorRequest> requestsFor(quint8 reg, quint8 operation) const;
    int countFor(quint8 reg, quint8 operation) const;

    ConverterEmulator emulator;
    // Outlives the window, as the application's does.
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    std::unique_ptr<MainWindow> window;
    bool started = false;

private:
    std::unique_ptr<TickCounter> ticks;
};
