#include "ptyclient.h"

#include "sim/consolecommands.h"
#include "sim/consoleserver.h"
#include "sim/converteremulator.h"
#include "sim/convertermodel.h"
#include "sim/simcodec.h"

#include <QtTest>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>

namespace {

// Events given to a model at their times.
using Scenario = std::function<void(ConverterModel &)>;

// Status the protocol documents: voltage 1234, current 567, range 0, CC 0, CV 1, on 1.
const QByteArray KnownStatusLine("^0108D2043702000001015F58\r");

OutputStatus knownStatus()
{
    OutputStatus s;
    s.voltage = 1234;
    s.current = 567;
    s.cvMode = 1;
    s.outputOn = 1;
    return s;
}

QByteArray frame(quint8 reg, quint8 op, const QByteArray &data = {})
{
    return SimCodec::requestFrame(reg, op, data);
}

QByteArray readFrame(quint8 reg)
{
    return frame(reg, ConverterEmulator::ReadOperation);
}

QByteArray words(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values) {
        out.append(char(v & 0xFF));
        out.append(char((v >> 8) & 0xFF));
    }
    return out;
}

// The decoded bytes of a good reply line, or an empty array (with a test failure) otherwise.
QByteArray decoded(const QByteArray &line)
{
    if (!line.startsWith('^') || !line.endsWith('\r'))
        return {};
    const auto bytes = SimCodec::fromHex(line.mid(1, line.size() - 2));
    if (!bytes || SimCodec::crc16(*bytes) != 0)
        return {};
    return *bytes;
}

int u16(const QByteArray &reply, int offset)
{
    return quint8(reply.at(offset)) | (quint8(reply.at(offset + 1)) << 8);
}

int s16(const QByteArray &reply, int offset)
{
    return qint16(u16(reply, offset));
}

} // namespace

Q_DECLARE_METATYPE(Scenario)

class TestConverterEmulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void statusReplyIsTheKnownVector();
    void readReplyHeaders_data();
    void readReplyHeaders();
    void setpointWriteRoundTrip();
    void outputSwitchWords_data();
    void outputSwitchWords();
    void calibrationRoundTrip();
    void userParamsWriteKeepsLifeCounter();
    void lifeCounterCountsOnTime();
    void electricalModel_data();
    void electricalModel();
    void noiseStaysClose();
    void deliveredEnergy_data();
    void deliveredEnergy();
    void energyConsole();
    void overvoltageFault_data();
    void overvoltageFault();
    void badFramesGetNoReply_data();
    void badFramesGetNoReply();
    void faultLines_data();
    void faultLines();
    void nakChangesNothing_data();
    void nakChangesNothing();
    void splitReplyArrivesInPieces();
    void delayHoldsTheReply();
    void silentFirstRequests();
    void staleReplies();
    void requestLog();
    void consoleOverTcp();
    void pacingHoldsCharactersToTheLine();
    void piecesWrittenWhileTheLineIsBusyAllArrive();
    void adapterHandsRepliesOverInBatches();
    void adapterHoldsAShortReplyForItsLatency();
    void hangUpAndReturnAtTheLink();
    void hangUpForAWhile();
    void stateFileKeepsBlocks();
    void badStateFileIsRefused();
    void runsInAWorkerThread();

private:
    QByteArray exchange(const QByteArray &request, int timeoutMs = 2000);

    std::unique_ptr<ConverterEmulator> emulator;
    PtyClient client;
};

void TestConverterEmulator::init()
{
    emulator = std::make_unique<ConverterEmulator>();
    emulator->setPaced(false);
    QString error;
    QVERIFY2(emulator->start(&error), qPrintable(error));
    QVERIFY(client.open(emulator->serialPath()));
}

void TestConverterEmulator::cleanup()
{
    client.close();
    emulator.reset();
}

QByteArray TestConverterEmulator::exchange(const QByteArray &request, int timeoutMs)
{
    client.send(request);
    return client.readLine(timeoutMs);
}

void TestConverterEmulator::statusReplyIsTheKnownVector()
{
    emulator->setFixedStatus(knownStatus());
    QCOMPARE(exchange("#01013E1F\r"), KnownStatusLine);
}

void TestConverterEmulator::readReplyHeaders_data()
{
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("payload");
    QTest::newRow("status") << 0x01 << 8;
    QTest::newRow("setpoints") << 0x03 << 4;
    QTest::newRow("adc") << 0x10 << 12;
    QTest::newRow("calibration") << 0xA8 << 22;
    QTest::newRow("user parameters") << 0xAB << 22;
}

void TestConverterEmulator::readReplyHeaders()
{
    QFETCH(int, reg);
    QFETCH(int, payload);
    const QByteArray reply = decoded(exchange(readFrame(quint8(reg))));
    QCOMPARE(reply.size(), payload + 4);
    QCOMPARE(int(quint8(reply.at(0))), reg);
    QCOMPARE(int(quint8(reply.at(1))), payload);
}

