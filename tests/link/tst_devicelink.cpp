#include "link/devicelink.h"
#include "link/deviceprotocol.h"
#include "link/framecodec.h"
#include "link/porthangupguard.h"
#include "replytext.h"
#include "scriptedpeer.h"
#include "stdoutcapture.h"

#include <QAbstractEventDispatcher>
#include <QBuffer>
#include <QLoggingCategory>
#include <QSerialPort>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// A real in-memory device that counts the write calls reaching it.
class CountingBuffer : public QBuffer
{
public:
    int writes = 0;

protected:
    qint64 writeData(const char *data, qint64 length) override
    {
        ++writes;
        return QBuffer::writeData(data, length);
    }
};

// A real serial port that counts the waits for written bytes made while nothing was queued:
// QSerialPort's wait can then block for its whole time-out.
class WaitCountingPort : public QSerialPort
{
public:
    int emptyWaits = 0;

    bool waitForBytesWritten(int msecs) override
    {
        emptyWaits += bytesToWrite() == 0;
        return QSerialPort::waitForBytesWritten(msecs);
    }
};

// Counts the event loop's passes and its sleeps while it lives, in this thread.
class EventLoopPasses
{
public:
    EventLoopPasses()
    {
        QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
        awake =
            QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [this] { ++passes; });
        asleep = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this] {
            ++passes;
            ++sleeps;
        });
    }
    ~EventLoopPasses()
    {
        QObject::disconnect(awake);
        QObject::disconnect(asleep);
    }

    int passes = 0;
    int sleeps = 0;

private:
    QMetaObject::Connection awake;
    QMetaObject::Connection asleep;
};

// How many reply waits a transaction ran: the trace starts each with this line.
int ReplyWaits(const QByteArray &trace)
{
    return trace.count("Call GetLine\n");
}

const QByteArray StatusPayload = QByteArray::fromHex("D204370200000101");
const QByteArray StatusReply = ReplyText(QByteArray::fromHex("0108") + StatusPayload);
const QByteArray AdcReply = ReplyText(QByteArray::fromHex("100C010002000300040005000600"));
const QByteArray Ack = ReplyText(QByteArray::fromHex("031F"));

QByteArray Frame(quint8 registerCode, quint8 operationCode, const QByteArray &data)
{
    return FrameCodec::EncodeFrame(registerCode, operationCode,
                                   reinterpret_cast<const quint8 *>(data.constData()),
                                   quint8(data.size()));
}

} // namespace

using Command = std::function<LinkResult(DeviceLink &)>;
Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(ScriptedPeer::Reply)

// The link over a real pseudo-terminal opened with QSerialPort, against a scripted peer.
class TestDeviceLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void framesOnTheWire_data();
    void framesOnTheWire();
    void frameLeavesInSeparateWrites_data();
    void frameLeavesInSeparateWrites();
    void frameDoesNotWaitOnAnEmptyOutput();
    void closedDeviceGetsNothing();
    void replyAssembledFromPieces_data();
    void replyAssembledFromPieces();
    void traceGoesWhereItIsSent();
    void readSendsASecondRequest();
    void writeSendsOnce();
    void closedPortRunsFullTimeOuts_data();
    void closedPortRunsFullTimeOuts();
    void judgedReplies_data();
    void judgedReplies();
    void lateRepliesOfAnotherRegisterArePassedOver_data();
    void lateRepliesOfAnotherRegisterArePassedOver();
    void duplicateReplyLeavesLaterReadsInStep();
    void waitingRunsOtherSlotsWithoutSpinning();
    void replyAlreadyWaitingIsTakenAtOnce();
    void portDestroyedDuringWait();
    void hangUpClosesThePortOnceAndRecovers();
    void errorsOfAGoneDeviceCloseThePort_data();
    void errorsOfAGoneDeviceCloseThePort();

