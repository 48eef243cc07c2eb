#include "sim/consolecommands.h"
#include "sim/converteremulator.h"
#include "sim/replyshaper.h"
#include "sim/requestassembler.h"
#include "sim/requestlogline.h"
#include "sim/simcodec.h"

#include <QtTest>

// The emulator's own codec, checked against the protocol's published vectors so that it is an
// independent witness for the panel's codec.
class TestSimCodec : public QObject
{
    Q_OBJECT

private slots:
    void crc_data();
    void crc();
    void requestFrame_data();
    void requestFrame();
    void statusReplyVector();
    void fromHexRejects_data();
    void fromHexRejects();
    void assembler_data();
    void assembler();
    void assemblerBoundsARunawayFrame();
    void shaperSplitsAndDelays();
    void logLine_data();
    void logLine();
    void consoleCommands();
    void consoleHangUpComesBack();
};

void TestSimCodec::crc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");
    QTest::newRow("check value") << QByteArray("123456789") << 0x29B1;
    QTest::newRow("status request") << QByteArray::fromHex("0101") << 0x3E1F;
    QTest::newRow("setpoint write") << QByteArray::fromHex("0311E02EDC05") << 0x7739;
    QTest::newRow("message and its crc") << QByteArray::fromHex("01013E1F") << 0x0000;
    QTest::newRow("empty") << QByteArray() << 0xFFFF;
}

void TestSimCodec::crc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    QCOMPARE(int(SimCodec::crc16(bytes)), crc);
}

void TestSimCodec::requestFrame_data()
{
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("op");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("status") << 0x01 << 0x01 << QByteArray() << QByteArray("#01013E1F\r");
    QTest::newRow("setpoints 12000 mV 1500 mA")
        << 0x03 << 0x11 << QByteArray::fromHex("E02EDC05") << QByteArray("#0311E02EDC057739\r");
    QTest::newRow("output on") << 0x07 << 0x11 << QByteArray::fromHex("9A1B")
                               << QByteArray("#07119A1BF5C4\r");
    QTest::newRow("output off") << 0x07 << 0x11 << QByteArray::fromHex("0000")
                                << QByteArray("#07110000A1BE\r");
}

void TestSimCodec::requestFrame()
{
    QFETCH(int, reg);
    QFETCH(int, op);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, frame);
    QCOMPARE(SimCodec::requestFrame(quint8(reg), quint8(op), data), frame);
}

void TestSimCodec::statusReplyVector()
{
    // voltage 1234, current 567, range 0, CC 0, CV 1, on 1
    const QByteArray body = QByteArray::fromHex("0108D2043702000001015F58");
    QCOMPARE(SimCodec::withCrc(body.left(10)), body);
    QCOMPARE(SimCodec::replyLine(body.left(10)), QByteArray("^0108D2043702000001015F58\r"));
    QCOMPARE(SimCodec::fromHex("0108D2043702000001015F58"), std::optional<QByteArray>(body));
}

void TestSimCodec::fromHexRejects_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("lower case") << QByteArray("0a1b");
    QTest::newRow("odd count") << QByteArray("0A1");
    QTest::newRow("space") << QByteArray("0A 1B");
    QTest::newRow("sign") << QByteArray("-1");
    QTest::newRow("letter beyond F") << QByteArray("0G");
    QTest::newRow("high byte") << QByteArray("\xC1\xB0");
}

void TestSimCodec::fromHexRejects()
{
    QFETCH(QByteArray, text);
    QVERIFY(!SimCodec::fromHex(text).has_value());
}

