#include "link/deviceprotocol.h"
#include "remote/remotesettings.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"
#include "tests/support/paneldriver.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int waitMs = 30000;

// Answers the next message box with `button` once it is open; records its text.
void AnswerNextBox(QMessageBox::StandardButton button, QString *text)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, button, text] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        *text = box->text();
        box->button(button)->click();
        timer->deleteLater();
    });
    timer->start(5);
}

// Enters `value` in the next input dialog once it is open, and accepts it.
void AnswerNextInput(int value)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, value] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        dialog->setIntValue(value);
        dialog->accept();
        timer->deleteLater();
    });
    timer->start(5);
}

void StoreServerSettings(bool enabled, quint16 port)
{
    QSettings store(SettingsStore::organisation, SettingsStore::application);
    store.setValue(SettingsKeys::scpiEnabled, enabled);
    store.setValue(SettingsKeys::scpiListen, QStringLiteral("local"));
    store.setValue(SettingsKeys::scpiPort, port);
}

quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

// The real window on the offscreen platform, connected to the emulator, with its SCPI server
// switched on in the settings store, driven by a PyVISA script as a user's script would drive
// it, while the test clicks in the window.
class RemotePanelTest : public QObject
{
    Q_OBJECT

private slots:
    void scriptAndWindowShareTheConverter();
    void switchedInTheWindow();
    void aStoredPortThatIsNoPortIsSaid();
    void countersAndProtectionsThroughAScript();
};

