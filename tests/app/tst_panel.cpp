#include "tests/support/messageboxwatcher.h"
#include "tests/support/paneldriver.h"
#include "tests/support/requestcount.h"
#include "tests/support/wire.h"

#include "session/devicesession.h"
#include "session/portrecovery.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QSerialPort>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString writeError = QStringLiteral("Error|Ошибка записи");
const QString readError = QStringLiteral("Error|Ошибка чтения");

OutputStatus ShownStatus()
{
    OutputStatus status;
    status.voltage = 1234;
    status.current = 567;
    status.ccMode = 0;
    status.cvMode = 1;
    status.currentRange = 0;
    status.outputOn = 1;
    return status;
}

} // namespace

// The connected panel against the emulated converter: connection, the poll cycle, the
// displays, commands with their retries, the service pages and the failure paths.
class PanelTest : public QObject
{
    Q_OBJECT

private slots:
    void connectReadsSetpointsThenPollsStatusAndAdc();
    void displaysFollowTheDevice();
    void failedReadChangesNothingOnScreen();
    void adcPageShowsReadings();
    void silentDeviceGetsFourWritesAndOneBox();
    void writeAnsweredOnThirdAttemptShowsNoBox();
    void laterCommandReplacesEarlierOne();
    void setpointFrames_data();
    void setpointFrames();
    void switchAsksForOppositeState();
    void calibrationRoundTrip();
    void userParamsRoundTrip();
    void readWithoutReplyShowsOneBox();
    void disconnectDuringTransaction();
    void commandMadeWhileDisconnectedRunsFirst();
    void missingPortShowsError();
    void hangUpAndReturnIsRecovered();
};

void PanelTest::connectReadsSetpointsThenPollsStatusAndAdc()
{
    PanelDriver panel;
    QVERIFY(panel.started);
    Setpoints setpoints;
    setpoints.voltage = 12000;
    setpoints.current = 1500;
    panel.emulator.setSetpoints(setpoints);
    // The ticks ended before each request came.
    QVector<int> ticksBefore;
    QObject::connect(&panel.emulator, &ConverterEmulator::requestReceived, panel.window.get(),
                     [&] { ticksBefore << panel.TickCount(); });

    panel.connectPort();
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxV")->value(), 12.0);
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxA")->value(), 1.5);
    QVERIFY(!panel.action("actionConnect")->isEnabled());
    QVERIFY(panel.action("actionDisconnect")->isEnabled());
    QVERIFY(panel.widget<QWidget>("tab")->isEnabled());
    QVERIFY(panel.widget<QWidget>("pushButtonReadCalibr")->isEnabled());
    QVERIFY(!panel.window->findChild<QComboBox *>()->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(panel.emulator.requests().size() >= 5, TestWaitMs);
    const QVector<EmulatorRequest> log = panel.emulator.requests();
    const QVector<QPair<int, int>> expected{{Wire::Setpoints, Wire::Read},
                                            {Wire::Status, Wire::Read},
                                            {Wire::Adc, Wire::Read},
                                            {Wire::Status, Wire::Read},
                                            {Wire::Adc, Wire::Read}};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(int(log.at(i).registerCode), expected.at(i).first);
        QCOMPARE(int(log.at(i).operationCode), expected.at(i).second);
    }
    // The setpoint read is the connection's own, before the first tick; then one read a tick,
    // and ticks come every 250 ms, so one quantity is refreshed every other tick.
    QCOMPARE(ticksBefore.mid(0, 5), QVector<int>({0, 0, 1, 2, 3}));
    const qint64 firstTickGap = log.at(2).timeMs - log.at(1).timeMs;
    QVERIFY2(firstTickGap > 150, qPrintable(QString::number(firstTickGap)));

    panel.disconnectPort();
    QVERIFY(panel.action("actionConnect")->isEnabled());
    QVERIFY(!panel.widget<QWidget>("tab")->isEnabled());
    QVERIFY(!panel.widget<QWidget>("pushButtonApplyCalibr")->isEnabled());
    // Its port closed and its poll stopped, nothing reaches the converter any more: the next
    // request it gets is the setpoint read of the next connection.
    QVERIFY(SessionAtRest(*panel.session()));
    const int afterClose = panel.emulator.requests().size();
    panel.connectPort();
    QTRY_VERIFY_WITH_TIMEOUT(panel.emulator.requests().size() > afterClose, TestWaitMs);
    QCOMPARE(int(panel.emulator.requests().at(afterClose).registerCode), int(Wire::Setpoints));
}

