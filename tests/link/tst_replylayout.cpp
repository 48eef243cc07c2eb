#include "link/deviceprotocol.h"
#include "link/framecodec.h"
#include "link/recordlayout.h"
#include "link/replycheck.h"
#include "replytext.h"

#include <QtTest>

// Field layouts of the five records and the judging of reply lines, without a port.
class TestReplyLayout : public QObject
{
    Q_OBJECT

private slots:
    void statusFromReferenceReply();
    void signedAndUnsignedWidening();
    void adcReferenceAndReserveSwapOnTheWire();
    void calibrationRoundTrip();
    void userParamsSendLifeCounterAsZero();
    void setpointAndSwitchData();
    void onlyCompleteRepliesFillRecords_data();
    void onlyCompleteRepliesFillRecords();
    void readLine_data();
    void readLine();
    void writeLine_data();
    void writeLine();
};

void TestReplyLayout::statusFromReferenceReply()
{
    const QByteArray reply = QByteArray::fromHex("0108D2043702000001015F58");
    QCOMPARE(FrameCodec::Crc16(reply), quint16(0));
    OutputStatus status;
    QVERIFY(RecordLayout::TakeStatus(reply, status));
    QCOMPARE(status.voltage, 1234);
    QCOMPARE(status.current, 567);
    QCOMPARE(status.currentRange, 0);
    QCOMPARE(status.ccMode, 0);
    QCOMPARE(status.cvMode, 1);
    QCOMPARE(status.outputOn, 1);
}

void TestReplyLayout::signedAndUnsignedWidening()
{
    OutputStatus status;
    QVERIFY(RecordLayout::TakeStatus(ReplyBytes(QByteArray::fromHex("FFFFFFFF03020100")), status));
    QCOMPARE(status.voltage, 65535);
    QCOMPARE(status.current, -1);
    QCOMPARE(status.currentRange, 3);
    QCOMPARE(status.ccMode, 2);

    AdcReadings adc;
    QVERIFY(
        RecordLayout::TakeAdc(ReplyBytes(QByteArray::fromHex("0000FFFF0000000000000000")), adc));
    QCOMPARE(adc.sdadcCurrent, 65535);

    Setpoints setpoints;
    QVERIFY(RecordLayout::TakeSetpoints(ReplyBytes(QByteArray::fromHex("FFFFFFFF")), setpoints));
    QCOMPARE(setpoints.voltage, 65535);
    QCOMPARE(setpoints.current, -1);
}

void TestReplyLayout::adcReferenceAndReserveSwapOnTheWire()
{
    AdcReadings adc;
    QVERIFY(
        RecordLayout::TakeAdc(ReplyBytes(QByteArray::fromHex("010002000300040005000600")), adc));
    QCOMPARE(adc.sdadcVoltage, 1);
    QCOMPARE(adc.sdadcCurrent, 2);
    QCOMPARE(adc.fineCurrent, 3);
    QCOMPARE(adc.inputVoltage, 4);
    QCOMPARE(adc.referenceVoltage, 5);
    QCOMPARE(adc.reserve, 6);
}

void TestReplyLayout::calibrationRoundTrip()
{
    const CalibrationBlock sent{1000, 2, 3, 4, 5, -5, -6, -7, -8, -9, 11};
    const QByteArray data = RecordLayout::PackCalibration(sent);
    // Wire order: gain/offset pairs for DAC voltage, DAC current, ADC voltage, ...
    QCOMPARE(data.toHex().toUpper(), QByteArray("E803FBFF0300F9FF0200FAFF0400F8FF0500F7FF0B00"));

    CalibrationBlock read;
    QVERIFY(RecordLayout::TakeCalibration(ReplyBytes(data), read));
    QCOMPARE(read.kuDacVolt, 1000);
    QCOMPARE(read.kuAdcVolt, 2);
    QCOMPARE(read.kuDacCurr, 3);
    QCOMPARE(read.kuAdcCurr, 4);
    QCOMPARE(read.kuAdcCurrFine, 5);
    QCOMPARE(read.offDacVolt, -5);
    QCOMPARE(read.offAdcVolt, -6);
    QCOMPARE(read.offDacCurr, -7);
    QCOMPARE(read.offAdcCurr, -8);
    QCOMPARE(read.offAdcCurrFine, -9);
    QCOMPARE(read.rout, 11);
}

void TestReplyLayout::userParamsSendLifeCounterAsZero()
{
    const UserParamBlock sent{1, 1234, 3, 4, 5, 6, 7, 8, 9, 10, 65535};
    const QByteArray data = RecordLayout::PackUserParams(sent);
    QCOMPARE(data.toHex().toUpper(), QByteArray("0100000003000400050006000700080009000A00FFFF"));

    UserParamBlock read;
    QVERIFY(RecordLayout::TakeUserParams(
        ReplyBytes(QByteArray::fromHex("01000200030004000500060007000800090000A0FFFF")), read));
    QCOMPARE(read.nvpStatus, 1);
    QCOMPARE(read.lifeCounter, 2);
    QCOMPARE(read.fanDelay, 0xA000);
    QCOMPARE(read.fanDutyOff, 65535);
}