private:
    bool OpenOn(const QString &path);

    std::unique_ptr<ScriptedPeer> peer;
    std::unique_ptr<WaitCountingPort> port;
    std::unique_ptr<DeviceLink> link;
};

bool TestDeviceLink::OpenOn(const QString &path)
{
    port->setPortName(path);
    if (!port->open(QIODevice::ReadWrite))
        return false;
    port->setBaudRate(9200); // a pseudo-terminal may refuse; the bytes flow anyway
    return true;
}

void TestDeviceLink::init()
{
    peer = std::make_unique<ScriptedPeer>();
    QVERIFY(peer->start());
    port = std::make_unique<WaitCountingPort>();
    QVERIFY(OpenOn(peer->serialPath()));
    link = std::make_unique<DeviceLink>();
    link->SetPort(port.get());
}

void TestDeviceLink::cleanup()
{
    link.reset();
    port.reset();
    peer.reset();
}

void TestDeviceLink::framesOnTheWire_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("frame");

    OutputStatus status;
    AdcReadings adc;
    CalibrationBlock calibration;
    UserParamBlock user;
    Setpoints setpoints;
    const QByteArray calibrationReply =
        ReplyText(QByteArray::fromHex("A816") + QByteArray(22, '\0'));
    const QByteArray userReply = ReplyText(QByteArray::fromHex("AB16") + QByteArray(22, '\0'));
    QTest::newRow("GetStatus") << Command([status](DeviceLink &l) mutable {
        return l.GetStatus(status);
    }) << StatusReply << QByteArray("#01013E1F\r");
    QTest::newRow("GetAdc") << Command([adc](DeviceLink &l) mutable { return l.GetAdc(adc); })
                            << AdcReply << Frame(0x10, 0x01, {});
    QTest::newRow("GetSetpoints") << Command([setpoints](DeviceLink &l) mutable {
        return l.GetSetpoints(setpoints);
    }) << ReplyText(QByteArray::fromHex("0304E02EDC05"))
                                  << Frame(0x03, 0x01, {});
    QTest::newRow("GetCalibration") << Command([calibration](DeviceLink &l) mutable {
        return l.GetCalibration(calibration, 0x01);
    }) << calibrationReply << Frame(0xA8, 0x01, {});
    QTest::newRow("GetUserParams")
        << Command([user](DeviceLink &l) mutable { return l.GetUserParams(user, 0x01); })
        << userReply << Frame(0xAB, 0x01, {});
    QTest::newRow("SetSetpoints") << Command([](DeviceLink &l) {
        return l.SetSetpoints(12000, 1500);
    }) << Ack << QByteArray("#0311E02EDC057739\r");
    QTest::newRow("SetOutput on") << Command([](DeviceLink &l) { return l.SetOutput(7066); }) << Ack
                                  << QByteArray("#07119A1BF5C4\r");
    QTest::newRow("SetOutput off") << Command([](DeviceLink &l) { return l.SetOutput(0); }) << Ack
                                   << QByteArray("#07110000A1BE\r");
    QTest::newRow("SetCalibration") << Command([](DeviceLink &l) {
        return l.SetCalibration(CalibrationBlock{1000, 2, 3, 4, 5, -5, -6, -7, -8, -9, 11}, 0x11);
    }) << Ack
                                    << Frame(0xA8, 0x11,
                                             QByteArray::fromHex("E803FBFF0300F9FF0200FAFF0400F8FF"
                                                                 "0500F7FF0B00"));
    QTest::newRow("SetUserParams lifeCounter as 0")
        << Command([](DeviceLink &l) {
               return l.SetUserParams(UserParamBlock{1, 1234, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 0x11);
           })
        << Ack
        << Frame(0xAB, 0x11,
                 QByteArray::fromHex("010000000300040005000600070008"
                                     "0009000A000B00"));
}

void TestDeviceLink::framesOnTheWire()
{
    QFETCH(Command, command);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, frame);
    peer->queueReply(reply);
    QCOMPARE(int(command(*link)), int(Success));
    QCOMPARE(peer->requests(), QVector<QByteArray>{frame});
}