void PanelTest::displaysFollowTheDevice()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(ShownStatus());
    panel.connectPort();
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QPushButton>("pushButtonOnOff")->text(),
                              QString("Выключить"), TestWaitMs);
    QCOMPARE(panel.widget<QLCDNumber>("lcdNumberV")->value(), 12.34);
    QCOMPARE(panel.widget<QLCDNumber>("lcdNumberA")->value(), 0.567);
    QCOMPARE(panel.widget<QLabel>("label_cc")->pixmap(Qt::ReturnByValue).toImage(),
             Lamp("LED_OFF.png"));
    QCOMPARE(panel.widget<QLabel>("label_cv")->pixmap(Qt::ReturnByValue).toImage(),
             Lamp("LED_ON_GREEN.png"));

    OutputStatus off = ShownStatus();
    off.outputOn = 0;
    off.ccMode = 1;
    off.cvMode = 0;
    off.voltage = 5;
    off.current = 0;
    panel.emulator.setFixedStatus(off);
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QPushButton>("pushButtonOnOff")->text(),
                              QString("Включить"), TestWaitMs);
    QCOMPARE(panel.widget<QLCDNumber>("lcdNumberV")->value(), 0.05);
    QCOMPARE(panel.widget<QLabel>("label_cc")->pixmap(Qt::ReturnByValue).toImage(),
             Lamp("LED_ON_RED.png"));
    QCOMPARE(panel.widget<QLabel>("label_cv")->pixmap(Qt::ReturnByValue).toImage(),
             Lamp("LED_OFF.png"));
}

void PanelTest::failedReadChangesNothingOnScreen()
{
    PanelDriver panel;
    panel.emulator.setFixedStatus(ShownStatus());
    panel.connectPort();
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QLCDNumber>("lcdNumberV")->value(), 12.34, TestWaitMs);

    FaultSettings faults;
    faults.badCrc = true;
    panel.emulator.setFaults(faults);
    OutputStatus other = ShownStatus();
    other.voltage = 2000;
    other.outputOn = 0;
    panel.emulator.setFixedStatus(other);
    const int before = panel.countFor(Wire::Status, Wire::Read);
    QTRY_VERIFY_WITH_TIMEOUT(panel.countFor(Wire::Status, Wire::Read) >= before + 4, TestWaitMs);
    QCOMPARE(panel.widget<QLCDNumber>("lcdNumberV")->value(), 12.34);
    QCOMPARE(panel.widget<QPushButton>("pushButtonOnOff")->text(), QString("Выключить"));
    QCOMPARE(panel.widget<QLabel>("label_cv")->pixmap(Qt::ReturnByValue).toImage(),
             Lamp("LED_ON_GREEN.png"));

    panel.emulator.clearFaults();
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QLCDNumber>("lcdNumberV")->value(), 20.0, TestWaitMs);
}

void PanelTest::adcPageShowsReadings()
{
    PanelDriver panel;
    AdcReadings adc;
    adc.sdadcVoltage = 16500;
    adc.sdadcCurrent = 3000;
    adc.fineCurrent = 123;
    adc.inputVoltage = 50000;
    adc.reserve = 7;
    adc.referenceVoltage = 2500;
    panel.emulator.setFixedAdc(adc);
    panel.connectPort();
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QDoubleSpinBox>("doubleSpinBoxVsdadc")->value(), 16.5,
                              TestWaitMs);
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxCsdadc")->value(), 3.0);
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxVin")->value(), 45.0);
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxVref")->value(), 2.5);
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxCFsdadc")->value(), 500.0);
    QCOMPARE(panel.widget<QDoubleSpinBox>("doubleSpinBoxVpwm")->value(), 15.0);
}