void TestConverterEmulator::setpointWriteRoundTrip()
{
    const QByteArray ack = exchange("#0311E02EDC057739\r");
    QCOMPARE(decoded(ack).left(2), QByteArray::fromHex("031F"));
    QCOMPARE(emulator->setpoints().voltage, 12000);
    QCOMPARE(emulator->setpoints().current, 1500);
    const QByteArray reply = decoded(exchange(readFrame(0x03)));
    QCOMPARE(reply.mid(2, 4), QByteArray::fromHex("E02EDC05"));

    // A write whose data does not fit the register is refused and changes nothing.
    const QByteArray nak = decoded(exchange(frame(0x03, 0x11, QByteArray::fromHex("0102"))));
    QCOMPARE(nak.left(2), QByteArray::fromHex("0315"));
    QCOMPARE(emulator->setpoints().voltage, 12000);
}

void TestConverterEmulator::outputSwitchWords_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("startsOn");
    QTest::addColumn<int>("ackByte");
    QTest::addColumn<bool>("endsOn");
    QTest::newRow("on") << QByteArray("#07119A1BF5C4\r") << false << 0x1F << true;
    QTest::newRow("off") << QByteArray("#07110000A1BE\r") << true << 0x1F << false;
    QTest::newRow("other word refused") << frame(0x07, 0x11, words({1})) << true << 0x15 << true;
}

void TestConverterEmulator::outputSwitchWords()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, startsOn);
    QFETCH(int, ackByte);
    QFETCH(bool, endsOn);
    emulator->setOutputOn(startsOn);
    const QByteArray reply = decoded(exchange(request));
    QCOMPARE(reply.size(), 4);
    QCOMPARE(int(quint8(reply.at(1))), ackByte);
    QCOMPARE(emulator->outputOn(), endsOn);
    QCOMPARE(int(quint8(decoded(exchange(readFrame(0x01))).at(9))), endsOn ? 1 : 0);
}

void TestConverterEmulator::calibrationRoundTrip()
{
    // Wire order: kuDacVolt, offDacVolt, kuDacCurr, offDacCurr, kuAdcVolt, offAdcVolt,
    // kuAdcCurr, offAdcCurr, kuAdcCurrFine, offAdcCurrFine, rout.
    const QByteArray data = words({1000, -5, 1001, 7, 1002, -300, 1003, 0, 1004, -1, 12});
    QCOMPARE(decoded(exchange(frame(0xA8, 0x11, data))).left(2), QByteArray::fromHex("A81F"));
    const CalibrationBlock c = emulator->calibration();
    QCOMPARE(c.kuDacVolt, 1000);
    QCOMPARE(c.offDacVolt, -5);
    QCOMPARE(c.kuAdcVolt, 1002);
    QCOMPARE(c.offAdcVolt, -300);
    QCOMPARE(c.kuAdcCurrFine, 1004);
    QCOMPARE(c.offAdcCurrFine, -1);
    QCOMPARE(c.rout, 12);
    QCOMPARE(decoded(exchange(readFrame(0xA8))).mid(2, 22), data);
}

void TestConverterEmulator::userParamsWriteKeepsLifeCounter()
{
    UserParamBlock start;
    start.lifeCounter = 1234;
    emulator->setUserParams(start);
    const QByteArray data = words({1, 0, 3, 4, 5000, 30000, 150, 8, 9, 10, 65535});
    QCOMPARE(decoded(exchange(frame(0xAB, 0x11, data))).left(2), QByteArray::fromHex("AB1F"));
    const QByteArray reply = decoded(exchange(readFrame(0xAB)));
    QCOMPARE(u16(reply, 4), 1234);
    QCOMPARE(reply.mid(6, 18), data.mid(4));
    QCOMPARE(emulator->userParams().fanDutyOff, 65535);
}

void TestConverterEmulator::lifeCounterCountsOnTime()
{
    emulator->setLifeCounterUnitMs(20);
    QCOMPARE(emulator->userParams().lifeCounter, 0);
    emulator->setOutputOn(true);
    QTRY_VERIFY(emulator->userParams().lifeCounter >= 10);
    emulator->setOutputOn(false);
    const int counted = u16(decoded(exchange(readFrame(0xAB))), 4);
    QVERIFY2(counted >= 10, qPrintable(QString::number(counted)));

    // Off, it stands still; on again, it goes on from there. The model is given its times.
    ConverterModel model;
    model.setLifeCounterUnitMs(20);
    model.setOutputOn(true, 1000);
    QCOMPARE(model.userParams(1199).lifeCounter, 9);
    QCOMPARE(model.userParams(1200).lifeCounter, 10);
    model.setOutputOn(false, 1200);
    QCOMPARE(model.userParams(90000).lifeCounter, 10);
    model.setOutputOn(true, 90000);
    QCOMPARE(model.userParams(90100).lifeCounter, 15);
}

