#include "link/porthangupguard.h"
#include "tests/support/emulatedlink.h"

#include <QSerialPort>
#include <QtTest>

#include <memory>
#include <utility>

Q_DECLARE_METATYPE(FaultSettings)

// Every typed command against the converter emulator on a pseudo-terminal.
class TestEmulatorLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void setpointsRoundTrip();
    void outputSwitch();
    void calibrationRoundTrip();
    void userParamsKeepTheLifeCounter();
    void widening();
    void faults_data();
    void faults();
    void lateReplyToAnotherRegisterIsPassedOver();
    void unpluggedDeviceComesBack();

private:
    std::unique_ptr<EmulatedLink> rig;
};

void TestEmulatorLink::init()
{
    rig = std::make_unique<EmulatedLink>();
    QString error;
    QVERIFY2(rig->Start(&error), qPrintable(error));
}

void TestEmulatorLink::cleanup()
{
    rig.reset();
}

void TestEmulatorLink::setpointsRoundTrip()
{
    QCOMPARE(int(rig->link.SetSetpoints(12000, 1500)), int(Success));
    Setpoints setpoints;
    QCOMPARE(int(rig->link.GetSetpoints(setpoints)), int(Success));
    QCOMPARE(setpoints.voltage, 12000);
    QCOMPARE(setpoints.current, 1500);
    QCOMPARE(rig->emulator.setpoints().voltage, 12000);
}

void TestEmulatorLink::outputSwitch()
{
    OutputStatus status;
    QCOMPARE(int(rig->link.SetOutput(7066)), int(Success));
    QVERIFY(rig->emulator.outputOn());
    QCOMPARE(int(rig->link.GetStatus(status)), int(Success));
    QCOMPARE(status.outputOn, 1);
    QCOMPARE(int(rig->link.SetOutput(0)), int(Success));
    QVERIFY(!rig->emulator.outputOn());
}

void TestEmulatorLink::calibrationRoundTrip()
{
    QCOMPARE(int(rig->link.SetCalibration(
                 CalibrationBlock{1000, 1001, 1002, 1003, 1004, -5, -6, 7, -8, 9, 150}, 0x11)),
             int(Success));
    CalibrationBlock block;
    QCOMPARE(int(rig->link.GetCalibration(block, 0x01)), int(Success));
    const CalibrationBlock stored = rig->emulator.calibration();
    for (const CalibrationBlock *b : {&std::as_const(block), &stored}) {
        QCOMPARE(b->kuDacVolt, 1000);
        QCOMPARE(b->kuAdcVolt, 1001);
        QCOMPARE(b->kuAdcCurrFine, 1004);
        QCOMPARE(b->offDacVolt, -5);
        QCOMPARE(b->offAdcVolt, -6);
        QCOMPARE(b->offAdcCurr, -8);
        QCOMPARE(b->offAdcCurrFine, 9);
        QCOMPARE(b->rout, 150);
    }
}