void PanelTest::silentDeviceGetsFourWritesAndOneBox()
{
    PanelDriver panel;
    MessageBoxWatcher boxes(100);
    panel.connectPort();
    QTRY_VERIFY_WITH_TIMEOUT(panel.countFor(Wire::Status, Wire::Read) >= 1, TestWaitMs);

    FaultSettings faults;
    faults.silent = true;
    panel.emulator.setFaults(faults);
    panel.click("pushButtonApply");
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 1, TestWaitMs);
    QCOMPARE(boxes.seen.first(), writeError);
    const QVector<EmulatorRequest> writes = panel.requestsFor(Wire::Setpoints, Wire::Write);
    QCOMPARE(writes.size(), 4);
    // One attempt per tick: consecutive attempts are a tick apart, not back to back.
    for (int i = 1; i < writes.size(); ++i)
        QVERIFY(writes.at(i).timeMs - writes.at(i - 1).timeMs >= 150);

    panel.emulator.clearFaults();
    const int statusBefore = panel.countFor(Wire::Status, Wire::Read);
    QTRY_VERIFY_WITH_TIMEOUT(panel.countFor(Wire::Status, Wire::Read) > statusBefore, TestWaitMs);
    QCOMPARE(panel.countFor(Wire::Setpoints, Wire::Write), 4);
    QCOMPARE(boxes.seen.size(), 1);
}

void PanelTest::writeAnsweredOnThirdAttemptShowsNoBox()
{
    PanelDriver panel;
    MessageBoxWatcher boxes;
    panel.connectPort();
    QTRY_VERIFY_WITH_TIMEOUT(panel.countFor(Wire::Status, Wire::Read) >= 1, TestWaitMs);

    FaultSettings faults;
    faults.silentFirst = 2;
    panel.emulator.setFaults(faults);
    panel.widget<QDoubleSpinBox>("doubleSpinBoxV")->setValue(7.5);
    panel.click("pushButtonApply");
    QTRY_VERIFY_WITH_TIMEOUT(panel.emulator.setpoints().voltage == 7500, TestWaitMs);
    const int idleBefore = PollReads(panel.emulator);
    QTRY_VERIFY_WITH_TIMEOUT(PollReads(panel.emulator) > idleBefore + 1, TestWaitMs);
    QCOMPARE(panel.countFor(Wire::Setpoints, Wire::Write), 3);
    QVERIFY(boxes.seen.isEmpty());
}

void PanelTest::laterCommandReplacesEarlierOne()
{
    PanelDriver panel;
    panel.connectPort();
    QTRY_VERIFY_WITH_TIMEOUT(panel.countFor(Wire::Status, Wire::Read) >= 1, TestWaitMs);
    panel.click("pushButtonApply");
    panel.click("pushButtonOnOff");
    QTRY_COMPARE_WITH_TIMEOUT(panel.countFor(Wire::OutputSwitch, Wire::Write), 1, TestWaitMs);
    // A waiting command would run on the next tick; the next ticks poll instead.
    int polls = PollReads(panel.emulator);
    QVERIFY(panel.WaitTicks(2));
    QVERIFY(PollReads(panel.emulator) > polls);
    QCOMPARE(panel.countFor(Wire::Setpoints, Wire::Write), 0);
    QCOMPARE(panel.countFor(Wire::OutputSwitch, Wire::Write), 1);

    // Two clicks on Apply before a tick make one write.
    panel.click("pushButtonApply");
    panel.click("pushButtonApply");
    QTRY_COMPARE_WITH_TIMEOUT(panel.countFor(Wire::Setpoints, Wire::Write), 1, TestWaitMs);
    polls = PollReads(panel.emulator);
    QVERIFY(panel.WaitTicks(2));
    QVERIFY(PollReads(panel.emulator) > polls);
    QCOMPARE(panel.countFor(Wire::Setpoints, Wire::Write), 1);
}