void TestConverterEmulator::electricalModel_data()
{
    const double open = std::numeric_limits<double>::infinity();
    QTest::addColumn<double>("ohms");
    QTest::addColumn<int>("setMv");
    QTest::addColumn<int>("setMa");
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("voltage"); // status, 10 mV
    QTest::addColumn<int>("current"); // status, mA or 0.1 mA
    QTest::addColumn<int>("range");
    QTest::addColumn<int>("cc");
    QTest::addColumn<int>("cv");
    QTest::addColumn<int>("adcMv");
    QTest::addColumn<int>("adcMa");
    QTest::addColumn<int>("adcFine");
    QTest::newRow("off reads zero")
        << 10.0 << 5000 << 1000 << false << 0 << 0 << 0 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("constant voltage")
        << 10.0 << 5000 << 1000 << true << 500 << 500 << 0 << 0 << 1 << 5000 << 500 << 5000;
    QTest::newRow("constant current")
        << 2.0 << 5000 << 1000 << true << 200 << 1000 << 0 << 1 << 0 << 2000 << 1000 << 10000;
    QTest::newRow("at the limit is CV")
        << 5.0 << 5000 << 1000 << true << 500 << 1000 << 0 << 0 << 1 << 5000 << 1000 << 10000;
    QTest::newRow("fine range") << 1000.0 << 5000 << 1000 << true << 500 << 50 << 1 << 0 << 1
                                << 5000 << 5 << 50;
    QTest::newRow("open circuit") << open << 12000 << 1000 << true << 1200 << 0 << 1 << 0 << 1
                                  << 12000 << 0 << 0;
    QTest::newRow("zero ohms is open")
        << 0.0 << 3300 << 1000 << true << 330 << 0 << 1 << 0 << 1 << 3300 << 0 << 0;
    QTest::newRow("negative limit")
        << 10.0 << 5000 << -5 << true << 0 << 0 << 1 << 1 << 0 << 0 << 0 << 0;
}

void TestConverterEmulator::electricalModel()
{
    QFETCH(double, ohms);
    QFETCH(int, setMv);
    QFETCH(int, setMa);
    QFETCH(bool, on);
    emulator->setLoadResistance(ohms);
    emulator->setSetpoints({setMv, setMa});
    emulator->setOutputOn(on);
    emulator->setInputVoltage(24000);
    emulator->setReferenceVoltage(2500);

    const QByteArray status = decoded(exchange(readFrame(0x01)));
    QCOMPARE(status.size(), 12);
    QTEST(u16(status, 2), "voltage");
    QTEST(s16(status, 4), "current");
    QTEST(int(status.at(6)), "range");
    QTEST(int(status.at(7)), "cc");
    QTEST(int(status.at(8)), "cv");
    QCOMPARE(int(status.at(9)), on ? 1 : 0);

    const QByteArray adc = decoded(exchange(readFrame(0x10)));
    QCOMPARE(adc.size(), 16);
    QTEST(u16(adc, 2), "adcMv");
    QTEST(u16(adc, 4), "adcMa");
    QTEST(u16(adc, 6), "adcFine");
    QCOMPARE(u16(adc, 8), 24000);
    QCOMPARE(u16(adc, 10), 2500);
}

void TestConverterEmulator::noiseStaysClose()
{
    emulator->setSetpoints({5000, 1000});
    emulator->setOutputOn(true);
    emulator->setNoise(true);
    bool varied = false;
    int first = -1;
    for (int i = 0; i < 20; ++i) {
        const QByteArray adc = decoded(exchange(readFrame(0x10)));
        QVERIFY(qAbs(u16(adc, 2) - 5000) <= 20);
        QVERIFY(qAbs(u16(adc, 4) - 500) <= 2);
        varied = varied || (first >= 0 && u16(adc, 2) != first);
        first = u16(adc, 2);
    }
    QVERIFY(varied);
}