void TestSimCodec::assembler_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArrayList>("frames");
    QTest::addColumn<QList<bool>>("complete");
    QTest::newRow("one frame") << QByteArray("#01013E1F\r") << QByteArrayList{"#01013E1F"}
                               << QList<bool>{true};
    QTest::newRow("noise before") << QByteArray("xx\r\x00#01013E1F\r", 15)
                                  << QByteArrayList{"#01013E1F"} << QList<bool>{true};
    QTest::newRow("two in one chunk")
        << QByteArray("#01013E1F\r#10011234\r") << QByteArrayList{"#01013E1F", "#10011234"}
        << QList<bool>{true, true};
    QTest::newRow("restart on #") << QByteArray("#0101#01013E1F\r")
                                  << QByteArrayList{"#0101", "#01013E1F"}
                                  << QList<bool>{false, true};
    QTest::newRow("unfinished") << QByteArray("#01013E") << QByteArrayList{} << QList<bool>{};
}

void TestSimCodec::assembler()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArrayList, frames);
    QFETCH(QList<bool>, complete);
    RequestAssembler assembler;
    QVector<RequestAssembler::Frame> got;
    // Byte by byte, as a slow line delivers it.
    for (char c : input)
        got += assembler.feed(QByteArray(1, c));
    QCOMPARE(got.size(), frames.size());
    for (int i = 0; i < got.size(); ++i) {
        QCOMPARE(got.at(i).text, frames.at(i));
        QCOMPARE(got.at(i).complete, complete.at(i));
    }
}

void TestSimCodec::assemblerBoundsARunawayFrame()
{
    RequestAssembler assembler;
    const auto frames = assembler.feed("#" + QByteArray(1000, '0') + "\r");
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first().complete, false);
    QCOMPARE(frames.first().text.size(), RequestAssembler::MaxFrameLength);
    // What follows a given-up frame is noise until the next '#'.
    QCOMPARE(assembler.feed("#01013E1F\r").size(), 1);
}

void TestSimCodec::shaperSplitsAndDelays()
{
    FaultSettings faults;
    faults.splitSize = 10;
    faults.splitGapMs = 7;
    faults.delayMs = 100;
    faults.garbage = QByteArrayLiteral("a^b#c\rd"); // framing characters never pass as noise
    const auto pieces = ReplyShaper::shape(QByteArray::fromHex("01080000000000000000"), faults);
    QByteArray joined;
    for (int i = 0; i < pieces.size(); ++i) {
        QCOMPARE(pieces.at(i).offsetMs, 100 + 7 * i);
        QVERIFY(pieces.at(i).bytes.size() <= 10);
        joined += pieces.at(i).bytes;
    }
    QCOMPARE(joined, QByteArray("abcd^01080000000000000000A783\r"));
    QCOMPARE(pieces.size(), 3);
}

void TestSimCodec::logLine_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("line");
    QTest::newRow("read") << QByteArray("#01013E1F") << "    1.250 s  #01013E1F  read status";
    QTest::newRow("write") << QByteArray("#07119A1BF5C4")
                           << "    1.250 s  #07119A1BF5C4  write output switch 9A 1B";
    QTest::newRow("bad crc") << QByteArray("#01013E1E")
                             << "    1.250 s  #01013E1E  bad CRC, ignored";
    QTest::newRow("control bytes")
        << QByteArray("#0\x01") << "    1.250 s  #0\\x01  unparsable frame, ignored";
}

void TestSimCodec::logLine()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, line);
    EmulatorRequest request;
    request.timeMs = 1250;
    request.rawFrame = raw;
    const auto bytes = SimCodec::fromHex(raw.mid(1));
    if (bytes && bytes->size() >= 4) {
        request.parsed = true;
        request.crcValid = SimCodec::crc16(*bytes) == 0;
        request.registerCode = quint8(bytes->at(0));
        request.operationCode = quint8(bytes->at(1));
        request.data = bytes->mid(2, bytes->size() - 4);
        request.answered = request.crcValid;
    }
    QCOMPARE(requestLogLine(request), line);
}