void TestDeviceLink::frameLeavesInSeparateWrites_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("no data") << 0;
    QTest::newRow("switch word") << 2;
    QTest::newRow("setpoints") << 4;
    QTest::newRow("calibration") << 22;
}

void TestDeviceLink::frameLeavesInSeparateWrites()
{
    QFETCH(int, count);
    const QByteArray data(count, '\xA5');
    CountingBuffer device;
    QVERIFY(device.open(QIODevice::WriteOnly));
    link->SetPort(&device);
    link->SendFrame(0xA8, 0x11, reinterpret_cast<const quint8 *>(data.constData()), quint8(count));
    QCOMPARE(device.writes, count + 6);
    QCOMPARE(device.data(), Frame(0xA8, 0x11, data));
}

void TestDeviceLink::frameDoesNotWaitOnAnEmptyOutput()
{
    // 28 writes; a drain wait with nothing queued could block for 200 ms after each.
    const QByteArray data(22, '\x5A');
    link->SendFrame(0xA8, 0x11, reinterpret_cast<const quint8 *>(data.constData()), 22);
    QCOMPARE(port->emptyWaits, 0);
    QTRY_COMPARE(peer->requests(), QVector<QByteArray>{Frame(0xA8, 0x11, data)});
}

void TestDeviceLink::closedDeviceGetsNothing()
{
    CountingBuffer device;
    link->SetPort(&device);
    link->SendFrame(0x01, 0x01, nullptr, 0);
    QCOMPARE(device.writes, 0);
}

void TestDeviceLink::replyAssembledFromPieces_data()
{
    QTest::addColumn<ScriptedPeer::Reply>("pieces");
    QTest::addColumn<QByteArray>("trace");

    const QByteArray first = StatusReply.left(3);
    const QByteArray second = StatusReply.mid(3, 10);
    const QByteArray rest = StatusReply.mid(13);
    QTest::newRow("three pieces") << ScriptedPeer::Reply{{0, first}, {40, second}, {40, rest}}
                                  << "Call GetLine\nline=" + first + "\nline+" + second +
                                         "\nline+" + rest + "\n\nLineCode = " + StatusReply + "\n";
    QTest::newRow("noise chunk dropped")
        << ScriptedPeer::Reply{{0, "\xFF*?"}, {40, "~~" + StatusReply}}
        << "Call GetLine\nline=" + StatusReply + "\n\nLineCode = " + StatusReply + "\n";
    QTest::newRow("bytes after the CR stay in the line")
        << ScriptedPeer::Reply{{0, StatusReply + "ZZ"}}
        << "Call GetLine\nline=" + StatusReply + "ZZ\n\nLineCode = " + StatusReply + "ZZ\n";
}

void TestDeviceLink::replyAssembledFromPieces()
{
    QFETCH(ScriptedPeer::Reply, pieces);
    QFETCH(QByteArray, trace);
    peer->queueReply(pieces);
    OutputStatus status;
    QBuffer traced;
    traced.open(QIODevice::WriteOnly);
    link->SetTrace(&traced);
    QCOMPARE(int(link->GetStatus(status)), int(Success));
    QCOMPARE(traced.data(), trace);
    QCOMPARE(status.voltage, 1234);
    QCOMPARE(status.current, 567);
}

// Without a device the trace is the logging category's, a message a line, and silent unless
// the category is switched on: nothing reaches standard output, which vornexctl's results own.
void TestDeviceLink::traceGoesWhereItIsSent()
{
    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &context, const QString &text) {
            if (QByteArray(context.category) == "vornex.link.trace")
                messages << text;
        });
    StdoutCapture capture;
    OutputStatus status;
    peer->queueReply(StatusReply);
    QCOMPARE(int(link->GetStatus(status)), int(Success));
    QCOMPARE(messages, QStringList());

    QLoggingCategory::setFilterRules(QStringLiteral("vornex.link.trace.debug=true"));
    peer->queueReply(StatusReply + "\xE9");
    QCOMPARE(int(link->GetStatus(status)), int(Success));
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);
    const QString line = QString::fromLatin1(StatusReply + "\xE9");
    QCOMPARE(messages, QStringList({QStringLiteral("Call GetLine"), "line=" + line, QString(),
                                    "LineCode = " + line}));
    QCOMPARE(capture.text(), QByteArray());
}