void TestConverterEmulator::deliveredEnergy_data()
{
    constexpr qint64 Hour = 3600 * 1000;
    QTest::addColumn<Scenario>("scenario"); // from 12 V, 2 A into 10 ohm, output off
    QTest::addColumn<qint64>("endMs");
    QTest::addColumn<double>("ampereHours");
    QTest::addColumn<double>("wattHours");
    QTest::addColumn<qint64>("onMs");
    const auto on = [](ConverterModel &m) { m.setOutputOn(true, 0); };
    QTest::newRow("constant load") << Scenario(on) << Hour << 1.2 << 14.4 << Hour;
    QTest::newRow("noise does not count") << Scenario([on](ConverterModel &m) {
        m.setNoise(true);
        on(m);
    }) << Hour << 1.2 << 14.4 << Hour;
    QTest::newRow("off and on again") << Scenario([](ConverterModel &m) {
        m.setOutputOn(true, 0);
        m.setOutputOn(false, Hour / 2);
        m.setOutputOn(true, Hour);
    }) << 3 * Hour / 2 << 1.2 << 14.4 << Hour;
    QTest::newRow("setpoint change") << Scenario([](ConverterModel &m) {
        m.setOutputOn(true, 0);
        m.setSetpoints({6000, 2000}, Hour / 2);
    }) << Hour << 0.9 << 9.0 << Hour;
    QTest::newRow("load change") << Scenario([](ConverterModel &m) {
        m.setOutputOn(true, 0);
        m.setLoadResistance(40, Hour / 2);
    }) << Hour << 0.75 << 9.0 << Hour;
    // 10 and 40 ohm, a quarter hour each, from halfway through the first step to halfway
    // through the fourth, across three step boundaries and a whole cycle: 0.375 h at each.
    QTest::newRow("stepped profile") << Scenario([](ConverterModel &m) {
        m.setLoadProfile(LoadProfile::parse("10,40", Hour / 4, false), 0);
        m.setOutputOn(true, Hour / 8);
    }) << 7 * Hour / 8 << 0.5625 << 6.75
                                     << 3 * Hour / 4;
    // Conductance 0.1 S falling by 0.075 S over a 1 s step, held for each whole millisecond:
    // its first 500 ms sum to 40.64375 S ms (a continuous ramp would give 40.625).
    QTest::newRow("ramp, half a step") << Scenario([](ConverterModel &m) {
        m.setLoadProfile(LoadProfile::parse("10,40", 1000, true), 0);
        m.setOutputOn(true, 0);
    }) << qint64(500) << 12 * 40.64375 / 3.6e6
                                       << 144 * 40.64375 / 3.6e6 << qint64(500);
    QTest::newRow("constant current") << Scenario([](ConverterModel &m) {
        m.setSetpoints({12000, 500}, 0);
        m.setOutputOn(true, 0);
    }) << Hour << 0.5 << 2.5 << Hour;
    QTest::newRow("overvoltage") << Scenario([](ConverterModel &m) {
        m.setOutputOn(true, 0);
        m.setOvervoltage(500, Hour / 2);
    }) << Hour << 1.225 << 15.0125
                                 << Hour;
    QTest::newRow("overvoltage tips into CC") << Scenario([](ConverterModel &m) {
        m.setSetpoints({12000, 1220}, 0);
        m.setOvervoltage(500, 0);
        m.setOutputOn(true, 0);
    }) << Hour << 1.22 << 14.884 << Hour;
    QTest::newRow("reset") << Scenario([](ConverterModel &m) {
        m.setOutputOn(true, 0);
        QCOMPARE(m.resetDelivered(Hour / 2).ampereHours(), 0.6);
    }) << Hour << 0.6 << 7.2
                           << Hour / 2;
}

void TestConverterEmulator::deliveredEnergy()
{
    QFETCH(Scenario, scenario);
    QFETCH(qint64, endMs);
    ConverterModel model;
    model.setSetpoints({12000, 2000}, 0);
    scenario(model);
    const DeliveredEnergy delivered = model.delivered(endMs);
    QTEST(delivered.ampereHours(), "ampereHours");
    QTEST(delivered.wattHours(), "wattHours");
    QTEST(delivered.onMs, "onMs");
    // Reading counts nothing twice, and nothing more comes once the output is off.
    QCOMPARE(model.delivered(endMs).milliampereMs, delivered.milliampereMs);
    model.setOutputOn(false, endMs);
    QCOMPARE(model.delivered(endMs + 1000).microwattMs, delivered.microwattMs);
}

void TestConverterEmulator::energyConsole()
{
    const auto run = [this](const char *line) {
        return ConsoleCommands::execute(*emulator, QString::fromLatin1(line)).text;
    };
    const QString zero("delivered charge 0.000000000000000 Ah, energy 0.000000000000000 Wh, "
                       "on 0.000 s");
    emulator->setSetpoints({12000, 2000});
    QCOMPARE(run("energy"), zero);
    emulator->setOutputOn(true);
    QTRY_VERIFY(emulator->delivered().onMs >= 20);
    emulator->setOutputOn(false);
    const QRegularExpressionMatch counted =
        QRegularExpression("^reset after delivered charge (\\d+\\.\\d{15}) Ah, "
                           "energy (\\d+\\.\\d{15}) Wh, on (\\d+\\.\\d{3}) s$")
            .match(run("energy reset"));
    QVERIFY(counted.hasMatch());
    // 12 V into 10 ohm: 1.2 A and 14.4 W over the time it says.
    const double hours = counted.captured(3).toDouble() / 3600;
    QVERIFY(qAbs(counted.captured(1).toDouble() / hours - 1.2) < 1e-6);
    QVERIFY(qAbs(counted.captured(2).toDouble() / hours - 14.4) < 1e-6);
    QCOMPARE(run("energy"), zero);
}

