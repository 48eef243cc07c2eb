#include "tests/support/messageboxwatcher.h"
#include "tests/support/paneldriver.h"
#include "tests/support/wire.h"

#include "session/devicesession.h"
#include "session/portrecovery.h"
#include "settings/settingskeys.h"
#include "settings/settingsstore.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

#include <algorithm>

namespace {

QSettings Store()
{
    return QSettings(SettingsStore::organisation, SettingsStore::application);
}

QStringList Items(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

} // namespace

// The connection as an operator on a bench sees it: the status bar, a device that stops
// answering, an adapter pulled and plugged back, ports that come and go, the port remembered
// from the last run.
class ConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void lostPortIsReopenedWithoutTheOperator();
    void disconnectStopsTheRecovery();
    void silentDeviceIsNoAnswerUntilItReplies();
    void disconnectDuringTheFirstSetpointReadLeavesThePanelClosed();
    void portCreatedAfterStartUpIsListedWhenOpened();
    void rememberedPortIsPreselected_data();
    void rememberedPortIsPreselected();
    void fineRangeShowsAmperes();

private:
    static QString statusText(const PanelDriver &panel);
    static bool displaysLookStale(const PanelDriver &panel);
};

void ConnectionTest::init()
{
    Store().clear();
}

QString ConnectionTest::statusText(const PanelDriver &panel)
{
    return panel.widget<QLabel>("labelLinkStatus")->text();
}

bool ConnectionTest::displaysLookStale(const PanelDriver &panel)
{
    return !panel.widget<QLCDNumber>("lcdNumberV")->isEnabled() &&
           !panel.widget<QLCDNumber>("lcdNumberA")->isEnabled() &&
           !panel.widget<QLabel>("label_cv")->isEnabled() &&
           !panel.widget<QDoubleSpinBox>("doubleSpinBoxVsdadc")->isEnabled();
}

void ConnectionTest::lostPortIsReopenedWithoutTheOperator()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyVORNEX");
    PanelDriver panel(link, link);
    QVERIFY(panel.started);
    MessageBoxWatcher boxes;
    panel.emulator.setFixedStatus(RunningStatus(1234, 567));
    panel.connectPort();
    QCOMPARE(statusText(panel), QString("Подключено: ") + link);
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QLCDNumber>("lcdNumberV")->value(), 12.34, TestWaitMs);
    QVERIFY(!displaysLookStale(panel));

    // Logging goes on through the loss and picks up the new values by itself.
    auto *dialog = panel.window->findChild<QDialog *>("DialogSettingsLog");
    dialog->findChild<QTimeEdit *>("timeEdit")->setTime(QTime(0, 0, 1));
    panel.click("pushButtonLogStart");

    auto *port = panel.window->findChild<QSerialPort *>();
    QElapsedTimer lost;
    int errors = 0;
    int failedReopens = 0;
    QObject::connect(port, &QSerialPort::errorOccurred, panel.window.get(),
                     [&](QSerialPort::SerialPortError error) {
                         errors += error != QSerialPort::NoError;
                         failedReopens += error == QSerialPort::DeviceNotFoundError;
                     });
    lost.start();
    panel.emulator.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(statusText(panel),
                              QString("Порт потерян: %1 — ожидание подключения").arg(link),
                              TestWaitMs);
    QVERIFY(displaysLookStale(panel));
    QCOMPARE(panel.widget<QLCDNumber>("lcdNumberV")->value(), 12.34);
    QVERIFY(panel.action("actionDisconnect")->isEnabled());

    // The device comes back with other setpoints and readings while the port is away.
    panel.emulator.setSetpoints({15000, 800});
    panel.emulator.setFixedStatus(RunningStatus(1500, 420));
    const int setpointReads = panel.countFor(Wire::Setpoints, Wire::Read);
    // Away for a few reopen attempts; each that fails finds no device there.
    QTRY_VERIFY_WITH_TIMEOUT(failedReopens >= 2, TestWaitMs);
    QVERIFY(panel.emulator.comeBack());
    QTRY_COMPARE_WITH_TIMEOUT(statusText(panel), QString("Подключено: ") + link, TestWaitMs);
    // One failed reopen a second at most, and the hang-up itself: no storm of errors.
    QVERIFY2(errors <= 2 + lost.elapsed() / PortRecovery::ReopenIntervalMs,
             qPrintable(QString::number(errors)));
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QDoubleSpinBox>("doubleSpinBoxV")->value(), 15.0,
                              TestWaitMs);
    QCOMPARE(panel.countFor(Wire::Setpoints, Wire::Read), setpointReads + 1);
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QLCDNumber>("lcdNumberV")->value(), 15.0, TestWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!displaysLookStale(panel) &&
                                 panel.widget<QDoubleSpinBox>("doubleSpinBoxVsdadc")->isEnabled(),
                             TestWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(
        panel.widget<QTextEdit>("textEditLog")->toPlainText().contains("15.000 0.4200"),
        TestWaitMs);
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(Store().value(SettingsKeys::lastPort).toString(), link);
}