void PanelTest::setpointFrames_data()
{
    QTest::addColumn<double>("volts");
    QTest::addColumn<double>("amperes");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("12.34 V 1.5 A") << 12.34 << 1.5 << QByteArray("#03113430DC05");
    QTest::newRow("0.01 V 0.005 A") << 0.01 << 0.005 << QByteArray("#03110A000500");
}

void PanelTest::setpointFrames()
{
    QFETCH(double, volts);
    QFETCH(double, amperes);
    QFETCH(QByteArray, frame);
    PanelDriver panel;
    panel.connectPort();
    QTRY_VERIFY_WITH_TIMEOUT(panel.countFor(Wire::Status, Wire::Read) >= 1, TestWaitMs);
    panel.widget<QDoubleSpinBox>("doubleSpinBoxV")->setValue(volts);
    panel.widget<QDoubleSpinBox>("doubleSpinBoxA")->setValue(amperes);
    panel.click("pushButtonApply");
    QTRY_COMPARE_WITH_TIMEOUT(panel.countFor(Wire::Setpoints, Wire::Write), 1, TestWaitMs);
    const EmulatorRequest write = panel.requestsFor(Wire::Setpoints, Wire::Write).first();
    QVERIFY(write.crcValid);
    QCOMPARE(write.rawFrame.left(frame.size()), frame);
    QCOMPARE(write.rawFrame.size(), frame.size() + 4);
}

void PanelTest::switchAsksForOppositeState()
{
    PanelDriver panel;
    panel.connectPort();
    // Before any status read the output counts as off, so the first switch asks for "on".
    panel.click("pushButtonOnOff");
    QTRY_COMPARE_WITH_TIMEOUT(panel.countFor(Wire::OutputSwitch, Wire::Write), 1, TestWaitMs);
    QCOMPARE(panel.requestsFor(Wire::OutputSwitch, Wire::Write).first().rawFrame,
             QByteArray("#07119A1BF5C4"));
    QVERIFY(panel.emulator.outputOn());
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QPushButton>("pushButtonOnOff")->text(),
                              QString("Выключить"), TestWaitMs);

    panel.click("pushButtonOnOff");
    QTRY_COMPARE_WITH_TIMEOUT(panel.countFor(Wire::OutputSwitch, Wire::Write), 2, TestWaitMs);
    QCOMPARE(panel.requestsFor(Wire::OutputSwitch, Wire::Write).last().rawFrame,
             QByteArray("#07110000A1BE"));
    QVERIFY(!panel.emulator.outputOn());
}

void PanelTest::calibrationRoundTrip()
{
    PanelDriver panel;
    MessageBoxWatcher boxes;
    CalibrationBlock stored;
    stored.kuDacVolt = 1010;
    stored.kuAdcVolt = 1500; // beyond the box's range
    stored.kuDacCurr = 990;
    stored.kuAdcCurr = 1001;
    stored.kuAdcCurrFine = 1300; // beyond the box's range, as is the fine offset
    stored.offDacVolt = -5;
    stored.offAdcVolt = 3;
    stored.offDacCurr = -7;
    stored.offAdcCurr = 9;
    stored.offAdcCurrFine = -950;
    stored.rout = 4;
    panel.emulator.setCalibration(stored);
    panel.connectPort();

    panel.click("pushButtonReadCalibr");
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QSpinBox>("spinBoxOffDacVolt")->value(), -5, TestWaitMs);
    QCOMPARE(panel.widget<QSpinBox>("spinBoxKuAdcVolt")->value(), 1200);
    QCOMPARE(panel.widget<QSpinBox>("spinBoxKuDacVolt")->value(), 1010);
    QCOMPARE(panel.widget<QSpinBox>("spinBoxRout")->value(), 4);
    QCOMPARE(panel.widget<QSpinBox>("spinBoxOffAdcCurrFine")->value(), -900);

    panel.click("pushButtonApplyCalibr");
    QTRY_COMPARE_WITH_TIMEOUT(panel.countFor(Wire::Calibration, Wire::Write), 1, TestWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(panel.emulator.calibration().kuAdcVolt, 1200, TestWaitMs);
    const CalibrationBlock written = panel.emulator.calibration();
    QCOMPARE(written.offDacVolt, -5);
    QCOMPARE(written.kuDacCurr, 990);
    QCOMPARE(written.offDacCurr, -7);
    QCOMPARE(written.rout, 4);
    // The fine pair goes back as the device gave it, not as its boxes show it.
    QCOMPARE(written.kuAdcCurrFine, 1300);
    QCOMPARE(written.offAdcCurrFine, -950);
    QVERIFY(boxes.seen.isEmpty());
}

