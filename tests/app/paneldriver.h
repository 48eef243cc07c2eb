#pragma once

#include "app/mainwindow.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "sim/converteremulator.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <memory>

// A status as a supply in CV mode with its output on reports it.
inline OutputStatus RunningStatus(int voltage, int current, int currentRange = 0)
{
    OutputStatus status;
    status.voltage = voltage;
    status.current = current;
    status.currentRange = currentRange;
    status.cvMode = 1;
    status.outputOn = 1;
    return status;
}

// A main window wired to an emulated converter on a pseudo-terminal, driven through its
// widgets and actions as an operator would.
class PanelDriver
{
public:
    // `portPath` overrides the port offered first; by default the emulator's serial end.
    // `emulatorLink` makes the emulator keep a link there before the window lists its ports.
    explicit PanelDriver(const QString &portPath = QString(),
                         const QString &emulatorLink = QString())
    {
        emulator.setPaced(false);
        if (!emulatorLink.isEmpty())
            emulator.setLinkPath(emulatorLink);
        QString error;
        started = emulator.start(&error);
        if (!started)
            qWarning("emulator: %s", qPrintable(error));
        const QString port = portPath.isEmpty() ? emulator.serialPath() : portPath;
        // A port remembered by an earlier case would be preselected instead of this one.
        QSettings(SettingsStore::organisation, SettingsStore::application)
            .remove(SettingsKeys::lastPort);
        qputenv("VORNEX_EXTRA_PORTS", port.toLocal8Bit());
        window = std::make_unique<MainWindow>(store.get());
        qunsetenv("VORNEX_EXTRA_PORTS");
        window->show();
    }

    ~PanelDriver()
    {
        window.reset();
        emulator.stop();
    }

    QAction *action(const QString &text) const
    {
        for (QAction *candidate : window->findChildren<QAction *>()) {
            if (candidate->text() == text)
                return candidate;
        }
        return nullptr;
    }

    template <typename T> T *widget(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        if (found == nullptr)
            qFatal("no widget %s", name);
        return found;
    }

    void connectPort() { action(QStringLiteral("Подключить"))->trigger(); }
    void disconnectPort() { action(QStringLiteral("Отключить"))->trigger(); }
    void click(const char *button)
    {
        QTest::mouseClick(widget<QPushButton>(button), Qt::LeftButton);
    }

    // Requests the emulator has logged with this register and operation, in order.
    QVector<EmulatorRequest> requestsFor(quint8 reg, quint8 operation) const
    {
        QVector<EmulatorRequest> matching;
        for (const EmulatorRequest &request : emulator.requests()) {
            if (request.parsed && request.registerCode == reg && request.operationCode == operation)
                matching << request;
        }
        return matching;
    }

    int countFor(quint8 reg, quint8 operation) const { return requestsFor(reg, operation).size(); }

    ConverterEmulator emulator;
    // Outlives the window, as the application's does.
    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    std::unique_ptr<MainWindow> window;
    bool started = false;
};