void TestEmulatorLink::userParamsKeepTheLifeCounter()
{
    UserParamBlock start;
    start.lifeCounter = 77;
    rig->emulator.setUserParams(start);
    QCOMPARE(
        int(rig->link.SetUserParams(UserParamBlock{1, 1234, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 0x11)),
        int(Success));
    const QVector<EmulatorRequest> requests = rig->emulator.requests();
    QVERIFY(!requests.isEmpty());
    QCOMPARE(requests.last().data.mid(2, 2), QByteArray(2, '\0'));

    UserParamBlock block;
    QCOMPARE(int(rig->link.GetUserParams(block, 0x01)), int(Success));
    QCOMPARE(block.nvpStatus, 1);
    QCOMPARE(block.lifeCounter, 77);
    QCOMPARE(block.fanDutyOff, 11);
}

void TestEmulatorLink::widening()
{
    OutputStatus fixedStatus;
    fixedStatus.current = -1;
    rig->emulator.setFixedStatus(fixedStatus);
    AdcReadings fixedAdc;
    fixedAdc.sdadcCurrent = 65535;
    fixedAdc.referenceVoltage = 2500;
    rig->emulator.setFixedAdc(fixedAdc);

    OutputStatus status;
    QCOMPARE(int(rig->link.GetStatus(status)), int(Success));
    QCOMPARE(status.current, -1);
    AdcReadings adc;
    QCOMPARE(int(rig->link.GetAdc(adc)), int(Success));
    QCOMPARE(adc.sdadcCurrent, 65535);
    QCOMPARE(adc.referenceVoltage, 2500);
}

void TestEmulatorLink::faults_data()
{
    QTest::addColumn<FaultSettings>("faults");
    QTest::addColumn<int>("read");
    QTest::addColumn<int>("write");

    FaultSettings f;
    f.splitSize = 5;
    QTest::newRow("split reply") << f << int(Success) << int(Success);
    f = {};
    f.garbage = FaultSettings::defaultGarbage();
    QTest::newRow("noise before the reply") << f << int(Success) << int(Success);
    f = {};
    f.trailing = FaultSettings::defaultTrailing();
    QTest::newRow("bytes after the reply") << f << int(Success) << int(Success);
    f = {};
    f.badCrc = true;
    QTest::newRow("bad CRC") << f << int(BadReply) << int(Success);
    f = {};
    f.lowerCase = true;
    // "1f" is not a digit pair, so even the write's ack byte is lost.
    QTest::newRow("lower case") << f << int(BadReply) << int(BadReply);
    f = {};
    f.oddDigits = true;
    QTest::newRow("odd digit count") << f << int(BadReply) << int(Success);
    f = {};
    f.nak = true;
    QTest::newRow("nak") << f << int(Success) << int(BadReply);
    f = {};
    f.silentFirst = 1;
    QTest::newRow("first request ignored") << f << int(Success) << int(NoReply);
    f = {};
    f.silent = true;
    QTest::newRow("silent") << f << int(NoReply) << int(NoReply);
}

void TestEmulatorLink::faults()
{
    QFETCH(FaultSettings, faults);
    QFETCH(int, read);
    QFETCH(int, write);
    OutputStatus status;
    status.voltage = -3;
    rig->emulator.setFaults(faults);
    QCOMPARE(int(rig->link.GetStatus(status)), read);
    QCOMPARE(status.voltage == -3, read != Success);
    rig->emulator.setFaults(faults);
    QCOMPARE(int(rig->link.SetSetpoints(5000, 100)), write);
}

void TestEmulatorLink::lateReplyToAnotherRegisterIsPassedOver()
{
    AdcReadings adc;
    QCOMPARE(int(rig->link.GetAdc(adc)), int(Success));
    FaultSettings stale;
    stale.stale = true;
    rig->emulator.setFaults(stale);
    // The status request is answered with the ADC reply: long enough, CRC good, wrong block.
    // The read passes over it, and its second request brings the first one's status reply.
    rig->emulator.clearRequests();
    OutputStatus status;
    status.voltage = -3;
    QCOMPARE(int(rig->link.GetStatus(status)), int(Success));
    QCOMPARE(status.voltage, rig->emulator.status().voltage);
    QCOMPARE(rig->emulator.requests().size(), 2);
}

void TestEmulatorLink::unpluggedDeviceComesBack()
{
    PortHangupGuard guard(&rig->port);
    QSignalSpy hungUp(&guard, &PortHangupGuard::hungUp);
    rig->emulator.hangUp();
    OutputStatus status;
    QCOMPARE(int(rig->link.GetStatus(status)), int(NoReply));
    QVERIFY(!rig->port.isOpen());
    QCOMPARE(hungUp.count(), 1);
    QCOMPARE(int(rig->link.GetStatus(status)), int(NoReply));

    QVERIFY(rig->emulator.comeBack());
    QVERIFY(rig->Reopen());
    QCOMPARE(int(rig->link.GetStatus(status)), int(Success));
}

QTEST_GUILESS_MAIN(TestEmulatorLink)
#include "tst_emulatorlink.moc"
