#include "link/framecodec.h"

#include <QtTest>

class TestFrameCodec : public QObject
{
    Q_OBJECT

private slots:
    void crcCheckValue();
    void crcOverFrameAndOwnCrcEndsAtZero();
    void requestFrame_data();
    void requestFrame();
    void hexPair_data();
    void hexPair();
    void decodeReply_data();
    void decodeReply();
    void decodeFailureKeepsBytesBeforeTheBadPair();
    void decodeWithoutReplyStartLeavesOutput();
    void longestAcceptedBody();
    void overlongLine_data();
    void overlongLine();
};

void TestFrameCodec::crcCheckValue()
{
    QCOMPARE(FrameCodec::Crc16("123456789"), quint16(0x29B1));
}

void TestFrameCodec::crcOverFrameAndOwnCrcEndsAtZero()
{
    quint16 crc = 0xFFFF;
    for (const quint8 byte : {0x01, 0x01, 0x3E, 0x1F})
        crc = FrameCodec::Crc16Step(crc, byte);
    QCOMPARE(crc, quint16(0));
}

void TestFrameCodec::requestFrame_data()
{
    QTest::addColumn<quint8>("registerCode");
    QTest::addColumn<quint8>("operationCode");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("status read") << quint8(0x01) << quint8(0x01) << QByteArray()
                                 << QByteArray("#01013E1F\r");
    QTest::newRow("setpoints 12000 mV 1500 mA")
        << quint8(0x03) << quint8(0x11) << QByteArray::fromHex("E02EDC05")
        << QByteArray("#0311E02EDC057739\r");
    QTest::newRow("output on") << quint8(0x07) << quint8(0x11) << QByteArray::fromHex("9A1B")
                               << QByteArray("#07119A1BF5C4\r");
    QTest::newRow("output off") << quint8(0x07) << quint8(0x11) << QByteArray::fromHex("0000")
                                << QByteArray("#07110000A1BE\r");
}

void TestFrameCodec::requestFrame()
{
    QFETCH(quint8, registerCode);
    QFETCH(quint8, operationCode);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, frame);
    const auto *bytes = reinterpret_cast<const quint8 *>(data.constData());
    QCOMPARE(FrameCodec::EncodeFrame(registerCode, operationCode, bytes, quint8(data.size())),
             frame);
}

void TestFrameCodec::hexPair_data()
{
    QTest::addColumn<QByteArray>("pair");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");

    QTest::newRow("0A") << QByteArray("0A") << true << 0x0A;
    QTest::newRow("FF") << QByteArray("FF") << true << 0xFF;
    QTest::newRow("90") << QByteArray("90") << true << 0x90;
    QTest::newRow("lower case") << QByteArray("0a") << false << 0;
    QTest::newRow("space") << QByteArray(" 1") << false << 0;
    QTest::newRow("sign") << QByteArray("-1") << false << 0;
    QTest::newRow("G") << QByteArray("1G") << false << 0;
    QTest::newRow("NUL") << QByteArray("1\0", 2) << false << 0;
    QTest::newRow("CR") << QByteArray("1\r") << false << 0;
}

void TestFrameCodec::hexPair()
{
    QFETCH(QByteArray, pair);
    QFETCH(bool, ok);
    QFETCH(int, value);
    quint8 out = 0x5A;
    QCOMPARE(FrameCodec::DecodeHexPair(pair.constData(), out), ok);
    QCOMPARE(int(out), ok ? value : 0x5A);
}

void TestFrameCodec::decodeReply_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray two = QByteArray::fromHex("0A1B");
    QTest::newRow("two bytes") << QByteArray("^0A1B\r") << 2 << two;
    QTest::newRow("noise in front") << QByteArray("\xFFz#12^0A1B\r") << 2 << two;
    QTest::newRow("bytes after CR ignored") << QByteArray("^0A1B\rZZ^99\r") << 2 << two;
    QTest::newRow("lower case") << QByteArray("^0a1b\r") << -1 << QByteArray();
    QTest::newRow("odd digit count") << QByteArray("^0A1\r") << -1 << QByteArray::fromHex("0A");
    QTest::newRow("start then CR") << QByteArray("^\r") << 0 << QByteArray();
    QTest::newRow("no CR") << QByteArray("^0A1B") << 0 << QByteArray();
    QTest::newRow("no start") << QByteArray("0A1B\r") << -1 << QByteArray();
    QTest::newRow("empty") << QByteArray() << -1 << QByteArray();
    QTest::newRow("CR before start") << QByteArray("\r^0A1B") << 0 << QByteArray();
    QTest::newRow("256 bytes") << "^" + QByteArray(512, '1') + "\r" << -1
                               << QByteArray(255, '\x11');
}

void TestFrameCodec::decodeReply()
{
    QFETCH(QByteArray, line);
    QFETCH(int, count);
    QFETCH(QByteArray, bytes);
    QByteArray out;
    QCOMPARE(FrameCodec::DecodeReply(line, out), count);
    QCOMPARE(out, bytes);
}

void TestFrameCodec::decodeFailureKeepsBytesBeforeTheBadPair()
{
    QByteArray out = "old";
    QCOMPARE(FrameCodec::DecodeReply("^0102x304\r", out), -1);
    QCOMPARE(out, QByteArray::fromHex("0102"));
}

void TestFrameCodec::decodeWithoutReplyStartLeavesOutput()
{
    QByteArray out = "old";
    QCOMPARE(FrameCodec::DecodeReply("0102\r", out), -1);
    QCOMPARE(out, QByteArray("old"));
}

void TestFrameCodec::longestAcceptedBody()
{
    // 255 bytes still count; one more must not wrap to a small count.
    QByteArray out;
    const QByteArray line = "^" + QByteArray(510, 'F') + "\r";
    QCOMPARE(FrameCodec::DecodeReply(line, out), 255);
    QCOMPARE(out, QByteArray(255, '\xFF'));
}

void TestFrameCodec::overlongLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("kept");

    const QByteArray longest = "^" + QByteArray(510, 'A') + "\r";
    QTest::newRow("longest reply line stays") << longest << longest;
    QTest::newRow("511 characters may still end") << longest.chopped(1) << longest.chopped(1);
    QTest::newRow("512 without an end is noise") << longest.chopped(1) + 'A' << QByteArray();
    QTest::newRow("end one character too late")
        << "^" + QByteArray(511, 'A') + "\r" << QByteArray();
    QTest::newRow("noise then a reply start")
        << "^" + QByteArray(600, 'B') + "^0A1B" << QByteArray("^0A1B");
    QTest::newRow("noise then a whole reply")
        << "^" + QByteArray(600, 'B') + "^0A1B\r" << QByteArray("^0A1B\r");
    QTest::newRow("reply start after the bound keeps looking")
        << "^" + QByteArray(520, 'C') + "^" + QByteArray(520, 'D') + "^01" << QByteArray("^01");
    QTest::newRow("short line without an end") << QByteArray("^0A1") << QByteArray("^0A1");
}

void TestFrameCodec::overlongLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, kept);
    QByteArray bounded = line;
    const bool dropped = FrameCodec::DropOverlongLine(bounded);
    QCOMPARE(bounded, kept);
    QCOMPARE(dropped, kept != line);
}

QTEST_GUILESS_MAIN(TestFrameCodec)
#include "tst_framecodec.moc"