void TestConverterEmulator::overvoltageFault_data()
{
    // 12 V plus 500 mV into 10 ohm, by the current limit.
    QTest::addColumn<int>("limitMa");
    QTest::addColumn<int>("voltage"); // status, 10 mV
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("cc");
    QTest::addColumn<int>("healedVoltage");
    QTest::newRow("constant voltage") << 2000 << 1250 << 1250 << 0 << 1200;
    QTest::newRow("tipped into CC") << 1220 << 1220 << 1220 << 1 << 1200;
    QTest::newRow("CC as without it") << 500 << 500 << 500 << 1 << 500;
}

void TestConverterEmulator::overvoltageFault()
{
    QFETCH(int, limitMa);
    emulator->setSetpoints({12000, limitMa});
    emulator->setOutputOn(true);
    QCOMPARE(ConsoleCommands::execute(*emulator, "fault overvoltage 500").text,
             QString("faults: overvoltage 500 mV"));
    QCOMPARE(ConsoleCommands::execute(*emulator, "fault nak").text,
             QString("faults: nak, overvoltage 500 mV"));
    const QByteArray status = decoded(exchange(readFrame(0x01)));
    QTEST(u16(status, 2), "voltage");
    QTEST(s16(status, 4), "current");
    QTEST(int(status.at(7)), "cc");
    QCOMPARE(ConsoleCommands::execute(*emulator, "fault none").text, QString("faults: none"));
    QTEST(u16(decoded(exchange(readFrame(0x01))), 2), "healedVoltage");
}

void TestConverterEmulator::badFramesGetNoReply_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("parsed");
    QTest::newRow("bad crc") << QByteArray("#01013E1E\r") << true;
    QTest::newRow("lower-case digits") << QByteArray("#01013e1f\r") << false;
    QTest::newRow("odd digit count") << QByteArray("#01013E1\r") << false;
    QTest::newRow("too short") << QByteArray("#0101\r") << false;
    QTest::newRow("cut short by #") << QByteArray("#01013E1F#") << false;
    QTest::newRow("unknown register") << frame(0x55, 0x01) << true;
    QTest::newRow("unknown operation") << frame(0x01, 0x42) << true;
    QTest::newRow("read with data") << frame(0x01, 0x01, "\x01") << true;
}

void TestConverterEmulator::badFramesGetNoReply()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, parsed);
    QCOMPARE(exchange(request, 300), QByteArray());
    const QVector<EmulatorRequest> log = emulator->requests();
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.first().parsed, parsed);
    QVERIFY(!log.first().answered);
    // Noise without a frame is not a request at all, and the line keeps working.
    client.send(QByteArray("\x00\xFF noise\r", 9));
    QCOMPARE(exchange("#01013E1F\r").left(5), QByteArray("^0108"));
    QCOMPARE(emulator->requests().size(), request.endsWith('#') ? 3 : 2);
}

void TestConverterEmulator::faultLines_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("none") << "none" << KnownStatusLine;
    QTest::newRow("silent") << "silent" << QByteArray();
    QTest::newRow("garbage") << "garbage" << FaultSettings::defaultGarbage() + KnownStatusLine;
    QTest::newRow("bad crc") << "badCrc" << QByteArray("^0108D2043702000001015FA7\r");
    QTest::newRow("lower case") << "lowerCase" << QByteArray("^0108d2043702000001015f58\r");
    QTest::newRow("odd digits") << "oddDigits" << QByteArray("^0108D2043702000001015F5\r");
    QTest::newRow("trailing") << "trailing" << KnownStatusLine + FaultSettings::defaultTrailing();
}

void TestConverterEmulator::faultLines()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, expected);
    FaultSettings f;
    f.silent = fault == "silent";
    f.garbage = fault == "garbage" ? FaultSettings::defaultGarbage() : QByteArray();
    f.badCrc = fault == "badCrc";
    f.lowerCase = fault == "lowerCase";
    f.oddDigits = fault == "oddDigits";
    f.trailing = fault == "trailing" ? FaultSettings::defaultTrailing() : QByteArray();
    emulator->setFixedStatus(knownStatus());
    emulator->setFaults(f);
    client.send("#01013E1F\r");
    QTRY_COMPARE(emulator->requests().size(), 1);
    // Switching the fault off at run time heals the line. The healed reply follows all of the
    // faulty one on the line, so nothing of that comes after it.
    emulator->clearFaults();
    client.send("#01013E1F\r");
    QCOMPARE(client.readAtLeast(expected.size() + KnownStatusLine.size()),
             expected + KnownStatusLine);
}