void RemotePanelTest::scriptAndWindowShareTheConverter()
{
    const quint16 port = FreePort();
    StoreServerSettings(true, port);
    PanelDriver panel;
    QVERIFY(panel.started);
    panel.emulator.setLoadResistance(22);
    panel.emulator.setSetpoints(Setpoints{3000, 500});
    auto *scpiStatus = panel.widget<QLabel>("labelScpiStatus");
    QCOMPARE(scpiStatus->text(), QStringLiteral("SCPI 127.0.0.1:%1, клиентов: 0").arg(port));
    panel.connectPort();

    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.start(QStringLiteral(DEBIAN_PYTHON),
                 {QStringLiteral(VISA_SCRIPT_PATH), QString::number(port)});
    QVERIFY2(script.waitForStarted(), qPrintable(script.errorString()));
    QByteArray output;
    const auto outputHas = [&](const char *line) {
        output += script.readAllStandardOutput();
        return output.contains(line) || script.state() == QProcess::NotRunning;
    };

    QTRY_VERIFY_WITH_TIMEOUT(outputHas("CLICK"), waitMs);
    QVERIFY2(output.contains("CLICK"), "the script ended before its click");
    QCOMPARE(scpiStatus->text(), QStringLiteral("SCPI 127.0.0.1:%1, клиентов: 1").arg(port));
    // The script's writes show in the window as a click's would.
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxV")->value(), 8.0);
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxA")->value(), 1.5);
    QCOMPARE(panel.widget<QPushButton>("pushButtonOnOff")->text(), QStringLiteral("Выключить"));
    const int writesBeforeClick = panel.countFor(DeviceRegister::Setpoints, DeviceOperation::Write);

    panel.widget<QDoubleSpinBox>("doubleSpinBoxV")->setValue(9.5);
    panel.click("pushButtonApply");
    QTRY_COMPARE_WITH_TIMEOUT(panel.emulator.setpoints().voltage, 9500, waitMs);
    script.write("go\n");

    QTRY_VERIFY_WITH_TIMEOUT(outputHas("DONE"), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(script.state(), QProcess::NotRunning, waitMs);
    QCOMPARE(script.exitStatus(), QProcess::NormalExit);
    QCOMPARE(script.exitCode(), 0);
    // The click and the two writes around it, each once and in order.
    QCOMPARE(panel.countFor(DeviceRegister::Setpoints, DeviceOperation::Write),
             writesBeforeClick + 2);
    QCOMPARE(panel.emulator.setpoints().voltage, 10000);
    QCOMPARE(panel.emulator.setpoints().current, 1500);
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxV")->value(), 10.0);
    QTRY_COMPARE_WITH_TIMEOUT(scpiStatus->text(),
                              QStringLiteral("SCPI 127.0.0.1:%1, клиентов: 0").arg(port), waitMs);
}

// The menu's choices take effect at once and are kept; the network needs the warning's yes; a
// port in use is said in the status bar and the window goes on.
void RemotePanelTest::switchedInTheWindow()
{
    const quint16 port = FreePort();
    StoreServerSettings(false, port);
    QTcpServer squatter;
    PanelDriver panel;
    auto *scpiStatus = panel.widget<QLabel>("labelScpiStatus");
    QVERIFY(scpiStatus->isHidden());
    const auto stored = [](const QLatin1String &key) {
        return QSettings(SettingsStore::organisation, SettingsStore::application).value(key);
    };

    panel.action("actionScpiServer")->trigger();
    QCOMPARE(scpiStatus->text(), QStringLiteral("SCPI 127.0.0.1:%1, клиентов: 0").arg(port));
    QVERIFY(scpiStatus->isVisible());
    QCOMPARE(stored(SettingsKeys::scpiEnabled).toBool(), true);

    QString warning;
    AnswerNextBox(QMessageBox::No, &warning);
    panel.action("actionScpiNetwork")->trigger();
    QVERIFY(warning.contains(QStringLiteral("включать выход")));
    QVERIFY(!panel.action("actionScpiNetwork")->isChecked());
    QCOMPARE(stored(SettingsKeys::scpiListen).toString(), QStringLiteral("local"));
    QVERIFY(scpiStatus->text().startsWith(QStringLiteral("SCPI 127.0.0.1:")));

    AnswerNextBox(QMessageBox::Yes, &warning);
    panel.action("actionScpiNetwork")->trigger();
    QCOMPARE(scpiStatus->text(), QStringLiteral("SCPI 0.0.0.0:%1, клиентов: 0").arg(port));
    QCOMPARE(stored(SettingsKeys::scpiListen).toString(), QStringLiteral("any"));

    panel.action("actionScpiServer")->trigger();
    QVERIFY(scpiStatus->isHidden());
    QVERIFY(squatter.listen(QHostAddress::AnyIPv4, port));
    panel.action("actionScpiServer")->trigger();
    QCOMPARE(scpiStatus->text(), QStringLiteral("SCPI: порт %1 занят").arg(port));
    panel.connectPort();
    QTRY_VERIFY_WITH_TIMEOUT(panel.countFor(DeviceRegister::Status, DeviceOperation::Read) >= 1,
                             waitMs);
}

// The default port is taken and the status line says instead of what; the store keeps what it
// holds through the menu's other choices, until the operator chooses a port.
void RemotePanelTest::aStoredPortThatIsNoPortIsSaid()
{
    StoreServerSettings(true, RemoteSettings::DefaultPort);
    QSettings store(SettingsStore::organisation, SettingsStore::application);
    store.setValue(SettingsKeys::scpiPort, QStringLiteral("70000"));
    store.sync();
    PanelDriver panel;
    auto *scpiStatus = panel.widget<QLabel>("labelScpiStatus");
    // The default port may be taken on the machine that runs the test.
    const QStringList said{QStringLiteral("SCPI 127.0.0.1:5025 вместо «70000»"),
                           QStringLiteral("SCPI: порт 5025 (вместо «70000») занят")};
    QVERIFY2(said.contains(scpiStatus->text()), qPrintable(scpiStatus->text()));
    QVERIFY(scpiStatus->toolTip().contains(QStringLiteral("«70000» из настроек недопустим")));

    panel.action("actionScpiServer")->trigger();
    panel.action("actionScpiServer")->trigger();
    QVERIFY2(said.contains(scpiStatus->text()), qPrintable(scpiStatus->text()));
    store.sync();
    QCOMPARE(store.value(SettingsKeys::scpiPort).toString(), QStringLiteral("70000"));

    const quint16 port = FreePort();
    AnswerNextInput(port);
    panel.action("actionScpiPort")->trigger();
    QCOMPARE(scpiStatus->text(), QStringLiteral("SCPI 127.0.0.1:%1, клиентов: 0").arg(port));
    QCOMPARE(scpiStatus->toolTip(), scpiStatus->text());
    store.sync();
    QCOMPARE(store.value(SettingsKeys::scpiPort).toInt(), port);
}

// A PyVISA script reads and resets the energy counters, trips the voltage protection and clears
// it; the store's cap refuses its setpoint above it. What it sets is stored, and a switch-on
// refused while tripped never reaches the converter.
void RemotePanelTest::countersAndProtectionsThroughAScript()
{
    const quint16 port = FreePort();
    StoreServerSettings(true, port);
    {
        QSettings store(SettingsStore::organisation, SettingsStore::application);
        for (const QLatin1String &key :
             {SettingsKeys::ovpEnabled, SettingsKeys::ovpLevel, SettingsKeys::ovpDelay,
              SettingsKeys::ocpEnabled, SettingsKeys::ocpLevel, SettingsKeys::ocpDelay,
              SettingsKeys::oppEnabled, SettingsKeys::oppLevel, SettingsKeys::oppDelay,
              SettingsKeys::currentCap})
            store.remove(key);
        store.setValue(SettingsKeys::voltageCap, 15.0);
    }
    PanelDriver panel;
    QVERIFY(panel.started);
    panel.emulator.setLoadResistance(22);
    panel.emulator.setSetpoints(Setpoints{3000, 500});
    panel.connectPort();

    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.start(QStringLiteral(DEBIAN_PYTHON), {QStringLiteral(VISA_SCRIPT_PATH),
                                                 QString::number(port),
                                                 QStringLiteral("protections")});
    QVERIFY2(script.waitForStarted(), qPrintable(script.errorString()));
    QByteArray output;
    const auto outputHas = [&](const char *line) {
        output += script.readAllStandardOutput();
        return output.contains(line) || script.state() == QProcess::NotRunning;
    };

    QTRY_VERIFY_WITH_TIMEOUT(outputHas("TRIPPED"), waitMs);
    QVERIFY2(output.contains("TRIPPED"), "the script ended before the trip");
    QVERIFY(!panel.emulator.outputOn());
    QCOMPARE(panel.emulator.setpoints().voltage, 12000);
    panel.store->sync();
    QCOMPARE(panel.store->value(SettingsKeys::ovpEnabled).toBool(), true);
    QCOMPARE(panel.store->value(SettingsKeys::ovpLevel).toDouble(), 10.0);
    QCOMPARE(panel.store->value(SettingsKeys::ovpDelay).toDouble(), 0.0);
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QPushButton>("pushButtonOnOff")->text(),
                              QStringLiteral("Включить"), waitMs);
    const int switches = panel.countFor(DeviceRegister::OutputSwitch, DeviceOperation::Write);
    script.write("go\n");

    QTRY_VERIFY_WITH_TIMEOUT(outputHas("REFUSED"), waitMs);
    QVERIFY2(output.contains("REFUSED"), "the script ended before the refusal");
    QVERIFY(panel.WaitTicks(4));
    QCOMPARE(panel.countFor(DeviceRegister::OutputSwitch, DeviceOperation::Write), switches);
    QVERIFY(!panel.emulator.outputOn());
    script.write("go\n");

    QTRY_VERIFY_WITH_TIMEOUT(outputHas("DONE"), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(script.state(), QProcess::NotRunning, waitMs);
    QCOMPARE(script.exitStatus(), QProcess::NormalExit);
    QCOMPARE(script.exitCode(), 0);
    QVERIFY(panel.emulator.outputOn());
    panel.store->sync();
    QCOMPARE(panel.store->value(SettingsKeys::ovpLevel).toDouble(), 13.0);
}

QTEST_MAIN(RemotePanelTest)
#include "tst_remotepanel.moc"