void PanelTest::userParamsRoundTrip()
{
    PanelDriver panel;
    MessageBoxWatcher boxes;
    UserParamBlock stored;
    stored.nvpStatus = 1;
    stored.lifeCounter = 12345; // beyond the box's range
    stored.currTrigStat = 1;
    stored.currTrigTime = 300;
    stored.ioutMax = 10000;
    stored.uoutMax = 25000;
    stored.poutMax = 200;
    stored.routUser = 50;
    stored.fanGainCurrent = 120;
    stored.fanDelay = 10;
    stored.fanDutyOff = 500;
    panel.emulator.setUserParams(stored);
    panel.connectPort();

    panel.click("pushButtonReadUserParam");
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QSpinBox>("spinBoxCurrTrigTime")->value(), 300,
                              TestWaitMs);
    QCOMPARE(panel.widget<QSpinBox>("spinBoxLifeCounter")->value(), 10000);
    QCOMPARE(panel.widget<QSpinBox>("spinBoxIoutMax")->value(), 9999);
    QCOMPARE(panel.widget<QSpinBox>("spinBoxUoutMax")->value(), 25000);

    panel.widget<QSpinBox>("spinBoxFanDelay")->setValue(20);
    panel.click("pushButtonApplyUserParam");
    QTRY_COMPARE_WITH_TIMEOUT(panel.countFor(Wire::UserParams, Wire::Write), 1, TestWaitMs);
    const EmulatorRequest write = panel.requestsFor(Wire::UserParams, Wire::Write).first();
    QCOMPARE(write.data.size(), 22);
    QCOMPARE(write.data.mid(2, 2), QByteArray(2, '\0'));
    QTRY_COMPARE_WITH_TIMEOUT(panel.emulator.userParams().fanDelay, 20, TestWaitMs);
    QCOMPARE(panel.emulator.userParams().ioutMax, 9999);
    QVERIFY(boxes.seen.isEmpty());
}

void PanelTest::readWithoutReplyShowsOneBox()
{
    PanelDriver panel;
    MessageBoxWatcher boxes;
    panel.connectPort();
    FaultSettings faults;
    faults.silent = true;
    panel.emulator.setFaults(faults);
    panel.click("pushButtonReadUserParam");
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 1, TestWaitMs);
    QCOMPARE(boxes.seen.first(), readError);
    // A read sends its request twice, and the command runs once.
    QCOMPARE(panel.countFor(Wire::UserParams, Wire::Read), 2);
    // Run again, it would be on the next tick.
    QVERIFY(panel.WaitTicks(2));
    QCOMPARE(panel.countFor(Wire::UserParams, Wire::Read), 2);
    QCOMPARE(boxes.seen.size(), 1);

    panel.click("pushButtonApplyCalibr");
    QTRY_COMPARE_WITH_TIMEOUT(boxes.seen.size(), 2, TestWaitMs);
    QCOMPARE(boxes.seen.last(), writeError);
    QCOMPARE(panel.countFor(Wire::Calibration, Wire::Write), 1);
}