void TestConverterEmulator::nakChangesNothing_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("startsOn");
    QTest::newRow("setpoints") << frame(0x03, 0x11, words({12000, 1500})) << false;
    QTest::newRow("output on") << QByteArray("#07119A1BF5C4\r") << false;
    QTest::newRow("output off") << QByteArray("#07110000A1BE\r") << true;
    QTest::newRow("calibration") << frame(0xA8, 0x11,
                                          words({900, -2, 1100, 3, 1000, 4, 1000, -6, 1000, 7, 25}))
                                 << false;
    QTest::newRow("user parameters")
        << frame(0xAB, 0x11, words({0, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11})) << false;
}

void TestConverterEmulator::nakChangesNothing()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, startsOn);
    QTemporaryDir dir;
    const QString stateFile = dir.filePath(QStringLiteral("state.json"));
    QVERIFY(emulator->setStateFile(stateFile));
    emulator->setOutputOn(startsOn);
    // Everything a write could change, as the line reports it.
    const auto stored = [this] {
        QByteArray blocks;
        for (quint8 reg : {0x03, 0xA8, 0xAB})
            blocks += decoded(exchange(readFrame(reg)));
        return blocks + char(emulator->outputOn());
    };
    const QByteArray before = stored();
    QCOMPARE(before.size(), 8 + 26 + 26 + 1);

    FaultSettings f;
    f.nak = true;
    emulator->setFaults(f);
    const QByteArray refused = decoded(exchange(request));
    QCOMPARE(refused.size(), 4);
    QCOMPARE(refused.at(0), QByteArray::fromHex(request.mid(1, 2)).at(0));
    QCOMPARE(int(quint8(refused.at(1))), 0x15);
    QCOMPARE(stored(), before);
    QVERIFY(!QFileInfo::exists(stateFile));

    // The same write goes through once the fault is off.
    emulator->clearFaults();
    QCOMPARE(int(quint8(decoded(exchange(request)).at(1))), 0x1F);
    QVERIFY(stored() != before);
}

void TestConverterEmulator::splitReplyArrivesInPieces()
{
    FaultSettings f;
    f.splitSize = 3;
    f.splitGapMs = 30;
    emulator->setFixedStatus(knownStatus());
    emulator->setFaults(f);
    QCOMPARE(exchange("#01013E1F\r"), KnownStatusLine);
    const QVector<QByteArray> chunks = client.chunks();
    QCOMPARE(chunks.size(), (KnownStatusLine.size() + 2) / 3);
    QCOMPARE(chunks.first(), QByteArray("^01"));
}

void TestConverterEmulator::delayHoldsTheReply()
{
    FaultSettings f;
    f.delayMs = 150;
    emulator->setFaults(f);
    QElapsedTimer timer;
    timer.start();
    const QByteArray line = exchange("#01013E1F\r");
    QVERIFY(timer.elapsed() >= 140);
    QCOMPARE(line.left(5), QByteArray("^0108"));
}

void TestConverterEmulator::silentFirstRequests()
{
    FaultSettings f;
    f.silentFirst = 2;
    emulator->setFaults(f);
    QCOMPARE(exchange("#0311E02EDC057739\r", 200), QByteArray());
    QCOMPARE(exchange("#0311E02EDC057739\r", 200), QByteArray());
    QVERIFY(emulator->setpoints().voltage != 12000); // ignored, not applied
    QCOMPARE(decoded(exchange("#0311E02EDC057739\r")).left(2), QByteArray::fromHex("031F"));
    QCOMPARE(emulator->setpoints().voltage, 12000);
}

void TestConverterEmulator::staleReplies()
{
    emulator->setFixedStatus(knownStatus());
    QCOMPARE(exchange(readFrame(0x01)), KnownStatusLine);
    FaultSettings f;
    f.stale = true;
    emulator->setFaults(f);
    // Each request now gets the reply of the one before it.
    QCOMPARE(exchange(readFrame(0x03)), KnownStatusLine);
    QCOMPARE(decoded(exchange(readFrame(0x10))).left(2), QByteArray::fromHex("0304"));
    QCOMPARE(decoded(exchange(readFrame(0x01))).left(2), QByteArray::fromHex("100C"));
}