void TestDeviceLink::readSendsASecondRequest()
{
    peer->queueSilence();
    peer->queueReply(StatusReply);
    OutputStatus status;
    QCOMPARE(int(link->GetStatus(status)), int(Success));
    QCOMPARE(status.outputOn, 1);
    const QVector<QByteArray> requests = peer->requests();
    QCOMPARE(requests, QVector<QByteArray>(2, "#01013E1F\r"));
    const QVector<qint64> times = peer->requestTimesMs();
    QVERIFY2(times[1] - times[0] >= 195, qPrintable(QString::number(times[1] - times[0])));
}

void TestDeviceLink::writeSendsOnce()
{
    peer->queueSilence();
    QCOMPARE(int(link->SetOutput(7066)), int(NoReply));
    // The line keeps its order: the next transaction's request comes right after the write's.
    peer->queueReply(StatusReply);
    OutputStatus status;
    QCOMPARE(int(link->GetStatus(status)), int(Success));
    QCOMPARE(peer->requests(), QVector<QByteArray>({"#07119A1BF5C4\r", "#01013E1F\r"}));
}

void TestDeviceLink::closedPortRunsFullTimeOuts_data()
{
    QTest::addColumn<bool>("read");
    QTest::addColumn<int>("windows");
    QTest::newRow("read: two windows") << true << 2;
    QTest::newRow("write: one window") << false << 1;
}

void TestDeviceLink::closedPortRunsFullTimeOuts()
{
    QFETCH(bool, read);
    QFETCH(int, windows);
    port->close();
    QBuffer traced;
    traced.open(QIODevice::WriteOnly);
    link->SetTrace(&traced);
    OutputStatus status;
    QElapsedTimer elapsed;
    elapsed.start();
    const LinkResult result = read ? link->GetStatus(status) : link->SetOutput(0);
    const qint64 ms = elapsed.elapsed();
    QCOMPARE(int(result), int(NoReply));
    QCOMPARE(ReplyWaits(traced.data()), windows);
    QVERIFY2(ms >= windows * 200, qPrintable(QString::number(ms)));
    // Nothing was sent then, nor kept to be sent later: opened again, the line carries only the
    // next transaction's request.
    QVERIFY(OpenOn(peer->serialPath()));
    peer->queueReply(StatusReply);
    QCOMPARE(int(link->GetStatus(status)), int(Success));
    QCOMPARE(peer->receivedBytes(), QByteArray("#01013E1F\r"));
}

void TestDeviceLink::judgedReplies_data()
{
    QTest::addColumn<bool>("read");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");

    QByteArray corrupted = StatusReply;
    corrupted[6] = corrupted[6] == '4' ? '5' : '4';
    const QByteArray shortStatus = ReplyText(QByteArray::fromHex("0108D2043702000001"));
    QTest::newRow("read: corrupted digit") << true << corrupted << int(BadReply);
    QTest::newRow("read: start then CR") << true << QByteArray("^\r") << int(BadReply);
    QTest::newRow("read: minimum length, not complete") << true << shortStatus << int(BadReply);
    QTest::newRow("read: lower case") << true << StatusReply.toLower() << int(BadReply);
    QTest::newRow("write: ack") << false << Ack << int(Success);
    QTest::newRow("write: ack, bad CRC") << false << QByteArray("^071F0000\r") << int(Success);
    QTest::newRow("write: nak") << false << ReplyText(QByteArray::fromHex("0715")) << int(BadReply);
    QTest::newRow("write: start then CR") << false << QByteArray("^\r") << int(BadReply);
}