void ConnectionTest::disconnectStopsTheRecovery()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyVORNEX");
    PanelDriver panel(link, link);
    panel.connectPort();
    QTRY_VERIFY_WITH_TIMEOUT(panel.countFor(Wire::Status, Wire::Read) > 0, TestWaitMs);
    panel.emulator.hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(statusText(panel).startsWith("Порт потерян"), TestWaitMs);

    panel.disconnectPort();
    QCOMPARE(statusText(panel), QString());
    QVERIFY(panel.action("actionConnect")->isEnabled());
    QVERIFY(!panel.action("actionDisconnect")->isEnabled());
    QVERIFY(!panel.widget<QWidget>("tab")->isEnabled());
    // Reopening runs from the poll tick, and the ticks have stopped.
    QVERIFY(!panel.window->findChild<QTimer *>()->isActive());
    QVERIFY(SessionAtRest(*panel.session()));
    // The device's return reaches the process, as its link appears again, and nothing opens the
    // port or reaches the device for it.
    QFileSystemWatcher folder({dir.path()});
    QSignalSpy returned(&folder, &QFileSystemWatcher::directoryChanged);
    QVERIFY(panel.emulator.comeBack());
    panel.emulator.clearRequests();
    QTRY_VERIFY_WITH_TIMEOUT(!returned.isEmpty(), TestWaitMs);
    QVERIFY(SessionAtRest(*panel.session()));
    QVERIFY(!panel.window->findChild<QSerialPort *>()->isOpen());
    QCOMPARE(panel.emulator.requests().size(), 0);

    panel.connectPort();
    QTRY_VERIFY_WITH_TIMEOUT(panel.countFor(Wire::Status, Wire::Read) > 0, TestWaitMs);
    QCOMPARE(statusText(panel), QString("Подключено: ") + link);
}

void ConnectionTest::silentDeviceIsNoAnswerUntilItReplies()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(RunningStatus(1234, 567));
    panel.connectPort();
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QLCDNumber>("lcdNumberV")->value(), 12.34, TestWaitMs);

    FaultSettings silent;
    silent.silent = true;
    panel.emulator.setFaults(silent);
    QTRY_COMPARE_WITH_TIMEOUT(statusText(panel), QString("Нет ответа от преобразователя"),
                              TestWaitMs);
    QVERIFY(displaysLookStale(panel));
    QCOMPARE(panel.widget<QLCDNumber>("lcdNumberV")->value(), 12.34);

    panel.emulator.clearFaults();
    QTRY_VERIFY_WITH_TIMEOUT(statusText(panel).startsWith("Подключено: "), TestWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(panel.widget<QLCDNumber>("lcdNumberV")->isEnabled(), TestWaitMs);
}