void TestReplyLayout::setpointAndSwitchData()
{
    QCOMPARE(RecordLayout::PackSetpoints(Setpoints{12000, 1500}), QByteArray::fromHex("E02EDC05"));
    QCOMPARE(RecordLayout::PackSetpoints(Setpoints{70000, -2}), QByteArray::fromHex("7011FEFF"));
    QCOMPARE(RecordLayout::PackOutputWord(DeviceProtocol::OutputOnWord),
             QByteArray::fromHex("9A1B"));
}

void TestReplyLayout::onlyCompleteRepliesFillRecords_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("taken");
    // Status replies are 12 bytes; 9 is the transaction's minimum, 16 an ADC reply.
    QTest::newRow("minimum") << 9 << false;
    QTest::newRow("one short") << 11 << false;
    QTest::newRow("complete") << 12 << true;
    QTest::newRow("one long") << 13 << false;
    QTest::newRow("ADC reply") << 16 << false;
}

void TestReplyLayout::onlyCompleteRepliesFillRecords()
{
    QFETCH(int, length);
    QFETCH(bool, taken);
    const QByteArray reply(length, '\x7F');
    OutputStatus status;
    status.voltage = 42;
    QCOMPARE(RecordLayout::TakeStatus(reply, status), taken);
    QCOMPARE(status.voltage, taken ? 0x7F7F : 42);
    QCOMPARE(status.current, taken ? 0x7F7F : 0);
}

void TestReplyLayout::readLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("registerCode");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("result");

    const QByteArray status = ReplyText(QByteArray::fromHex("0108D204370200000101"));
    QTest::newRow("good status") << status << 0x01 << 9 << int(Success);
    QTest::newRow("exactly the minimum")
        << ReplyText(QByteArray(7, '\x01')) << 0x01 << 9 << int(Success);
    QTest::newRow("one below the minimum")
        << ReplyText(QByteArray(6, '\x01')) << 0x01 << 9 << int(BadReply);
    QByteArray corrupted = status;
    corrupted[5] = corrupted[5] == '0' ? '1' : '0';
    QTest::newRow("one digit corrupted") << corrupted << 0x01 << 9 << int(BadReply);
    QTest::newRow("start then CR") << QByteArray("^\r") << 0x01 << 0 << int(BadReply);
    QTest::newRow("lower case") << status.toLower() << 0x01 << 9 << int(BadReply);
    QTest::newRow("no start") << status.mid(1) << 0x01 << 9 << int(BadReply);
    QTest::newRow("too long for 8 bits")
        << "^" + QByteArray(600, '0') + "\r" << 0x01 << 9 << int(BadReply);
    // Same length and a good CRC, but the block of another register: a late reply.
    QTest::newRow("setpoints block for an ADC read")
        << ReplyText(QByteArray::fromHex("030C") + QByteArray(12, '\x05')) << 0x10 << 13
        << int(BadReply);
    QTest::newRow("calibration block for a user-parameter read")
        << ReplyText(QByteArray::fromHex("A816") + QByteArray(22, '\x07')) << 0xAB << 23
        << int(BadReply);
    QTest::newRow("user-parameter block for its own read")
        << ReplyText(QByteArray::fromHex("AB16") + QByteArray(22, '\x07')) << 0xAB << 23
        << int(Success);
}

void TestReplyLayout::readLine()
{
    QFETCH(QByteArray, line);
    QFETCH(int, registerCode);
    QFETCH(int, minimum);
    QFETCH(int, result);
    QByteArray reply;
    QCOMPARE(int(ReplyCheck::JudgeReadLine(line, quint8(registerCode), quint8(minimum), reply)),
             result);
}

void TestReplyLayout::writeLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("result");

    QTest::newRow("ack") << ReplyText(QByteArray::fromHex("031F")) << int(Success);
    QTest::newRow("ack with a bad CRC") << QByteArray("^031F0000\r") << int(Success);
    QTest::newRow("ack then garbage") << QByteArray("^031Fzz\r") << int(Success);
    QTest::newRow("nak") << ReplyText(QByteArray::fromHex("0315")) << int(BadReply);
    QTest::newRow("one byte") << QByteArray("^1F\r") << int(BadReply);
    QTest::newRow("start then CR") << QByteArray("^\r") << int(BadReply);
    QTest::newRow("lower-case ack") << QByteArray("^031f\r") << int(BadReply);
}

void TestReplyLayout::writeLine()
{
    QFETCH(QByteArray, line);
    QFETCH(int, result);
    QCOMPARE(int(ReplyCheck::JudgeWriteLine(line)), result);
}

QTEST_GUILESS_MAIN(TestReplyLayout)
#include "tst_replylayout.moc"