void PanelTest::disconnectDuringTransaction()
{
    PanelDriver panel;
    panel.connectPort();
    FaultSettings faults;
    faults.silent = true;
    panel.emulator.setFaults(faults);
    bool disconnected = false;
    int ticks = 0;
    int requests = 0;
    QObject::connect(&panel.emulator, &ConverterEmulator::requestReceived, panel.window.get(), [&] {
        if (!disconnected) {
            disconnected = true;
            ticks = panel.TickCount();
            panel.disconnectPort();
            requests = panel.emulator.requests().size();
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(disconnected && panel.TickCount() > ticks, TestWaitMs);
    // The waiting request is not sent again on a closed port before its tick ends, and no tick
    // follows.
    QCOMPARE(panel.emulator.requests().size(), requests);
    QVERIFY(SessionAtRest(*panel.session()));
    QVERIFY(panel.action("actionConnect")->isEnabled());
}

void PanelTest::commandMadeWhileDisconnectedRunsFirst()
{
    PanelDriver panel;
    panel.click("pushButtonReadUserParam");
    QVERIFY(SessionAtRest(*panel.session()));
    QVERIFY(panel.emulator.requests().isEmpty());
    panel.connectPort();
    QTRY_VERIFY_WITH_TIMEOUT(panel.emulator.requests().size() >= 3, TestWaitMs);
    const QVector<EmulatorRequest> log = panel.emulator.requests();
    QCOMPARE(int(log.at(0).registerCode), int(Wire::Setpoints));
    QCOMPARE(int(log.at(1).registerCode), int(Wire::UserParams));
    QCOMPARE(int(log.at(2).registerCode), int(Wire::Status));
}

void PanelTest::missingPortShowsError()
{
    // Listed while it was there, gone by the time the operator connects.
    QTemporaryDir dir;
    const QString vanished = dir.filePath("ttyVORNEX");
    QFile(vanished).open(QIODevice::WriteOnly);
    PanelDriver panel(vanished);
    QCOMPARE(panel.widget<QComboBox>("portComboBox")->currentText(), vanished);
    QVERIFY(QFile::remove(vanished));
    MessageBoxWatcher boxes;
    panel.connectPort();
    QCOMPARE(boxes.seen, QStringList{"Error|Не удается открыть порт"});
    QVERIFY(panel.action("actionConnect")->isEnabled());
    QVERIFY(!panel.action("actionDisconnect")->isEnabled());
    QVERIFY(!panel.widget<QWidget>("tab")->isEnabled());
}

void PanelTest::hangUpAndReturnIsRecovered()
{
    QTemporaryDir dir;
    const QString linkPath = dir.filePath("ttyVORNEX");
    ConverterEmulator *emulator = nullptr;
    PanelDriver panel(linkPath, linkPath);
    emulator = &panel.emulator;
    emulator->setFixedStatus(ShownStatus());
    panel.connectPort();
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QLCDNumber>("lcdNumberV")->value(), 12.34, TestWaitMs);

    auto *port = panel.window->findChild<QSerialPort *>();
    int errors = 0;
    QObject::connect(port, &QSerialPort::errorOccurred, panel.window.get(),
                     [&errors](QSerialPort::SerialPortError error) {
                         if (error != QSerialPort::NoError)
                             ++errors;
                     });
    QElapsedTimer lost;
    lost.start();
    emulator->hangUp();
    QVERIFY(panel.WaitTicks(3));
    // The hang-up itself and one failed reopen a second at most: no storm of errors.
    QVERIFY2(errors <= 2 + lost.elapsed() / PortRecovery::ReopenIntervalMs,
             qPrintable(QString::number(errors)));
    // The window keeps its connected state; polling just gets no answers.
    QVERIFY(panel.action("actionDisconnect")->isEnabled());

    OutputStatus changed = ShownStatus();
    changed.voltage = 3300;
    emulator->setFixedStatus(changed);
    QVERIFY(emulator->comeBack());
    panel.disconnectPort();
    panel.connectPort();
    QVERIFY(port->isOpen());
    QTRY_COMPARE_WITH_TIMEOUT(panel.widget<QLCDNumber>("lcdNumberV")->value(), 33.0, TestWaitMs);
}

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