// "Отключить" while "Подключить" still waits for the converter's first setpoint read: the
// panel stays closed, its service pages off, and nothing polls the closed port.
void ConnectionTest::disconnectDuringTheFirstSetpointReadLeavesThePanelClosed()
{
    PanelDriver panel;
    FaultSettings silent;
    silent.silent = true;
    panel.emulator.setFaults(silent);
    bool pressed = false;
    QObject::connect(&panel.emulator, &ConverterEmulator::requestReceived, this,
                     [&](const EmulatorRequest &request) {
                         if (!pressed && request.registerCode == Wire::Setpoints) {
                             pressed = true;
                             panel.disconnectPort();
                         }
                     });
    panel.connectPort();
    QVERIFY(pressed);
    QCOMPARE(panel.session()->State(), DeviceSession::LinkState::Disconnected);
    QVERIFY(!panel.widget<QPushButton>("pushButtonReadCalibr")->isEnabled());
    QVERIFY(!panel.widget<QPushButton>("pushButtonApplyCalibr")->isEnabled());
    QVERIFY(panel.action("actionConnect")->isEnabled());
    const QList<QTimer *> timers = panel.session()->findChildren<QTimer *>();
    QVERIFY(std::none_of(timers.begin(), timers.end(),
                         [](QTimer *timer) { return timer->isActive(); }));
}

void ConnectionTest::portCreatedAfterStartUpIsListedWhenOpened()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyLATER");
    ConverterEmulator later;
    later.setPaced(false);
    PanelDriver panel(link);
    auto *ports = panel.widget<QComboBox>("portComboBox");
    QVERIFY(!Items(ports).contains(link));

    later.setLinkPath(link);
    QVERIFY(later.start());
    ports->showPopup();
    QVERIFY(Items(ports).contains(link));
    QCOMPARE(Items(ports).first(), link);
    ports->hidePopup();

    later.stop();
    ports->showPopup();
    QVERIFY(!Items(ports).contains(link));
    ports->hidePopup();
}

void ConnectionTest::rememberedPortIsPreselected_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("selected");

    QTest::newRow("remembered port listed") << QVariant("second") << 1;
    QTest::newRow("nothing stored") << QVariant() << 0;
    QTest::newRow("remembered port gone") << QVariant("/nonexistent/ttyUSB9") << 0;
    QTest::newRow("garbage") << QVariant(QStringList{"\x01", "second"}) << 0;
    QTest::newRow("a number") << QVariant(42) << 0;
}

void ConnectionTest::rememberedPortIsPreselected()
{
    QFETCH(QVariant, stored);
    QFETCH(int, selected);
    QTemporaryDir dir;
    const QString first = dir.filePath("first");
    const QString second = dir.filePath("second");
    QFile(first).open(QIODevice::WriteOnly);
    QFile(second).open(QIODevice::WriteOnly);
    const QString value = stored.toString();
    Store().setValue(SettingsKeys::lastPort,
                     value == QLatin1String("second") ? QVariant(second) : stored);

    const std::unique_ptr<QSettings> store = OpenSettingsStore();
    const std::unique_ptr<MainWindow> window = OpenPanelWindow(store.get(), {first, second});
    auto *ports = window->findChild<QComboBox *>("portComboBox");
    QCOMPARE(ports->currentIndex(), selected);
}

void ConnectionTest::fineRangeShowsAmperes()
{
    PanelDriver panel;
    auto *dialog = panel.window->findChild<QDialog *>("DialogSettingsLog");
    dialog->findChild<QTimeEdit *>("timeEdit")->setTime(QTime(0, 0, 1));
    panel.emulator.setFixedStatus(RunningStatus(500, 1234, 1));
    panel.connectPort();
    panel.click("pushButtonLogStart");
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QLCDNumber>("lcdNumberA")->value(), 0.123, TestWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(
        panel.widget<QTextEdit>("textEditLog")->toPlainText().contains("5.000 0.1234\n"),
        TestWaitMs);

    panel.emulator.setFixedStatus(RunningStatus(500, 1234, 0));
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QLCDNumber>("lcdNumberA")->value(), 1.234, TestWaitMs);
}

QTEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