void TestDeviceLink::judgedReplies()
{
    QFETCH(bool, read);
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    peer->queueReply(reply);
    OutputStatus status;
    status.voltage = -7;
    status.outputOn = 9;
    QCOMPARE(int(read ? link->GetStatus(status) : link->SetOutput(0)), result);
    QCOMPARE(status.voltage, -7);
    QCOMPARE(status.outputOn, 9);
    QCOMPARE(peer->requests().size(), 1);
}

void TestDeviceLink::lateRepliesOfAnotherRegisterArePassedOver_data()
{
    using Reply = ScriptedPeer::Reply;
    using Piece = ScriptedPeer::Piece;
    QTest::addColumn<Reply>("firstWindow");
    QTest::addColumn<Reply>("secondWindow");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("requests");

    QTest::newRow("late ADC reply, own in the same piece")
        << Reply{Piece{0, AdcReply + StatusReply}} << Reply{} << int(Success) << 1;
    QTest::newRow("noise and two late replies, own in the same piece")
        << Reply{Piece{0, "x" + Ack + "\x7f" + AdcReply + StatusReply}} << Reply{} << int(Success)
        << 1;
    QTest::newRow("late ADC reply, own 50 ms later")
        << Reply{Piece{0, AdcReply}, Piece{50, StatusReply}} << Reply{} << int(Success) << 1;
    QTest::newRow("late reply, own split around the end of it")
        << Reply{Piece{0, AdcReply + StatusReply.left(7)}, Piece{30, StatusReply.mid(7)}} << Reply{}
        << int(Success) << 1;
    QTest::newRow("only a late reply: asked again")
        << Reply{Piece{0, AdcReply}} << Reply{Piece{0, StatusReply}} << int(Success) << 2;
    QTest::newRow("late replies alone")
        << Reply{Piece{0, AdcReply}} << Reply{Piece{0, Ack}} << int(NoReply) << 2;
    // A damaged line is not known to be late: it is this request's bad reply.
    QTest::newRow("corrupted ADC reply")
        << Reply{Piece{0, QByteArray(AdcReply).replace('C', 'D') + StatusReply}} << Reply{}
        << int(BadReply) << 1;
}

void TestDeviceLink::lateRepliesOfAnotherRegisterArePassedOver()
{
    QFETCH(ScriptedPeer::Reply, firstWindow);
    QFETCH(ScriptedPeer::Reply, secondWindow);
    QFETCH(int, result);
    QFETCH(int, requests);
    peer->queueReply(firstWindow);
    peer->queueReply(secondWindow);
    OutputStatus status;
    QCOMPARE(int(link->GetStatus(status)), result);
    QCOMPARE(peer->requests().size(), requests);
    if (result == Success) {
        QCOMPARE(status.voltage, 1234);
        QCOMPARE(status.outputOn, 1);
    }
    // The next transaction starts clean: nothing of this one is left to be read as its reply.
    peer->queueReply(AdcReply);
    AdcReadings adc;
    QCOMPARE(int(link->GetAdc(adc)), int(Success));
    QCOMPARE(adc.sdadcVoltage, 1);
}

void TestDeviceLink::duplicateReplyLeavesLaterReadsInStep()
{
    // A device that answers one request twice leaves a reply in the line; if the next read took
    // it, each read after that would meet the reply of the one before and fail, for good.
    peer->queueReply(ScriptedPeer::Reply{{0, StatusReply}, {20, StatusReply}});
    OutputStatus status;
    QCOMPARE(int(link->GetStatus(status)), int(Success));
    QTRY_COMPARE(port->bytesAvailable(), qint64(StatusReply.size()));
    for (int round = 0; round < 3; ++round) {
        peer->queueReply(AdcReply);
        peer->queueReply(StatusReply);
        AdcReadings adc;
        QCOMPARE(int(link->GetAdc(adc)), int(Success));
        QCOMPARE(int(link->GetStatus(status)), int(Success));
    }
    QCOMPARE(peer->requests().size(), 7);
}

