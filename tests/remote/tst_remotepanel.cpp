#include "link/deviceprotocol.h"
#include "log/settingskeys.h"
#include "tests/app/paneldriver.h"

#include <QDoubleSpinBox>
#include <QProcess>
#include <QTcpServer>
#include <QToolButton>
#include <QtTest>

namespace {

constexpr int waitMs = 30000;

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
};

void RemotePanelTest::scriptAndWindowShareTheConverter()
{
    const quint16 port = FreePort();
    {
        QSettings store(SettingsStore::organisation, SettingsStore::application);
        store.setValue(SettingsKeys::scpiEnabled, true);
        store.setValue(SettingsKeys::scpiPort, port);
    }
    PanelDriver panel;
    QVERIFY(panel.started);
    panel.emulator.setLoadResistance(22);
    panel.emulator.setSetpoints(Setpoints{3000, 500});
    auto *scpiStatus = panel.widget<QToolButton>("toolButtonScpi");
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

QTEST_MAIN(RemotePanelTest)
#include "tst_remotepanel.moc"