void TestConverterEmulator::requestLog()
{
    QSignalSpy spy(emulator.get(), &ConverterEmulator::requestReceived);
    exchange("#01013E1F\r");
    exchange("#0311E02EDC057739\r");
    exchange("#01013E1E\r", 200);
    const QVector<EmulatorRequest> log = emulator->requests();
    QCOMPARE(log.size(), 3);
    QCOMPARE(spy.size(), 3);
    QCOMPARE(log.at(0).rawFrame, QByteArray("#01013E1F"));
    QCOMPARE(int(log.at(0).registerCode), 0x01);
    QCOMPARE(int(log.at(0).operationCode), 0x01);
    QVERIFY(log.at(0).data.isEmpty() && log.at(0).crcValid && log.at(0).answered);
    QCOMPARE(int(log.at(1).operationCode), 0x11);
    QCOMPARE(log.at(1).data, QByteArray::fromHex("E02EDC05"));
    QVERIFY(log.at(2).parsed && !log.at(2).crcValid);
    QVERIFY(log.at(0).timeMs <= log.at(1).timeMs && log.at(1).timeMs <= log.at(2).timeMs);
    QVERIFY(log.at(2).timeMs <= emulator->uptimeMs());
    QCOMPARE(spy.at(1).at(0).value<EmulatorRequest>().data, log.at(1).data);
    emulator->clearRequests();
    QVERIFY(emulator->requests().isEmpty());
}

void TestConverterEmulator::consoleOverTcp()
{
    exchange("#01013E1F\r");
    exchange("#01013E1F\r");
    ConsoleServer console(*emulator);
    QString error;
    QVERIFY2(console.listen(0, &error), qPrintable(error));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, console.port());
    QVERIFY(client.waitForConnected());
    // Two commands in one write, the second cut in two: each answer ends at an empty line.
    client.write("requests 1\nset 75");
    QTRY_VERIFY(client.bytesAvailable() > 0);
    client.write("00 1000\nbogus\n");
    QByteArray answers;
    QTRY_VERIFY((answers += client.readAll()).count("\n\n") == 3);
    const QList<QByteArray> parts = answers.split('\n');
    QCOMPARE(parts.at(0), QByteArray("requests 2"));
    QVERIFY2(parts.at(1).endsWith("#01013E1F  read status"), parts.at(1));
    QCOMPARE(parts.at(2), QByteArray());
    QCOMPARE(emulator->setpoints().voltage, 7500);
    QCOMPARE(emulator->setpoints().current, 1000);
}