void TestDeviceLink::waitingRunsOtherSlotsWithoutSpinning()
{
    int slotRuns = 0;
    QTimer::singleShot(50, this, [&slotRuns] { ++slotRuns; });
    QTimer::singleShot(250, this, [&slotRuns] { ++slotRuns; });
    OutputStatus status;
    EventLoopPasses loop;
    QCOMPARE(int(link->GetStatus(status)), int(NoReply));
    QCOMPARE(slotRuns, 2);
    // A wait that sleeps until something happens passes through the loop a few times (the two
    // slots, the two deadlines, the written requests); a polling one, thousands of times.
    QVERIFY2(loop.passes < 50, qPrintable(QString::number(loop.passes)));
}

void TestDeviceLink::replyAlreadyWaitingIsTakenAtOnce()
{
    // A reply that came after its transaction ended is the first thing the next one reads.
    peer->send(StatusReply);
    QTRY_VERIFY(port->bytesAvailable() > 0);
    OutputStatus status;
    EventLoopPasses loop;
    QCOMPARE(int(link->GetStatus(status)), int(Success));
    // Taken without ever sleeping for bytes to come.
    QCOMPARE(loop.sleeps, 0);
}

void TestDeviceLink::portDestroyedDuringWait()
{
    QTimer::singleShot(50, this, [this] { port.reset(); });
    OutputStatus status;
    QCOMPARE(int(link->GetStatus(status)), int(NoReply));
    QVERIFY(!port);
}

void TestDeviceLink::hangUpClosesThePortOnceAndRecovers()
{
    PortHangupGuard guard(port.get());
    QSignalSpy hungUp(&guard, &PortHangupGuard::hungUp);
    int resourceErrors = 0;
    connect(port.get(), &QSerialPort::errorOccurred, this,
            [&resourceErrors](QSerialPort::SerialPortError error) {
                resourceErrors += error == QSerialPort::ResourceError;
            });

    peer->hangUp();
    OutputStatus status;
    QCOMPARE(int(link->GetStatus(status)), int(NoReply));
    // Closed, the port reports nothing more.
    QTRY_VERIFY(!port->isOpen());
    QCOMPARE(hungUp.count(), 1);
    QCOMPARE(resourceErrors, 1);
    QCOMPARE(port->error(), QSerialPort::NoError);

    // The device is back (a pseudo-terminal returns under a new name): open again and talk.
    ScriptedPeer back;
    QVERIFY(back.start());
    QVERIFY(OpenOn(back.serialPath()));
    back.queueReply(StatusReply);
    QCOMPARE(int(link->GetStatus(status)), int(Success));
    QCOMPARE(status.voltage, 1234);
}

void TestDeviceLink::errorsOfAGoneDeviceCloseThePort_data()
{
    QTest::addColumn<QSerialPort::SerialPortError>("error");
    QTest::addColumn<bool>("closes");
    QTest::newRow("resource") << QSerialPort::ResourceError << true;
    // What Windows drivers report for an unplugged adapter.
    QTest::newRow("permission") << QSerialPort::PermissionError << true;
    QTest::newRow("timeout") << QSerialPort::TimeoutError << false;
    QTest::newRow("write") << QSerialPort::WriteError << false;
    QTest::newRow("read") << QSerialPort::ReadError << false;
}

void TestDeviceLink::errorsOfAGoneDeviceCloseThePort()
{
    QFETCH(QSerialPort::SerialPortError, error);
    QFETCH(bool, closes);
    PortHangupGuard guard(port.get());
    QSignalSpy hungUp(&guard, &PortHangupGuard::hungUp);
    emit port->errorOccurred(error);
    QCOMPARE(port->isOpen(), !closes);
    QCOMPARE(hungUp.count(), closes ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