void TestSimCodec::consoleCommands()
{
    ConverterEmulator emulator;
    ConsoleCommands::execute(emulator, QStringLiteral("fault bad-crc"));
    ConsoleCommands::execute(emulator, QStringLiteral("  fault   stale "));
    ConsoleCommands::execute(emulator, QStringLiteral("split 4 9"));
    QVERIFY(emulator.faults().badCrc);
    QVERIFY(emulator.faults().stale);
    QCOMPARE(emulator.faults().splitSize, 4);
    QCOMPARE(emulator.faults().splitGapMs, 9);
    ConsoleCommands::execute(emulator, QStringLiteral("fault none"));
    QVERIFY(!emulator.faults().badCrc && emulator.faults().splitSize == 0);

    ConsoleCommands::execute(emulator, QStringLiteral("load 2.5"));
    QCOMPARE(emulator.loadResistance(), 2.5);
    QVERIFY(!emulator.loadProfile());
    ConsoleCommands::execute(emulator, QStringLiteral("set 12000 1500"));
    QCOMPARE(emulator.setpoints().voltage, 12000);
    QCOMPARE(emulator.setpoints().current, 1500);
    ConsoleCommands::execute(emulator, QStringLiteral("latency 16"));
    QCOMPARE(emulator.adapterLatencyMs(), 16);
    ConsoleCommands::execute(emulator, QStringLiteral("line-check off"));
    QVERIFY(!emulator.lineCheck());

    // Nonsense changes nothing and says so.
    for (const char *bad : {"load -3", "set 70000 1", "delay x", "fault everything", "split",
                            "latency -1", "line-check maybe", "load-profile 10,x",
                            "load-profile 10 0", "load-profile 10 5 jump", "load-profile"}) {
        const auto result = ConsoleCommands::execute(emulator, QString::fromLatin1(bad));
        QVERIFY2(result.text.startsWith(QLatin1String("not understood")), bad);
    }
    QCOMPARE(emulator.loadResistance(), 2.5);
    QCOMPARE(emulator.setpoints().voltage, 12000);
    QCOMPARE(emulator.adapterLatencyMs(), 16);
    QVERIFY(!emulator.lineCheck());
    QVERIFY(!emulator.loadProfile());

    ConsoleCommands::execute(emulator, QStringLiteral("load-profile 10,22 5 ramp"));
    QCOMPARE(emulator.loadProfile()->ohms, (QVector<double>{10, 22}));
    QCOMPARE(emulator.loadProfile()->stepMs, qint64(5000));
    QVERIFY(emulator.loadProfile()->ramp);
    ConsoleCommands::execute(emulator, QStringLiteral("load-profile off"));
    QVERIFY(!emulator.loadProfile());
    ConsoleCommands::execute(emulator, QStringLiteral("load-profile 7,8"));
    QCOMPARE(emulator.loadProfile()->stepMs, qint64(30000));
    QVERIFY(ConsoleCommands::execute(emulator, QStringLiteral("quit")).quit);
}

void TestSimCodec::consoleHangUpComesBack()
{
    ConverterEmulator emulator;
    emulator.setPaced(false);
    QVERIFY(emulator.start());
    const auto run = [&emulator](const char *line) {
        return ConsoleCommands::execute(emulator, QString::fromLatin1(line)).text;
    };
    QCOMPARE(run("hangup 0.1"), QString("hung up; back in 0.1 s"));
    QVERIFY(emulator.serialPath().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!emulator.serialPath().isEmpty(), 5000);

    for (const char *bad : {"hangup -1", "hangup soon", "hangup 1 2", "hangup 1e9"})
        QVERIFY2(run(bad).startsWith(QLatin1String("not understood")), bad);
    QVERIFY(!emulator.serialPath().isEmpty());
    run("hangup");
    QVERIFY(emulator.serialPath().isEmpty());
    QVERIFY(run("return").startsWith(QLatin1String("back at /dev/")));
}

QTEST_GUILESS_MAIN(TestSimCodec)
#include "tst_simcodec.moc"