void TestConverterEmulator::pacingHoldsCharactersToTheLine()
{
    emulator->setPaced(true);
    emulator->setFixedStatus(knownStatus());
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(exchange("#01013E1F\r"), KnownStatusLine);
    // 10 characters in and 26 out cannot take less than 36 character times.
    const qint64 floorMs = 36 * ConverterEmulator::CharTimeUs / 1000;
    QVERIFY2(timer.elapsed() >= floorMs - 1, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(client.chunks().size() > 1);
}

void TestConverterEmulator::piecesWrittenWhileTheLineIsBusyAllArrive()
{
    emulator->setPaced(true);
    emulator->setFixedStatus(knownStatus());
    // One pause shorter than the line needs for what came before it, one longer, then a whole
    // second frame while the first is still on the line.
    client.send("#01");
    QTest::qWait(1);
    client.send("01");
    QTest::qWait(20);
    client.send("3E1F\r#01013E1F\r");
    QCOMPARE(client.readLine(), KnownStatusLine);
    QCOMPARE(client.readLine(), KnownStatusLine);
    const QVector<EmulatorRequest> log = emulator->requests();
    QCOMPARE(log.size(), 2);
    QVERIFY(log.at(0).answered && log.at(1).answered);
    // The second frame's ten characters follow the first's on the line.
    const qint64 gapMs = log.at(1).timeMs - log.at(0).timeMs;
    QVERIFY2(gapMs >= 10 * ConverterEmulator::CharTimeUs / 1000 - 1,
             qPrintable(QString::number(gapMs)));
}

void TestConverterEmulator::adapterHandsRepliesOverInBatches()
{
    emulator->setPaced(true);
    emulator->setAdapterLatencyMs(16);
    emulator->setFixedStatus(knownStatus());
    QCOMPARE(exchange("#01013E1F\r"), KnownStatusLine);
    // 26 characters take 28 ms on the line: two hand-overs, three if the reader is slow.
    QVERIFY2(client.chunks().size() <= 3, qPrintable(QString::number(client.chunks().size())));
    QVERIFY(client.chunks().size() > 1);
}

void TestConverterEmulator::adapterHoldsAShortReplyForItsLatency()
{
    emulator->setAdapterLatencyMs(100);
    emulator->setFixedStatus(knownStatus());
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(exchange("#01013E1F\r"), KnownStatusLine);
    QVERIFY2(timer.elapsed() >= 99, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(client.chunks().size(), 1);
}

void TestConverterEmulator::hangUpAndReturnAtTheLink()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyVORNEX"));
    emulator->setLinkPath(link);
    QCOMPARE(QFileInfo(link).symLinkTarget(), emulator->serialPath());
    QVERIFY(client.open(link));
    QCOMPARE(exchange("#01013E1F\r").left(5), QByteArray("^0108"));

    QSignalSpy paths(emulator.get(), &ConverterEmulator::serialPathChanged);
    emulator->hangUp();
    QVERIFY(client.waitForHangUp());
    QVERIFY(emulator->serialPath().isEmpty());
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());

    emulator->setSetpoints({7000, 300});
    QVERIFY(emulator->comeBack());
    QCOMPARE(paths.size(), 2);
    QCOMPARE(QFileInfo(link).symLinkTarget(), emulator->serialPath());
    QVERIFY(client.open(link));
    QCOMPARE(u16(decoded(exchange(readFrame(0x03))), 2), 7000);

    emulator->stop();
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestConverterEmulator::hangUpForAWhile()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyVORNEX"));
    emulator->setLinkPath(link);
    QSignalSpy paths(emulator.get(), &ConverterEmulator::serialPathChanged);
    QElapsedTimer timer;
    timer.start();
    // A plain hang-up cancels the first return; the second is due 300 ms from the start.
    emulator->hangUpFor(100);
    emulator->hangUp();
    emulator->hangUpFor(300);
    QVERIFY(client.waitForHangUp());
    QVERIFY(!QFileInfo(link).isSymLink());
    QTRY_COMPARE_WITH_TIMEOUT(paths.size(), 2, 5000);
    QVERIFY2(timer.elapsed() >= 299, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(paths.at(0).at(0).toString().isEmpty());
    QCOMPARE(paths.at(1).at(0).toString(), emulator->serialPath());
    QCOMPARE(QFileInfo(link).symLinkTarget(), emulator->serialPath());
    QVERIFY(client.open(link));
    QCOMPARE(exchange("#01013E1F\r").left(5), QByteArray("^0108"));
}

void TestConverterEmulator::stateFileKeepsBlocks()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.json"));
    QVERIFY(emulator->setStateFile(path));
    const QByteArray calibration = words({900, -2, 1100, 3, 1000, 4, 1000, -6, 1000, 7, 25});
    QCOMPARE(decoded(exchange(frame(0xA8, 0x11, calibration))).at(1), char(0x1F));
    const QByteArray user = words({1, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    QCOMPARE(decoded(exchange(frame(0xAB, 0x11, user))).at(1), char(0x1F));
    QVERIFY(QFileInfo::exists(path));

    ConverterEmulator second;
    second.setPaced(false);
    QVERIFY(second.setStateFile(path));
    QVERIFY(second.start());
    PtyClient other;
    QVERIFY(other.open(second.serialPath()));
    other.send(readFrame(0xA8));
    QCOMPARE(decoded(other.readLine()).mid(2, 22), calibration);
    other.send(readFrame(0xAB));
    QCOMPARE(decoded(other.readLine()).mid(6, 18), user.mid(4));
}

void TestConverterEmulator::badStateFileIsRefused()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        "{\"calibration\": {\"kuDacVolt\": 99999999, \"offDacVolt\": -99999, \"rout\": \"x\"}}");
    file.close();
    const CalibrationBlock before = emulator->calibration();
    QVERIFY(emulator->setStateFile(path));
    QCOMPARE(emulator->calibration().kuDacVolt, 65535);
    QCOMPARE(emulator->calibration().offDacVolt, -32768);
    QCOMPARE(emulator->calibration().rout, before.rout);

    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\x00\xFFnot json");
    file.close();
    QString error;
    QVERIFY(!emulator->setStateFile(path, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(emulator->calibration().kuDacVolt, 65535);
}

void TestConverterEmulator::runsInAWorkerThread()
{
    emulator.reset();
    QThread worker;
    auto *threaded = new ConverterEmulator;
    threaded->setPaced(false);
    threaded->moveToThread(&worker);
    connect(&worker, &QThread::finished, threaded, &QObject::deleteLater);
    worker.start();
    QVERIFY(threaded->start());
    QVERIFY(client.open(threaded->serialPath()));

    threaded->setFixedStatus(knownStatus());
    QCOMPARE(exchange("#01013E1F\r"), KnownStatusLine);
    FaultSettings f;
    f.badCrc = true;
    threaded->setFaults(f);
    QCOMPARE(exchange("#01013E1F\r"), QByteArray("^0108D2043702000001015FA7\r"));
    QCOMPARE(threaded->requests().size(), 2);
    threaded->hangUp();
    QVERIFY(client.waitForHangUp());
    QVERIFY(threaded->comeBack());
    QVERIFY(client.open(threaded->serialPath()));
    threaded->clearFaults();
    QCOMPARE(exchange("#01013E1F\r"), KnownStatusLine);

    threaded->stop();
    worker.quit();
    QVERIFY(worker.wait(5000));
}

QTEST_GUILESS_MAIN(TestConverterEmulator)
#include "tst_converteremulator.moc"
